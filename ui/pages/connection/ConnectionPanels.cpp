#include "ui/pages/connection/ConnectionPanels.h"

#include "ui/widgets/Palette.h"

#include <QScrollArea>
#include <QWidget>

ConnectionPanels::ConnectionPanels(QWidget *rootFrame, const QSize &windowSize, QObject *parent)
    : QObject(parent)
{
    const int W = windowSize.width();
    const int H = windowSize.height();
    m_left = new QWidget(rootFrame);
    m_left->setObjectName(QStringLiteral("QuorlixConnLeft"));
    m_left->setAttribute(Qt::WA_StyledBackground, true);
    m_left->setStyleSheet(QStringLiteral("QWidget#QuorlixConnLeft {  background-color: " QX_PANEL ";  "
                                         "border-radius: 20px;  border: 1px solid " QX_BORDER ";}"));
    m_left->setFixedSize(419, 631);
    m_left->move(120, H - 8 - 631);

    m_rightScroll = new QScrollArea(rootFrame);
    m_rightScroll->setObjectName(QStringLiteral("QuorlixConnRightScroll"));
    m_rightScroll->setGeometry(W - 20 - 861, H - 8 - 631, 861, 631);
    m_rightScroll->setFrameShape(QFrame::NoFrame);
    m_rightScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_rightScroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_rightScroll->setWidgetResizable(false);
    m_rightScroll->setStyleSheet(
        QStringLiteral("QScrollArea#QuorlixConnRightScroll{ background: transparent; }"
                       "QScrollArea#QuorlixConnRightScroll > QWidget{ background: transparent; }"
                       "QScrollArea#QuorlixConnRightScroll > QWidget > QWidget{ background: transparent; }"));
    QWidget *viewport = m_rightScroll->viewport();
    viewport->setAutoFillBackground(false);
    viewport->setAttribute(Qt::WA_StyledBackground, true);
    viewport->setStyleSheet(QStringLiteral("background: transparent;"));

    m_right = new QWidget;
    m_right->setObjectName(QStringLiteral("QuorlixConnRight"));
    m_right->setAttribute(Qt::WA_StyledBackground, true);
    m_right->setStyleSheet(QStringLiteral("QWidget#QuorlixConnRight {  background-color: " QX_PANEL ";  "
                                          "border-radius: 20px;  border: 1px solid " QX_BORDER ";}"));
    m_right->setFixedSize(861, 631);
    m_rightScroll->setWidget(m_right);
}
