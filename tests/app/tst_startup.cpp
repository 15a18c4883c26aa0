// The start-up sequence in this process, with names and notifier of the
// test's own.

#include "app/SingleInstance.h"
#include "app/Startup.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPointer>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QUuid>
#include <QWidget>

namespace {

SingleInstanceNames freshNames()
{
    return SingleInstanceNames::withId(QStringLiteral("startup_") +
                                       QUuid::createUuid().toString(QUuid::Id128).left(12));
}

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
        QCOMPARE(runStartedClient(*qApp, options), 0);
        QCOMPARE(notified, 1);
        QCOMPARE(windows, 0);
        QTRY_COMPARE(shown.count(), 1);

        const QString data = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
        QVERIFY2(data.endsWith(QStringLiteral("/Quorlix/Quorlix")), qPrintable(data));
        for (const char *sub : {"cache", "flags", "covers"})
            QVERIFY2(QDir(data + QLatin1Char('/') + QLatin1String(sub)).exists(), sub);
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
