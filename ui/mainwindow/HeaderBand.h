#pragma once
#include <QObject>
#include <QPoint>

class QFrame;
class QHBoxLayout;
class QLabel;
class QSpacerItem;
class QWidget;

// The header band "NewHeader" at the top of the scrolling page, with the
// mini-logo column it keeps room for and the window-level logo and line that
// float above it. Dragging the band with the left button moves the window.
class HeaderBand : public QObject
{
    Q_OBJECT
public:
    // The band is a child of the root frame; the floating logo and line are
    // children of the window so they stay put while the page scrolls.
    HeaderBand(QWidget *window, QWidget *rootFrame);

    QWidget *header() const { return m_header; }
    QHBoxLayout *row() const { return m_row; }
    QWidget *miniLogoWrap() const { return m_miniLogoWrap; }
    QSpacerItem *spacer() const { return m_spacer; }
    QLabel *fixedLogo() const { return m_fixedLogo; }
    QFrame *fixedLogoLine() const { return m_fixedLogoLine; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_window;
    QWidget *m_header = nullptr;
    QHBoxLayout *m_row = nullptr;
    QWidget *m_miniLogoWrap = nullptr;
    QSpacerItem *m_spacer = nullptr;
    QLabel *m_fixedLogo = nullptr;
    QFrame *m_fixedLogoLine = nullptr;
    bool m_dragging = false;
    QPoint m_dragOffset;
};
