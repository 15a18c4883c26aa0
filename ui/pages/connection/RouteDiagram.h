#pragma once
// The routing diagram of the connection page's right panel drawn for one,
// two or three parallel routes, the route counters that choose how many, and
// the two small layouts that keep the route cards' numbers centred. Nothing
// here is stored or reported anywhere: the counters and the diagram are a
// display, and the relays and latencies besides the estimated ping are
// fixed sample texts.

#include <QLabel>
#include <QPointer>
#include <QScrollArea>
#include <QWidget>

// The diagram's widgets and base geometry, filled once from the built widgets
// and copied by value into each counter binding. Widgets that are gone are
// skipped by the layouts.
struct RouteDiagramState
{
    QPointer<QWidget> pcNode, pcCaption, pcLine;
    QPointer<QWidget> pillA;
    QPointer<QLabel> pillALabel;
    QPointer<QWidget> relayA;
    QPointer<QWidget> pillB;
    QPointer<QLabel> pillBLabel;
    QPointer<QWidget> relayALogo;
    QPointer<QLabel> relayACaption;
    QPointer<QWidget> relayB, relayBLogo;
    QPointer<QLabel> relayBCaption;
    QPointer<QWidget> gameNode, gameCaption, backgroundLine;
    QPointer<QWidget> routeFrame, middleLine, gameLine;
    QPointer<QWidget> rightPillU;
    QPointer<QLabel> rightPillULabel;
    QPointer<QWidget> rightPillL;
    QPointer<QLabel> rightPillLLabel;
    QPointer<QWidget> rightRelayU, rightRelayULogo;
    QPointer<QLabel> rightRelayUCaption;
    QPointer<QWidget> rightRelayL, rightRelayLLogo;
    QPointer<QLabel> rightRelayLCaption;
    QPointer<QWidget> pillC;
    QPointer<QLabel> pillCLabel;
    QPointer<QWidget> relayC, relayCLogo;
    QPointer<QLabel> relayCCaption;
    QPointer<QWidget> rightPillM;
    QPointer<QLabel> rightPillMLabel;
    QPointer<QWidget> rightRelayM, rightRelayMLogo;
    QPointer<QLabel> rightRelayMCaption;

    // Base geometry as built (design pixels in the right panel).
    int pcX = 20, pcY = 355, pcSize = 80;
    int captionHeight = 16;
    int pcCaptionY = 445;
    int pillAW = 54, pillAH = 24, pillAX = 158, pillAY = 384;
    int pillBW = 54, pillBH = 24, pillBX = 398, pillBY = 384;
    int relayAX = 260, relayAY = 355, relayASize = 80;
    int logoW = 14, logoH = 12;
    int relayALogoX = 278, relayALogoY = 445;
    int relayACaptionX = 296, relayACaptionY = 443, relayACaptionW = 80, relayACaptionH = 16;
    int relayBX = 500, relayBY = 355, relayBSize = 80;
    int relayBLogoX = 0; // d: logo and caption centred under relay B
    int relayBCaptionX = 0, relayBCaptionY = 445, relayBCaptionW = 0, relayBCaptionH = 16;
    int gameX = 745, gameY = 355, gameSize = 80;
    int gameCaptionX = 715, gameCaptionY = 445, gameCaptionW = 140, gameCaptionH = 16;
    int pcLineX = 100, pcLineW = 58, pcLineH = 1;
    int panelHeight = 631, panelWidth = 861;

    QPointer<QWidget> panel;
    QPointer<QScrollArea> panelScroll;
};

namespace RouteDiagram {

inline constexpr int kMaxRoutes = 3;

// Relay B's caption centred with its logo under the 80 px node at nodeX:
// the logo's x for a caption text t pixels wide.
int centredLogoX(int nodeX, int textWidth);

// The route counters. Each returns the new (tcp, udp) pair; the pair stays
// within 0 <= tcp, 0 <= udp, tcp + udp <= max.
struct Counts
{
    int tcp = 0;
    int udp = 0;
    bool operator==(const Counts &o) const { return tcp == o.tcp && udp == o.udp; }
};
Counts incrementTcp(Counts c, int max = kMaxRoutes);
Counts incrementUdp(Counts c, int max = kMaxRoutes);
Counts decrementTcp(Counts c);
Counts decrementUdp(Counts c);

// The four counter operations over the route settings' value labels: read
// both numbers, change them, re-lay the diagram out (also when nothing
// changed) and write the labels back (an increment writes both, a decrement
// only its own).
void incrementTcpRoutes(QLabel *tcpValue, QLabel *udpValue, int max, const RouteDiagramState &state);
void incrementUdpRoutes(QLabel *tcpValue, QLabel *udpValue, int max, const RouteDiagramState &state);
void decrementTcpRoutes(QLabel *tcpValue, QLabel *udpValue, const RouteDiagramState &state);
void decrementUdpRoutes(QLabel *tcpValue, QLabel *udpValue, const RouteDiagramState &state);

// Arranges the diagram for n routes: 2 the two-route layout, 3 or more the
// three-route layout, anything else the one-route layout as built.
void updateRouteDiagram(const RouteDiagramState &state, int n);

// A value and its unit centred together on a card, sharing a baseline.
struct LabelPairLayout
{
    int gap = 30, width = 396, xOffset = 10, baseY = 30, yOffset = 6;
    int unitXOffset = -6, unitYOffset1 = 10, unitYOffset2 = -4;
};
void centerLabelPair(QLabel *value, QLabel *unit, const LabelPairLayout &layout = LabelPairLayout());

// A label centred on a card by its text width (15 px left of centre).
void centerLabelByText(QLabel *label, int width, int y);

} // namespace RouteDiagram
