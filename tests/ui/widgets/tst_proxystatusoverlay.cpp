#include "PaintedWidgetTest.h"
#include "ui/widgets/HoverPartner.h"
#include "ui/widgets/ProxyStatusOverlay.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

// The busy overlay over a plain host window, as the main window uses it.
class TestProxyStatusOverlay : public QObject
{
    Q_OBJECT

private:
    // A fade this short lets the tests see fades end without waiting long.
    static constexpr int kFadeMs = 15;

    struct Host
    {
        QWidget window;
        ProxyStatusOverlay *overlay = nullptr;
        Host()
        {
            window.resize(400, 300);
            auto *label = new QLabel(QStringLiteral("beneath"), &window);
            label->move(10, 10);
            overlay = new ProxyStatusOverlay(&window, kFadeMs);
            overlay->setGeometry(window.rect());
            overlay->hide();
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
        }
    };

private slots:
    void init() { PaintedWidgetTest::failOnPainterWarnings(); }

    void titleIsDrawn_data()
    {
        QTest::addColumn<bool>("progress");
        QTest::newRow("message") << false;
        QTest::newRow("progress at 50 %") << true;
    }
    void titleIsDrawn()
    {
        // What the user sees once the fade-in is over: the title's white text
        // over the dimmed backdrop, not only a title that was set.
        QFETCH(bool, progress);
        Host host;
        if (progress)
            host.overlay->showProgress(QStringLiteral("Stopping Proxy"), 50, 5242880, 10485760);
        else
            host.overlay->showMessage(QStringLiteral("Stopping Proxy"));
        QTRY_VERIFY(!host.overlay->isFadingIn());
        const QImage shot = host.window.grab().toImage();
        const auto *title = host.overlay->findChild<QLabel *>(QStringLiteral("ProxyStatusTitle"));
        QVERIFY(title);
        const QRect area = title->geometry().translated(host.overlay->pos());
        int white = 0;
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x) {
                const QColor c = shot.pixelColor(x, y);
                white += c.red() > 200 && c.green() > 200 && c.blue() > 200;
            }
        }
        // "Stopping Proxy" at 20 px covers a few hundred pixels.
        QVERIFY2(white > 100, qPrintable(QStringLiteral("%1 white pixels").arg(white)));
    }

    void subtitle_data()
    {
        QTest::addColumn<int>("percent");
        QTest::addColumn<qint64>("received");
        QTest::addColumn<qint64>("total");
        QTest::addColumn<QString>("expected");
        QTest::newRow("half of ten megabytes")
            << 50 << qint64(5242880) << qint64(10485760) << QStringLiteral("50% - 5.0 MB / 10.0 MB");
        QTest::newRow("no total shows only the percent")
            << 50 << qint64(5242880) << qint64(0) << QStringLiteral("50%");
        QTest::newRow("negative total") << 7 << qint64(10) << qint64(-1) << QStringLiteral("7%");
        // Whole-megabyte division would print 1.0 here.
        QTest::newRow("fractions are kept")
            << 3 << qint64(1572864) << qint64(52428800) << QStringLiteral("3% - 1.5 MB / 50.0 MB");
        QTest::newRow("beyond 2 GiB") << 99 << qint64(5368709120) << qint64(5421137920)
                                      << QStringLiteral("99% - 5120.0 MB / 5170.0 MB");
    }
    void subtitle()
    {
        QFETCH(int, percent);
        QFETCH(qint64, received);
        QFETCH(qint64, total);
        QFETCH(QString, expected);
        QCOMPARE(ProxyStatusOverlay::progressSubtitle(percent, received, total), expected);

        Host host;
        host.overlay->showProgress(QStringLiteral("Downloading update..."), percent, received, total);
        QVERIFY(host.overlay->isVisible());
        QVERIFY(host.overlay->isSubtitleShown());
        QCOMPARE(host.overlay->subtitleText(), expected);
        QCOMPARE(host.overlay->titleText(), QStringLiteral("Downloading update..."));
        QVERIFY(host.overlay->isProgressMode());
    }

    void repeatedProgressKeepsSnapshotButMessageTakesNewOne()
    {
        Host host;
        host.overlay->showProgress(QStringLiteral("Downloading"), 1, 1, 100);
        const qint64 first = host.overlay->blurredBackdrop().cacheKey();
        QVERIFY(!host.overlay->blurredBackdrop().isNull());
        host.overlay->showProgress(QStringLiteral("Downloading"), 40, 40, 100);
        host.overlay->showProgress(QStringLiteral("Downloading"), 80, 80, 100);
        QCOMPARE(host.overlay->blurredBackdrop().cacheKey(), first);
        QCOMPARE(host.overlay->percent(), 80);

        host.overlay->showMessage(QStringLiteral("Installing update..."));
        QVERIFY(host.overlay->blurredBackdrop().cacheKey() != first);
        QVERIFY(!host.overlay->isSubtitleShown());
        QVERIFY(!host.overlay->isProgressMode());
    }

    void fadeOutEmitsFinishedOnceAndHides()
    {
        Host host;
        QSignalSpy finished(host.overlay, &ProxyStatusOverlay::finished);
        host.overlay->showMessage(QStringLiteral("Closing Quorlyx"));
        host.overlay->fadeOut();
        host.overlay->fadeOut(); // a second request while fading changes nothing
        QTRY_VERIFY_WITH_TIMEOUT(!host.overlay->isVisible(), 10000);
        QCOMPARE(finished.count(), 1);
        QTest::qWait(3 * kFadeMs);
        QCOMPARE(finished.count(), 1);
    }

    void showDuringFadeOutStaysVisible()
    {
        Host host;
        QSignalSpy finished(host.overlay, &ProxyStatusOverlay::finished);
        host.overlay->showMessage(QStringLiteral("Installing update..."));
        host.overlay->fadeOut();
        QVERIFY(host.overlay->isFadingOut());
        host.overlay->showMessage(QStringLiteral("Closing Quorlyx"));
        QVERIFY(!host.overlay->isFadingOut());
        QTest::qWait(3 * kFadeMs);
        QVERIFY(host.overlay->isVisible());
        QCOMPARE(finished.count(), 0);
        QCOMPARE(host.overlay->titleText(), QStringLiteral("Closing Quorlyx"));

        // A progress tick during a fade-out brings the overlay back as well.
        host.overlay->fadeOut();
        host.overlay->showProgress(QStringLiteral("Downloading"), 10, 1, 10);
        QTest::qWait(3 * kFadeMs);
        QVERIFY(host.overlay->isVisible());
        QCOMPARE(finished.count(), 0);
    }

    void fadeOutDuringFadeInStillFinishes()
    {
        Host host;
        QSignalSpy finished(host.overlay, &ProxyStatusOverlay::finished);
        host.overlay->showMessage(QStringLiteral("Application Closing..."));
        host.overlay->fadeOut(); // the fade-in has only just begun
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 10000);
        QVERIFY(!host.overlay->isVisible());
    }

    void repaintTimerRunsOnlyWhileVisible()
    {
        Host host;
        QVERIFY(!host.overlay->isRepaintTimerActive());
        host.overlay->showMessage(QStringLiteral("Closing Quorlyx"));
        QVERIFY(host.overlay->isRepaintTimerActive());
        host.overlay->fadeOut();
        QTRY_VERIFY_WITH_TIMEOUT(!host.overlay->isVisible(), 10000);
        QVERIFY(!host.overlay->isRepaintTimerActive());
    }

    void clicksDoNotReachWidgetsBeneath()
    {
        Host host;
        auto *button = new QPushButton(QStringLiteral("beneath"), &host.window);
        button->setGeometry(100, 100, 80, 30);
        button->show();
        host.overlay->showMessage(QStringLiteral("Closing Quorlyx"));
        host.overlay->raise();
        QSignalSpy clicked(button, &QPushButton::clicked);
        QWidget *target = host.window.childAt(QPoint(140, 115));
        QVERIFY(target);
        QVERIFY(target == host.overlay || host.overlay->isAncestorOf(target));
        QTest::mouseClick(target, Qt::LeftButton, {}, target->mapFrom(&host.window, QPoint(140, 115)));
        QCOMPARE(clicked.count(), 0);
    }

    void withoutParentPaintsWithoutSnapshot()
    {
        ProxyStatusOverlay overlay;
        overlay.resize(200, 200);
        overlay.captureBlurredBackground();
        QVERIFY(overlay.blurredBackdrop().isNull());
        overlay.showProgress(QStringLiteral("x"), 100, 1, 1);
        const QImage image = overlay.grab().toImage();
        QVERIFY(!image.isNull());
    }

    void hoverPartnerIsGuarded()
    {
        QWidget hit;
        auto *partner = new QWidget;
        HoverPartner::set(&hit, HoverPartner::kGamesFavOverlay, partner);
        QCOMPARE(HoverPartner::get(&hit, HoverPartner::kGamesFavOverlay), partner);
        delete partner;
        QCOMPARE(HoverPartner::get(&hit, HoverPartner::kGamesFavOverlay), nullptr);
        // A raw number stored by mistake is never taken as an address.
        hit.setProperty(HoverPartner::kHomeFavClose, QVariant::fromValue<quint64>(0xdeadbeef));
        QCOMPARE(HoverPartner::get(&hit, HoverPartner::kHomeFavClose), nullptr);
        QCOMPARE(HoverPartner::get(&hit, "noSuchProperty"), nullptr);
    }
};

QTEST_MAIN(TestProxyStatusOverlay)
#include "tst_proxystatusoverlay.moc"
