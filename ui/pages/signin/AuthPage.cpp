#include "ui/pages/signin/AuthPage.h"

#include "resources/BundledFonts.h"
#include "services/DiscordSignIn.h"
#include "services/ServiceConfig.h"
#include "storage/AccountStoreFiles.h"
#include "ui/pages/signin/AuthProgressOverlay.h"
#include "ui/pages/signin/LoginBannerText.h"
#include "ui/pages/signin/LoginProgressRun.h"
#include "ui/widgets/CachedEffects.h"
#include "ui/widgets/Palette.h"

#include <QCheckBox>
#include <QDebug>
#include <QEvent>
#include <QFileInfo>
#include <QFrame>
#include <QFuture>
#include <QHBoxLayout>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QSettings>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>
#include <qdrawutil.h>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

constexpr int kFieldWidth = 360;
constexpr int kFieldHeight = 48;
constexpr int kFieldX = (AuthPage::kCardWidth - kFieldWidth) / 2; // 79
constexpr int kEmailY = 209;
constexpr int kPasswordY = 267;
constexpr int kRowY = 325;
constexpr int kLoginY = 365;
constexpr int kOrY = 433;
constexpr int kSocialY = 479;
constexpr int kRegisterGap = 88;
constexpr int kFieldErrorWidth = 170;

const char kPasswordResetPath[] = "/password/reset?utm_source=Software_V5&utm_medium=Login&utm_campaign="
                                  "button_password&utm_content=alwayson";
const char kRegisterPath[] = "/register?utm_source=Software_V5&utm_medium=Login&utm_campaign=button_"
                             "register&utm_content=alwayson";

QPushButton *iconButton(const QString &name, const QString &icon, QSize size, QSize iconSize, QWidget *parent)
{
    auto *button = new QPushButton(parent);
    button->setObjectName(name);
    button->setIcon(QIcon(icon));
    button->setIconSize(iconSize);
    button->setFixedSize(size);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

QLabel *namedLabel(const QString &name, const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

const char kBackgroundPath[] = ":/icons/auth-login-bg.png";

// The picture as a pixmap would hold it: drawn from its file, and when no
// pixel is transparent, in the opaque format (the same bytes). A pixmap made
// from it then shares its pixels; from the drawn format it would convert a
// copy.
QImage decodeBackground()
{
    QImage image(QString::fromLatin1(kBackgroundPath));
    if (image.format() != QImage::Format_ARGB32_Premultiplied && image.format() != QImage::Format_ARGB32)
        return image;
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(line[x]) != 255)
                return image;
        }
    }
    image.reinterpretAsFormat(QImage::Format_RGB32);
    return image;
}

struct BackgroundDecoding
{
    QFuture<QImage> result;
    bool started = false;
};

BackgroundDecoding &backgroundDecoding()
{
    static BackgroundDecoding decoding;
    return decoding;
}

// The page's background, decoded once for every page of the process: on the
// worker thread startLoadingBackground() set going, else here.
const QImage &loginBackground()
{
    static const QImage image = [] {
        BackgroundDecoding &decoding = backgroundDecoding();
        decoding.started = true;
        if (decoding.result.isValid())
            return decoding.result.takeResult();
        return decodeBackground();
    }();
    return image;
}

QPixmap appLogo(int side, qreal dpr)
{
    for (const char *name : {":/icons/app-logo.png", ":/icons/quorlix_logo.png", ":/icons/logo.png"}) {
        QPixmap pixmap(QString::fromLatin1(name));
        if (pixmap.isNull())
            continue;
        pixmap = pixmap.scaled(QSize(side, side) * dpr, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        pixmap.setDevicePixelRatio(dpr);
        return pixmap;
    }
    return QPixmap();
}

// The globe drawn in white whatever colour its file carries.
QPixmap whiteGlobe(qreal dpr)
{
    QImage image = QIcon(QStringLiteral(":/icons/globe.svg"))
                       .pixmap(QSize(24, 24) * dpr)
                       .toImage()
                       .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return QPixmap();
    QPainter painter(&image);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(image.rect(), QColor(255, 255, 255, 255));
    painter.end();
    QPixmap pixmap = QPixmap::fromImage(image);
    pixmap.setDevicePixelRatio(dpr);
    return pixmap;
}

} // namespace

AuthPage::AuthPage(QWidget *parent) : QWidget(parent)
{
    registerBundledFonts();

    setObjectName(QStringLiteral("AuthPage"));
    setAttribute(Qt::WA_StyledBackground, true);
    setMouseTracking(true);
    // The sign-in screen keeps its left-to-right layout in every language.
    setLayoutDirection(Qt::LeftToRight);

    m_siteOrigin = ServiceConfig::instance().siteOrigin();

    m_overlay = new QWidget(this);
    m_overlay->setObjectName(QStringLiteral("AuthOverlay"));
    auto *overlayLayout = new QVBoxLayout(m_overlay);
    overlayLayout->setContentsMargins(0, 0, 0, 0);

    m_closeBtn =
        iconButton(QStringLiteral("AuthWinCloseBtn"), QStringLiteral(":/icons/window-close-circle.png"),
                   QSize(52, 52), QSize(40, 40), m_overlay);
    m_minBtn = iconButton(QStringLiteral("AuthWinMinBtn"), QStringLiteral(":/icons/window-minus.png"),
                          QSize(52, 52), QSize(40, 40), m_overlay);
    for (QPushButton *button : {m_closeBtn, m_minBtn}) {
        button->setFlat(true);
        button->setStyleSheet(QStringLiteral("background:transparent;border:none;"));
    }
    connect(m_minBtn, &QPushButton::clicked, this, [this] { window()->showMinimized(); });
    // The window turns this into its own closing sequence.
    connect(m_closeBtn, &QPushButton::clicked, this, [this] { window()->close(); });

    m_sun = namedLabel(QStringLiteral("AuthSun"), QString(), m_overlay);
    const QPixmap sun(QStringLiteral(":/icons/auth-sun.png"));
    m_sun->setPixmap(sun);
    m_sun->resize(sun.isNull() ? QSize(0, 0) : sun.size());

    buildWelcomePanel(m_overlay);
    buildCard(m_overlay);
    m_sun->lower();

    readAccountStore();

    connect(m_loginBtn, &QPushButton::clicked, this, &AuthPage::onLoginClicked);
    connect(m_email, &QLineEdit::textChanged, this, &AuthPage::updateLoginButtonValidity);
    connect(m_password, &QLineEdit::textChanged, this, &AuthPage::updateLoginButtonValidity);
    QTimer::singleShot(0, this, &AuthPage::updateLoginButtonValidity);
    m_email->installEventFilter(this);
    m_password->installEventFilter(this);
    connect(m_registerBtn, &QPushButton::clicked, this, &AuthPage::openRegisterPage);
    connect(m_forgot, &QPushButton::clicked, this, &AuthPage::openPasswordResetPage);

    setProgressRun(new LoginProgressRun(this));
}

AuthPage::~AuthPage() = default;

void AuthPage::startLoadingBackground()
{
    BackgroundDecoding &decoding = backgroundDecoding();
    if (decoding.started)
        return;
    decoding.started = true;
    decoding.result = QtConcurrent::run(decodeBackground);
}

void AuthPage::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event);
    // The picture stretched over the whole page, drawn as a style sheet's
    // "border-image: url(...) 0 0 0 0 stretch stretch" draws it.
    if (m_background.isNull())
        m_background = QPixmap::fromImage(loginBackground());
    if (m_background.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    qDrawBorderPixmap(&painter, rect(), QMargins(), m_background, m_background.rect(), QMargins(),
                      QTileRules(Qt::StretchTile));
}

void AuthPage::buildWelcomePanel(QWidget *overlay)
{
    m_leftWelcome = namedLabel(QStringLiteral("AuthLeftWelcome"), tr("Welcome to Quorlyx"), overlay);
    m_leftHeadline =
        namedLabel(QStringLiteral("AuthLeftHeadline"), tr("The Online game\noptimization platform"), overlay);
    m_leftHeadline->setWordWrap(true);

    const QList<QPair<QString, QString>> figures = {
        {tr("+2k"), tr("Active users")}, {tr("+1k"), tr("Connections")}, {tr("16"), tr("Servers")}};
    for (const auto &figure : figures) {
        m_statValues.append(namedLabel(QStringLiteral("AuthLeftStatValue"), figure.first, overlay));
        m_statLabels.append(namedLabel(QStringLiteral("AuthLeftStatLabel"), figure.second, overlay));
    }

    m_langPill = new QFrame(overlay);
    m_langPill->setObjectName(QStringLiteral("AuthLangPill"));
    m_langPill->setFixedSize(180, 48);
    auto *pill = new QHBoxLayout(m_langPill);
    pill->setContentsMargins(16, 0, 16, 0);
    pill->setSpacing(8);
    auto *globe = namedLabel(QStringLiteral("AuthLangGlobe"), QString(), m_langPill);
    globe->setFixedSize(24, 24);
    globe->setPixmap(whiteGlobe(devicePixelRatioF()));
    auto *langText = namedLabel(QStringLiteral("AuthLangText"), tr("Enlish-EN"), m_langPill);
    // Next to the globe whichever way the translated name runs.
    langText->setAlignment(Qt::AlignAbsolute | Qt::AlignLeft | Qt::AlignVCenter);
    auto *caret = namedLabel(QStringLiteral("AuthLangCaret"), QString(), m_langPill);
    caret->setFixedSize(20, 20);
    caret->setScaledContents(true);
    caret->setPixmap(
        QIcon(QStringLiteral(":/icons/caret-down.png")).pixmap(QSize(20, 20) * devicePixelRatioF()));
    pill->addWidget(globe);
    pill->addWidget(langText, 1);
    pill->addWidget(caret);
}

void AuthPage::buildCard(QWidget *overlay)
{
    m_card = new QFrame(overlay);
    m_card->setObjectName(QStringLiteral("AuthMainCard"));
    m_card->setFixedSize(kCardWidth, kCardHeight);
    // Shadow and frost are worked out once, not on every paint of the card
    // (its text fields' cursors blink twice a second).
    m_card->setGraphicsEffect(new CachedShadowEffect(80, QPointF(0, 0), QColor(0, 0, 0, 120), m_card));

    m_frostBg = namedLabel(QStringLiteral("AuthMainFrostBg"), QString(), m_card);
    m_frostBlur = new CachedBlurEffect(100, QGraphicsBlurEffect::QualityHint, m_frostBg);
    m_frostBg->setGraphicsEffect(m_frostBlur);
    m_frostLayers = {namedLabel(QStringLiteral("AuthMainFrostMatte"), QString(), m_card),
                     namedLabel(QStringLiteral("AuthMainFrostTint"), QString(), m_card)};
    m_frostVignette = namedLabel(QStringLiteral("AuthMainFrostTopVignette"), QString(), m_card);
    m_frostBg->setGeometry(m_card->rect());
    for (QLabel *layer : m_frostLayers)
        layer->setGeometry(m_card->rect());
    m_frostVignette->setGeometry(0, 0, kCardWidth, std::min(kCardHeight, 170));

    m_logo = namedLabel(QStringLiteral("AuthMainLogo"), QString(), m_card);
    m_logo->setFixedSize(83, 83);
    m_logo->setAlignment(Qt::AlignCenter);
    m_logo->setPixmap(appLogo(83, devicePixelRatioF()));

    buildForm();
    buildProgressView();
}

void AuthPage::buildForm()
{
    m_title = namedLabel(QStringLiteral("AuthMainTitle"), tr("Please enter you email"), m_card);
    m_title->setFixedHeight(56);
    m_title->setAlignment(Qt::AlignCenter);
    m_title->setStyleSheet(QStringLiteral(
        "color:" QX_WHITE ";background: transparent;font-family: Inter;font-size: 20px;font-weight: 600;"));

    m_email = new QLineEdit(m_card);
    m_email->setObjectName(QStringLiteral("AuthEmailInput"));
    m_email->setPlaceholderText(tr("Enter email"));
    m_password = new QLineEdit(m_card);
    m_password->setObjectName(QStringLiteral("AuthPasswordInput"));
    m_password->setPlaceholderText(tr("Enter password"));
    m_password->setEchoMode(QLineEdit::Password);
    for (QLineEdit *field : {m_email, m_password}) {
        field->setFixedSize(kFieldWidth, kFieldHeight);
        field->setFrame(false);
        field->setProperty("hasError", false);
    }

    // The messages sit inside their field on the right, where they cover no
    // control; while one shows, the field's text keeps clear of it.
    m_emailError = namedLabel(QStringLiteral("AuthV2FieldError"), QString(), m_card);
    m_passwordError = namedLabel(QStringLiteral("AuthV2FieldError"), QString(), m_card);
    for (QLabel *label : {m_emailError, m_passwordError}) {
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        label->setAttribute(Qt::WA_TransparentForMouseEvents);
        label->hide();
    }

    m_keepLogic = new QCheckBox(m_card);
    m_keepLogic->setObjectName(QStringLiteral("AuthKeepLoginCheckLogic"));
    m_keepLogic->setFocusPolicy(Qt::NoFocus);
    m_keepLogic->hide();

    m_underPasswordRow = new QWidget(m_card);
    m_underPasswordRow->setObjectName(QStringLiteral("AuthUnderPasswordRow"));
    m_underPasswordRow->setAttribute(Qt::WA_TranslucentBackground);
    auto *row = new QHBoxLayout(m_underPasswordRow);
    row->setContentsMargins(79, 0, 79, 0);
    row->setSpacing(0);
    m_forgot = new QPushButton(tr("Forgot password?"), m_underPasswordRow);
    m_forgot->setObjectName(QStringLiteral("AuthV2Forgot"));
    m_forgot->setFlat(true);
    m_keepLabel = new QPushButton(tr("keep me login"), m_underPasswordRow);
    m_keepLabel->setObjectName(QStringLiteral("AuthKeepLoginLabel"));
    m_keepLabel->setFlat(true);
    m_keepCheck = new QPushButton(m_underPasswordRow);
    m_keepCheck->setObjectName(QStringLiteral("AuthKeepLoginCheckBtn"));
    m_keepCheck->setCheckable(true);
    m_keepCheck->setFixedSize(20, 20);
    m_keepCheck->setIconSize(QSize(14, 14));
    row->addWidget(m_forgot);
    row->addStretch();
    row->addWidget(m_keepLabel);
    row->addSpacing(10);
    row->addWidget(m_keepCheck);

    connect(m_keepLabel, &QPushButton::clicked, m_keepCheck, [this] { m_keepCheck->toggle(); });
    connect(m_keepCheck, &QPushButton::toggled, this, [this](bool on) {
        m_keepCheck->setIcon(on ? QIcon(QStringLiteral(":/icons/check.png")) : QIcon());
        m_keepLogic->setChecked(on);
    });
    connect(m_keepLogic, &QCheckBox::toggled, this, [this](bool on) {
        if (m_keepCheck->isChecked() != on)
            m_keepCheck->setChecked(on);
    });

    m_loginBtn = new QPushButton(tr("Login"), m_card);
    m_loginBtn->setObjectName(QStringLiteral("AuthV2LoginBtn"));
    m_loginBtn->setFixedSize(kFieldWidth, kFieldHeight);
    m_loginBtn->setProperty("invalid", false);

    m_or = namedLabel(QStringLiteral("AuthV2Or"), tr("or"), m_card);
    m_or->setAlignment(Qt::AlignCenter);

    m_banner = new QFrame(m_card);
    m_banner->setObjectName(QStringLiteral("AuthLoginErrorBanner"));
    m_banner->setFixedSize(kFieldWidth, m_bannerHeight);
    auto *bannerRow = new QHBoxLayout(m_banner);
    bannerRow->setContentsMargins(20, 16, 20, 16);
    bannerRow->setSpacing(12);
    m_bannerIcon = namedLabel(QStringLiteral("AuthLoginErrorIcon"), QString(), m_banner);
    m_bannerIcon->setFixedSize(32, 32);
    m_bannerIcon->setPixmap(
        QIcon(QStringLiteral(":/icons/info-2.png")).pixmap(QSize(32, 32) * devicePixelRatioF()));
    m_bannerIcon->setScaledContents(true);
    m_bannerText = namedLabel(QStringLiteral("AuthLoginErrorText"), QString(), m_banner);
    bannerRow->addWidget(m_bannerIcon, 0, Qt::AlignTop);
    bannerRow->addWidget(m_bannerText, 1);
    m_banner->hide();

    m_discordBtn = iconButton(QStringLiteral("AuthV2DiscordBtn"), QStringLiteral(":/icons/dis.png"),
                              QSize(175, 48), QSize(24, 24), m_card);
    m_googleBtn =
        iconButton(QStringLiteral("AuthGoogleBtn"), QStringLiteral(":/icons/flat-color-icons_google.png"),
                   QSize(175, 48), QSize(24, 24), m_card);

    m_noAccount = namedLabel(QStringLiteral("AuthV2NoAccount"), tr("Don't have an account? "), m_card);
    m_noAccount->setFixedHeight(20);
    m_registerBtn = new QPushButton(tr("Register"), m_card);
    m_registerBtn->setObjectName(QStringLiteral("AuthV2RegisterBtn"));
    m_registerBtn->setFlat(true);
    m_registerBtn->setFixedHeight(20);
    QFont underlined = m_registerBtn->font();
    underlined.setUnderline(true);
    m_registerBtn->setFont(underlined);

    for (QPushButton *button :
         {m_forgot, m_keepLabel, m_keepCheck, m_loginBtn, m_discordBtn, m_googleBtn, m_registerBtn}) {
        button->setCursor(Qt::PointingHandCursor);
        button->setFocusPolicy(Qt::NoFocus);
    }
}

void AuthPage::buildProgressView()
{
    m_loginWelcome = namedLabel(QStringLiteral("AuthLoginWelcome"), tr("Welcome to Quorlyx"), m_card);
    m_loginWelcome->setAlignment(Qt::AlignCenter);
    m_barTrack = new QFrame(m_card);
    m_barTrack->setObjectName(QStringLiteral("AuthLoginBarTrack"));
    m_barTrack->setFixedSize(318, 5);
    m_barFill = new QFrame(m_barTrack);
    m_barFill->setObjectName(QStringLiteral("AuthLoginBarFill"));
    m_barFill->setGeometry(0, 0, 0, m_barTrack->height());
    m_percent = namedLabel(QStringLiteral("AuthLoginPercent"), QStringLiteral("0%"), m_card);
    m_percent->setAlignment(Qt::AlignCenter);
    m_status = namedLabel(QStringLiteral("AuthLoginStatus"), tr("Logging in ..."), m_card);
    m_status->setAlignment(Qt::AlignCenter);
    for (QWidget *w : {static_cast<QWidget *>(m_loginWelcome), static_cast<QWidget *>(m_barTrack),
                       static_cast<QWidget *>(m_percent), static_cast<QWidget *>(m_status)})
        w->hide();
}

void AuthPage::readAccountStore()
{
    QSettings store{QLatin1String(AccountStoreFiles::Organisation),
                    QLatin1String(AccountStoreFiles::Application)};
    const QString file = store.fileName();
    if (!file.isEmpty() && !QFileInfo::exists(file)) {
        // Nothing stored yet (or no store at all): an empty form.
        m_keepLogic->setChecked(false);
        return;
    }
    const bool remember = store.value(QStringLiteral("auth/remember"), false).toBool();
    const QString email = store.value(QStringLiteral("auth/email")).toString();
    const QString token = store.value(QStringLiteral("auth/token")).toString();
    m_keepLogic->setChecked(remember);
    if (!email.isEmpty())
        m_email->setText(email);
    m_rememberedSession = remember && !token.isEmpty();
}

void AuthPage::setProgressRun(LoginProgressRun *run)
{
    if (!run || run == m_progress)
        return;
    if (m_progress)
        m_progress->deleteLater();
    m_progress = run;
    run->setParent(this);
    connect(run, &LoginProgressRun::changed, this, &AuthPage::drawProgress);
    connect(run, &LoginProgressRun::finished, this, &AuthPage::progressFinished);
    drawProgress();
}

void AuthPage::setUrlOpener(UrlOpener opener)
{
    m_openUrl = std::move(opener);
}

void AuthPage::setSiteOrigin(const QUrl &origin)
{
    m_siteOrigin = origin;
}

void AuthPage::setDiscordSignIn(DiscordSignIn *signIn)
{
    if (m_discord) {
        disconnect(m_discord, nullptr, this, nullptr);
        disconnect(m_discordBtn, &QPushButton::clicked, this, &AuthPage::startDiscordLogin);
    }
    m_discord = signIn;
    if (!signIn)
        return;
    connect(m_discordBtn, &QPushButton::clicked, this, &AuthPage::startDiscordLogin);
    connect(signIn, &DiscordSignIn::emailReceived, this, &AuthPage::onDiscordEmail);
    connect(signIn, &DiscordSignIn::failed, this, &AuthPage::onDiscordFailed);
}

void AuthPage::startDiscordLogin()
{
    if (!m_discord)
        return;
    setFormEnabled(false);
    AuthProgressOverlay *overlay = ensureProgressOverlay();
    overlay->start(tr("Connecting your Discord account..."));
    overlay->raise();
    if (auto *cancel = overlay->findChild<QPushButton *>(QStringLiteral("AuthProgressCancel")))
        connect(cancel, &QPushButton::clicked, this, &AuthPage::cancelDiscordLogin, Qt::UniqueConnection);
    m_discord->startDiscordLogin();
}

void AuthPage::cancelDiscordLogin()
{
    if (m_discord)
        m_discord->cancelDiscordLogin();
    if (m_progressOverlay)
        m_progressOverlay->stop();
    setFormEnabled(true);
}

void AuthPage::onDiscordEmail(const QString &email)
{
    if (m_progressOverlay)
        m_progressOverlay->stop();
    setFormEnabled(false);
    showLoginProgress();
    emit loginRequested(email, QString());
}

void AuthPage::onDiscordFailed(const QString &text)
{
    if (m_progressOverlay)
        m_progressOverlay->stop();
    showError(text);
    setFormEnabled(true);
}

AuthProgressOverlay *AuthPage::ensureProgressOverlay()
{
    if (!m_progressOverlay) {
        m_progressOverlay = new AuthProgressOverlay(this);
        m_progressOverlay->setGeometry(rect());
    }
    return m_progressOverlay;
}

AuthProgressOverlay *AuthPage::progressOverlay() const
{
    return m_progressOverlay;
}

void AuthPage::setFormEnabled(bool enabled)
{
    for (QWidget *w : {static_cast<QWidget *>(m_email), static_cast<QWidget *>(m_password),
                       static_cast<QWidget *>(m_loginBtn), static_cast<QWidget *>(m_registerBtn),
                       static_cast<QWidget *>(m_discordBtn), static_cast<QWidget *>(m_googleBtn),
                       static_cast<QWidget *>(m_keepLogic), static_cast<QWidget *>(m_forgot),
                       static_cast<QWidget *>(m_keepLabel), static_cast<QWidget *>(m_keepCheck)})
        w->setEnabled(enabled);
}

void AuthPage::setFormViewVisible(bool visible)
{
    for (QWidget *w : {static_cast<QWidget *>(m_title), static_cast<QWidget *>(m_email),
                       static_cast<QWidget *>(m_password), static_cast<QWidget *>(m_underPasswordRow),
                       static_cast<QWidget *>(m_forgot), static_cast<QWidget *>(m_keepLabel),
                       static_cast<QWidget *>(m_keepCheck), static_cast<QWidget *>(m_loginBtn),
                       static_cast<QWidget *>(m_discordBtn), static_cast<QWidget *>(m_googleBtn),
                       static_cast<QWidget *>(m_noAccount), static_cast<QWidget *>(m_registerBtn)})
        w->setVisible(visible);
    // A field message belongs to the form: it must not float over the
    // progress view, and it comes back with its field.
    m_emailError->setVisible(visible && m_email->property("hasError").toBool());
    m_passwordError->setVisible(visible && m_password->property("hasError").toBool());
    if (!visible) {
        m_keepLogic->hide();
        m_or->hide();
    }
}

void AuthPage::showLoginProgress()
{
    m_progressView = true;
    m_progress->reset(true);
    setFormViewVisible(false);
    m_banner->hide();
    for (QWidget *w : {static_cast<QWidget *>(m_logo), static_cast<QWidget *>(m_loginWelcome),
                       static_cast<QWidget *>(m_barTrack), static_cast<QWidget *>(m_percent),
                       static_cast<QWidget *>(m_status)})
        w->show();
    setLoginProgress(0, tr("Logging in ..."));
    placeProgressView();
}

void AuthPage::setLoginProgress(int percent, const QString &text)
{
    m_progress->report(percent, text);
}

void AuthPage::drawProgress()
{
    const int shown = m_progress->shown();
    m_percent->setText(QString::number(shown) + QLatin1Char('%'));
    const int trackWidth = m_barTrack->width();
    const int fill = std::max(0, int(std::lround(shown * trackWidth / 100.0)));
    m_barFill->setGeometry(0, 0, fill, m_barTrack->height());
    m_barFill->setVisible(fill > 0);
    if (!m_progress->status().isEmpty())
        m_status->setText(m_progress->status());
}

void AuthPage::showLoginForm()
{
    if (m_progressOverlay)
        m_progressOverlay->stop();
    m_progressView = false;
    m_progress->reset(false);
    for (QWidget *w : {static_cast<QWidget *>(m_loginWelcome), static_cast<QWidget *>(m_barTrack),
                       static_cast<QWidget *>(m_percent), static_cast<QWidget *>(m_status)})
        w->hide();
    m_banner->hide();
    setFormViewVisible(true);
    m_logo->show();
    m_or->setVisible(m_banner->isHidden());
    placeCardContents();
}

void AuthPage::showFreshForm(const QRect &cover)
{
    showLoginForm();
    forgetTypedCredentials();
    setFormEnabled(true);
    setGeometry(cover);
    raise();
    show();
}

void AuthPage::forgetTypedCredentials()
{
    m_password->clear();
    if (!m_keepLogic->isChecked())
        m_email->clear();
    // An emptied field is not a mistake of the user's: no error under it.
    setErrorShown(m_password, m_passwordError, QString());
    setErrorShown(m_email, m_emailError, QString());
}

void AuthPage::showError(const QString &text)
{
    if (!m_banner || !m_bannerText)
        return;
    const QPixmap icon = m_bannerIcon ? m_bannerIcon->pixmap() : QPixmap();
    const QSize iconSize = icon.isNull() ? QSize(16, 16) : m_bannerIcon->size();
    const int available = std::max(10, 308 - iconSize.width());

    m_bannerText->ensurePolished();
    const QFontMetrics metrics(m_bannerText->font());
    const LoginBannerText laid = breakLoginBannerText(
        text, available, [&metrics](const QString &s) { return metrics.horizontalAdvance(s); });
    // The banner's height counts the lines above; a line that is still too
    // wide would wrap into space the banner does not have and be cut off, so
    // it is elided and the whole message stays in the tooltip.
    QStringList lines = laid.text.split(QLatin1Char('\n'));
    bool elided = false;
    for (QString &line : lines) {
        if (metrics.horizontalAdvance(line) > available) {
            line = metrics.elidedText(line, Qt::ElideRight, available);
            elided = true;
        }
    }
    m_bannerText->setText(lines.join(QLatin1Char('\n')));
    m_banner->setToolTip(elided ? text : QString());
    if (!laid.wrapped) {
        m_bannerText->setWordWrap(false);
        m_bannerText->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        m_bannerHeight = std::max(iconSize.height() + 32, 52);
    } else {
        m_bannerText->setWordWrap(true);
        m_bannerText->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        m_bannerHeight = std::max(20 * std::max(laid.lines, 2), iconSize.height()) + 32;
    }
    m_banner->setFixedSize(kFieldWidth, m_bannerHeight);
    m_banner->show();
    m_or->hide();
    placeCardContents();
}

void AuthPage::requestAutoLogin()
{
    setFormEnabled(false);
    showLoginProgress();
    QTimer::singleShot(kSubmitDelayMs, this, [this] { emit loginRequested(QString(), QString()); });
}

void AuthPage::onLoginClicked()
{
    m_banner->hide();
    setFormEnabled(false);
    showLoginProgress();
    QTimer::singleShot(kSubmitDelayMs, this, &AuthPage::submitLogin);
}

void AuthPage::submitLogin()
{
    const QString password = m_password->text();
    const QString email = m_email->text();
    const bool keep = m_keepLogic->isChecked();
    QPointer<AuthPage> self(this);
    emit loginRequested(email, password);
    if (!self)
        return;
    QSettings store{QLatin1String(AccountStoreFiles::Organisation),
                    QLatin1String(AccountStoreFiles::Application)};
    store.setValue(QStringLiteral("auth/remember"), keep);
    store.setValue(QStringLiteral("auth/email"), keep ? email.trimmed() : QString());
    syncAccountStore(store);
}

void AuthPage::updateLoginButtonValidity()
{
    const bool valid = !m_email->text().trimmed().isEmpty() && m_password->text().size() >= 6;
    setDynamicProperty(m_loginBtn, "invalid", !valid);
}

void AuthPage::setDynamicProperty(QWidget *widget, const char *name, bool value)
{
    widget->setProperty(name, value);
    widget->style()->unpolish(widget);
    widget->style()->polish(widget);
    widget->update();
}

void AuthPage::setErrorShown(QLineEdit *field, QLabel *label, const QString &message)
{
    const bool shown = !message.isEmpty();
    label->setText(message);
    label->setVisible(shown && field->isVisibleTo(m_card));
    setDynamicProperty(field, "hasError", shown);
    field->setTextMargins(0, 0, shown ? kFieldErrorWidth : 0, 0);
}

void AuthPage::validateField(QLineEdit *field)
{
    if (field == m_email) {
        setErrorShown(m_email, m_emailError,
                      m_email->text().trimmed().isEmpty() ? tr("Email cannot be empty") : QString());
    } else if (field == m_password) {
        setErrorShown(m_password, m_passwordError,
                      m_password->text().isEmpty() ? tr("Password cannot be empty") : QString());
    }
}

bool AuthPage::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusOut && (watched == m_email || watched == m_password))
        validateField(static_cast<QLineEdit *>(watched));
    return QWidget::eventFilter(watched, event);
}

void AuthPage::openSitePage(const QString &pathAndQuery)
{
    const QUrl url = ServiceConfig::join(m_siteOrigin, pathAndQuery);
    if (url.isEmpty()) {
        qWarning().noquote() << "[Auth] no web site configured; cannot open" << pathAndQuery;
        return;
    }
    if (!m_openUrl) {
        qWarning().noquote() << "[Auth] no browser to open" << url.toString();
        return;
    }
    m_openUrl(url);
}

void AuthPage::openRegisterPage()
{
    openSitePage(QLatin1String(kRegisterPath));
}

void AuthPage::openPasswordResetPage()
{
    openSitePage(QLatin1String(kPasswordResetPath));
}

void AuthPage::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        m_dragging = true;
        m_dragPos = event->globalPosition().toPoint();
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void AuthPage::mouseMoveEvent(QMouseEvent *event)
{
    if (m_dragging && (event->buttons() & Qt::LeftButton)) {
        const QPoint global = event->globalPosition().toPoint();
        QWidget *win = window();
        win->move(win->pos() + (global - m_dragPos));
        m_dragPos = global;
        event->accept();
        return;
    }
    QWidget::mouseMoveEvent(event);
}

void AuthPage::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        m_dragging = false;
    QWidget::mouseReleaseEvent(event);
}

void AuthPage::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    const int w = width();
    m_overlay->setGeometry(rect());

    m_closeBtn->move(w - 20 - m_closeBtn->width(), 20);
    m_minBtn->move(m_closeBtn->x() - 10 - m_minBtn->width(), 20);

    m_sun->move((w - m_sun->width()) / 2, 178);

    m_leftWelcome->adjustSize();
    m_leftWelcome->move(155, 292);
    // As wide as its longest line, so that a right-to-left translation
    // starts where the English one does instead of drifting under the sun.
    m_leftHeadline->ensurePolished();
    int headlineWidth = 0;
    for (const QString &line : m_leftHeadline->text().split(QLatin1Char('\n')))
        headlineWidth = std::max(headlineWidth, m_leftHeadline->fontMetrics().horizontalAdvance(line) + 4);
    m_leftHeadline->setFixedWidth(std::min(560, headlineWidth));
    m_leftHeadline->adjustSize();
    m_leftHeadline->move(155, 343);
    const int columns[] = {155, 295, 435};
    for (int i = 0; i < m_statValues.size(); ++i) {
        m_statValues.at(i)->adjustSize();
        m_statValues.at(i)->move(columns[i], 468);
        m_statLabels.at(i)->adjustSize();
        m_statLabels.at(i)->move(columns[i], 508);
    }
    m_langPill->move(260, 568);

    m_card->move(std::max(0, w - kCardWidth - kCardRightMargin), kCardTop);
    QPainterPath rounded;
    rounded.addRoundedRect(QRectF(m_card->rect()), 20, 20);
    m_card->setMask(QRegion(rounded.toFillPolygon().toPolygon()));
    updateFrostedGlass();

    if (m_progressView)
        placeProgressView();
    else
        placeCardContents();

    m_card->raise();
    m_closeBtn->raise();
    m_minBtn->raise();
}

void AuthPage::updateFrostedGlass()
{
    const QImage &background = loginBackground();
    if (background.isNull() || width() <= 0 || height() <= 0)
        return;
    const qreal dpr = devicePixelRatioF();
    const QRect under(qRound(m_card->x() * dpr), qRound(m_card->y() * dpr), qRound(m_card->width() * dpr),
                      qRound(m_card->height() * dpr));
    // Only what lies under the card is converted and painted on; the sun
    // lands on it where it would on the whole picture (a whole-pixel shift).
    QImage canvas = background
                        .scaled(QSize(qRound(width() * dpr), qRound(height() * dpr)), Qt::IgnoreAspectRatio,
                                Qt::SmoothTransformation)
                        .copy(under)
                        .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QPixmap sun = m_sun->pixmap();
    if (!sun.isNull()) {
        QPainter painter(&canvas);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.translate(-under.topLeft());
        painter.drawPixmap(
            QRectF(m_sun->x() * dpr, m_sun->y() * dpr, m_sun->width() * dpr, m_sun->height() * dpr), sun,
            QRectF(sun.rect()));
    }
    // Handed over rather than copied: the canvas is not used again.
    QPixmap glass = QPixmap::fromImage(std::move(canvas));
    glass.setDevicePixelRatio(dpr);
    m_frostBg->setPixmap(glass);
    m_frostBlur->contentChanged();
    m_frostBg->lower();
}

void AuthPage::placeSocialRow()
{
    const bool banner = !m_banner->isHidden();
    const int y = banner ? m_bannerHeight + 459 : kSocialY;
    if (banner)
        m_banner->move(kFieldX, kOrY);
    m_googleBtn->move(kFieldX, y);
    m_discordBtn->move(std::max(0, kCardWidth - 254), y);
    placeRegisterLine(y + kRegisterGap);
}

void AuthPage::placeRegisterLine(int y)
{
    m_noAccount->adjustSize();
    m_registerBtn->adjustSize();
    const int total = m_noAccount->width() + m_registerBtn->width();
    const int x = (kCardWidth - total) / 2;
    m_noAccount->move(x, y);
    m_registerBtn->move(x + m_noAccount->width(), y - 1);
}

void AuthPage::placeCardContents()
{
    m_logo->move((kCardWidth - m_logo->width()) / 2, 60);
    m_title->setGeometry(0, 138, kCardWidth, m_title->height());
    m_email->move(kFieldX, kEmailY);
    m_password->move(kFieldX, kPasswordY);
    const int errorX = kFieldX + kFieldWidth - 16 - kFieldErrorWidth;
    m_emailError->setGeometry(errorX, kEmailY, kFieldErrorWidth, kFieldHeight);
    m_passwordError->setGeometry(errorX, kPasswordY, kFieldErrorWidth, kFieldHeight);
    m_emailError->raise();
    m_passwordError->raise();
    m_underPasswordRow->setGeometry(0, kRowY, kCardWidth, 24);
    m_loginBtn->move(kFieldX, kLoginY);
    m_or->setGeometry(0, kOrY, kCardWidth, 20);
    m_or->setVisible(m_banner->isHidden() && !m_progressView);
    placeSocialRow();
}

void AuthPage::placeProgressView()
{
    m_logo->move((kCardWidth - m_logo->width()) / 2, 189);
    m_loginWelcome->setGeometry(0, 282, kCardWidth, 28);
    m_barTrack->move((kCardWidth - m_barTrack->width()) / 2, 353);
    m_percent->setGeometry(0, 397, kCardWidth, 28);
    m_status->setGeometry(0, 429, kCardWidth, 20);
}
