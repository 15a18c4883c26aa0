#include "ui/pages/connection/RouteSettings.h"

#include "i18n/Language.h"
#include "ui/pages/common/PageLooks.h"
#include "ui/widgets/Palette.h"

#include <QFontMetrics>
#include <QGraphicsDropShadowEffect>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

#include <algorithm>

using PageLooks::interFont;
using PageLooks::styled;

namespace {

using Language::windowText;

QLabel *caption(QWidget *parent, const char *name, const QString &text, const QPoint &at)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    l->setFont(interFont(14, 400));
    l->setStyleSheet(
        QStringLiteral("color: " QX_WHITE ";background: transparent;text-transform: capitalize;"));
    l->adjustSize();
    l->move(at);
    return l;
}

QPushButton *arrow(QWidget *parent, const char *icon, const QPoint &at)
{
    auto *b = new QPushButton(parent);
    b->setFixedSize(16, 16);
    b->move(at);
    b->setCursor(Qt::PointingHandCursor);
    b->setFlat(true);
    b->setIcon(QIcon(QLatin1String(icon)));
    b->setIconSize(QSize(16, 16));
    b->setStyleSheet(QStringLiteral("QPushButton {  background: transparent;  border: "
                                    "none;}QPushButton:hover {  background: transparent;}"));
    return b;
}

} // namespace

RouteSettings::RouteSettings(QWidget *rightPanel, QWidget *rootFrame, const QSize &windowSize,
                             const RouteDiagramState &diagram, QObject *parent)
    : QObject(parent), m_diagram(diagram)
{
    m_button = new QPushButton(windowText("Route setting"), rightPanel);
    m_button->setObjectName(QStringLiteral("RouteSettingButton"));
    // 145 px wide with its right edge at 841, wider to the left when the
    // text needs it, so that it is never cut.
    const int textWidth = QFontMetrics(interFont(14, 600)).horizontalAdvance(m_button->text());
    const int buttonWidth = std::max(145, 44 + textWidth + 14 + 4);
    m_button->setGeometry(696 + 145 - buttonWidth, 250, buttonWidth, 36);
    m_button->setCursor(Qt::PointingHandCursor);
    m_button->setFlat(false);
    m_button->setFocusPolicy(Qt::NoFocus);
    m_button->setAttribute(Qt::WA_StyledBackground, true);
    m_button->setFont(interFont(14, 600));
    m_button->setStyleSheet(
        QStringLiteral("QPushButton#RouteSettingButton {  background-color: transparent;  border-radius: "
                       "18px;  border: 1px solid " QX_BORDER ";  color: " QX_WHITE
                       ";  padding-left: 44px;  padding-right: 14px;  text-align: "
                       "left;}QPushButton#RouteSettingButton:hover {  background-color: " QX_RAISED ";}"));
    auto *icon = new QLabel(m_button);
    icon->setObjectName(QStringLiteral("RouteSettingIcon"));
    icon->setFixedSize(16, 16);
    icon->move(16, 10);
    icon->setStyleSheet(QStringLiteral("background: transparent;"));
    icon->setAttribute(Qt::WA_TransparentForMouseEvents, true);
    PageLooks::setScaledPixmap(icon, QStringLiteral(":/icons/route-setting.png"), QSize(13, 13));

    m_overlay =
        styled(rootFrame, "RouteSettingsOverlay",
               QStringLiteral("QWidget#RouteSettingsOverlay {  background-color: rgba(0, 0, 0, 0.60);}"));
    m_overlay->setGeometry(0, 0, windowSize.width(), windowSize.height());
    m_backdrop = new QPushButton(m_overlay);
    m_backdrop->setObjectName(QStringLiteral("RouteSettingsBackdrop"));
    m_backdrop->setFlat(true);
    m_backdrop->setStyleSheet(
        QStringLiteral("QPushButton#RouteSettingsBackdrop {  background: transparent;  border: none;}"));
    m_backdrop->setGeometry(0, 0, windowSize.width(), windowSize.height());

    // Style sheets have no shadows (Qt warns about "box-shadow" on every
    // polish), so the panel's shadow is a graphics effect.
    m_panel =
        styled(m_overlay, "RouteSettingsPanel",
               QStringLiteral(
                   "QWidget#RouteSettingsPanel {  background-color: " QX_RAISED ";  border-radius: 14px;  "
                   "padding-top: 10px;  padding-right: 20px;  padding-bottom: 20px;  padding-left: "
                   "20px;}"));
    m_panel->setGeometry(windowSize.width() - 40 - 329, 479, 329, 240);
    auto *shadow = new QGraphicsDropShadowEffect(m_panel);
    shadow->setOffset(0, 9);
    shadow->setBlurRadius(20);
    shadow->setColor(QColor(11, 12, 15, 77));
    m_panel->setGraphicsEffect(shadow);
    buildPanel();

    const int max = RouteDiagram::kMaxRoutes;
    connect(m_tcpUp, &QPushButton::clicked, this,
            [this, max] { RouteDiagram::incrementTcpRoutes(m_tcpValue, m_udpValue, max, m_diagram); });
    connect(m_tcpDown, &QPushButton::clicked, this,
            [this] { RouteDiagram::decrementTcpRoutes(m_tcpValue, m_udpValue, m_diagram); });
    connect(m_udpUp, &QPushButton::clicked, this,
            [this, max] { RouteDiagram::incrementUdpRoutes(m_tcpValue, m_udpValue, max, m_diagram); });
    connect(m_udpDown, &QPushButton::clicked, this,
            [this] { RouteDiagram::decrementUdpRoutes(m_tcpValue, m_udpValue, m_diagram); });

    m_backdrop->lower();
    m_panel->raise();
    m_overlay->hide();
    connect(m_button, &QPushButton::clicked, this, &RouteSettings::toggleRouteSettings);
    connect(m_backdrop, &QPushButton::clicked, m_overlay, &QWidget::hide);
}

void RouteSettings::buildPanel()
{
    caption(m_panel, "RouteSettingsLocalLabel", windowText("Use Local Routes First"), QPoint(20, 25));
    buildSwitch("RouteSettingsLocalSwitchTrack", "RouteSettingsLocalSwitchKnob", QX_ACCENT, QX_BACKGROUND, 24,
                true);
    QWidget *sep1 = styled(m_panel, "RouteSettingsSeparator1",
                           QStringLiteral("QWidget#RouteSettingsSeparator1 {  background: transparent;  "
                                          "border-bottom: 1px dashed " QX_BORDER ";}"));
    sep1->setGeometry(20, 10, 289, 50);
    sep1->setAttribute(Qt::WA_TransparentForMouseEvents, true);

    caption(m_panel, "RouteSettingsIPv6Label", windowText("Prefer IPv6 Routes"), QPoint(20, 75));
    buildSwitch("RouteSettingsIPv6SwitchTrack", "RouteSettingsIPv6SwitchKnob", QX_BORDER, QX_RAISED, 74,
                false);
    QWidget *sep2 = styled(m_panel, "RouteSettingsSeparator2",
                           QStringLiteral("QWidget#RouteSettingsSeparator2 {  background: transparent;  "
                                          "border-bottom: 1px dashed " QX_BORDER ";}"));
    sep2->setGeometry(20, 60, 289, 50);
    sep2->setAttribute(Qt::WA_TransparentForMouseEvents, true);

    caption(m_panel, "RouteSettingsTcpLabel", windowText("TCP Routes"), QPoint(20, 143));
    caption(m_panel, "RouteSettingsUdpLabel", windowText("UDP Routes"), QPoint(175, 143));
    buildCounter("RouteSettingsTcpInput", "RouteSettingsTcpValue", QStringLiteral("0"), 20, 135, &m_tcpValue,
                 &m_tcpUp, &m_tcpDown);
    buildCounter("RouteSettingsUdpInput", "RouteSettingsUdpValue", QStringLiteral("1"), 175, 134, &m_udpValue,
                 &m_udpUp, &m_udpDown);
}

QWidget *RouteSettings::buildSwitch(const char *trackName, const char *knobName, const char *trackColour,
                                    const char *knobColour, int y, bool on)
{
    QWidget *track = styled(m_panel, trackName,
                            QStringLiteral("QWidget#%1 {  background-color: %2;  border-radius: 11px;}")
                                .arg(QLatin1String(trackName), QLatin1String(trackColour)));
    track->setGeometry(269, y, 40, 22);
    const QString knobLook = QStringLiteral("QWidget#%1 {  background-color: %2;  border-radius: 8px;}");
    QWidget *knob = styled(track, knobName, knobLook.arg(QLatin1String(knobName), QLatin1String(knobColour)));
    knob->setFixedSize(16, 16);
    knob->move(on ? 21 : 3, 3);
    return track;
}

QWidget *RouteSettings::buildCounter(const char *boxName, const char *valueName, const QString &value, int x,
                                     int width, QLabel **valueLabel, QPushButton **up, QPushButton **down)
{
    QWidget *box =
        styled(m_panel, boxName,
               QStringLiteral("QWidget#%1 {  background-color: " QX_PANEL ";  border-radius: 8px;}")
                   .arg(QLatin1String(boxName)));
    box->setGeometry(x, 171, width, 48);
    auto *label = new QLabel(value, box);
    label->setObjectName(QLatin1String(valueName));
    label->setFont(interFont(14, 400));
    label->setStyleSheet(QStringLiteral("color: " QX_WHITE "; background: transparent;"));
    label->setGeometry(0, 0, width - 30, 48);
    label->setAlignment(Qt::AlignCenter);
    *valueLabel = label;
    *up = arrow(box, ":/icons/caret-up-1.png", QPoint(width - 26, 6));
    *down = arrow(box, ":/icons/caret-up-2.png", QPoint(width - 26, 26));
    return box;
}

void RouteSettings::toggleRouteSettings()
{
    const bool wasVisible = !m_overlay->isHidden();
    m_overlay->setVisible(!wasVisible);
    if (!wasVisible)
        m_overlay->raise();
}
