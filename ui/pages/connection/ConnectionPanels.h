#pragma once
// The connection page's two panels under the root frame: the left panel
// (connect circle, relay card, boost list) and the right panel (route cards
// and diagram) inside a scroll area of its own, for a diagram taller than
// the window. Empty here; the page's areas fill them.

#include <QObject>
#include <QSize>

class QScrollArea;
class QWidget;

class ConnectionPanels : public QObject
{
    Q_OBJECT
public:
    ConnectionPanels(QWidget *rootFrame, const QSize &windowSize, QObject *parent);

    QWidget *left() const { return m_left; }
    QScrollArea *rightScroll() const { return m_rightScroll; }
    QWidget *right() const { return m_right; }

private:
    QWidget *m_left = nullptr;
    QScrollArea *m_rightScroll = nullptr;
    QWidget *m_right = nullptr;
};
