// The sign-in progress bar's run on a stepped clock: which reports make a new
// stage, how long stages and pauses last, and when the run reports its end.

#include "SteppedProgress.h"
#include "support/PainterWarnings.h"

#include <QSignalSpy>
#include <QTest>

class TestLoginProgressRun : public QObject
{
    Q_OBJECT

private:
    // A run whose page has already shown one run, so the clock is running
    // and every stage keeps its full time on screen.
    static void finishFirstRun(SteppedProgress &p)
    {
        p.run->reset(true);
        p.run->report(0, QStringLiteral("Logging in ..."));
        p.advance(2000);
        p.run->reset(false);
        p.advance(500);
    }

private slots:
    void init() { TestSupport::failOnPainterWarnings(); }

    void stageKeys_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("key");
        QTest::newRow("logging in") << "Logging in ..."
                                    << "logging_in";
        QTest::newRow("request authentication") << "Request authentication"
                                                << "request_auth_env";
        QTest::newRow("authentication") << "Authentication ..."
                                        << "authentication";
        QTest::newRow("magic routes, short") << "Loading magic routes .."
                                             << "magic_routes";
        QTest::newRow("magic routes, download") << "Loading magic routes : 12 kb of 3.00 Mb ..."
                                                << "magic_routes";
        QTest::newRow("required downloads") << "Checking required downloads\u2026"
                                            << "required_downloads";
        QTest::newRow("loading apps") << "Loading apps..."
                                      << "loading_apps";
        QTest::newRow("loading configuration") << "Loading configuration ..."
                                               << "loading_config";
        QTest::newRow("blanks and case") << "   LOGGING IN"
                                         << "logging_in";
        QTest::newRow("prefix must start the text") << "Now logging in"
                                                    << "now logging in";
        QTest::newRow("fallback lower-cased") << "Checking for update ..."
                                              << "checking for update ...";
        QTest::newRow("fallback cut to 32") << "A Very Long Status Line That Goes On And On"
                                            << "a very long status line that goe";
        QTest::newRow("empty") << ""
                               << "";
    }
    void stageKeys()
    {
        QFETCH(QString, text);
        QFETCH(QString, key);
        QCOMPARE(progressStageKey(text), key);
    }

    void reportsOfOneStageMerge()
    {
        SteppedProgress p;
        p.run->reset(true);
        p.run->report(0, QStringLiteral("Logging in ..."));
        // Same key as the stage on screen: newer text, higher percent, no stage.
        p.run->report(10, QStringLiteral("Logging in again"));
        p.run->report(4, QStringLiteral("Logging in ... still"));
        QCOMPARE(p.run->queuedStages(), 0);
        QCOMPARE(p.run->status(), QStringLiteral("Logging in ... still"));
        QCOMPARE(p.run->target(), 10);

        // Same key as the last queued stage: it is updated in place.
        p.run->report(72, QStringLiteral("Loading magic routes : 1 kb of 2.00 Mb ..."));
        p.run->report(70, QStringLiteral("Loading magic routes ..."));
        QCOMPARE(p.run->queuedStages(), 1);
        // A different key queues behind it; an older key no longer merges.
        p.run->report(95, QStringLiteral("Loading apps..."));
        p.run->report(75, QStringLiteral("Loading magic routes ..."));
        QCOMPARE(p.run->queuedStages(), 3);

        p.advanceUntil([&] { return p.run->currentKey() == QLatin1String("magic_routes"); });
        QCOMPARE(p.run->status(), QStringLiteral("Loading magic routes ..."));
        QCOMPARE(p.run->target(), 72);
    }

    void percentIsClamped_data()
    {
        QTest::addColumn<int>("reported");
        QTest::addColumn<int>("target");
        QTest::newRow("below zero") << -5 << 0;
        QTest::newRow("above 100") << 250 << 100;
        QTest::newRow("in range") << 42 << 42;
    }
    void percentIsClamped()
    {
        QFETCH(int, reported);
        QFETCH(int, target);
        SteppedProgress p;
        p.run->reset(true);
        p.run->report(reported, QStringLiteral("Logging in ..."));
        QCOMPARE(p.run->target(), target);
        p.advance(10000);
        QCOMPARE(p.run->shown(), target);
    }

    void holdsAndStageTimes()
    {
        SteppedProgress p;
        finishFirstRun(p);
        p.run->reset(true);
        p.run->report(0, QStringLiteral("Logging in ..."));
        p.run->report(10, QStringLiteral("Checking for update ..."));
        p.run->report(35, QStringLiteral("Authentication ..."));

        // "Logging in ..." keeps the screen for 750 ms although 0 % is reached at once.
        const qint64 second = p.advanceUntil([&] { return p.run->target() == 10; });
        QVERIFY2(second >= 750 && second <= 750 + 2 * 16, qPrintable(QString::number(second)));

        // 10 % is reached after 10 / 18 s, then held 420 ms: the third stage
        // starts then, later than its 750 ms minimum.
        const qint64 reached = p.advanceUntil([&] { return p.run->shown() == 10; });
        QVERIFY2(reached >= 512 && reached <= 560, qPrintable(QString::number(reached)));
        QVERIFY(p.run->isHolding());
        const qint64 held = p.advanceUntil([&] { return p.run->target() == 35; });
        QVERIFY2(held >= 420 && held <= 420 + 2 * 16, qPrintable(QString::number(held)));
        QCOMPARE(p.run->status(), QStringLiteral("Authentication ..."));
    }

    void lowerStageDropsTheBarAtOnce()
    {
        SteppedProgress p;
        finishFirstRun(p);
        p.run->reset(true);
        p.run->report(50, QStringLiteral("Logging in ..."));
        p.run->report(20, QStringLiteral("Authentication ..."));
        p.advanceUntil([&] { return p.run->shown() == 50; });
        p.advanceUntil([&] { return p.run->target() == 20; });
        // The next tick shows the lower stage, without an animation down.
        p.advance(16);
        QCOMPARE(p.run->shown(), 20);
    }

    void timeToFinish_data()
    {
        QTest::addColumn<bool>("laterRun");
        QTest::addColumn<int>("expectedMs");
        // First run: the first stage started at clock 0 and gives way after its
        // 420 ms pause. Later runs: 750 ms of "Logging in ...", then the climb
        // at 18 points per second to 99.5 (5528 ms).
        QTest::newRow("first run of the page") << false << 420 + 5528;
        QTest::newRow("later run") << true << 750 + 5528;
    }
    void timeToFinish()
    {
        QFETCH(bool, laterRun);
        QFETCH(int, expectedMs);
        SteppedProgress p;
        QSignalSpy finished(p.run, &LoginProgressRun::finished);
        if (laterRun) {
            finishFirstRun(p);
            QCOMPARE(finished.count(), 0); // the first run never got to 100
        }
        p.run->reset(true);
        p.run->report(0, QStringLiteral("Logging in ..."));
        p.run->report(100, QStringLiteral("Loading configuration ..."));

        const qint64 shown = p.advanceUntil([&] { return p.run->shown() == 100; });
        QVERIFY2(qAbs(shown - expectedMs) <= 3 * 16, qPrintable(QString::number(shown)));
        QVERIFY(!p.run->isTicking());
        QCOMPARE(finished.count(), 0);
        const qint64 signalled = p.advanceUntil([&] { return finished.count() > 0; });
        QVERIFY2(signalled >= 250 && signalled <= 250 + 16, qPrintable(QString::number(signalled)));

        // Once per run: more reports at 100 and more time change nothing.
        p.run->report(100, QStringLiteral("Loading configuration ..."));
        p.advance(3000);
        QCOMPARE(finished.count(), 1);
        // A new run may finish again.
        p.run->reset(true);
        p.run->report(100, QStringLiteral("Loading configuration ..."));
        p.advance(8000);
        QCOMPARE(finished.count(), 2);
    }

    void inactiveRunStopsTicking()
    {
        SteppedProgress p;
        QSignalSpy finished(p.run, &LoginProgressRun::finished);
        p.run->reset(true);
        p.run->report(100, QStringLiteral("Logging in ..."));
        p.advance(1000);
        p.run->reset(false);
        QVERIFY(!p.run->isTicking());
        QCOMPARE(p.run->shown(), 0);
        // A report after the run was put away still wakes the tick, which stops
        // at once and never announces an end.
        p.run->report(100, QStringLiteral("Loading configuration ..."));
        p.advance(10000);
        QVERIFY(!p.run->isTicking());
        QCOMPARE(finished.count(), 0);
    }
};

QTEST_GUILESS_MAIN(TestLoginProgressRun)
#include "tst_loginprogressrun.moc"
