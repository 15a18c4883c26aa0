// The start-up sequence in this process, with names and notifier of the
// test's own.

#include "app/SingleInstance.h"
#include "app/Startup.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QIcon>
#include <QLocalSocket>
#include <QPointer>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QUuid>
#include <QWidget>

#include <csignal>

namespace {

SingleInstanceNames freshNames()
{
    return SingleInstanceNames::withId(QStringLiteral("startup_") +
                                       QUuid::createUuid().toString(QUuid::Id128).left(12));
}

// The debug log of one start, kept while a LogCapture lives.
QStringList g_log;
QtMessageHandler g_previousHandler = nullptr;

void captureMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtDebugMsg)
        g_log << message;
    if (g_previousHandler)
        g_previousHandler(type, context, message);
}

struct LogCapture
{
    LogCapture()
    {
        g_log.clear();
        g_previousHandler = qInstallMessageHandler(captureMessage);
    }
    ~LogCapture() { qInstallMessageHandler(g_previousHandler); }
};

// Whether a fatal-signal handler of ours (rather than the default action)
// is in place; tests reset it first, as the test framework sets its own.
bool crashHandlerInstalled()
{
    struct sigaction action;
    sigaction(SIGSEGV, nullptr, &action);
    return (action.sa_flags & SA_SIGINFO) && (action.sa_flags & SA_ONSTACK);
}

void resetCrashHandler()
{
    std::signal(SIGSEGV, SIG_DFL);
}

const QStringList kFirstStartLines = {
    QStringLiteral("========================================"),
    QStringLiteral("🚀 Quorlix UI Starting..."),
    QStringLiteral("🔧 SESSION MANAGEMENT FIX APPLIED v2024"),
    QStringLiteral("✅ Single Instance Protection ENABLED"),
    QStringLiteral("========================================"),
};

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    // A second start runs the stored-state steps, hands over, tells the
    // user and ends with 0 without building a window.
    void secondStartHandsOverWithoutAWindow()
    {
        const SingleInstanceNames names = freshNames();
        SingleInstance first(names);
        QVERIFY(first.claim());
        QVERIFY(first.listen());
        QSignalSpy shown(&first, &SingleInstance::showRequested);

        StartupOptions options;
        options.names = names;
        int notified = 0;
        int windows = 0;
        options.alreadyRunningNotifier = [&notified] { ++notified; };
        options.createWindow = [&windows] {
            ++windows;
            return std::make_unique<QWidget>();
        };
        resetCrashHandler();
        {
            LogCapture log;
            QCOMPARE(runStartedClient(*qApp, options), 0);
            // The hand-over's line only: the first instance's banner, the
            // crash handler and the style belong to a first start.
            QVERIFY2(g_log.contains(QStringLiteral("⚠️ Another instance of Quorlix is already running!")),
                     qPrintable(g_log.join(QLatin1Char('\n'))));
            for (const QString &line : kFirstStartLines)
                QVERIFY2(!g_log.contains(line), qPrintable(line));
        }
        QVERIFY(!crashHandlerInstalled());
        QCOMPARE(notified, 1);
        QCOMPARE(windows, 0);
        QTRY_COMPARE(shown.count(), 1);

        const QString data = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
        QVERIFY2(data.endsWith(QStringLiteral("/Quorlix/Quorlix")), qPrintable(data));
        for (const char *sub : {"cache", "flags", "covers"})
            QVERIFY2(QDir(data + QLatin1Char('/') + QLatin1String(sub)).exists(), sub);
    }

    // By the time the window is built, the instance is claimed and listening,
    // the crash handler is in place, the banner is logged in its order and the
    // style sheet and icon are set.
    void firstStartPreparesEverythingBeforeTheWindow()
    {
        const SingleInstanceNames names = freshNames();
        qApp->setStyleSheet(QString());
        QApplication::setWindowIcon(QIcon());
        resetCrashHandler();

        StartupOptions options;
        options.names = names;
        QStringList logBeforeWindow;
        bool claimed = false, listening = false, crashHandler = false, styled = false, icon = false;
        options.createWindow = [&] {
            logBeforeWindow = g_log;
            SingleInstance rival(names);
            claimed = !rival.claim();
            QLocalSocket peer;
            peer.connectToServer(names.serverName);
            listening = peer.waitForConnected(1000);
            crashHandler = crashHandlerInstalled();
            styled = !qApp->styleSheet().isEmpty();
            icon = !QGuiApplication::windowIcon().isNull();
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
            return std::make_unique<QWidget>();
        };
        {
            LogCapture log;
            QCOMPARE(runStartedClient(*qApp, options), 0);
        }
        const qsizetype banner = logBeforeWindow.indexOf(kFirstStartLines.at(1));
        QVERIFY2(banner >= 1, qPrintable(logBeforeWindow.join(QLatin1Char('\n'))));
        QCOMPARE(logBeforeWindow.mid(banner - 1, kFirstStartLines.size()), kFirstStartLines);
        QVERIFY(claimed);
        QVERIFY(listening);
        QVERIFY(crashHandler);
        QVERIFY(styled);
        QVERIFY(icon);
        resetCrashHandler();
    }

    // The first instance brings its window forward, un-minimised, when a
    // later start says "SHOW", and gives up its claim when the loop ends.
    void firstInstanceBringsItsWindowForward()
    {
        const SingleInstanceNames names = freshNames();
        StartupOptions options;
        options.names = names;
        QPointer<QWidget> window;
        options.createWindow = [&window] {
            auto w = std::make_unique<QWidget>();
            window = w.get();
            return w;
        };

        bool cameForward = false;
        bool styled = false;
        QElapsedTimer clock;
        QTimer poll;
        poll.setInterval(20);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (!window)
                return;
            if (!clock.isValid()) {
                styled = !qApp->styleSheet().isEmpty() && !qApp->windowIcon().isNull();
                window->showMinimized();
                SingleInstance::notifyRunningInstance(names.serverName);
                clock.start();
                return;
            }
            if (window->isVisible() && !(window->windowState() & Qt::WindowMinimized)) {
                cameForward = true;
                qApp->quit();
            } else if (clock.elapsed() > 5000) {
                qApp->quit();
            }
        });
        poll.start();

        QCOMPARE(runStartedClient(*qApp, options), 0);
        QVERIFY(styled);
        QVERIFY(cameForward);
        QVERIFY(window.isNull()); // destroyed by the start-up code on the way out

        SingleInstance next(names);
        QVERIFY(next.claim());
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
