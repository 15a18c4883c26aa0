#include "ui/widgets/CardOverlay.h"

#include <QKeyEvent>
#include <QMouseEvent>

CardOverlay::CardOverlay(const QString &objectName, QWidget *parent) : QWidget(parent)
{
    setObjectName(objectName);
    setAttribute(Qt::WA_StyledBackground, true);
    setAttribute(Qt::WA_TransparentForMouseEvents, false);
    // Escape only reaches the overlay when it can hold the focus.
    setFocusPolicy(Qt::StrongFocus);
}

void CardOverlay::mousePressEvent(QMouseEvent *event)
{
    if (m_card && !m_card->geometry().contains(event->position().toPoint()))
        emit dismissRequested();
    QWidget::mousePressEvent(event);
}

void CardOverlay::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        emit dismissRequested();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}
