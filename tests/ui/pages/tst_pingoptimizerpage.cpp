// The sweep page: it draws a sweep's progress, lights its region dots,
// forwards the end, and its header band drives the window under it.

#include "connection/PingSweep.h"
#include "services/ServiceClient.h"
#include "support/PainterWarnings.h"
#include "support/fakeservice/FakeService.h"
#include "support/faketools/FakeRunner.h"
#include "ui/pages/connection/PingOptimizerPage.h"
#include "ui/widgets/Gauges.h"

#include <QLabel>
#include <QPushButton>
#include <QtTest>

namespace {

void sendMouse(QWidget *target, QEvent::Type type, const QPoint &local, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, QPointF(local), QPointF(target->mapToGlobal(local)),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

} // namespace

class TestPingOptimizerPage : public QObject
{
    Q_OBJECT

private slots:
    void init() { TestSupport::failOnPainterWarnings(); }

    void showingRunsAnAnalysisToItsEnd()
    {
        FakeService service;
        QVERIFY(service.listen());
        service.setServers(QJsonArray{QJsonObject{{"id", "a"}, {"ip_address", "127.0.0.1"}, {"name", "A"}}});
        QTemporaryDir dir;
        FakeRunner runner([](const SystemTools::ToolCommand &c) {
            return FakeRunner::reply(FakeRunner::exited(c, 0, FakeRunner::linuxPingText("127.0.0.1", {"8"})),
                                     1);
        });
        ServiceClient client(ServiceConfig(service.origin(), service.origin(), service.origin()),
                             [] { return ServiceApi::Credentials{}; });
        PingSweepIntervals intervals;
        intervals.fallbackMs = 100;
        intervals.tickMs = 2;
        intervals.finishDelayMs = 10;
        intervals.regionDotMs = 2;
        PingSweep sweep(&client, &runner, dir.filePath("server_pings.json"), intervals);

        QWidget window;
        window.resize(1000, 700);
        auto *page = new PingOptimizerPage(&window, &sweep);
        page->setGeometry(window.rect());
        page->hide();
        window.show();
        QSignalSpy finished(page, &PingOptimizerPage::finished);
        page->show();
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 5000);
        QCOMPARE(page->progressFill()->width(), page->progressFill()->parentWidget()->width());
        QTRY_VERIFY(page->regionDot("Oceania")->styleSheet().contains("#f57711"));
        for (const QString &region : PingOptimizerPage::regions())
            QVERIFY(page->regionDot(region)->styleSheet().contains("#f57711"));

        // A new analysis starts from dark dots and an empty bar.
        page->startAnalysis();
        QCOMPARE(page->progressFill()->width(), 0);
        QVERIFY(!page->regionDot("North America")->styleSheet().contains("#f57711"));
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 2, 5000);
    }

    // The window coming back from the task bar re-shows the page: no new analysis.
    void restoredWindowStartsNothing()
    {
        PingSweep sweep(nullptr, nullptr, QString());
        QSignalSpy started(&sweep, &PingSweep::started);
        QWidget window;
        window.resize(800, 600);
        auto *page = new PingOptimizerPage(&window, &sweep);
        page->setGeometry(window.rect());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(started.size(), 1);
        window.showMinimized();
        QTRY_VERIFY(window.windowState() & Qt::WindowMinimized);
        window.showNormal();
        QTRY_VERIFY(!(window.windowState() & Qt::WindowMinimized));
        QVERIFY(page->isVisible());
        QCoreApplication::processEvents();
        QCOMPARE(started.size(), 1);
    }

    void withoutSweepFinishesAtOnce()
    {
        QWidget window;
        auto *page = new PingOptimizerPage(&window);
        QSignalSpy finished(page, &PingOptimizerPage::finished);
        page->startAnalysis();
        QTRY_COMPARE(finished.size(), 1);
    }

    // Only a press in the header band (y up to 60) drags the window.
    void dragByHeaderBand_data()
    {
        QTest::addColumn<int>("y");
        QTest::addColumn<bool>("moves");
        QTest::newRow("header band") << 60 << true;
        QTest::newRow("below it") << 61 << false;
    }
    void dragByHeaderBand()
    {
        QFETCH(int, y);
        QFETCH(bool, moves);
        QWidget window;
        window.resize(800, 600);
        window.move(100, 100);
        auto *page = new PingOptimizerPage(&window);
        page->setGeometry(window.rect());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QPoint start = window.frameGeometry().topLeft();
        sendMouse(page, QEvent::MouseButtonPress, QPoint(300, y), Qt::LeftButton);
        sendMouse(page, QEvent::MouseMove, QPoint(340, y + 25), Qt::LeftButton);
        sendMouse(page, QEvent::MouseButtonRelease, QPoint(340, y + 25), Qt::NoButton);
        QCOMPARE(window.frameGeometry().topLeft(), moves ? start + QPoint(40, 25) : start);
    }

    void headerButtonsActOnTheWindow()
    {
        QWidget window;
        window.resize(800, 600);
        auto *page = new PingOptimizerPage(&window);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(page->minimizeButton()->objectName(), QStringLiteral("windowControlBtn"));
        page->minimizeButton()->click();
        QTRY_VERIFY(window.windowState() & Qt::WindowMinimized);
        window.showNormal();
        page->closeButton()->click();
        QVERIFY(!window.isVisible());
    }
};

QTEST_MAIN(TestPingOptimizerPage)
#include "tst_pingoptimizerpage.moc"
