#pragma once
// The right panel of the connection page: the game route cards (estimated
// ping and packet loss) and the routing detail diagram from the PC through
// the relays to the game, built once with all three route variants (the
// second and third route hidden). Texts are set once; the panel keeps its
// left-to-right layout in every language.

#include "ui/pages/connection/RouteDiagram.h"
#include "ui/widgets/WindowArea.h"

#include <QObject>
#include <QPointer>

class QLabel;
class QScrollArea;
class QWidget;

class RouteArea : public QObject, public WindowArea
{
    Q_OBJECT
public:
    // rightPanel is "QuorlixConnRight", the widget of rightScroll.
    RouteArea(QWidget *rightPanel, QScrollArea *rightScroll, QObject *parent);

    QWidget *routeArea() const { return m_routeArea; }
    QLabel *pingValue() const { return m_pingValue; }
    QLabel *pingUnit() const { return m_pingUnit; }
    QLabel *lossValue() const { return m_lossValue; }
    QLabel *latencyLabel() const { return m_latencyLabel; }
    QLabel *pcIcon() const { return m_pcIcon; }
    QLabel *gameIcon() const { return m_gameIcon; }
    QLabel *gameLabel() const { return m_gameLabel; }
    const RouteDiagramState &diagramState() const { return m_diagram; }

    // The PC symbol, or the console symbol at twice the size (never larger
    // than its node less 10 px each way), centred in its node.
    void updateRoutingPcIcon(bool console);
    void updateRouteDiagram(int routes);

public slots:
    // The estimated ping on the card (0 below 1 ms) and in the first pill.
    void showEstimatedPing(int ms);
    // The packet-loss card's text, re-centred.
    void setGameRouteValue(const QString &text);

private:
    void buildRouteCards(QWidget *panel);
    void buildDiagram(QWidget *panel, QScrollArea *scroll);

    QWidget *m_routeArea = nullptr;
    QLabel *m_pingValue = nullptr;
    QLabel *m_pingUnit = nullptr;
    QLabel *m_lossValue = nullptr;
    QPointer<QLabel> m_latencyLabel;
    QLabel *m_pcIcon = nullptr;
    QLabel *m_gameIcon = nullptr;
    QLabel *m_gameLabel = nullptr;
    RouteDiagramState m_diagram;
};
