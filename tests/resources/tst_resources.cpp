// The bundle holds every name the code opens, and what it holds is usable.

#include "resources/BundledFonts.h"

#include <QApplication>
#include <QDirIterator>
#include <QFile>
#include <QFontDatabase>
#include <QIcon>
#include <QImageReader>
#include <QPixmap>
#include <QRegularExpression>
#include <QTest>

namespace {

// The resource names resources.map promises.
QStringList mappedNames()
{
    QStringList names;
    QFile map(qEnvironmentVariable("QUORLIX_SOURCE_DIR") + QStringLiteral("/resources/resources.map"));
    if (!map.open(QIODevice::ReadOnly | QIODevice::Text))
        return names;
    while (!map.atEnd()) {
        const QString line = QString::fromUtf8(map.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        names << QStringLiteral(":/") + line.section(QLatin1Char('|'), 0, 0).trimmed();
    }
    return names;
}

} // namespace

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void everyMappedNameIsBundled()
    {
        const QStringList names = mappedNames();
        QVERIFY(names.size() > 20);
        for (const QString &name : names)
            QVERIFY2(QFile::exists(name), qPrintable(name + QStringLiteral(" is missing from the bundle")));
    }

    void startupNamesExist()
    {
        QVERIFY(QFile::exists(QStringLiteral(":/style.qss")));
        QVERIFY(QFile::exists(QStringLiteral(":/icons/app-icon.ico")));
        QVERIFY(!QIcon(QStringLiteral(":/icons/app-icon.ico")).pixmap(32, 32).isNull());
        QVERIFY(!QPixmap(QStringLiteral(":/icons/logo.png")).isNull());
    }

    void styleSheetCarriesThePalette()
    {
        QFile sheet(QStringLiteral(":/style.qss"));
        QVERIFY(sheet.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(sheet.readAll());
        for (const char *colour :
             {"#111317", "#1A1E24", "#414245", "#FA8207", "#FFFFFF", "#ADADAD", "#707174"})
            QVERIFY2(text.contains(QLatin1String(colour), Qt::CaseInsensitive), colour);
        QVERIFY(text.contains(QStringLiteral("Inter")));
    }

    // Icons are SVG under the names the window uses (".png" included); each
    // must render, and none may keep the icon set's "currentColor", which
    // would draw black on the dark theme.
    void iconsRenderTinted()
    {
        for (const QString &name : mappedNames()) {
            if (!name.startsWith(QStringLiteral(":/icons/")) || name.endsWith(QStringLiteral(".otf")) ||
                name.endsWith(QStringLiteral(".ttf")))
                continue;
            QVERIFY2(!QIcon(name).pixmap(24, 24).isNull(), qPrintable(name));
            QFile file(name);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QVERIFY2(!file.readAll().contains("currentColor"), qPrintable(name));
        }
    }

    void countryFlags()
    {
        int count = 0;
        QDirIterator it(QStringLiteral(":/flag-svg/resources/flag-svg"));
        while (it.hasNext()) {
            it.next();
            ++count;
        }
        QVERIFY2(count >= 255, qPrintable(QString::number(count)));
        for (const char *code : {"us", "ir", "de", "eu", "xk", "gb-eng", "gb-sct", "gb-wls", "gb-nir"}) {
            const QString path =
                QStringLiteral(":/flag-svg/resources/flag-svg/%1.svg").arg(QLatin1String(code));
            QVERIFY2(!QIcon(path).pixmap(24, 24).isNull(), code);
        }
    }

    void bundledFontsRegister()
    {
        const QStringList families = registerBundledFonts();
        QVERIFY2(families.contains(QStringLiteral("Inter")), qPrintable(families.join(u',')));
        QVERIFY2(families.contains(QStringLiteral("Vazirmatn")), qPrintable(families.join(u',')));
        // A second call registers nothing twice.
        QCOMPARE(registerBundledFonts(), families);
        QVERIFY(QFontDatabase::families().contains(QStringLiteral("Inter")));

        applyBundledDefaultFont();
        QCOMPARE(QGuiApplication::font().families(), QStringList({"Inter", "Vazirmatn"}));
    }

    // The theme must not paint plain widgets or controls inside the window:
    // a rule on QWidget or a bare QPushButton would cover cards and the
    // transparent hit buttons laid over them.
    void styleSheetLeavesWindowWidgetsAlone()
    {
        QFile sheet(QStringLiteral(":/style.qss"));
        QVERIFY(sheet.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(sheet.readAll());
        static const QRegularExpression bareRule(
            QStringLiteral("(^|[},/]\\s*)(QWidget|QFrame|QLabel|QPushButton|QLineEdit)\\s*[{,:]"));
        const QRegularExpressionMatch match = bareRule.match(text);
        QVERIFY2(!match.hasMatch(), qPrintable(match.captured(0)));
    }

    void licencesTravelWithTheAssets()
    {
        for (const char *file :
             {"phosphor-icons-core.LICENSE", "flag-icons.LICENSE", "vazirmatn.OFL.txt", "inter.copyright"})
            QVERIFY2(QFile::exists(QStringLiteral(":/licenses/") + QLatin1String(file)), file);
    }
};

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
