#pragma once
// The connection page's "Route setting" pill and the small settings panel it
// opens over a dimmed window: two route preferences drawn as switches (they
// do nothing yet) and the TCP and UDP route counters, whose arrows choose how
// many parallel routes the routing diagram shows. The counters live only in
// their two labels; nothing is stored or handed to the connection. Texts are
// set once; the panel keeps its left-to-right layout in every language.

#include "ui/pages/connection/RouteDiagram.h"

#include <QObject>
#include <QSize>

class QLabel;
class QPushButton;
class QWidget;

class RouteSettings : public QObject
{
    Q_OBJECT
public:
    // rightPanel is the connection page's "QuorlixConnRight"; the overlay
    // covers rootFrame at the window's size.
    RouteSettings(QWidget *rightPanel, QWidget *rootFrame, const QSize &windowSize,
                  const RouteDiagramState &diagram, QObject *parent);

    QPushButton *button() const { return m_button; }
    QWidget *overlay() const { return m_overlay; }
    QPushButton *backdrop() const { return m_backdrop; }
    QWidget *panel() const { return m_panel; }
    QLabel *tcpValue() const { return m_tcpValue; }
    QLabel *udpValue() const { return m_udpValue; }
    QPushButton *tcpUp() const { return m_tcpUp; }
    QPushButton *tcpDown() const { return m_tcpDown; }
    QPushButton *udpUp() const { return m_udpUp; }
    QPushButton *udpDown() const { return m_udpDown; }

public slots:
    // Shows and raises the overlay when it is hidden, hides it otherwise.
    void toggleRouteSettings();

private:
    void buildPanel();
    QWidget *buildSwitch(const char *trackName, const char *knobName, const char *trackColour,
                         const char *knobColour, int y, bool on);
    QWidget *buildCounter(const char *boxName, const char *valueName, const QString &value, int x, int width,
                          QLabel **valueLabel, QPushButton **up, QPushButton **down);

    RouteDiagramState m_diagram;
    QPushButton *m_button = nullptr;
    QWidget *m_overlay = nullptr;
    QPushButton *m_backdrop = nullptr;
    QWidget *m_panel = nullptr;
    QLabel *m_tcpValue = nullptr;
    QLabel *m_udpValue = nullptr;
    QPushButton *m_tcpUp = nullptr;
    QPushButton *m_tcpDown = nullptr;
    QPushButton *m_udpUp = nullptr;
    QPushButton *m_udpDown = nullptr;
};
