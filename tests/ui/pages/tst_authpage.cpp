// The sign-in page: field checks and submit, the account store it reads and
// writes, its two views and where they sit, the error banner, the links and
// the page's own window handling.

#include "SteppedProgress.h"
#include "resources/BundledFonts.h"
#include "storage/AccountStoreFiles.h"
#include "ui/pages/signin/AuthPage.h"
#include "ui/pages/signin/AuthProgressOverlay.h"
#include "ui/pages/signin/LoginBannerText.h"
#include "ui/widgets/CachedEffects.h"
#include "ui/widgets/PaintedWidgetTest.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

namespace {

QSettings *newStore()
{
    return new QSettings(QLatin1String(AccountStoreFiles::Organisation),
                         QLatin1String(AccountStoreFiles::Application));
}

QString storeFile()
{
    std::unique_ptr<QSettings> store(newStore());
    return store->fileName();
}

template <typename T = QWidget> T *child(QWidget *root, const char *name)
{
    T *w = root->findChild<T *>(QLatin1String(name));
    if (!w)
        qWarning("no child named %s", name);
    return w;
}

// The page at the window's size, shown on screen.
struct ShownPage
{
    AuthPage page;
    ShownPage()
    {
        page.resize(1440, 810);
        page.show();
        if (!QTest::qWaitForWindowExposed(&page))
            qWarning("page not exposed");
        QCoreApplication::processEvents(); // the deferred button marking
    }
    QLineEdit *email() { return child<QLineEdit>(&page, "AuthEmailInput"); }
    QLineEdit *password() { return child<QLineEdit>(&page, "AuthPasswordInput"); }
    QPushButton *login() { return child<QPushButton>(&page, "AuthV2LoginBtn"); }
    QFrame *card() { return child<QFrame>(&page, "AuthMainCard"); }
    int yInCard(const char *name) { return child(&page, name)->mapTo(card(), QPoint(0, 0)).y(); }
};

void focusOut(QWidget *field)
{
    QFocusEvent event(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(field, &event);
}

void sendMouse(QWidget *target, QEvent::Type type, Qt::MouseButton button, const QPoint &global)
{
    const Qt::MouseButtons buttons =
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent event(type, QPointF(target->mapFromGlobal(global)), QPointF(global), button, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

// A window around the page that records how it is asked to close.
class Host : public QWidget
{
public:
    int closeRequests = 0;

protected:
    void closeEvent(QCloseEvent *event) override
    {
        ++closeRequests;
        event->ignore(); // as the window does: its own closing sequence follows
    }
};

} // namespace

class TestAuthPage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        registerBundledFonts();
        QFile sheet(QStringLiteral(":/style.qss"));
        QVERIFY(sheet.open(QIODevice::ReadOnly));
        qApp->setStyleSheet(QString::fromUtf8(sheet.readAll()));
    }

    void init()
    {
        PaintedWidgetTest::failOnPainterWarnings();
        QFile::remove(storeFile());
    }

    void loginButtonMarking_data()
    {
        QTest::addColumn<QString>("email");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("invalid");
        QTest::newRow("five characters") << "a@b.c"
                                         << "12345" << true;
        QTest::newRow("six characters") << "a@b.c"
                                        << "123456" << false;
        QTest::newRow("blank email") << "   "
                                     << "123456" << true;
        QTest::newRow("empty form") << ""
                                    << "" << true;
    }
    void loginButtonMarking()
    {
        QFETCH(QString, email);
        QFETCH(QString, password);
        QFETCH(bool, invalid);
        ShownPage s;
        QVERIFY(s.login()->property("invalid").toBool()); // empty at start
        s.email()->setText(email);
        s.password()->setText(password);
        QCOMPARE(s.login()->property("invalid").toBool(), invalid);
        // The mark is only a look: the button stays usable.
        QVERIFY(s.login()->isEnabled());
        // And the look follows it at once (the rule keys on the property).
        const QPoint inside = s.login()->mapTo(&s.page, QPoint(8, 24));
        const QColor drawn = s.page.grab(QRect(inside, QSize(1, 1))).toImage().pixelColor(0, 0);
        QCOMPARE(drawn.red() > 200, !invalid);
    }

    void fieldMessagesOnFocusLoss()
    {
        ShownPage s;
        QLabel *emailError = nullptr;
        QLabel *passwordError = nullptr;
        const auto errors = s.card()->findChildren<QLabel *>(QStringLiteral("AuthV2FieldError"));
        QCOMPARE(errors.size(), 2);
        emailError = errors.at(0);
        passwordError = errors.at(1);

        s.email()->setText(QStringLiteral("   "));
        focusOut(s.email());
        QVERIFY(emailError->isVisible());
        QCOMPARE(emailError->text(), QStringLiteral("Email cannot be empty"));
        QVERIFY(s.email()->property("hasError").toBool());
        // The message covers no control and leaves room for the text.
        QVERIFY(s.email()->geometry().contains(emailError->geometry()));
        QVERIFY(s.email()->textMargins().right() >= emailError->width());

        // Typing does not clear it; the next focus loss does.
        QTest::keyClicks(s.email(), QStringLiteral("a@b.c"));
        QVERIFY(emailError->isVisible());
        QVERIFY(s.email()->property("hasError").toBool());
        focusOut(s.email());
        QVERIFY(!emailError->isVisible());
        QVERIFY(!s.email()->property("hasError").toBool());

        // The password is not trimmed: blanks are a password.
        s.password()->setText(QStringLiteral(" "));
        focusOut(s.password());
        QVERIFY(!passwordError->isVisible());
        s.password()->clear();
        focusOut(s.password());
        QVERIFY(passwordError->isVisible());
        QCOMPARE(passwordError->text(), QStringLiteral("Password cannot be empty"));

        // A message stays with its field: not over the progress view, back with the form.
        s.page.showLoginProgress();
        QVERIFY(!passwordError->isVisible());
        s.page.showLoginForm();
        QVERIFY(passwordError->isVisible());
    }

    void submit_data()
    {
        QTest::addColumn<QString>("email");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("keep");
        QTest::addColumn<QString>("storedEmail");
        QTest::newRow("kept, stored trimmed") << " a@b.c "
                                              << "pw" << true << "a@b.c";
        QTest::newRow("not kept") << " a@b.c "
                                  << "pw" << false << "";
        QTest::newRow("empty pair, the automatic sign-in's") << ""
                                                             << "" << false << "";
    }
    void submit()
    {
        QFETCH(QString, email);
        QFETCH(QString, password);
        QFETCH(bool, keep);
        QFETCH(QString, storedEmail);
        ShownPage s;
        QSignalSpy requested(&s.page, &AuthPage::loginRequested);
        s.email()->setText(email);
        s.password()->setText(password);
        if (keep)
            QTest::mouseClick(child<QPushButton>(&s.page, "AuthKeepLoginLabel"), Qt::LeftButton);

        QTest::mouseClick(s.login(), Qt::LeftButton);
        QVERIFY(!s.email()->isEnabled());
        QVERIFY(!s.login()->isEnabled());
        QVERIFY(s.page.isProgressViewShown());
        QVERIFY(child(&s.page, "AuthLoginBarTrack")->isVisible());
        QVERIFY(!s.email()->isVisible());
        QCOMPARE(requested.count(), 0); // 30 ms later

        QVERIFY(requested.wait(1000));
        QCOMPARE(requested.count(), 1);
        QCOMPARE(requested.at(0).at(0).toString(), email);
        QCOMPARE(requested.at(0).at(1).toString(), password);

        std::unique_ptr<QSettings> store(newStore());
        QCOMPARE(store->value(QStringLiteral("auth/remember")).toBool(), keep);
        QCOMPARE(store->value(QStringLiteral("auth/email")).toString(), storedEmail);
        // The store holds the token: owner-only.
        const QFile::Permissions permissions = QFile::permissions(store->fileName());
        QVERIFY(permissions.testFlag(QFile::ReadOwner) && permissions.testFlag(QFile::WriteOwner));
        const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                          QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
        QCOMPARE(permissions & others, QFile::Permissions());
    }

    void enterSubmitsNothing()
    {
        ShownPage s;
        QSignalSpy requested(&s.page, &AuthPage::loginRequested);
        s.email()->setText(QStringLiteral("a@b.c"));
        s.password()->setText(QStringLiteral("123456"));
        for (QLineEdit *field : {s.email(), s.password()}) {
            QTest::keyClick(field, Qt::Key_Return);
            QTest::keyClick(field, Qt::Key_Enter);
        }
        QVERIFY(!requested.wait(100));
        QVERIFY(!s.page.isProgressViewShown());
        QVERIFY(s.email()->isEnabled());
    }

    void keepMeLogin()
    {
        ShownPage s;
        auto *label = child<QPushButton>(&s.page, "AuthKeepLoginLabel");
        auto *check = child<QPushButton>(&s.page, "AuthKeepLoginCheckBtn");
        auto *logic = child<QCheckBox>(&s.page, "AuthKeepLoginCheckLogic");
        QVERIFY(!logic->isVisible());
        QVERIFY(!check->isChecked());
        QVERIFY(check->icon().isNull());

        QTest::mouseClick(label, Qt::LeftButton);
        QVERIFY(check->isChecked());
        QVERIFY(logic->isChecked());
        QVERIFY(!check->icon().isNull());
        QCOMPARE(check->icon().pixmap(14, 14).toImage(),
                 QIcon(QStringLiteral(":/icons/check.png")).pixmap(14, 14).toImage());

        QTest::mouseClick(label, Qt::LeftButton);
        QVERIFY(!check->isChecked());
        QVERIFY(!logic->isChecked());
        QVERIFY(check->icon().isNull());

        // The hidden box leads the button too.
        logic->setChecked(true);
        QVERIFY(check->isChecked());
    }

    void formEnabling()
    {
        ShownPage s;
        const char *controls[] = {"AuthEmailInput",         "AuthPasswordInput",  "AuthV2LoginBtn",
                                  "AuthV2RegisterBtn",      "AuthV2DiscordBtn",   "AuthGoogleBtn",
                                  "AuthV2Forgot",           "AuthKeepLoginLabel", "AuthKeepLoginCheckBtn",
                                  "AuthKeepLoginCheckLogic"};
        s.page.setFormEnabled(false);
        for (const char *name : controls)
            QVERIFY2(!child(&s.page, name)->isEnabled(), name);
        s.page.setFormEnabled(true);
        for (const char *name : controls)
            QVERIFY2(child(&s.page, name)->isEnabled(), name);
        // Only the fields take the keyboard.
        for (const char *name : controls) {
            const bool field = QByteArray(name).endsWith("Input");
            QCOMPARE(child(&s.page, name)->focusPolicy() != Qt::NoFocus, field);
        }
    }

    void requestAutoLogin()
    {
        ShownPage s;
        QSignalSpy requested(&s.page, &AuthPage::loginRequested);
        s.page.requestAutoLogin();
        QVERIFY(!s.email()->isEnabled());
        QVERIFY(s.page.isProgressViewShown());
        QCOMPARE(requested.count(), 0);
        QVERIFY(requested.wait(1000));
        QCOMPARE(requested.at(0), (QList<QVariant>{QString(), QString()}));
    }

    void accountStoreAtStart_data()
    {
        QTest::addColumn<bool>("writeStore");
        QTest::addColumn<QVariant>("remember");
        QTest::addColumn<QString>("token");
        QTest::addColumn<QString>("email");
        QTest::addColumn<bool>("remembered");
        QTest::addColumn<bool>("keepChecked");
        QTest::newRow("no store file") << false << QVariant() << ""
                                       << "" << false << false;
        QTest::newRow("remembered with a token") << true << QVariant(true) << "t0k"
                                                 << "me@x.y" << true << true;
        QTest::newRow("remembered without a token") << true << QVariant(true) << ""
                                                    << "" << false << true;
        QTest::newRow("token but not remembered") << true << QVariant(false) << "t0k"
                                                  << "" << false << false;
        QTest::newRow("email fills the field anyway") << true << QVariant(false) << ""
                                                      << "old@x.y" << false << false;
        QTest::newRow("remember stored as text") << true << QVariant("true") << "t0k"
                                                 << "" << true << true;
    }
    void accountStoreAtStart()
    {
        QFETCH(bool, writeStore);
        QFETCH(QVariant, remember);
        QFETCH(QString, token);
        QFETCH(QString, email);
        QFETCH(bool, remembered);
        QFETCH(bool, keepChecked);
        if (writeStore) {
            std::unique_ptr<QSettings> store(newStore());
            store->setValue(QStringLiteral("auth/remember"), remember);
            store->setValue(QStringLiteral("auth/token"), token);
            if (!email.isEmpty())
                store->setValue(QStringLiteral("auth/email"), email);
            store->sync();
        }
        AuthPage page;
        QCOMPARE(page.hasRememberedSession(), remembered);
        QCOMPARE(child<QLineEdit>(&page, "AuthEmailInput")->text(), email);
        QCOMPARE(child<QCheckBox>(&page, "AuthKeepLoginCheckLogic")->isChecked(), keepChecked);
        QCOMPARE(child<QPushButton>(&page, "AuthKeepLoginCheckBtn")->isChecked(), keepChecked);
        // Reading creates no store.
        QCOMPARE(QFile::exists(storeFile()), writeStore);
    }

    void layout()
    {
        ShownPage s;
        QCOMPARE(s.card()->pos(), QPoint(826, 146));
        QCOMPARE(s.card()->size(), QSize(518, 639));
        QCOMPARE(s.email()->geometry(), QRect(79, 209, 360, 48));
        QCOMPARE(s.password()->geometry(), QRect(79, 267, 360, 48));
        QCOMPARE(child(&s.page, "AuthUnderPasswordRow")->geometry(), QRect(0, 325, 518, 24));
        QCOMPARE(s.login()->geometry(), QRect(79, 365, 360, 48));
        QCOMPARE(s.yInCard("AuthV2Or"), 433);
        QCOMPARE(child(&s.page, "AuthGoogleBtn")->pos(), QPoint(79, 479));
        QCOMPARE(child(&s.page, "AuthV2DiscordBtn")->pos(), QPoint(264, 479));
        QCOMPARE(s.yInCard("AuthV2NoAccount"), 567);
        QCOMPARE(s.yInCard("AuthMainLogo"), 60);
        QCOMPARE(s.yInCard("AuthMainTitle"), 138);
        // The register line is centred as one piece.
        QWidget *noAccount = child(&s.page, "AuthV2NoAccount");
        QWidget *reg = child(&s.page, "AuthV2RegisterBtn");
        QCOMPARE(reg->x(), noAccount->x() + noAccount->width());
        QVERIFY(qAbs(noAccount->x() - (518 - reg->geometry().right() - 1)) <= 1);

        // Window buttons: 20 px from the top right, minimise 10 px left of close.
        QWidget *close = child(&s.page, "AuthWinCloseBtn");
        QWidget *min = child(&s.page, "AuthWinMinBtn");
        QCOMPARE(close->mapTo(&s.page, QPoint(0, 0)), QPoint(1440 - 20 - 52, 20));
        QCOMPARE(min->mapTo(&s.page, QPoint(0, 0)), QPoint(1440 - 20 - 52 - 10 - 52, 20));
        // Welcome panel and pill.
        QCOMPARE(child(&s.page, "AuthLeftWelcome")->pos(), QPoint(155, 292));
        QCOMPARE(child(&s.page, "AuthLeftHeadline")->pos(), QPoint(155, 343));
        QCOMPARE(child(&s.page, "AuthLangPill")->geometry(), QRect(260, 568, 180, 48));

        s.page.showLoginProgress();
        QCOMPARE(s.yInCard("AuthMainLogo"), 189);
        QCOMPARE(s.yInCard("AuthLoginWelcome"), 282);
        QCOMPARE(child(&s.page, "AuthLoginBarTrack")->geometry(), QRect(100, 353, 318, 5));
        QCOMPARE(s.yInCard("AuthLoginPercent"), 397);
        QCOMPARE(s.yInCard("AuthLoginStatus"), 429);
        for (const char *name :
             {"AuthMainTitle", "AuthEmailInput", "AuthPasswordInput", "AuthUnderPasswordRow",
              "AuthV2LoginBtn", "AuthV2Or", "AuthV2DiscordBtn", "AuthGoogleBtn", "AuthV2NoAccount",
              "AuthV2RegisterBtn", "AuthLoginErrorBanner"})
            QVERIFY2(!child(&s.page, name)->isVisible(), name);
        QCOMPARE(child<QLabel>(&s.page, "AuthLoginStatus")->text(), QStringLiteral("Logging in ..."));
        QCOMPARE(child<QLabel>(&s.page, "AuthLoginPercent")->text(), QStringLiteral("0%"));

        // The card stays put when the page is narrower, and never goes left of 0.
        s.page.resize(500, 810);
        QCOMPARE(s.card()->pos(), QPoint(0, 146));
    }

    // The page paints its picture itself (decoded early, off the GUI thread),
    // exactly as a style sheet's stretched border image of it draws, at the
    // default window size and at a smaller stored one. The top-left corner
    // holds nothing but the picture.
    void backgroundIsThePictureStretchedAsABorderImage_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("1440 x 810") << QSize(1440, 810);
        QTest::newRow("1280 x 720") << QSize(1280, 720);
    }

    void backgroundIsThePictureStretchedAsABorderImage()
    {
        QFETCH(QSize, size);
        AuthPage::startLoadingBackground();
        AuthPage page;
        page.resize(size);
        QWidget styled;
        styled.setAttribute(Qt::WA_StyledBackground, true);
        styled.setStyleSheet(
            QStringLiteral("border-image: url(:/icons/auth-login-bg.png) 0 0 0 0 stretch stretch;"));
        styled.resize(size);
        const QRect corner(0, 0, 140, 270);
        const QImage painted = page.grab().toImage().copy(corner).convertToFormat(QImage::Format_RGB32);
        const QImage expected = styled.grab().toImage().copy(corner).convertToFormat(QImage::Format_RGB32);
        QCOMPARE(painted, expected);
        // Not a blank corner compared with another.
        QVERIFY(painted.pixel(2, 2) != painted.pixel(130, 260));
    }

    void frostedGlassIsTheBackgroundUnderTheCard()
    {
        ShownPage s;
        auto *frost = child<QLabel>(&s.page, "AuthMainFrostBg");
        const QPixmap glass = frost->pixmap();
        QVERIFY(!glass.isNull());
        QCOMPARE(glass.deviceIndependentSize().toSize(), QSize(518, 639));
        QCOMPARE(frost->geometry(), s.card()->rect());
        // Lowest of the card's layers.
        QCOMPARE(s.card()->children().indexOf(frost) <
                     s.card()->children().indexOf(child(&s.page, "AuthMainLogo")),
                 true);

        // Far from the sun it is the page's picture; where the sun reaches under
        // the card, the sun is painted in.
        const QImage background = QImage(QStringLiteral(":/icons/auth-login-bg.png"))
                                      .scaled(1440, 810, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const QImage image = glass.toImage();
        QCOMPARE(image.pixelColor(400, 600), background.pixelColor(826 + 400, 146 + 600));
        QWidget *sun = child(&s.page, "AuthSun");
        QCOMPARE(sun->pos(), QPoint((1440 - sun->width()) / 2, 178));
        const QPoint ray(826 + 4, sun->y() + sun->height() / 2); // the sun's right ray
        QVERIFY(sun->geometry().contains(ray));
        const QColor painted = image.pixelColor(ray - QPoint(826, 146));
        QVERIFY2(painted.red() > 200 && painted.blue() < 100, qPrintable(painted.name()));
    }

    // The card's frost and shadow are worked out for its first paint and
    // kept while the form is used; a new size works them out again.
    void frostAndShadowAreKeptWhileTheFormChanges()
    {
        ShownPage s;
        auto *frost = dynamic_cast<CachedBlurEffect *>(child(&s.page, "AuthMainFrostBg")->graphicsEffect());
        auto *shadow = dynamic_cast<CachedShadowEffect *>(s.card()->graphicsEffect());
        QVERIFY(frost && shadow);
        QCOMPARE(shadow->blurRadius(), 80.0);
        QCOMPARE(shadow->color(), QColor(0, 0, 0, 120));
        QCOMPARE(frost->blurRadius(), 100.0);
        s.page.repaint();
        QCOMPARE(frost->blurCount(), 1);
        QCOMPARE(shadow->shadowCount(), 1);

        QTest::keyClicks(s.email(), QStringLiteral("sam@example.com"));
        s.page.showError(QStringLiteral("Unable to connect to server."));
        s.page.repaint();
        QCOMPARE(frost->blurCount(), 1);
        QCOMPARE(shadow->shadowCount(), 1);

        // The page is laid out again at another size: the card stays, the
        // picture under it is cut anew.
        s.page.resize(1300, 810);
        s.page.repaint();
        QCOMPARE(frost->blurCount(), 2);
        QCOMPARE(shadow->shadowCount(), 1);
    }

    void bannerLayout_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("height");
        QTest::newRow("mismatch breaks before its last word")
            << "Login failed. Email or password does not match."
            << "Login failed. Email or password does not\nmatch." << 72;
        QTest::newRow("fits one line") << "Unable to connect to server."
                                       << "Unable to connect to server." << 64;
        QTest::newRow("sentence break") << "Session ended elsewhere. Please sign in again."
                                        << "Session ended elsewhere.\nPlease sign in again." << 72;
    }
    void bannerLayout()
    {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        QFETCH(int, height);
        ShownPage s;
        s.page.showError(message);
        auto *banner = child<QFrame>(&s.page, "AuthLoginErrorBanner");
        QVERIFY(banner->isVisible());
        QCOMPARE(child<QLabel>(&s.page, "AuthLoginErrorText")->text(), shown);
        QCOMPARE(banner->geometry(), QRect(79, 433, 360, height));
        QVERIFY(!child(&s.page, "AuthV2Or")->isVisible());
        QCOMPARE(child(&s.page, "AuthGoogleBtn")->pos(), QPoint(79, height + 459));
        QCOMPARE(child(&s.page, "AuthV2DiscordBtn")->pos(), QPoint(264, height + 459));
        QCOMPARE(s.yInCard("AuthV2NoAccount"), height + 547);
        QCOMPARE(s.yInCard("AuthV2RegisterBtn"), height + 546);
        // Every line of the message is drawn inside the banner.
        auto *text = child<QLabel>(&s.page, "AuthLoginErrorText");
        const int lines = int(shown.count(QLatin1Char('\n'))) + 1;
        QVERIFY(text->fontMetrics().lineSpacing() * lines <= text->height());
        QVERIFY(banner->geometry().bottom() < child(&s.page, "AuthGoogleBtn")->y());

        s.page.showLoginForm();
        QVERIFY(!banner->isVisible());
        QVERIFY(child(&s.page, "AuthV2Or")->isVisible());
        QCOMPARE(child(&s.page, "AuthGoogleBtn")->pos(), QPoint(79, 479));
    }

    void longErrorTextStaysABanner()
    {
        ShownPage s;
        QString text;
        for (int i = 0; text.size() < 2000; ++i)
            text += QStringLiteral("word%1 ").arg(i);
        text.truncate(2000);
        QElapsedTimer timer;
        timer.start();
        s.page.showError(text);
        QVERIFY(timer.elapsed() < 1000);
        auto *banner = child<QFrame>(&s.page, "AuthLoginErrorBanner");
        QVERIFY(banner->isVisible());
        QCOMPARE(banner->height(), 72);
        auto *label = child<QLabel>(&s.page, "AuthLoginErrorText");
        const QString shown = label->text();
        QCOMPARE(shown.count(QLatin1Char('\n')), 1);
        QVERIFY(shown.startsWith(QStringLiteral("word0 word1")));
        // What does not fit the two lines is elided, not cut off mid-glyph,
        // and the whole message is still at hand.
        for (const QString &line : shown.split(QLatin1Char('\n')))
            QVERIFY(label->fontMetrics().horizontalAdvance(line) <= label->width());
        QVERIFY(shown.endsWith(QChar(0x2026)));
        QCOMPARE(banner->toolTip(), text);
    }

    void bannerLineBreaking_data()
    {
        // 10 px per character, 150 px available: 15 characters fit.
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("wrapped");
        QTest::newRow("fits") << "fifteen chars.."
                              << "fifteen chars.." << false;
        QTest::newRow("does not match") << "It does not match."
                                        << "It does not\nmatch." << true;
        QTest::newRow("full stop and blank") << "Bad thing. Try again"
                                             << "Bad thing.\nTry again" << true;
        QTest::newRow("full stop at the end is no break") << "abcdefghijklmnopq. "
                                                          << "abcdefghijklmno\npq." << true;
        QTest::newRow("full stop first is no break") << ". abcdefghijklmnopq"
                                                     << ". abcdefghijklm\nnopq" << true;
        QTest::newRow("last blank after index 10") << "abc defghijk lmnop qrs"
                                                   << "abc defghijk\nlmnop qrs" << true;
        QTest::newRow("blank too early: cut after the prefix") << "abc defghijklmnopqrs"
                                                               << "abc defghijklmn\nopqrs" << true;
        QTest::newRow("line break already there") << "first line is long\nsecond"
                                                  << "first line is long\nsecond" << true;
    }
    void bannerLineBreaking()
    {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QFETCH(bool, wrapped);
        const LoginBannerText laid =
            breakLoginBannerText(text, 150, [](const QString &s) { return int(s.size()) * 10; });
        QCOMPARE(laid.text, shown);
        QCOMPARE(laid.wrapped, wrapped);
        QCOMPARE(laid.lines, int(shown.count(QLatin1Char('\n'))) + 1);
    }

    void bannerMeasuresAFewTimesOnly()
    {
        int calls = 0;
        const QString text(100000, QLatin1Char('x'));
        const LoginBannerText laid = breakLoginBannerText(text, 150, [&calls](const QString &s) {
            ++calls;
            return int(s.size()) * 10;
        });
        QCOMPARE(laid.text.indexOf(QLatin1Char('\n')), 15);
        QVERIFY2(calls < 40, qPrintable(QString::number(calls)));
        // Nothing fits at all: left as it is.
        const LoginBannerText none = breakLoginBannerText(
            QStringLiteral("abc"), 5, [](const QString &s) { return int(s.size()) * 10; });
        QCOMPARE(none.text, QStringLiteral("abc"));
        QCOMPARE(none.lines, 1);
        QVERIFY(none.wrapped);
    }

    void progressIsDrawn()
    {
        ShownPage s;
        SteppedProgress stepped;
        s.page.setProgressRun(stepped.run);
        QSignalSpy finished(&s.page, &AuthPage::progressFinished);
        s.page.showLoginProgress();
        s.page.setLoginProgress(-5, QStringLiteral("Checking for update ..."));
        s.page.setLoginProgress(250, QStringLiteral("Loading configuration ..."));
        stepped.advanceUntil([&] { return stepped.run->shown() >= 50; });
        auto *percent = child<QLabel>(&s.page, "AuthLoginPercent");
        QCOMPARE(percent->text(), QStringLiteral("50%"));
        QCOMPARE(child(&s.page, "AuthLoginBarFill")->geometry(), QRect(0, 0, 159, 5));
        QCOMPARE(child<QLabel>(&s.page, "AuthLoginStatus")->text(),
                 QStringLiteral("Loading configuration ..."));
        stepped.advance(8000);
        QCOMPARE(percent->text(), QStringLiteral("100%"));
        QCOMPARE(child(&s.page, "AuthLoginBarFill")->width(), 318);
        QCOMPARE(finished.count(), 1);

        // Back to the form: the run is put away.
        s.page.showLoginForm();
        QVERIFY(!stepped.run->isActive());
        QVERIFY(!child(&s.page, "AuthLoginBarTrack")->isVisible());
        QVERIFY(s.email()->isVisible());
    }

    void links()
    {
        ShownPage s;
        QList<QUrl> opened;
        s.page.setUrlOpener([&opened](const QUrl &url) {
            opened.append(url);
            return true;
        });
        s.page.setSiteOrigin(QUrl(QStringLiteral("http://127.0.0.1:9")));
        QTest::mouseClick(child<QPushButton>(&s.page, "AuthV2Forgot"), Qt::LeftButton);
        QTest::mouseClick(child<QPushButton>(&s.page, "AuthV2RegisterBtn"), Qt::LeftButton);
        QTest::mouseClick(child<QPushButton>(&s.page, "AuthGoogleBtn"), Qt::LeftButton);
        QCOMPARE(opened,
                 (QList<QUrl>{
                     QUrl(QStringLiteral("http://127.0.0.1:9/password/reset?utm_source=Software_V5&utm_"
                                         "medium=Login&utm_campaign=button_password&utm_content=alwayson")),
                     QUrl(QStringLiteral("http://127.0.0.1:9/register?utm_source=Software_V5&utm_medium="
                                         "Login&utm_campaign=button_register&utm_content=alwayson"))}));

        // Without a usable site nothing is opened.
        opened.clear();
        s.page.setSiteOrigin(QUrl());
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("no web site configured")));
        QTest::mouseClick(child<QPushButton>(&s.page, "AuthV2RegisterBtn"), Qt::LeftButton);
        QVERIFY(opened.isEmpty());

        // Nor without an opener (a page nobody gave a browser).
        AuthPage bare;
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("no browser to open")));
        QTest::mouseClick(child<QPushButton>(&bare, "AuthV2Forgot"), Qt::LeftButton);
    }

    void windowButtonsAndDragging()
    {
        Host host;
        host.resize(1440, 810);
        auto *page = new AuthPage(&host);
        page->setGeometry(host.rect());
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));

        QTest::mouseClick(child<QPushButton>(page, "AuthWinCloseBtn"), Qt::LeftButton);
        QCOMPARE(host.closeRequests, 1);

        // A left drag that starts on a label reaches the page and moves the window.
        host.move(100, 100);
        QTRY_COMPARE(host.pos(), QPoint(100, 100));
        QWidget *label = child(page, "AuthLeftHeadline");
        const QPoint start = label->mapToGlobal(QPoint(5, 5));
        sendMouse(label, QEvent::MouseButtonPress, Qt::LeftButton, start);
        sendMouse(page, QEvent::MouseMove, Qt::LeftButton, start + QPoint(30, 20));
        QTRY_COMPARE(host.pos(), QPoint(130, 120));
        sendMouse(page, QEvent::MouseMove, Qt::LeftButton, start + QPoint(40, 20));
        QTRY_COMPARE(host.pos(), QPoint(140, 120));
        sendMouse(page, QEvent::MouseButtonRelease, Qt::LeftButton, start + QPoint(40, 20));
        sendMouse(page, QEvent::MouseMove, Qt::NoButton, start + QPoint(90, 90));
        QTest::qWait(20);
        QCOMPARE(host.pos(), QPoint(140, 120));

        // A right drag does not.
        sendMouse(page, QEvent::MouseButtonPress, Qt::RightButton, start);
        sendMouse(page, QEvent::MouseMove, Qt::RightButton, start + QPoint(50, 50));
        sendMouse(page, QEvent::MouseButtonRelease, Qt::RightButton, start + QPoint(50, 50));
        QTest::qWait(20);
        QCOMPARE(host.pos(), QPoint(140, 120));

        QTest::mouseClick(child<QPushButton>(page, "AuthWinMinBtn"), Qt::LeftButton);
        QTRY_VERIFY(host.windowState() & Qt::WindowMinimized);
    }

    void overlayKeepsItsFirstGeometry()
    {
        ShownPage s;
        QVERIFY(!s.page.progressOverlay());
        AuthProgressOverlay *overlay = s.page.ensureProgressOverlay();
        QCOMPARE(overlay->geometry(), s.page.rect());
        QVERIFY(!overlay->isVisible());
        QCOMPARE(s.page.ensureProgressOverlay(), overlay);
        overlay->start(QStringLiteral("Waiting"));
        s.page.resize(1200, 700);
        QCOMPARE(overlay->geometry(), QRect(0, 0, 1440, 810));
        // Going back to the form puts the overlay away.
        s.page.showLoginForm();
        QVERIFY(!overlay->isVisible());
        QVERIFY(!overlay->isSpinning());
    }
};

QTEST_MAIN(TestAuthPage)
#include "tst_authpage.moc"
