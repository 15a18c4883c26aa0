// The overlay that dims the sign-in page while the browser sign-in runs: its
// start and stop, the spinner's steps and what the spinner draws.

#include "ui/pages/signin/AuthProgressOverlay.h"
#include "ui/widgets/PaintedWidgetTest.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

namespace {

struct Host
{
    QWidget page;
    AuthProgressOverlay *overlay = nullptr;
    Host()
    {
        page.resize(1440, 810);
        overlay = new AuthProgressOverlay(&page);
        overlay->setGeometry(page.rect());
        page.show();
        if (!QTest::qWaitForWindowExposed(&page))
            qWarning("page not exposed");
    }
    QTimer *timer() const { return overlay->findChild<QTimer *>(); }
    void tick() const { QMetaObject::invokeMethod(timer(), "timeout"); }
    // The spinner is the panel's one 72 x 72 child.
    QWidget *spinner() const
    {
        for (QWidget *w :
             overlay->findChild<QFrame *>(QStringLiteral("AuthProgressPanel"))->findChildren<QWidget *>())
            if (w->size() == QSize(72, 72))
                return w;
        return nullptr;
    }
};

} // namespace

class TestAuthProgressOverlay : public QObject
{
    Q_OBJECT

private slots:
    void init() { PaintedWidgetTest::failOnPainterWarnings(); }

    void builtHidden()
    {
        Host host;
        QVERIFY(!host.overlay->isVisible());
        QCOMPARE(host.overlay->objectName(), QStringLiteral("AuthProgressOverlay"));
        QCOMPARE(host.overlay->message(), QStringLiteral("Logging in..."));
        auto *panel = host.overlay->findChild<QFrame *>(QStringLiteral("AuthProgressPanel"));
        QCOMPARE(panel->size(), QSize(520, 300));
        auto *cancel = host.overlay->findChild<QPushButton *>(QStringLiteral("AuthProgressCancel"));
        QVERIFY(cancel);
        QCOMPARE(cancel->text(), QStringLiteral("Cancel"));
        QCOMPARE(cancel->cursor().shape(), Qt::PointingHandCursor);
        QVERIFY(host.spinner());
        // The overlay does nothing on "Cancel" by itself.
        host.overlay->start(QStringLiteral("Waiting"));
        QTest::mouseClick(cancel, Qt::LeftButton);
        QVERIFY(host.overlay->isVisible());
    }

    void startShowsCentredPanel()
    {
        Host host;
        host.overlay->start(QStringLiteral("Connecting your account..."));
        QVERIFY(host.overlay->isVisible());
        QVERIFY(host.overlay->isSpinning());
        QCOMPARE(host.timer()->interval(), AuthProgressOverlay::kSpinnerIntervalMs);
        QCOMPARE(host.overlay->findChild<QLabel *>(QStringLiteral("AuthProgressText"))->text(),
                 QStringLiteral("Connecting your account..."));
        QVERIFY(host.overlay->findChild<QLabel *>(QStringLiteral("AuthProgressHint"))->isVisible());
        auto *panel = host.overlay->findChild<QFrame *>(QStringLiteral("AuthProgressPanel"));
        QCOMPARE(panel->geometry().center(), host.overlay->rect().center());
        QVERIFY(!host.overlay->findChild<QLabel *>(QStringLiteral("AuthProgressLogo"))->pixmap().isNull());
        QCOMPARE(host.overlay->findChild<QLabel *>(QStringLiteral("AuthProgressLogo"))->pixmap().height(),
                 48);
    }

    void secondStartContinues()
    {
        Host host;
        host.overlay->start(QStringLiteral("first"));
        host.tick();
        host.tick();
        QCOMPARE(host.overlay->step(), 2);
        host.overlay->start(QStringLiteral("second"));
        QCOMPARE(host.overlay->message(), QStringLiteral("second"));
        QCOMPARE(host.overlay->step(), 2);
        // One connection: one step per beat, however often it was started.
        host.tick();
        QCOMPARE(host.overlay->step(), 3);
        for (int i = 0; i < 5; ++i)
            host.tick();
        QCOMPARE(host.overlay->step(), 0); // wraps after 7

        // The step survives a stop and the next start.
        host.tick();
        host.overlay->stop();
        host.overlay->start(QStringLiteral("third"));
        QCOMPARE(host.overlay->step(), 1);
    }

    void stopOnHiddenOverlayChangesNothing()
    {
        Host host;
        host.overlay->stop();
        QVERIFY(!host.overlay->isVisible());
        QVERIFY(!host.overlay->isSpinning());
        QCOMPARE(host.overlay->step(), 0);
        host.overlay->start(QStringLiteral("x"));
        host.overlay->stop();
        host.overlay->stop();
        QVERIFY(!host.overlay->isVisible());
        QVERIFY(!host.overlay->isSpinning());
    }

    void keepsItsGeometry()
    {
        Host host;
        host.overlay->start(QStringLiteral("x"));
        host.page.resize(1000, 600);
        QCoreApplication::processEvents();
        QCOMPARE(host.overlay->geometry(), QRect(0, 0, 1440, 810));
    }

    void dotAlphas_data()
    {
        QTest::addColumn<int>("step");
        QTest::addColumn<QList<int>>("alphas");
        QTest::newRow("step 0") << 0 << QList<int>{255, 227, 199, 171, 143, 115, 87, 60};
        // The dot just before the step is the faintest (a negative remainder
        // would make it brighter than opaque).
        QTest::newRow("step 3") << 3 << QList<int>{115, 87, 60, 255, 227, 199, 171, 143};
        QTest::newRow("step 7") << 7 << QList<int>{227, 199, 171, 143, 115, 87, 60, 255};
    }
    void dotAlphas()
    {
        QFETCH(int, step);
        QFETCH(QList<int>, alphas);
        QList<int> got;
        for (int i = 0; i < AuthProgressOverlay::kDots; ++i)
            got.append(AuthProgressOverlay::dotAlpha(i, step));
        QCOMPARE(got, alphas);
    }

    void spinnerDrawsTheStepBrightest()
    {
        Host host;
        host.overlay->start(QStringLiteral("x"));
        host.tick(); // step 1: the dot at 45 degrees, below right of the centre
        QWidget *spinner = host.spinner();
        QVERIFY(spinner);
        const QImage image = host.overlay->grab().toImage();
        const QPoint centre = spinner->mapTo(host.overlay, QPoint(36, 36));
        const QColor bright = image.pixelColor(centre + QPoint(14, 14));
        QCOMPARE(bright, QColor(255, 122, 24));
        // The dot before it (at 0 degrees, right of the centre) is the faintest.
        const QColor faint = image.pixelColor(centre + QPoint(20, 0));
        QVERIFY2(faint.red() > 40 && faint.red() < 90, qPrintable(faint.name()));
        // And the next one after the step is a little dimmer than the step.
        const QColor next = image.pixelColor(centre + QPoint(0, 20));
        QVERIFY2(next.red() > 180 && next.red() < 250, qPrintable(next.name()));
    }
};

QTEST_MAIN(TestAuthProgressOverlay)
#include "tst_authprogressoverlay.moc"
