#pragma once

#include <QPointer>
#include <QWidget>

// A full-window overlay holding one card: it dims what lies beneath (its
// style sheet gives the colour) and asks to be dismissed on Escape or on a
// press beside the card. Whoever owns it decides what dismissing means;
// usually hiding it. The notification drop-down and the sign-out
// confirmation are both one.
class CardOverlay : public QWidget
{
    Q_OBJECT
public:
    CardOverlay(const QString &objectName, QWidget *parent);

    // The card the overlay holds (a child of it); presses inside it stay
    // with the card. Without a card, no press dismisses.
    void setCard(QWidget *card) { m_card = card; }
    QWidget *card() const { return m_card; }

signals:
    void dismissRequested();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QPointer<QWidget> m_card;
};
