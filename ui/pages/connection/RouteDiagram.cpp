#include "ui/pages/connection/RouteDiagram.h"

#include <QFontMetrics>
#include <QLabel>
#include <QObject>
#include <QScrollArea>
#include <QWidget>

#include <algorithm>

namespace RouteDiagram {

namespace {

void setShown(QWidget *w, bool shown)
{
    if (w)
        w->setVisible(shown);
}

void setGeometry(QWidget *w, int x, int y, int width, int height)
{
    if (w)
        w->setGeometry(x, y, width, height);
}

void moveTo(QWidget *w, int x, int y)
{
    if (w)
        w->move(x, y);
}

void setText(QLabel *label, const QString &text)
{
    if (label)
        label->setText(text);
}

int textWidth(const QLabel *label, const QString &text)
{
    return label ? QFontMetrics(label->font()).horizontalAdvance(text) : 0;
}

// Logo and caption centred together under a relay node at (x, y); the
// caption text is w pixels wide and its label captionWidth wide.
void placeRelayCaption(const RouteDiagramState &s, QWidget *logo, QLabel *caption, int x, int y, int w,
                       int captionWidth)
{
    const int logoX = x + (80 - s.logoW - w - 6) / 2;
    moveTo(logo, logoX, y + 80 + 10 + 2);
    setGeometry(caption, logoX + 20, y + 90, captionWidth, s.captionHeight);
}

void setPanelHeight(const RouteDiagramState &s, int height, Qt::ScrollBarPolicy policy)
{
    if (s.panel)
        s.panel->setFixedHeight(height);
    if (s.panelScroll)
        s.panelScroll->setVerticalScrollBarPolicy(policy);
}

void oneRoute(const RouteDiagramState &s)
{
    setGeometry(s.pcNode, s.pcX, s.pcY, s.pcSize, s.pcSize);
    setGeometry(s.pcCaption, s.pcX, s.pcCaptionY, s.pcSize, s.captionHeight);
    setGeometry(s.pcLine, s.pcLineX, s.pcY + s.pcSize / 2, s.pcLineW, s.pcLineH);

    setGeometry(s.pillA, s.pillAX, s.pillAY, s.pillAW, s.pillAH);
    setText(s.pillALabel, QStringLiteral("0 ms"));
    setGeometry(s.pillB, s.pillBX, s.pillBY, s.pillBW, s.pillBH);
    setText(s.pillBLabel, QStringLiteral("220 ms"));

    for (QWidget *w : {s.routeFrame.data(), s.middleLine.data(), s.gameLine.data(), s.pillC.data(),
                       s.rightPillU.data(), s.rightPillM.data(), s.rightPillL.data(), s.relayC.data(),
                       s.rightRelayU.data(), s.rightRelayM.data(), s.rightRelayL.data(), s.relayCLogo.data(),
                       static_cast<QWidget *>(s.relayCCaption.data()), s.rightRelayULogo.data(),
                       static_cast<QWidget *>(s.rightRelayUCaption.data()), s.rightRelayMLogo.data(),
                       static_cast<QWidget *>(s.rightRelayMCaption.data()), s.rightRelayLLogo.data(),
                       static_cast<QWidget *>(s.rightRelayLCaption.data())})
        setShown(w, false);

    setPanelHeight(s, s.panelHeight, Qt::ScrollBarAlwaysOff);

    setGeometry(s.relayA, s.relayAX, s.relayAY, s.relayASize, s.relayASize);
    // The logos sit 2 px below their captions' top, a little off the row's
    // base value; kept as the diagram has always drawn them.
    moveTo(s.relayALogo, s.relayALogoX, s.relayALogoY + 2);
    setText(s.relayACaption, QObject::tr("Auto"));
    setGeometry(s.relayACaption, s.relayACaptionX, s.relayACaptionY, s.relayACaptionW, s.relayACaptionH);

    setGeometry(s.relayB, s.relayBX, s.relayBY, s.relayBSize, s.relayBSize);
    moveTo(s.relayBLogo, s.relayBLogoX, s.relayBCaptionY + 2);
    setText(s.relayBCaption, QObject::tr("Dubai,AE"));
    setGeometry(s.relayBCaption, s.relayBCaptionX, s.relayBCaptionY, s.relayBCaptionW, s.relayBCaptionH);

    setGeometry(s.gameNode, s.gameX, s.gameY, s.gameSize, s.gameSize);
    setGeometry(s.gameCaption, s.gameCaptionX, s.gameCaptionY, s.gameCaptionW, s.gameCaptionH);

    for (QWidget *w : {s.pcNode.data(), s.pcCaption.data(), s.pillA.data(), s.relayA.data(), s.pillB.data(),
                       s.relayALogo.data(), static_cast<QWidget *>(s.relayACaption.data()), s.relayB.data(),
                       s.relayBLogo.data(), static_cast<QWidget *>(s.relayBCaption.data()), s.gameNode.data(),
                       s.gameCaption.data(), s.backgroundLine.data()})
        setShown(w, true);
}

// The game node at the right end of the rows, centred on the row line f.
void placeGameEnd(const RouteDiagramState &s, int f)
{
    const int gameX = s.panelWidth - 80 - 25;
    const int gameY = f - 40;
    setGeometry(s.gameNode, gameX, gameY, 80, 80);
    setGeometry(s.gameCaption, gameX + (80 - 140) / 2, gameY + 90, 140, s.captionHeight);
    setGeometry(s.gameLine, 678, f, gameX - 678, 1);
    setShown(s.gameNode, true);
    setShown(s.gameCaption, true);
}

void placePc(const RouteDiagramState &s, int f)
{
    setGeometry(s.pcNode, s.pcX, f - 40, 80, 80);
    setGeometry(s.pcCaption, s.pcX, f - 40 + 90, 80, s.captionHeight);
    setShown(s.pcNode, true);
    setShown(s.pcCaption, true);
}

// One row of a multi-route layout: left pill, relay, right pill, right relay.
struct Row
{
    QWidget *pill;
    QLabel *pillLabel;
    QWidget *relay;
    QWidget *relayLogo;
    QLabel *relayCaption;
    QWidget *rightPill;
    QLabel *rightPillLabel;
    QWidget *rightRelay;
    QWidget *rightRelayLogo;
    QLabel *rightRelayCaption;
};

void showRow(const Row &r)
{
    for (QWidget *w : {r.pill, r.relay, r.relayLogo, static_cast<QWidget *>(r.relayCaption), r.rightPill,
                       r.rightRelay, r.rightRelayLogo, static_cast<QWidget *>(r.rightRelayCaption)})
        setShown(w, true);
}

void placeRightOfRow(const RouteDiagramState &s, const Row &r, int pillY)
{
    const int relayY = pillY + (24 - 80) / 2;
    setGeometry(r.rightPill, 434, pillY, s.pillAW, s.pillAH);
    setText(r.rightPillLabel, QObject::tr("226 ms"));
    setGeometry(r.rightRelay, 536, relayY, 80, 80);
    const QString dubai = QObject::tr("Dubai,AE");
    const int w = textWidth(r.rightRelayCaption, dubai);
    placeRelayCaption(s, r.rightRelayLogo, r.rightRelayCaption, 536, relayY, w, w + 4);
}

void twoRoutes(const RouteDiagramState &s)
{
    const int P = s.panelHeight;
    setPanelHeight(s, P, Qt::ScrollBarAlwaysOff);

    const int y0 = P - 80 - 171;
    const int f = y0 + 40;
    placePc(s, f);
    moveTo(s.pcLine, s.pcLineX, f);
    setGeometry(s.routeFrame, 158, P - 277, 520, 136);

    const int pillAY = P - 24 - 265;
    const int pillBY = P - 24 - 130;
    setGeometry(s.pillA, 191, pillAY, s.pillAW, s.pillAH);
    setText(s.pillALabel, QStringLiteral("0 ms"));
    setGeometry(s.pillB, 191, pillBY, s.pillBW, s.pillBH);
    setText(s.pillBLabel, QStringLiteral("1 ms"));
    setShown(s.pillA, true);
    setShown(s.pillB, true);

    const QString autoText = QObject::tr("Auto");
    const int relayAY = pillAY + (24 - 80) / 2;
    setGeometry(s.relayA, 296, relayAY, 80, 80);
    const int wA = s.relayACaption ? textWidth(s.relayACaption, s.relayACaption->text()) : 0;
    setText(s.relayACaption, autoText);
    placeRelayCaption(s, s.relayALogo, s.relayACaption, 296, relayAY, wA, 80);

    const int relayBY = pillBY + (24 - 80) / 2;
    setGeometry(s.relayB, 296, relayBY, 80, 80);
    setText(s.relayBCaption, autoText);
    placeRelayCaption(s, s.relayBLogo, s.relayBCaption, 296, relayBY, textWidth(s.relayBCaption, autoText),
                      s.relayBCaptionW);

    const Row upper{s.pillA,      s.pillALabel,      s.relayA,      s.relayALogo,      s.relayACaption,
                    s.rightPillU, s.rightPillULabel, s.rightRelayU, s.rightRelayULogo, s.rightRelayUCaption};
    const Row lower{s.pillB,      s.pillBLabel,      s.relayB,      s.relayBLogo,      s.relayBCaption,
                    s.rightPillL, s.rightPillLLabel, s.rightRelayL, s.rightRelayLLogo, s.rightRelayLCaption};
    placeRightOfRow(s, upper, pillAY);
    setText(s.rightRelayUCaption, QObject::tr("Dubai,AE"));
    placeRightOfRow(s, lower, pillBY);
    setText(s.rightRelayLCaption, QObject::tr("Dubai,AE"));

    placeGameEnd(s, f);

    setShown(s.routeFrame, true);
    setShown(s.gameLine, true);
    showRow(upper);
    showRow(lower);
    for (QWidget *w :
         {s.pillC.data(), s.relayC.data(), s.relayCLogo.data(),
          static_cast<QWidget *>(s.relayCCaption.data()), s.rightPillM.data(), s.rightRelayM.data(),
          s.rightRelayMLogo.data(), static_cast<QWidget *>(s.rightRelayMCaption.data()), s.middleLine.data(),
          s.backgroundLine.data()})
        setShown(w, false);
}

void threeRoutes(const RouteDiagramState &s)
{
    const int P = s.panelHeight;
    const int pillH = s.pillAH;
    const int upperY = P - pillH - 235;
    const int lowerY = P - pillH + 5;
    const int f = (lowerY + (pillH / 2) * 2 + upperY) / 2;
    const int middleY = f - pillH / 2;
    const int relayOffset = (pillH - 80) / 2;

    placePc(s, f);
    setGeometry(s.pcLine, s.pcLineX, f, s.pcLineW, 1);

    const int frameTop = std::max(upperY + relayOffset, 32) + 38;
    const int frameBottom = lowerY + relayOffset + 80 - 38;
    const int frameHeight = frameBottom - frameTop;
    const int frameY = f - frameHeight / 2;
    setGeometry(s.routeFrame, 158, frameY, 520, frameHeight);
    setGeometry(s.middleLine, 158, f, 520, 1);
    setShown(s.middleLine, true);

    setPanelHeight(s, std::max(P, frameY + frameHeight + 80), Qt::ScrollBarAsNeeded);

    setGeometry(s.pillA, 191, upperY, s.pillAW, pillH);
    setText(s.pillALabel, QStringLiteral("0 ms"));
    setGeometry(s.pillC, 191, middleY, s.pillAW, pillH);
    setText(s.pillCLabel, QStringLiteral("1 ms"));
    setGeometry(s.pillB, 191, lowerY, s.pillBW, pillH);
    setText(s.pillBLabel, QStringLiteral("1 ms"));

    const QString autoText = QObject::tr("Auto");
    const int wA = s.relayACaption ? textWidth(s.relayACaption, s.relayACaption->text()) : 0;
    setGeometry(s.relayA, 296, upperY + relayOffset, 80, 80);
    setText(s.relayACaption, autoText);
    placeRelayCaption(s, s.relayALogo, s.relayACaption, 296, upperY + relayOffset, wA, 80);

    const int wC = s.relayCCaption ? textWidth(s.relayCCaption, s.relayCCaption->text()) : 0;
    setGeometry(s.relayC, 296, middleY + relayOffset, 80, 80);
    placeRelayCaption(s, s.relayCLogo, s.relayCCaption, 296, middleY + relayOffset, wC, 80);

    setGeometry(s.relayB, 296, lowerY + relayOffset, 80, 80);
    setText(s.relayBCaption, autoText);
    placeRelayCaption(s, s.relayBLogo, s.relayBCaption, 296, lowerY + relayOffset,
                      textWidth(s.relayBCaption, autoText), s.relayBCaptionW);

    const Row upper{s.pillA,      s.pillALabel,      s.relayA,      s.relayALogo,      s.relayACaption,
                    s.rightPillU, s.rightPillULabel, s.rightRelayU, s.rightRelayULogo, s.rightRelayUCaption};
    const Row middle{s.pillC,      s.pillCLabel,      s.relayC,      s.relayCLogo,      s.relayCCaption,
                     s.rightPillM, s.rightPillMLabel, s.rightRelayM, s.rightRelayMLogo, s.rightRelayMCaption};
    const Row lower{s.pillB,      s.pillBLabel,      s.relayB,      s.relayBLogo,      s.relayBCaption,
                    s.rightPillL, s.rightPillLLabel, s.rightRelayL, s.rightRelayLLogo, s.rightRelayLCaption};
    placeRightOfRow(s, upper, upperY);
    placeRightOfRow(s, middle, middleY);
    placeRightOfRow(s, lower, lowerY);
    showRow(upper);
    showRow(middle);
    showRow(lower);

    placeGameEnd(s, f);
    setShown(s.routeFrame, true);
    setShown(s.gameLine, true);
    setShown(s.backgroundLine, false);
}

Counts readCounts(const QLabel *tcp, const QLabel *udp)
{
    return {tcp ? tcp->text().toInt(nullptr, 10) : 0, udp ? udp->text().toInt(nullptr, 10) : 0};
}

void writeCount(QLabel *label, int value)
{
    if (label)
        label->setText(QString::number(value));
}

} // namespace

int centredLogoX(int nodeX, int textWidth)
{
    return nodeX + (80 - (textWidth + 20)) / 2;
}

Counts incrementTcp(Counts c, int max)
{
    if (c.tcp < max) {
        if (c.tcp + c.udp < max) {
            ++c.tcp;
        } else if (c.tcp + c.udp == max && c.udp > 0) {
            ++c.tcp;
            --c.udp;
        }
    }
    return c;
}

Counts incrementUdp(Counts c, int max)
{
    if (c.udp < max) {
        if (c.tcp + c.udp < max) {
            ++c.udp;
        } else if (c.tcp + c.udp == max && c.tcp > 0) {
            --c.tcp;
            ++c.udp;
        }
    }
    return c;
}

Counts decrementTcp(Counts c)
{
    if (c.tcp > 0)
        --c.tcp;
    return c;
}

Counts decrementUdp(Counts c)
{
    if (c.udp > 0)
        --c.udp;
    return c;
}

void incrementTcpRoutes(QLabel *tcpValue, QLabel *udpValue, int max, const RouteDiagramState &state)
{
    const Counts c = incrementTcp(readCounts(tcpValue, udpValue), max);
    updateRouteDiagram(state, c.tcp + c.udp);
    writeCount(tcpValue, c.tcp);
    writeCount(udpValue, c.udp);
}

void incrementUdpRoutes(QLabel *tcpValue, QLabel *udpValue, int max, const RouteDiagramState &state)
{
    const Counts c = incrementUdp(readCounts(tcpValue, udpValue), max);
    updateRouteDiagram(state, c.tcp + c.udp);
    writeCount(tcpValue, c.tcp);
    writeCount(udpValue, c.udp);
}

void decrementTcpRoutes(QLabel *tcpValue, QLabel *udpValue, const RouteDiagramState &state)
{
    const Counts c = decrementTcp(readCounts(tcpValue, udpValue));
    updateRouteDiagram(state, c.tcp + c.udp);
    writeCount(tcpValue, c.tcp);
}

void decrementUdpRoutes(QLabel *tcpValue, QLabel *udpValue, const RouteDiagramState &state)
{
    const Counts c = decrementUdp(readCounts(tcpValue, udpValue));
    updateRouteDiagram(state, c.tcp + c.udp);
    writeCount(udpValue, c.udp);
}

void updateRouteDiagram(const RouteDiagramState &state, int n)
{
    if (n == 2)
        twoRoutes(state);
    else if (n >= 3)
        threeRoutes(state);
    else
        oneRoute(state);
}

void centerLabelPair(QLabel *value, QLabel *unit, const LabelPairLayout &l)
{
    if (!value || !unit)
        return;
    value->adjustSize();
    unit->adjustSize();
    const int a = textWidth(value, value->text());
    const int b = textWidth(unit, unit->text());
    const int x0 = (l.width - l.gap - b - a) / 2;
    value->move(x0 + l.xOffset, l.baseY + l.yOffset);
    const int ascentShift = QFontMetrics(value->font()).ascent() - QFontMetrics(unit->font()).ascent();
    unit->move(x0 + a + l.gap + l.xOffset + l.unitXOffset,
               l.baseY + l.yOffset + ascentShift + l.unitYOffset1 + l.unitYOffset2);
}

void centerLabelByText(QLabel *label, int width, int y)
{
    if (!label)
        return;
    label->adjustSize();
    label->move((width - textWidth(label, label->text())) / 2 - 15, y);
}

} // namespace RouteDiagram
