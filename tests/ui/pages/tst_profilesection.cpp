// The Profile section on its own: the card's geometry and values, the
// "Log Out" pill's rounded hit shape, and the confirmation overlay it opens.

#include "support/PainterWarnings.h"
#include "ui/pages/account/ProfileSection.h"
#include "ui/widgets/CardOverlay.h"
#include "ui/widgets/DecorativeWidgets.h"

#include <QLabel>
#include <QLayout>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

struct Rig
{
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    QWidget *frame = nullptr;
    ProfileSection *profile = nullptr;

    explicit Rig(const AccountTexts &texts = AccountTexts::from({}, {}, {}, {}))
    {
        window->resize(1440, 810);
        frame = new QWidget(window.get());
        frame->setObjectName(QStringLiteral("WindowFrame"));
        frame->setGeometry(window->rect());
        profile = new ProfileSection(frame, window.get(), texts, window.get());
        profile->card()->show();
        profile->logoutButton()->show();
        window->show();
    }
    template <typename T = QWidget> T *named(const char *name) const
    {
        return window->findChild<T *>(QLatin1String(name));
    }
};

// A press as the platform delivers it: to the widget under the point, which
// must let it through (a mask or an ignored press).
void press(QWidget *root, const QPoint &at, Qt::MouseButton button = Qt::LeftButton)
{
    QWidget *target = root->childAt(at);
    if (!target)
        target = root;
    QTest::mouseClick(target, button, {}, target->mapFrom(root, at));
}

} // namespace

class TestProfileSection : public QObject
{
    Q_OBJECT

private slots:
    void init() { TestSupport::failOnPainterWarnings(); }

    void geometry()
    {
        Rig rig;
        const struct
        {
            const char *name;
            QRect rect;
        } places[] = {
            {"ProfileLeftSection", {120, 154, 640, 390}},
            {"ProfileEmailIconBg", {20, 89, 40, 40}},
            {"ProfileEmailValue", {80, 110, 540, 24}},
            {"ProfilePersonalInfoDivider1", {20, 149, 600, 1}},
            {"ProfileIspIconBg", {20, 169, 40, 40}},
            {"ProfileIspValue", {80, 190, 540, 24}},
            {"ProfilePersonalInfoDivider2", {20, 239, 600, 1}},
            {"ProfileCountryIconBg", {20, 259, 40, 40}},
            {"ProfileCountryValue", {80, 280, 540, 24}},
            {"ProfileEmailIcon", {12, 12, 16, 16}},
            {"ProfileLogoutButton", {120, 564, 138, 48}},
            {"LogoutConfirmIconBg", {169, 30, 48, 48}},
            {"LogoutConfirmCancel", {108, 176, 80, 32}},
            {"LogoutConfirmConfirm", {198, 176, 80, 32}},
        };
        for (const auto &place : places) {
            QWidget *w = rig.named(place.name);
            QVERIFY2(w, place.name);
            QCOMPARE(w->geometry(), place.rect);
        }
        for (const char *label : {"ProfileEmailLabel", "ProfileIspLabel", "ProfileCountryLabel"}) {
            QCOMPARE(rig.named(label)->x(), 80);
            QCOMPARE(rig.named(label)->height(), 20);
        }
        QCOMPARE(rig.named("ProfileEmailLabel")->y(), 84);
        QCOMPARE(rig.named("ProfileIspLabel")->y(), 164);
        QCOMPARE(rig.named("ProfileCountryLabel")->y(), 254);
        QCOMPARE(rig.named("ProfilePersonalInfoTitle")->pos(), QPoint(20, 20));
        QCOMPARE(rig.profile->overlay()->parentWidget(), rig.window.get());
        QCOMPARE(rig.profile->card()->parentWidget(), rig.frame);
        QCOMPARE(rig.profile->logoutCard()->size(), QSize(386, 232));
        QVERIFY(rig.profile->overlay()->isHidden());
        for (const char *button : {"LogoutConfirmCancel", "LogoutConfirmConfirm"}) {
            auto *b = rig.named<QPushButton>(button);
            QCOMPARE(b->focusPolicy(), Qt::NoFocus);
            QVERIFY(!b->isDefault() && !b->autoDefault());
        }
        QCOMPARE(rig.named<QLabel>("LogoutConfirmTitle")->text(), QStringLiteral("Log out"));
        QCOMPARE(rig.named<QLabel>("LogoutConfirmDesc")->text(),
                 QStringLiteral("Are you sure you want to leave?"));
    }

    void logOutPillShowsItsWholeText()
    {
        Rig rig;
        ProfileClickableFrame *pill = rig.profile->logoutButton();
        pill->layout()->activate();
        QLabel *text = nullptr;
        for (QLabel *label : pill->findChildren<QLabel *>()) {
            if (!label->text().isEmpty())
                text = label;
        }
        QVERIFY(text);
        QCOMPARE(text->text(), QStringLiteral("Log Out"));
        QVERIFY(text->width() >= text->fontMetrics().horizontalAdvance(text->text()));
        QVERIFY(pill->rect().contains(text->geometry()));
    }

    void values()
    {
        Rig rig(AccountTexts::from(QStringLiteral("sam@x.io"), {}, QStringLiteral("Net Co"), {}));
        QCOMPARE(rig.profile->emailValue()->text(), QStringLiteral("sam@x.io"));
        QCOMPARE(rig.profile->ispValue()->text(), QStringLiteral("Net Co"));
        QCOMPARE(rig.profile->countryValue()->text(), QStringLiteral("-"));
        rig.profile->showAccount(AccountTexts::from({}, {}, {}, QStringLiteral("Iran")));
        QCOMPARE(rig.profile->emailValue()->text(), QStringLiteral("-"));
        QCOMPARE(rig.profile->ispValue()->text(), QStringLiteral("-"));
        QCOMPARE(rig.profile->countryValue()->text(), QStringLiteral("Iran"));
    }

    void pillOpensTheOverlay_data()
    {
        QTest::addColumn<QPoint>("at"); // in the pill
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<bool>("opens");
        QTest::newRow("left press") << QPoint(69, 24) << Qt::LeftButton << true;
        QTest::newRow("left press on the text") << QPoint(40, 24) << Qt::LeftButton << true;
        QTest::newRow("right press") << QPoint(69, 24) << Qt::RightButton << false;
        QTest::newRow("middle press") << QPoint(69, 24) << Qt::MiddleButton << false;
        QTest::newRow("corner outside the round") << QPoint(2, 2) << Qt::LeftButton << false;
    }
    void pillOpensTheOverlay()
    {
        QFETCH(QPoint, at);
        QFETCH(Qt::MouseButton, button);
        QFETCH(bool, opens);
        Rig rig;
        QVERIFY(QTest::qWaitForWindowExposed(rig.window.get()));
        press(rig.frame, rig.profile->logoutButton()->geometry().topLeft() + at, button);
        QCOMPARE(rig.profile->overlay()->isVisible(), opens);
        if (!opens)
            return;
        QCOMPARE(rig.profile->overlay()->geometry(), rig.window->rect());
        QCOMPARE(rig.profile->logoutCard()->pos(), QPoint(527, 289));
        QTRY_VERIFY(rig.profile->overlay()->hasFocus());
    }

    void whatClosesTheOverlay_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("closes");
        QTest::addColumn<bool>("confirmed");
        QTest::newRow("press on the card") << "card" << false << false;
        QTest::newRow("press 1 px left of the card") << "left" << true << false;
        QTest::newRow("press 1 px below the card") << "below" << true << false;
        QTest::newRow("Escape") << "escape" << true << false;
        QTest::newRow("Enter") << "enter" << false << false;
        QTest::newRow("a letter") << "letter" << false << false;
        QTest::newRow("Cancel") << "cancel" << true << false;
        QTest::newRow("Confirm") << "confirm" << false << true;
    }
    void whatClosesTheOverlay()
    {
        QFETCH(QString, action);
        QFETCH(bool, closes);
        QFETCH(bool, confirmed);
        Rig rig;
        QVERIFY(QTest::qWaitForWindowExposed(rig.window.get()));
        QSignalSpy confirmedSpy(rig.profile, &ProfileSection::logoutConfirmed);
        rig.profile->showLogoutConfirm();
        CardOverlay *overlay = rig.profile->overlay();
        const QRect card = rig.profile->logoutCard()->geometry();
        if (action == QLatin1String("card"))
            press(overlay, card.topLeft() + QPoint(5, 5));
        else if (action == QLatin1String("left"))
            press(overlay, QPoint(card.left() - 1, card.center().y()));
        else if (action == QLatin1String("below"))
            press(overlay, QPoint(card.center().x(), card.bottom() + 1));
        else if (action == QLatin1String("escape"))
            QTest::keyClick(overlay, Qt::Key_Escape);
        else if (action == QLatin1String("enter"))
            QTest::keyClick(overlay, Qt::Key_Return);
        else if (action == QLatin1String("letter"))
            QTest::keyClick(overlay, Qt::Key_Q);
        else if (action == QLatin1String("cancel"))
            QTest::mouseClick(rig.profile->cancelButton(), Qt::LeftButton);
        else
            QTest::mouseClick(rig.profile->confirmButton(), Qt::LeftButton);
        QCOMPARE(overlay->isHidden(), closes);
        QCOMPARE(confirmedSpy.count(), confirmed ? 1 : 0);
    }

    void cardStaysCentredAfterAResize()
    {
        Rig rig;
        rig.profile->showLogoutConfirm();
        rig.window->resize(1080, 608);
        rig.profile->placeLogoutConfirm();
        QCOMPARE(rig.profile->overlay()->geometry(), QRect(0, 0, 1080, 608));
        QCOMPARE(rig.profile->logoutCard()->pos(), QPoint((1080 - 386) / 2, (608 - 232) / 2));
    }
};

QTEST_MAIN(TestProfileSection)
#include "tst_profilesection.moc"
