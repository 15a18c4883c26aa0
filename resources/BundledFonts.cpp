#include "resources/BundledFonts.h"

#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>

QStringList registerBundledFonts()
{
    static QStringList families;
    static bool done = false;
    if (done)
        return families;
    done = true;
    for (const char *file :
         {":/icons/Inter-Regular.otf", ":/icons/Inter-Medium.otf", ":/icons/Inter-SemiBold.otf",
          ":/icons/Inter-Bold.otf", ":/icons/Vazirmatn-Regular.ttf", ":/icons/Vazirmatn-SemiBold.ttf"}) {
        const int id = QFontDatabase::addApplicationFont(QString::fromLatin1(file));
        if (id < 0)
            continue;
        for (const QString &family : QFontDatabase::applicationFontFamilies(id)) {
            if (!families.contains(family))
                families << family;
        }
    }
    return families;
}

void applyBundledDefaultFont()
{
    const QStringList loaded = registerBundledFonts();
    QStringList preferred;
    for (const QString &family : {QStringLiteral("Inter"), QStringLiteral("Vazirmatn")}) {
        if (loaded.contains(family))
            preferred << family;
    }
    if (preferred.isEmpty())
        return;
    QFont font = QGuiApplication::font();
    font.setFamilies(preferred);
    QGuiApplication::setFont(font);
}
