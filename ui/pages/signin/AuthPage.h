#pragma once
// The sign-in screen that covers the whole window until somebody is signed in:
// a frosted card with the email form (and an error banner) or the progress
// view of a running sign-in, a welcome panel, a language pill and the page's
// own window buttons. The page never talks to the service: "Login" emits
// loginRequested, and the sign-in flow reports its stages back through
// setLoginProgress until the bar has shown 100 % (progressFinished).
//
// Its texts are translated once, when it is built, and it is never mirrored.

#include "services/UrlOpener.h"

#include <QPixmap>
#include <QPoint>
#include <QPointer>
#include <QUrl>
#include <QWidget>

class AuthProgressOverlay;
class CachedBlurEffect;
class DiscordSignIn;
class LoginProgressRun;
class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

class AuthPage : public QWidget
{
    Q_OBJECT
public:
    // Where things sit on the 1440 x 810 page and inside its 518 x 639 card.
    static constexpr int kCardWidth = 518;
    static constexpr int kCardHeight = 639;
    static constexpr int kCardRightMargin = 96;
    static constexpr int kCardTop = 146;
    static constexpr int kSubmitDelayMs = 30;

    explicit AuthPage(QWidget *parent = nullptr);
    ~AuthPage() override;

    // Starts decoding the page's background picture on a worker thread, once
    // per process; the first page that paints takes it from there. Without
    // this call that page decodes the picture itself.
    static void startLoadingBackground();

    // True when, at construction, the account store held "keep me login" and a
    // token: the window then starts the automatic sign-in.
    bool hasRememberedSession() const { return m_rememberedSession; }
    void setFormEnabled(bool enabled);
    // The progress view, restarted at 0 % "Logging in ...".
    void showLoginProgress();
    // A stage report of the sign-in flow (percent clamped to 0..100).
    void setLoginProgress(int percent, const QString &text);
    // Back to the form view; hides the error banner and the browser-wait overlay.
    void showLoginForm();
    // The error banner with `text`; does not change views or enable the form.
    void showError(const QString &text);
    // Sign in with the stored token: progress view, then loginRequested("", "").
    void requestAutoLogin();

    // The browser opener (none by default: the window hands in the
    // desktop's) and the web site whose register and password-reset pages the
    // links open (the configured site by default).
    void setUrlOpener(UrlOpener opener);
    void setSiteOrigin(const QUrl &origin);
    // The Discord sign-in behind the "Discord" button (none: the button does nothing).
    void setDiscordSignIn(DiscordSignIn *signIn);
    QUrl siteOrigin() const { return m_siteOrigin; }

    // The overlay that dims the page while a browser sign-in runs; created over
    // the page's rectangle at the first call and kept for the page's life.
    AuthProgressOverlay *ensureProgressOverlay();
    AuthProgressOverlay *progressOverlay() const;

    // The animated bar's state (tests, and whoever needs to know how far it got).
    LoginProgressRun *progressRun() const { return m_progress; }
    // Replaces the bar's driver (tests step its clock); the page keeps drawing it.
    void setProgressRun(LoginProgressRun *run);

    bool isProgressViewShown() const { return m_progressView; }

    // After a sign-out or an ended session: the form no longer holds the
    // password, and holds the e-mail only when "keep me login" is on, so no
    // one at the machine can sign in again with what was typed.
    void forgetTypedCredentials();
    // The same end, shown: the form view, enabled and without what was
    // typed, over `cover` (the whole window) and in front.
    void showFreshForm(const QRect &cover);

public slots:
    // The "Discord" button: dims the page while the browser part runs.
    void startDiscordLogin();
    // The overlay's "Cancel": back to the enabled form, without a message.
    void cancelDiscordLogin();

signals:
    void loginRequested(const QString &email, const QString &password);
    void progressFinished();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private slots:
    void updateLoginButtonValidity();
    void onLoginClicked();
    void submitLogin();
    void openRegisterPage();
    void openPasswordResetPage();

private:
    void buildWelcomePanel(QWidget *overlay);
    void buildCard(QWidget *overlay);
    void buildForm();
    void buildProgressView();
    void readAccountStore();
    void validateField(QLineEdit *field);
    void setErrorShown(QLineEdit *field, QLabel *label, const QString &message);
    void setDynamicProperty(QWidget *widget, const char *name, bool value);
    void placeCardContents();
    void placeSocialRow();
    void placeRegisterLine(int y);
    void placeProgressView();
    void updateFrostedGlass();
    void drawProgress();
    void setFormViewVisible(bool visible);
    void openSitePage(const QString &pathAndQuery);
    void onDiscordEmail(const QString &email);
    void onDiscordFailed(const QString &text);

    bool m_rememberedSession = false;
    bool m_progressView = false;
    bool m_dragging = false;
    QPoint m_dragPos;
    UrlOpener m_openUrl;
    QUrl m_siteOrigin;
    LoginProgressRun *m_progress = nullptr;
    QPointer<AuthProgressOverlay> m_progressOverlay;
    QPointer<DiscordSignIn> m_discord;

    QPixmap m_background; // the process's background picture, made a pixmap at the first paint
    QWidget *m_overlay = nullptr;
    QPushButton *m_closeBtn = nullptr;
    QPushButton *m_minBtn = nullptr;
    QLabel *m_sun = nullptr;
    QLabel *m_leftWelcome = nullptr;
    QLabel *m_leftHeadline = nullptr;
    QList<QLabel *> m_statValues;
    QList<QLabel *> m_statLabels;
    QFrame *m_langPill = nullptr;

    QFrame *m_card = nullptr;
    CachedBlurEffect *m_frostBlur = nullptr;
    QLabel *m_frostBg = nullptr;
    QList<QLabel *> m_frostLayers; // matte, tint (fill the card)
    QLabel *m_frostVignette = nullptr;
    QLabel *m_logo = nullptr;
    QLabel *m_title = nullptr;
    QLineEdit *m_email = nullptr;
    QLineEdit *m_password = nullptr;
    QLabel *m_emailError = nullptr;
    QLabel *m_passwordError = nullptr;
    QCheckBox *m_keepLogic = nullptr;
    QWidget *m_underPasswordRow = nullptr;
    QPushButton *m_forgot = nullptr;
    QPushButton *m_keepLabel = nullptr;
    QPushButton *m_keepCheck = nullptr;
    QPushButton *m_loginBtn = nullptr;
    QLabel *m_or = nullptr;
    QFrame *m_banner = nullptr;
    QLabel *m_bannerIcon = nullptr;
    QLabel *m_bannerText = nullptr;
    int m_bannerHeight = 52;
    QPushButton *m_discordBtn = nullptr;
    QPushButton *m_googleBtn = nullptr;
    QLabel *m_noAccount = nullptr;
    QPushButton *m_registerBtn = nullptr;

    QLabel *m_loginWelcome = nullptr;
    QFrame *m_barTrack = nullptr;
    QFrame *m_barFill = nullptr;
    QLabel *m_percent = nullptr;
    QLabel *m_status = nullptr;
};
