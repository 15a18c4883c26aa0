#pragma once
#include <QLabel>
#include <QObject>
#include <QPointer>
#include <QPushButton>

#include "ui/widgets/WindowArea.h"

class QHBoxLayout;
class QSpacerItem;
class QWidget;

// The header's promotion pill: a call-to-action label with an optional
// discount badge, a click area over the whole pill, and the two gaps the
// header row keeps around it while it shows.
class PromoPill : public QObject, public WindowArea
{
    Q_OBJECT
public:
    PromoPill(QWidget *header, QObject *parent);
    ~PromoPill() override;

    QWidget *pill() const { return m_pill; }
    QLabel *label() const { return m_label; }
    QWidget *badge() const { return m_badge; }
    QLabel *badgeLabel() const { return m_badgeLabel; }
    QPushButton *hit() const { return m_hit; }
    // The gaps after the search bar and after the pill (16 and 306 px).
    QSpacerItem *leadingSpacer() const { return m_leading; }
    QSpacerItem *trailingSpacer() const { return m_trailing; }
    // Appends the search bar, the first gap, the pill, the second gap and a
    // closing stretch to the header row, which owns the gaps from then on.
    void addToRow(QHBoxLayout *row, QWidget *searchBar);

signals:
    void clicked();

public slots:
    // The only way the pill shows or hides: with it, both gaps open or close.
    void setHeaderPromoSpacing(bool on);
    void setLabelText(const QString &text);
    void setBadge(bool shown, const QString &text);

private:
    QPointer<QWidget> m_pill;
    QPointer<QLabel> m_label;
    QPointer<QWidget> m_badge;
    QPointer<QLabel> m_badgeLabel;
    QPointer<QPushButton> m_hit;
    QSpacerItem *m_leading = nullptr;
    QSpacerItem *m_trailing = nullptr;
};
