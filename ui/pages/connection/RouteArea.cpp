#include "ui/pages/connection/RouteArea.h"

#include "i18n/Language.h"
#include "ui/pages/common/PageLooks.h"
#include "ui/widgets/Palette.h"

#include <QBitmap>
#include <QFontMetrics>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QWidget>

using PageLooks::interFont;

namespace {

// The texts are the window's: the translation files hold them under
// "MainWindow".
using Language::windowText;

const char kPillLabelStyle[] =
    "color: " QX_SOFT ";background: transparent;font-family: Inter;font-size: 10px;font-weight: 400;";
const char kCaptionStyle[] = "color: " QX_SOFT ";background: transparent;";
const char kTransparent[] = "background: transparent;";

QWidget *box(QWidget *parent, const char *name, const char *body, const QRect &geometry)
{
    auto *w = new QWidget(parent);
    w->setObjectName(QLatin1String(name));
    w->setAttribute(Qt::WA_StyledBackground, true);
    w->setStyleSheet(QStringLiteral("QWidget#%1 {  %2}").arg(QLatin1String(name), QLatin1String(body)));
    w->setGeometry(geometry);
    return w;
}

QWidget *nodeBox(QWidget *parent, const char *name, const QRect &geometry)
{
    return box(parent, name,
               "background-color: " QX_RAISED ";  border-radius: 10px;  border: 1px solid " QX_BORDER ";",
               geometry);
}

QWidget *line(QWidget *parent, const char *name, const QRect &geometry)
{
    return box(parent, name, "background: transparent;  border-top: 1px solid " QX_BORDER ";", geometry);
}

// A latency pill and its centred label.
QWidget *pill(QWidget *parent, const char *name, const char *labelName, const QString &text,
              const QRect &geometry, QLabel **labelOut = nullptr)
{
    QWidget *w = box(
        parent, name,
        "background-color: " QX_RAISED ";  border-radius: 12px;  border: 1px solid " QX_BORDER ";", geometry);
    auto *label = new QLabel(text, w);
    label->setObjectName(QLatin1String(labelName));
    label->setGeometry(0, 0, 54, 24);
    label->setFont(interFont(7, 400));
    label->setStyleSheet(QLatin1String(kPillLabelStyle));
    label->setAlignment(Qt::AlignCenter);
    if (labelOut)
        *labelOut = label;
    return w;
}

QLabel *caption(QWidget *parent, const char *name, const QString &text)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setFont(interFont(12, 400));
    label->setStyleSheet(QLatin1String(kCaptionStyle));
    // Left of its place in every language: a translated caption is drawn
    // right-to-left, which would mirror a plain left.
    label->setAlignment(Qt::AlignLeft | Qt::AlignAbsolute | Qt::AlignVCenter);
    return label;
}

QLabel *iconLabel(QWidget *parent, const char *name, const QSize &size, const QPixmap &pixmap)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setFixedSize(size);
    label->setStyleSheet(QLatin1String(kTransparent));
    PageLooks::setScaledPixmap(label, pixmap, size);
    return label;
}

QLabel *serverIcon(QWidget *node, const char *name, const QPixmap &pixmap)
{
    QLabel *label = iconLabel(node, name, QSize(30, 31), pixmap);
    label->move(25, 24);
    return label;
}

QLabel *relayLogo(QWidget *parent, const char *name, const QPixmap &pixmap)
{
    return iconLabel(parent, name, QSize(14, 12), pixmap);
}

} // namespace

RouteArea::RouteArea(QWidget *rightPanel, QScrollArea *rightScroll, QObject *parent) : QObject(parent)
{
    buildRouteCards(rightPanel);
    buildDiagram(rightPanel, rightScroll);
}

void RouteArea::buildRouteCards(QWidget *panel)
{
    m_routeArea = new QWidget(panel);
    m_routeArea->setObjectName(QStringLiteral("GameRouteArea"));
    m_routeArea->setGeometry(0, 0, 861, 234);
    m_routeArea->setAttribute(Qt::WA_StyledBackground, true);
    m_routeArea->setAttribute(Qt::WA_TranslucentBackground, true);
    m_routeArea->setAutoFillBackground(false);
    m_routeArea->setAttribute(Qt::WA_NoSystemBackground, true);
    m_routeArea->setStyleSheet(QStringLiteral("background-color: rgba(0,0,0,0);"));

    auto *title = new QLabel(windowText("Game route"), m_routeArea);
    title->setObjectName(QStringLiteral("GameRouteTitle"));
    title->move(20, 20);
    title->setFont(interFont(16, 600));
    title->setStyleSheet(QStringLiteral("color: " QX_WHITE ";background: transparent;"));

    const QString valueStyle = QStringLiteral(
        "color: " QX_ACCENT ";background: transparent;font-family: Inter;font-size: 32px;font-weight: 600;");
    const QString subtitleStyle = QStringLiteral("color: " QX_MUTED ";background: transparent;");

    QWidget *pingCard =
        box(m_routeArea, "GameRoutePingCard", "background-color: " QX_RAISED ";  border-radius: 10px;",
            QRect(20, 84, 396, 130));
    m_pingValue = new QLabel(QStringLiteral("0"), pingCard);
    m_pingValue->setObjectName(QStringLiteral("GameRoutePingValue"));
    m_pingValue->setFont(interFont(32, 600));
    m_pingValue->setStyleSheet(valueStyle);
    m_pingUnit = new QLabel(windowText("ms"), pingCard);
    m_pingUnit->setObjectName(QStringLiteral("GameRoutePingUnit"));
    m_pingUnit->setFont(interFont(20, 600));
    m_pingUnit->setStyleSheet(QStringLiteral(
        "color: " QX_ACCENT ";background: transparent;font-family: Inter;font-size: 20px;font-weight: 600;"));
    RouteDiagram::centerLabelPair(m_pingValue, m_pingUnit);
    auto *pingSubtitle = new QLabel(windowText("Estimated ping"), pingCard);
    pingSubtitle->setObjectName(QStringLiteral("GameRoutePingSubtitle"));
    pingSubtitle->setGeometry(14, 80, 368, 20);
    pingSubtitle->setFont(interFont(14, 600));
    pingSubtitle->setStyleSheet(subtitleStyle);
    pingSubtitle->setAlignment(Qt::AlignCenter);

    QWidget *lossCard =
        box(m_routeArea, "GameRouteLossCard", "background-color: " QX_RAISED ";  border-radius: 10px;",
            QRect(445, 84, 396, 130));
    m_lossValue = new QLabel(QStringLiteral("0%"), lossCard);
    m_lossValue->setObjectName(QStringLiteral("GameRouteLossValue"));
    m_lossValue->setFont(interFont(32, 600));
    m_lossValue->setStyleSheet(valueStyle);
    RouteDiagram::centerLabelByText(m_lossValue, 396, 30);
    auto *lossSubtitle = new QLabel(windowText("Packet loss"), lossCard);
    lossSubtitle->setObjectName(QStringLiteral("GameRouteLossSubtitle"));
    lossSubtitle->setGeometry(14, 80, 368, 20);
    lossSubtitle->setFont(interFont(14, 600));
    lossSubtitle->setStyleSheet(subtitleStyle);
    lossSubtitle->setAlignment(Qt::AlignCenter);
}

void RouteArea::buildDiagram(QWidget *panel, QScrollArea *scroll)
{
    RouteDiagramState &s = m_diagram;
    const QPixmap serverPixmap(QStringLiteral(":/icons/routing-server.png"));
    const QPixmap logoPixmap(QStringLiteral(":/icons/routing-auto-logo.png"));

    auto *title = new QLabel(windowText("Routing detail"), panel);
    title->setObjectName(QStringLiteral("RoutingDetailTitle"));
    title->move(20, 254);
    title->setFont(interFont(16, 600));
    title->setStyleSheet(QStringLiteral("color: " QX_WHITE ";background: transparent;"));

    auto *pcNode = new QWidget(panel);
    pcNode->setObjectName(QStringLiteral("RoutingPcBackground"));
    pcNode->setAttribute(Qt::WA_StyledBackground, true);
    pcNode->setStyleSheet(QStringLiteral("QWidget#RoutingPcBackground {  background-color: " QX_RAISED ";  "
                                         "border-radius: 40px;  border: 1px solid " QX_BORDER ";}"));
    pcNode->setGeometry(20, 355, 80, 80);
    s.pcNode = pcNode;
    s.pcLine = line(panel, "RoutingPcToRouteLine", QRect(100, 395, 58, 1));
    m_pcIcon =
        iconLabel(pcNode, "RoutingPcIcon", QSize(30, 29), QPixmap(QStringLiteral(":/icons/routing-pc.png")));
    m_pcIcon->move(25, 25);
    QLabel *pcCaption = caption(panel, "RoutingPcLabel", windowText("Your PC"));
    pcCaption->setGeometry(20, 445, 80, 16);
    pcCaption->setAlignment(Qt::AlignCenter);
    s.pcCaption = pcCaption;

    QLabel *label = nullptr;
    s.pillA = pill(panel, "RoutingLatencyPill", "RoutingLatencyLabel", QStringLiteral("0 ms"),
                   QRect(158, 384, 54, 24), &label);
    s.pillALabel = label;
    m_latencyLabel = label;
    s.relayA = nodeBox(panel, "RoutingServerBackground", QRect(260, 355, 80, 80));
    serverIcon(s.relayA, "RoutingServerIcon", serverPixmap);
    s.pillB = pill(panel, "RoutingLatencyPill2", "RoutingLatencyLabel2", QStringLiteral("1 ms"),
                   QRect(398, 384, 54, 24), &label);
    s.pillBLabel = label;

    // The second and third route's widgets, hidden together below.
    auto *frame = new QWidget(panel);
    frame->setObjectName(QStringLiteral("RoutingRoute2CenterFrame"));
    frame->setAttribute(Qt::WA_StyledBackground, true);
    frame->setStyleSheet(QStringLiteral("QWidget#RoutingRoute2CenterFrame {  background-color: transparent;  "
                                        "border-radius: 10px;  border: 1px solid " QX_BORDER ";}"));
    frame->setGeometry(0, 0, 520, 136);
    frame->lower();
    s.routeFrame = frame;
    s.middleLine = line(panel, "RoutingRoute3CenterLine", QRect(0, 0, 520, 1));
    s.gameLine = line(panel, "RoutingRoute2ToGameLine", QRect(0, 0, 10, 1));
    const QString sample = QStringLiteral("226 ms");
    s.rightPillU = pill(panel, "RoutingRoute2PingRightTop", "RoutingRoute2PingRightTopLabel", sample,
                        QRect(0, 0, 54, 24), &label);
    s.rightPillULabel = label;
    s.rightPillL = pill(panel, "RoutingRoute2PingRightBottom", "RoutingRoute2PingRightBottomLabel", sample,
                        QRect(0, 0, 54, 24), &label);
    s.rightPillLLabel = label;
    s.rightRelayU = nodeBox(panel, "RoutingRoute2ServerRightTop", QRect(0, 0, 80, 80));
    serverIcon(s.rightRelayU, "RoutingRoute2ServerRightTopIcon", serverPixmap);
    s.rightRelayL = nodeBox(panel, "RoutingRoute2ServerRightBottom", QRect(0, 0, 80, 80));
    serverIcon(s.rightRelayL, "RoutingRoute2ServerRightBottomIcon", serverPixmap);
    const QString dubai = windowText("Dubai,AE");
    s.rightRelayULogo = relayLogo(panel, "RoutingRoute2ServerRightTopLogo", logoPixmap);
    s.rightRelayUCaption = caption(panel, "RoutingRoute2ServerRightTopLabel", dubai);
    s.rightRelayLLogo = relayLogo(panel, "RoutingRoute2ServerRightBottomLogo", logoPixmap);
    s.rightRelayLCaption = caption(panel, "RoutingRoute2ServerRightBottomLabel", dubai);
    s.pillC = pill(panel, "RoutingRoute3LatencyMiddlePill", "RoutingRoute3LatencyMiddleLabel",
                   QStringLiteral("1 ms"), QRect(0, 0, 54, 24), &label);
    s.pillCLabel = label;
    s.relayC = nodeBox(panel, "RoutingRoute3ServerMiddleBg", QRect(0, 0, 80, 80));
    serverIcon(s.relayC, "RoutingRoute3ServerMiddleIcon", serverPixmap);
    s.relayCLogo = relayLogo(panel, "RoutingRoute3AutoLogoMiddle", logoPixmap);
    s.relayCCaption = caption(panel, "RoutingRoute3AutoLabelMiddle", windowText("Auto"));
    s.rightPillM = pill(panel, "RoutingRoute3PingRightMiddle", "RoutingRoute3PingRightMiddleLabel", sample,
                        QRect(0, 0, 54, 24), &label);
    s.rightPillMLabel = label;
    s.rightRelayM = nodeBox(panel, "RoutingRoute3ServerRightMiddle", QRect(0, 0, 80, 80));
    serverIcon(s.rightRelayM, "RoutingRoute3ServerRightMiddleIcon", serverPixmap);
    s.rightRelayMLogo = relayLogo(panel, "RoutingRoute3ServerRightMiddleLogo", logoPixmap);
    s.rightRelayMCaption = caption(panel, "RoutingRoute3ServerRightMiddleLabel", dubai);
    for (QWidget *w :
         {s.routeFrame.data(), s.middleLine.data(), s.gameLine.data(), s.rightPillU.data(),
          s.rightPillL.data(), s.rightRelayU.data(), s.rightRelayL.data(), s.rightRelayULogo.data(),
          static_cast<QWidget *>(s.rightRelayUCaption.data()), s.rightRelayLLogo.data(),
          static_cast<QWidget *>(s.rightRelayLCaption.data()), s.pillC.data(), s.relayC.data(),
          s.relayCLogo.data(), static_cast<QWidget *>(s.relayCCaption.data()), s.rightPillM.data(),
          s.rightRelayM.data(), s.rightRelayMLogo.data(),
          static_cast<QWidget *>(s.rightRelayMCaption.data())})
        w->hide();

    s.relayALogo = relayLogo(panel, "RoutingAutoLogo", logoPixmap);
    s.relayALogo->move(278, 447);
    QLabel *autoCaption = caption(panel, "RoutingAutoLabel", windowText("Auto"));
    autoCaption->setGeometry(296, 443, 80, 16);
    autoCaption->setAlignment(Qt::AlignLeft | Qt::AlignAbsolute | Qt::AlignVCenter);
    s.relayACaption = autoCaption;

    s.relayB = nodeBox(panel, "RoutingDubaiBackground", QRect(500, 355, 80, 80));
    serverIcon(s.relayB, "RoutingDubaiIcon", serverPixmap);
    QLabel *dubaiCaption = caption(panel, "RoutingDubaiLabel", dubai);
    // Logo and caption centred together under the node, for the font in use.
    const int t = QFontMetrics(dubaiCaption->font()).horizontalAdvance(dubai);
    const int d = RouteDiagram::centredLogoX(500, t);
    dubaiCaption->setGeometry(d + 20, 445, t + 4, 16);
    dubaiCaption->setAlignment(Qt::AlignLeft | Qt::AlignAbsolute | Qt::AlignVCenter);
    s.relayBCaption = dubaiCaption;
    s.relayBLogo = relayLogo(panel, "RoutingDubaiLogo", logoPixmap);
    s.relayBLogo->move(d, 447);
    s.relayBLogoX = d;
    s.relayBCaptionX = d + 20;
    s.relayBCaptionW = t + 4;

    auto *gameNode = new QWidget(panel);
    gameNode->setObjectName(QStringLiteral("RoutingGameBackground"));
    gameNode->setAttribute(Qt::WA_StyledBackground, true);
    gameNode->setStyleSheet(QStringLiteral("QWidget#RoutingGameBackground {  background-color: " QX_RAISED
                                           ";  "
                                           "border-radius: 14px;  border: 1px solid " QX_BORDER ";}"));
    gameNode->setGeometry(745, 355, 80, 80);
    s.gameNode = gameNode;
    m_gameIcon = new QLabel(gameNode);
    m_gameIcon->setObjectName(QStringLiteral("RoutingGameIcon"));
    m_gameIcon->setFixedSize(60, 60);
    m_gameIcon->move(10, 10);
    PageLooks::setScaledPixmap(m_gameIcon, QStringLiteral(":/icons/conn-lol.png"), QSize(60, 60));
    QPainterPath rounded;
    rounded.addRoundedRect(QRectF(0, 0, 60, 60), 10, 10);
    m_gameIcon->setMask(QRegion(rounded.toFillPolygon().toPolygon()));
    m_gameIcon->setStyleSheet(QStringLiteral("background: transparent; border-radius: 10px;"));
    m_gameLabel = caption(panel, "RoutingGameLabel", windowText("league of legends"));
    m_gameLabel->setGeometry(715, 445, 140, 16);
    m_gameLabel->setAlignment(Qt::AlignCenter);
    s.gameCaption = m_gameLabel;

    s.backgroundLine = line(panel, "RoutingBackgroundLine", QRect(80, 397, 666, 1));
    s.backgroundLine->lower();

    s.panel = panel;
    s.panelScroll = scroll;
    s.panelHeight = panel ? panel->height() : 631;
    s.panelWidth = panel ? panel->width() : 861;

    showEstimatedPing(0);
}

void RouteArea::updateRouteDiagram(int routes)
{
    RouteDiagram::updateRouteDiagram(m_diagram, routes);
}

void RouteArea::showEstimatedPing(int ms)
{
    const int v = ms < 1 ? 0 : ms;
    if (m_pingValue) {
        m_pingValue->setText(QString::number(v));
        RouteDiagram::centerLabelPair(m_pingValue, m_pingUnit);
    }
    if (m_latencyLabel)
        m_latencyLabel->setText(QString::number(v) + QStringLiteral(" ms"));
}

void RouteArea::setGameRouteValue(const QString &text)
{
    if (!m_lossValue)
        return;
    m_lossValue->setText(text);
    RouteDiagram::centerLabelByText(m_lossValue, 396, 30);
}

void RouteArea::updateRoutingPcIcon(bool console)
{
    QLabel *icon = m_pcIcon;
    if (!icon)
        return;
    int baseW = icon->property("baseW").toInt();
    int baseH = icon->property("baseH").toInt();
    if (baseW <= 0 || baseH <= 0) {
        baseW = icon->width() > 0 ? icon->width() : 30;
        baseH = icon->height() > 0 ? icon->height() : 29;
        icon->setProperty("baseW", baseW);
        icon->setProperty("baseH", baseH);
    }
    QSize size(baseW, baseH);
    if (console)
        size *= 2;
    if (QWidget *parent = icon->parentWidget()) {
        size = QSize(std::max(0, std::min(size.width(), parent->width() - 10)),
                     std::max(0, std::min(size.height(), parent->height() - 10)));
        icon->setFixedSize(size);
        icon->move((parent->width() - size.width()) / 2, (parent->height() - size.height()) / 2);
    } else {
        icon->setFixedSize(size);
    }
    PageLooks::setScaledPixmap(
        icon, console ? QStringLiteral(":/icons/consol.png") : QStringLiteral(":/icons/routing-pc.png"),
        size);
}
