#include "ui/pages/connection/ConnectionPage.h"

#include "i18n/Language.h"
#include "ui/pages/common/PageLooks.h"
#include "ui/widgets/FittedText.h"
#include "ui/widgets/IconTint.h"
#include "ui/widgets/Palette.h"

#include <QDebug>
#include <QFontMetrics>
#include <QGraphicsDropShadowEffect>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QRegion>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QVariantAnimation>

using PageLooks::flatButton;
using PageLooks::interFont;
using PageLooks::label;
using PageLooks::styled;

namespace {

// The texts are the window's: the translation files hold them under
// "MainWindow".
using Language::windowText;

const QString kTransparent = QStringLiteral("background: transparent;");

} // namespace

QString ConnectionPage::outerCircleIdleStyle()
{
    return QStringLiteral("QWidget#ConnOuterCircle {  background: transparent;  border-radius: 60px;  "
                          "border: 1px solid " QX_BORDER ";}");
}

QString ConnectionPage::outerCircleActiveStyle()
{
    return QStringLiteral("QWidget#ConnOuterCircle {  background-color: rgba(" QX_ACCENT_RGB
                          ", 0.30);  border-radius: "
                          "60px;  border: 1px solid " QX_ACCENT ";}");
}

QString ConnectionPage::innerCircleIdleStyle()
{
    return QStringLiteral("QWidget#ConnInnerCircle {  background-color: " QX_RAISED
                          ";  border-radius: 50px;}");
}

QString ConnectionPage::innerCircleConnectedStyle()
{
    return QStringLiteral("QWidget#ConnInnerCircle {  background-color: " QX_ACCENT
                          ";  border-radius: 50px;}");
}

QString ConnectionPage::tapButtonNormalStyle()
{
    return QStringLiteral("QPushButton#TapToConnectButton {  background-color: " QX_ACCENT
                          ";  border-radius: 24px;  padding-left: "
                          "30px;  "
                          "padding-right: 30px;  color: " QX_BACKGROUND ";  border: 1px solid " QX_ACCENT
                          ";}QPushButton#TapToConnectButton:hover {  "
                          "background-color: " QX_ACCENT_HOVER ";  border: 1px solid " QX_ACCENT_HOVER
                          ";}QPushButton#TapToConnectButton:pressed {  "
                          "background-color: " QX_ACCENT_PRESSED ";  border: 1px solid " QX_ACCENT_PRESSED
                          ";}");
}

QString ConnectionPage::tapButtonConnectingStyle()
{
    return QStringLiteral(
        "QPushButton#TapToConnectButton {  background-color: rgba(" QX_ACCENT_RGB ", 0.55);  "
        "border-radius: 24px;  padding-left: 30px;  padding-right: 30px;  color: rgba(" QX_BACKGROUND_RGB ", "
        "0.85);  border: 1px solid rgba(" QX_ACCENT_RGB ", 0.35);}");
}

QString ConnectionPage::tapButtonDisconnectStyle()
{
    return QStringLiteral(
        "QPushButton#TapToConnectButton {  background-color: qlineargradient(x1:1, y1:0, x2:0, y2:1,    "
        "stop:0.2559 " QX_MUTED ", stop:0.674 " QX_BORDER
        ");  border-radius: 24px;  padding-left: 30px;  padding-right: 30px;  "
        "color: " QX_WHITE ";  border: 1px solid " QX_MUTED
        ";}QPushButton#TapToConnectButton:hover {  background-color: "
        "qlineargradient(x1:1, y1:0, x2:0, y2:1,    stop:0.2559 " QX_CONNECT_IDLE_TOP
        ", stop:0.674 " QX_CONNECT_IDLE_BOTTOM ");  border: 1px "
        "solid " QX_CONNECT_IDLE_TOP
        ";}QPushButton#TapToConnectButton:pressed {  background-color: qlineargradient(x1:1, y1:0, "
        "x2:0, "
        "y2:1,    stop:0.2559 " QX_CONNECT_PRESSED_TOP ", stop:0.674 " QX_CONNECT_PRESSED_BOTTOM
        ");  border: 1px solid " QX_CONNECT_PRESSED_TOP ";}");
}

ConnectionPage::ConnectionPage(QWidget *rootFrame, QWidget *leftPanel, const QSize &windowSize,
                               GameLookup games, QObject *parent)
    : QObject(parent)
{
    buildHeader(rootFrame, windowSize.height());
    buildCircle(leftPanel);
    buildRegionCard(leftPanel);
    buildBoostSection(rootFrame, leftPanel, windowSize, std::move(games));

    m_subtitle = label(
        m_header, "QuorlixConnSubtitle", windowText("Connect To"), QFont(QStringLiteral("IRANYekanXVF")),
        QStringLiteral("color: " QX_SECONDARY ";background: transparent;text-transform: capitalize;"));
    QFont subtitleFont = m_subtitle->font();
    subtitleFont.setPixelSize(12);
    subtitleFont.setWeight(QFont::DemiBold);
    m_subtitle->setFont(subtitleFont);
    m_subtitle->move(144, 31);
    m_gameTitle = label(m_header, "QuorlixConnGameTitle", windowText("League of legend"), interFont(24, 600),
                        QStringLiteral("color: " QX_WHITE "; background: transparent;"));
    m_gameTitle->move(144, 59);
}

void ConnectionPage::buildHeader(QWidget *rootFrame, int windowHeight)
{
    m_header = styled(rootFrame, "QuorlixConnHeader",
                      QStringLiteral("QWidget#QuorlixConnHeader { background: transparent; }"));
    m_header->setGeometry(120, windowHeight - 749, 419, 110);

    m_back = flatButton(
        m_header, "QuorlixConnBack",
        QStringLiteral("QPushButton#QuorlixConnBack {  background-color: " QX_PANEL ";  border-radius: "
                       "18px;  border: 1px solid " QX_RAISED ";  padding: 16px;}QPushButton#QuorlixConnBack:"
                       "hover {  background-color: " QX_PANEL_HOVER ";}"));
    m_back->setFixedSize(36, 36);
    m_back->move(0, 35);
    m_back->setMask(QRegion(0, 0, 36, 36, QRegion::Ellipse));
    m_back->setIcon(QIcon(QStringLiteral(":/icons/conn-back.png")));
    m_back->setIconSize(QSize(12, 12));
    connect(m_back, &QPushButton::clicked, this, &ConnectionPage::backClicked);

    m_gameIcon = new QLabel(m_header);
    m_gameIcon->setObjectName(QStringLiteral("QuorlixConnGameIcon"));
    m_gameIcon->setFixedSize(60, 60);
    m_gameIcon->move(60, 23);
    m_gameIcon->setStyleSheet(QStringLiteral("background: transparent; border-radius: 10px;"));
    PageLooks::setScaledPixmap(m_gameIcon, QStringLiteral(":/icons/conn-lol.png"), m_gameIcon->size(),
                               Qt::KeepAspectRatioByExpanding);
}

void ConnectionPage::buildCircle(QWidget *left)
{
    m_outerCircle = styled(left, "ConnOuterCircle", outerCircleIdleStyle());
    m_outerCircle->setGeometry(kCircleX, kCircleTopIdle, kOuterSize, kOuterSize);
    m_pulse = new QVariantAnimation(m_outerCircle);
    m_pulse->setStartValue(0.35);
    m_pulse->setEndValue(1.0);
    m_pulse->setDuration(900);
    m_pulse->setLoopCount(-1);
    m_pulse->setEasingCurve(QEasingCurve::InOutQuad);

    m_innerCircle = styled(left, "ConnInnerCircle", innerCircleIdleStyle());
    m_innerCircle->setGeometry(kCircleX + kInnerOffset, kCircleTopIdle + kInnerOffset, kInnerSize,
                               kInnerSize);
    m_glow = new QGraphicsDropShadowEffect(m_innerCircle);
    m_glow->setOffset(0, 0);
    m_glow->setBlurRadius(43.6);
    m_glow->setColor(QColor(250, 130, 7, 115));
    m_innerCircle->setGraphicsEffect(m_glow);
    m_glow->setEnabled(false);
    m_glowAnimation = new QPropertyAnimation(m_glow, "blurRadius", m_glow);
    m_glowAnimation->setStartValue(20.0);
    m_glowAnimation->setEndValue(55.0);
    m_glowAnimation->setDuration(900);
    m_glowAnimation->setLoopCount(-1);
    m_glowAnimation->setEasingCurve(QEasingCurve::InOutQuad);

    m_powerIcon = new QLabel(m_innerCircle);
    m_powerIcon->setObjectName(QStringLiteral("ConnPowerIcon"));
    m_powerIcon->setFixedSize(26, 26);
    m_powerIcon->move(37, 37);
    m_powerIcon->setStyleSheet(kTransparent);
    const QPixmap power(QStringLiteral(":/icons/conn-power.png"));
    if (!power.isNull()) {
        m_powerIdle = tintPixmap(power, QColor(QStringLiteral(QX_SECONDARY)));
        m_powerConnected = tintPixmap(power, QColor(QStringLiteral(QX_WHITE)));
        PageLooks::setScaledPixmap(m_powerIcon, m_powerIdle, m_powerIcon->size());
    }

    m_circleButton =
        flatButton(left, "ConnCircleButton",
                   QStringLiteral("QPushButton#ConnCircleButton {  background: transparent;  border: "
                                  "none;}QPushButton#ConnCircleButton:hover {  background: transparent;}"));
    m_circleButton->setGeometry(kCircleX + kInnerOffset, kCircleTopIdle + kInnerOffset, kInnerSize,
                                kInnerSize);
    m_circleButton->raise();
}

void ConnectionPage::buildRegionCard(QWidget *left)
{
    m_regionCard = styled(
        left, "ServerRegionCard",
        QStringLiteral("QWidget#ServerRegionCard {  background-color: " QX_RAISED ";  border-radius: 8px;}"));
    m_regionCard->setGeometry(60, 206, kCardWidth, 76);
    m_regionOpacity = new QGraphicsOpacityEffect(m_regionCard);
    m_regionOpacity->setOpacity(1.0);
    m_regionCard->setGraphicsEffect(m_regionOpacity);

    QLabel *title =
        label(m_regionCard, "ServerRegionTitle", windowText("Server Region"), interFont(12, 600),
              QStringLiteral("color: " QX_SECONDARY ";background: transparent;text-transform: capitalize;"
                             "font-family: Inter;font-size: 12px;font-weight: 600;"));
    title->move(14, 10);
    m_regionFlag = new QLabel(m_regionCard);
    m_regionFlag->setObjectName(QStringLiteral("ServerRegionFlag"));
    m_regionFlag->setFixedSize(24, 24);
    m_regionFlag->move(14, 42);
    m_regionFlag->setStyleSheet(QStringLiteral("background: transparent; border-radius: 12px;"));
    PageLooks::setScaledPixmap(m_regionFlag, QStringLiteral(":/icons/flag-us.png"), QSize(24, 24));
    m_regionValue =
        label(m_regionCard, "ServerRegionValue", windowText("United States"), interFont(14, 500),
              QStringLiteral("color: " QX_WHITE ";background: transparent;text-transform: capitalize;"));
    m_regionValue->move(50, 43);
    m_regionMode = label(m_regionCard, "ServerRegionAuto", windowText("Auto"), interFont(12, 400),
                         QStringLiteral("color: " QX_WHITE "; background: transparent;"));
    m_regionArrow = new QLabel(m_regionCard);
    m_regionArrow->setObjectName(QStringLiteral("ServerRegionArrow"));
    m_regionArrow->setFixedSize(18, 18);
    m_regionArrow->move(267, 44);
    m_regionArrow->setStyleSheet(kTransparent);
    PageLooks::setScaledPixmap(m_regionArrow, QStringLiteral(":/icons/caret-right 1.png"), QSize(18, 18));
    showManualServerLabel(m_regionMode->text());

    m_regionClickArea =
        flatButton(m_regionCard, "ServerRegionClickArea",
                   QStringLiteral("QPushButton#ServerRegionClickArea {  background: transparent;  "
                                  "border: none;}QPushButton#ServerRegionClickArea:hover {  "
                                  "background: transparent;}"));
    m_regionClickArea->setGeometry(0, 0, kCardWidth, 76);
    connect(m_regionClickArea, &QPushButton::clicked, this, &ConnectionPage::serverRegionClicked);

    m_statusLabel =
        label(left, "ConnStatusLabel", windowText("You are connected!"), interFont(14, 600),
              QStringLiteral("color: " QX_ACCENT ";background: transparent;font-family: Inter;font-size: "
                             "14px;font-weight: 600;"));
    m_statusLabel->setGeometry(60, 272, 299, 20);
    m_statusLabel->setAlignment(Qt::AlignCenter);
    m_statusLabel->hide();
    m_timerLabel =
        label(left, "ConnTimerLabel", QStringLiteral("00:34:56"), interFont(24, 600),
              QStringLiteral("color: " QX_WHITE ";background: transparent;font-family: Inter;font-size: "
                             "24px;font-weight: 600;"));
    m_timerLabel->setGeometry(60, 302, 299, 32);
    m_timerLabel->setAlignment(Qt::AlignCenter);
    m_timerLabel->hide();
}

void ConnectionPage::buildBoostSection(QWidget *rootFrame, QWidget *left, const QSize &windowSize,
                                       GameLookup games)
{
    const QString capitalised =
        QStringLiteral("color: " QX_SECONDARY ";background: transparent;text-transform: capitalize;");
    m_boostTitle = label(left, "PlatformBoostTitle", windowText("Platform Boost Setting"), interFont(24, 600),
                         capitalised);
    m_boostTitle->move(60, 302);
    m_boostInfo =
        flatButton(left, "PlatformBoostInfoIcon",
                   QStringLiteral("QPushButton#PlatformBoostInfoIcon {  background: transparent;  border: "
                                  "none;}QPushButton#PlatformBoostInfoIcon:hover {  background: "
                                  "transparent;}"));
    m_boostInfo->setFixedSize(20, 20);
    m_boostInfo->move(339, 303);
    const QPixmap info(QStringLiteral(":/icons/platform-info.png"));
    if (!info.isNull()) {
        m_boostInfo->setIcon(QIcon(info));
        m_boostInfo->setIconSize(QSize(20, 20));
    }
    connect(m_boostInfo, &QPushButton::clicked, this, &ConnectionPage::showPlatformBoostInfo);

    // The explanation dialog over the whole window, on a dimmed backdrop
    // that closes it when clicked.
    m_boostOverlay =
        styled(rootFrame, "PlatformBoostOverlay",
               QStringLiteral("QWidget#PlatformBoostOverlay {  background-color: rgba(0, 0, 0, 0.60);}"));
    m_boostOverlay->setGeometry(0, 0, windowSize.width(), windowSize.height());
    auto *backdrop =
        flatButton(m_boostOverlay, "PlatformBoostBackdrop",
                   QStringLiteral("QPushButton#PlatformBoostBackdrop {  background: transparent;  "
                                  "border: none;}"));
    backdrop->setCursor(Qt::ArrowCursor);
    backdrop->setGeometry(0, 0, windowSize.width(), windowSize.height());
    backdrop->lower();
    connect(backdrop, &QPushButton::clicked, m_boostOverlay, &QWidget::hide);
    QWidget *dialog = styled(m_boostOverlay, "PlatformBoostDialog",
                             QStringLiteral("QWidget#PlatformBoostDialog {  background-color: " QX_PANEL ";  "
                                            "border-radius: 20px;  border: 1px solid " QX_BORDER ";}"));
    dialog->setGeometry(510, 257, 420, 312);
    dialog->raise();
    QWidget *circle =
        styled(dialog, "PlatformBoostDialogInfoCircle",
               QStringLiteral("QWidget#PlatformBoostDialogInfoCircle {  background-color: " QX_RAISED ";  "
                              "border-radius: 24px;}"));
    circle->setGeometry(185, 30, 48, 48);
    auto *circleIcon = new QLabel(circle);
    circleIcon->setObjectName(QStringLiteral("PlatformBoostDialogInfoIcon"));
    circleIcon->setFixedSize(13, 13);
    circleIcon->move(17, 17);
    circleIcon->setStyleSheet(kTransparent);
    PageLooks::setScaledPixmap(circleIcon, QStringLiteral(":/icons/info2.png"), QSize(13, 13));
    QLabel *dialogTitle =
        label(dialog, "PlatformBoostDialogTitle", windowText("What is this section?"), interFont(16, 600),
              QStringLiteral("color: " QX_WHITE ";background: transparent;"));
    dialogTitle->setGeometry(41, 98, 338, 24);
    dialogTitle->setAlignment(Qt::AlignCenter);
    QLabel *body = label(
        dialog, "PlatformBoostDialogBody",
        windowText("Some games and companion apps (like Discord for voice chat or Steam to launch your "
                   "game) may be restricted or blocked. Any options you enable will be routed through this "
                   "app\u2019s optimized path, so they can run smoothly alongside your game."),
        interFont(14, 400), QStringLiteral("color: " QX_SECONDARY ";background: transparent;"));
    body->setGeometry(40, 142, 340, 120);
    body->setWordWrap(true);
    body->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    auto *gotIt = new QPushButton(windowText("Got it!"), dialog);
    gotIt->setObjectName(QStringLiteral("PlatformBoostDialogGotIt"));
    gotIt->setGeometry(169, 250, 82, 32);
    gotIt->setFlat(false);
    gotIt->setCursor(Qt::PointingHandCursor);
    gotIt->setFocusPolicy(Qt::NoFocus);
    gotIt->setAttribute(Qt::WA_StyledBackground, true);
    gotIt->setFont(interFont(14, 600));
    gotIt->setStyleSheet(QStringLiteral(
        "QPushButton#PlatformBoostDialogGotIt {  background-color: " QX_ACCENT ";  border-radius: 16px;  "
        "padding-left: "
        "20px;  padding-right: 20px;  color: " QX_BACKGROUND ";  border: 1px solid " QX_ACCENT
        ";}QPushButton#"
        "PlatformBoostDialogGotIt:hover {  background-color: " QX_ACCENT_HOVER
        ";  border: 1px solid " QX_ACCENT_HOVER ";}QPushButton#"
        "PlatformBoostDialogGotIt:before {  content: '';}QPushButton#PlatformBoostDialogGotIt:pressed {  "
        "background-color: " QX_ACCENT_PRESSED ";  border: 1px solid " QX_ACCENT_PRESSED ";}"));
    connect(gotIt, &QPushButton::clicked, m_boostOverlay, &QWidget::hide);
    m_boostOverlay->hide();

    m_boostScroll = new QScrollArea(left);
    m_boostScroll->setObjectName(QStringLiteral("PlatformBoostScroll"));
    m_boostScroll->setGeometry(60, 328, 299, 170);
    m_boostScroll->setFrameShape(QFrame::NoFrame);
    m_boostScroll->setWidgetResizable(true);
    m_boostScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_boostScroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_boostScroll->setStyleSheet(QStringLiteral("background: transparent; border: none;"));

    m_boostTrack = styled(left, "PlatformBoostScrollBarBg",
                          QStringLiteral("background-color: " QX_PANEL "; border-radius: 20px;"));
    m_boostTrack->setGeometry(359, 328, 5, PlatformBoostList::kTrackHeight);
    m_boostTrack->hide();
    m_boostTrack->setAttribute(Qt::WA_TransparentForMouseEvents, true);
    m_boostTrack->raise();
    QWidget *thumb = styled(m_boostTrack, "PlatformBoostScrollBarThumb",
                            QStringLiteral("background-color: " QX_RAISED "; border-radius: 20px;"));
    thumb->setGeometry(0, 0, 5, 124);
    qDebug() << "[PlatformBoostScrollBar][Init] track" << m_boostTrack << "parent"
             << m_boostTrack->parentWidget() << left->objectName() << m_boostTrack->geometry() << "visible"
             << m_boostTrack->isVisible() << "hidden" << m_boostTrack->isHidden() << "panel" << left->size()
             << "area" << m_boostScroll->geometry();

    auto *content = new QWidget(m_boostScroll);
    content->setObjectName(QStringLiteral("PlatformBoostContent"));
    content->setStyleSheet(QStringLiteral("background: transparent; border: none;"));
    auto *layout = new QVBoxLayout(content);
    layout->setObjectName(QStringLiteral("PlatformBoostLayout"));
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addStretch(1);
    m_boostScroll->setWidget(content);
    // The title's line reaches 4 px into the list below it: drawn above the
    // list, its descenders are not cut by the first card, and clicks there
    // still reach the card.
    m_boostTitle->raise();
    m_boostTitle->setAttribute(Qt::WA_TransparentForMouseEvents, true);

    m_tapButton = new QPushButton(windowText("Tap to connect"), left);
    m_tapButton->setObjectName(QStringLiteral("TapToConnectButton"));
    m_tapButton->setGeometry(60, kTapBaseY, 299, 48);
    m_tapButton->setProperty("tapBaseY", kTapBaseY);
    m_tapButton->setCursor(Qt::PointingHandCursor);
    m_tapButton->setFlat(false);
    m_tapButton->setFocusPolicy(Qt::NoFocus);
    m_tapButton->setAttribute(Qt::WA_StyledBackground, true);
    m_tapButton->setFont(interFont(14, 600));
    m_tapButton->setStyleSheet(tapButtonNormalStyle());

    PlatformBoostList::Widgets widgets;
    widgets.scroll = m_boostScroll;
    widgets.content = content;
    widgets.layout = layout;
    widgets.track = m_boostTrack;
    widgets.thumb = thumb;
    widgets.tapButton = m_tapButton;
    m_boostList = new PlatformBoostList(widgets, std::move(games), this);
    const QScrollBar *bar = m_boostScroll->verticalScrollBar();
    connect(bar, &QScrollBar::valueChanged, m_boostTrack, [this] { m_boostList->syncThumb(); });
    connect(bar, &QScrollBar::rangeChanged, m_boostTrack, [this] { m_boostList->syncThumb(); });
}

void ConnectionPage::showManualServerLabel(const QString &text)
{
    if (!m_regionMode || !m_regionArrow)
        return;
    const QString trimmed = text.trimmed();
    const bool manual = trimmed.compare(QLatin1String("Manual"), Qt::CaseInsensitive) == 0;
    // Its own width for every text ("Manual" after "Auto" is wider).
    FittedText::fit(m_regionMode, trimmed, kCardWidth);
    const int x = m_regionArrow->x() - m_regionMode->width() - 6 - (manual ? 6 : 0);
    const int y = m_regionArrow->y() + (m_regionArrow->height() - 16) / 2 - (manual ? 2 : 0);
    m_regionMode->move(x, y);
    showRelayName(m_relayName.isNull() ? m_regionValue->text() : m_relayName);
}

void ConnectionPage::setModeText(const QString &text)
{
    if (!m_regionMode)
        return;
    FittedText::fit(m_regionMode, text, kCardWidth - m_regionMode->x());
    showRelayName(m_relayName.isNull() ? m_regionValue->text() : m_relayName);
}

void ConnectionPage::showRelayName(const QString &name)
{
    if (!m_regionValue)
        return;
    m_relayName = name;
    const int end = m_regionMode ? m_regionMode->x() - 10 : kCardWidth - 40;
    FittedText::fit(m_regionValue, name, end - m_regionValue->x());
}

ConnectionPage::RelayCard ConnectionPage::relayCard() const
{
    RelayCard card;
    card.name = m_relayName.isNull() ? m_regionValue->text() : m_relayName;
    card.mode = m_regionMode->text();
    card.flag = m_regionFlag->pixmap();
    return card;
}

void ConnectionPage::showRelayCard(const RelayCard &card)
{
    showRelayName(card.name);
    showManualServerLabel(card.mode);
    if (!card.flag.isNull())
        m_regionFlag->setPixmap(card.flag);
}

void ConnectionPage::showPlatformBoostInfo()
{
    m_boostOverlay->show();
    m_boostOverlay->raise();
}

void ConnectionPage::buildPlatformBoostSection(const QString &gameTitle)
{
    m_boostList->build(gameTitle);
}
