// When the window builds its pages: the constructor builds the frame and the
// sign-in page; the header's contents and the page sections follow after the
// first frame, or at once when something needs them. However they come, the
// window ends up as one built at once.

#include "app/ClientComposition.h"
#include "i18n/TranslationManager.h"
#include "storage/DatabaseManager.h"
#include "support/FakeSystemInfo.h"
#include "support/PainterWarnings.h"
#include "support/WindowFixture.h"
#include "support/faketunnel/FakeTunnelEngine.h"
#include "ui/mainwindow/MainWindow.h"
#include "ui/pages/signin/AuthPage.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QTest>

#include <algorithm>
#include <iterator>

namespace {

class Window : public MainWindow
{
public:
    explicit Window(bool pagesAtOnce)
        : MainWindow(createClientServices(WindowFixture::shortIntervals(), freshEngine()),
                     WindowFixture::shortIntervals())
    {
        if (pagesAtOnce)
            buildPages();
    }

private:
    static TunnelEngineApi freshEngine()
    {
        FakeTunnelEngine::reset();
        return FakeTunnelEngine::api();
    }
};

QWidget *named(QWidget *root, const char *name)
{
    return root->findChild<QWidget *>(QLatin1String(name));
}

QString nameOf(const QWidget *w)
{
    return w->objectName().isEmpty() ? QLatin1String(w->metaObject()->className()) : w->objectName();
}

// "<label> shown|hidden x,y wxh" for one widget.
QString line(const QString &label, const QWidget *w, const QWidget *window)
{
    const QRect g = w->geometry();
    return QStringLiteral("%1 %2 %3,%4 %5x%6")
        .arg(label, w->isVisibleTo(window) ? QStringLiteral("shown") : QStringLiteral("hidden"))
        .arg(g.x())
        .arg(g.y())
        .arg(g.width())
        .arg(g.height());
}

// The children of `parent` bottom to top (windows of their own left out,
// they are not stacked with the rest): name or class, shown, geometry.
QStringList stacking(QWidget *parent, QWidget *window)
{
    QStringList out;
    for (QObject *child : parent->children()) {
        auto *w = qobject_cast<QWidget *>(child);
        if (w && !w->isWindow())
            out << line(nameOf(w), w, window);
    }
    return out;
}

// Every widget below `parent`'s children, by its path of names or classes:
// shown, geometry; sorted, since only the children's stacking is compared
// above. A child added to a widget already on screen stays hidden unless it
// is shown, so a part built after the first frame must be checked this deep.
QStringList tree(QWidget *parent, QWidget *window, const QString &path = QString())
{
    QStringList out;
    for (QObject *child : parent->children()) {
        auto *w = qobject_cast<QWidget *>(child);
        if (!w || w->isWindow())
            continue;
        const QString here = path.isEmpty() ? nameOf(w) : path + QLatin1Char('/') + nameOf(w);
        if (!path.isEmpty())
            out << line(here, w, window);
        out << tree(w, window, here);
    }
    if (path.isEmpty())
        out.sort();
    return out;
}

// The lines only one of two sorted lists holds, a few of each.
QString apart(const QStringList &a, const QStringList &b)
{
    QStringList onlyA, onlyB;
    std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(onlyA));
    std::set_difference(b.begin(), b.end(), a.begin(), a.end(), std::back_inserter(onlyB));
    return QStringLiteral("%1\n---\n%2").arg(onlyA.mid(0, 8).join('\n'), onlyB.mid(0, 8).join('\n'));
}

void setLanguage(const QString &code)
{
    TranslationManager::instance()->setLanguage(code, false);
}

} // namespace

class TestWindowPages : public QObject
{
    Q_OBJECT

private:
    int m_dbFolder = 0;

    static void compareWindows(MainWindow &built, MainWindow &later, const char *when)
    {
        QWidget *frameA = named(&built, "WindowFrame");
        QWidget *frameB = named(&later, "WindowFrame");
        const QStringList a = stacking(frameA, &built), b = stacking(frameB, &later);
        QVERIFY2(a == b, qPrintable(QStringLiteral("%1, root frame:\n%2\n---\n%3")
                                        .arg(QLatin1String(when), a.join('\n'), b.join('\n'))));
        const QStringList e = tree(frameA, &built), f = tree(frameB, &later);
        QVERIFY2(e == f,
                 qPrintable(
                     QStringLiteral("%1, inside the root frame:\n%2").arg(QLatin1String(when), apart(e, f))));
        const QStringList c = stacking(&built, &built), d = stacking(&later, &later);
        QVERIFY2(c == d, qPrintable(QStringLiteral("%1, window:\n%2\n---\n%3")
                                        .arg(QLatin1String(when), c.join('\n'), d.join('\n'))));
    }

private slots:
    void initTestCase() { WindowFixture::useClientNames(); }

    void init()
    {
        TestSupport::failOnPainterWarnings();
        QVERIFY(WindowFixture::openDatabase(QStringLiteral("pages%1").arg(++m_dbFolder)));
    }
    void cleanup() { setLanguage(QStringLiteral("en-US")); }

    void constructorBuildsTheFrameAndTheSignInPage()
    {
        Window window(false);
        QVERIFY(!window.pagesBuilt());
        for (const char *name :
             {"WindowFrame", "NewHeader", "MainScrollArea", "WindowCloseButton", "WindowMinimizeButton",
              "HeaderNavDots", "FixedMiniLogo", "ProxyStatusOverlay"})
            QVERIFY2(named(&window, name), name);
        QVERIFY(window.authPage()->isVisibleTo(&window));
        for (const char *name :
             {"HeaderSearchBar", "NotifBellButton", "AccountPill", "DashboardTitle", "ProfileLeftSection",
              "SettingsPreferencesCard", "ConnectionsSection", "GamesSectionWrap", "QuorlixConnLeft",
              "ServerRegionLeftPanel", "BottomBreakerSection"})
            QVERIFY2(!named(&window, name), name);
    }

    // Built after the first frame, or at once before it: the same window,
    // widget for widget, in the same stacking order, in either language and
    // in every section.
    void pagesAfterTheFirstFrameMakeTheSameWindow_data()
    {
        QTest::addColumn<QString>("language");
        QTest::newRow("English") << "en-US";
        QTest::newRow("Persian") << "fa-IR";
    }
    void pagesAfterTheFirstFrameMakeTheSameWindow()
    {
        QFETCH(QString, language);
        setLanguage(language);
        // The same hardware figures for both: the card's labels take the
        // width of what they show.
        FakeSystemInfo readings;
        readings.cpuPercent = 37;
        readings.cpuMhz = 2400;
        readings.gpuPercent = 58;
        readings.gpuCelsius = 61;
        readings.memory = {16ull << 30, 11ull << 30, 5ull << 30, 31};
        // Each shown before its first turn of the event loop, as the client's is.
        Window built(true);
        built.show();
        QVERIFY(QTest::qWaitForWindowExposed(&built));
        Window later(false);
        later.show();
        QVERIFY(!later.pagesBuilt());
        QVERIFY(QTest::qWaitForWindowExposed(&later));
        QTRY_VERIFY(later.pagesBuilt()); // nobody asked: the event loop built them
        QCoreApplication::processEvents();
        compareWindows(built, later, "signed out");

        for (MainWindow *window : {static_cast<MainWindow *>(&built), static_cast<MainWindow *>(&later)})
            window->authPage()->hide();
        QCoreApplication::processEvents();
        compareWindows(built, later, "signed in");
        for (int id : {1, 3, 4, 2, 0}) {
            built.navGroup()->button(id)->click();
            later.navGroup()->button(id)->click();
            compareWindows(built, later, qPrintable(QStringLiteral("section %1").arg(id)));
        }
        const QString other =
            language == QLatin1String("en-US") ? QStringLiteral("fa-IR") : QStringLiteral("en-US");
        setLanguage(other);
        compareWindows(built, later, "language switched");
    }

    // Before the event loop got to them, whatever needs the pages builds
    // them: a click on the side navigation, a game opened from elsewhere.
    void navigationBuildsWhatItShows()
    {
        Window window(false);
        window.navGroup()->button(3)->click();
        QVERIFY(window.pagesBuilt());
        QVERIFY(named(&window, "SettingsPreferencesCard")->isVisibleTo(&window));
        QVERIFY(named(&window, "SettingsTitle")->isVisibleTo(&window));
        QVERIFY(!named(&window, "ConnectionsSection")->isVisibleTo(&window));

        Window other(false);
        other.navigateToPage(2);
        QVERIFY(other.pagesBuilt());
        QVERIFY(named(&other, "QuorlixConnLeft")->isVisibleTo(&other));
    }

    // The favourites are built when someone has signed in, not behind the
    // sign-in page; the home shows them the moment the page goes away.
    void favouritesFollowTheSignIn()
    {
        for (const char *title : {"Game A", "Game B", "Game C"})
            QVERIFY(DatabaseManager::instance()->addFavorite(QLatin1String(title), QStringLiteral("PC"),
                                                             QString()));
        Window window(false);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTRY_VERIFY(window.pagesBuilt());
        const auto cards = [&window] {
            return window.findChildren<QWidget *>(QStringLiteral("HomeFavCard")).size();
        };
        QCoreApplication::processEvents();
        QCOMPARE(cards(), 0);

        window.authPage()->hide();
        QCOMPARE(cards(), 3);
        QCoreApplication::processEvents();
        QCOMPARE(cards(), 3);
    }
};

QTEST_MAIN(TestWindowPages)
#include "tst_windowpages.moc"
