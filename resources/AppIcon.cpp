#include "resources/AppIcon.h"

#include <QFile>

QIcon appIcon()
{
    static const QIcon icon = [] {
        for (const char *candidate : {":/icons/app-icon.ico", ":/icons/logo.png", ":/icons/home.svg"}) {
            const QString path = QString::fromLatin1(candidate);
            if (QFile::exists(path))
                return QIcon(path);
        }
        return QIcon();
    }();
    return icon;
}
