#pragma once
// The notification drop-down's parts: the collapsible row, a scope's list of
// rows, the bell picture, and the texts rows show (Persian titles, relative
// times). The bell area in ui/mainwindow assembles them.

#include "services/NotificationService.h"

#include <QDateTime>
#include <QIcon>
#include <QImage>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>

class QFrame;
class QLabel;
class QPushButton;
class QVBoxLayout;

namespace NotificationTexts {
// The title a row shows: the trimmed raw title; in Persian, a leading
// "Ticket answered" (any case, with or without the colon) in Persian.
QString localizeTitle(const QString &rawTitle, bool persian);
// "Just now", "%1 min ago", "%1 hrs ago", "%1 days ago" (Persian forms with
// Persian digits); an invalid or future time is "just now".
QString relativeTime(const QDateTime &created, const QDateTime &nowUtc, bool persian);
} // namespace NotificationTexts

namespace NotificationLooks {
// The bell picture without the orange dot drawn into it, so that only the
// live dot tells the unread state. Other colours stay.
QImage withoutOrangeDot(const QImage &picture);
// ":/icons/notif.png" so filtered; computed once per process; empty when the
// picture is missing.
QIcon bellIcon();
// The Personal/Public tab look, on a tab button.
void styleTab(QPushButton *tab);
// A transparent column for rows: vertical layout, no margins, spacing 2,
// ending with a stretch.
QWidget *makeTransparentColumn(QWidget *parent, const QString &objectName, QVBoxLayout **layout);
} // namespace NotificationLooks

// One notification: a 60 px top part with title, time and unread dot, and a
// body shown while expanded. A left press on the top part reports a click.
class NotifItem : public QWidget, public NotificationRow
{
    Q_OBJECT
public:
    NotifItem(const QString &title, const QString &timeText, const QString &body, bool unread,
              QWidget *parent = nullptr);

    QString notificationId() const override;
    bool isUnread() const override { return m_unread; }
    void markRead() override;
    bool isExpanded() const override { return m_expanded; }
    void setExpanded(bool expanded) override;

    QLabel *titleLabel() const { return m_title; }
    QLabel *timeLabel() const { return m_time; }
    QLabel *bodyLabel() const { return m_body; }
    QFrame *unreadDot() const { return m_dot; }
    QWidget *bodyContainer() const { return m_bodyBox; }

signals:
    void clicked(NotifItem *item);

protected:
    void mousePressEvent(QMouseEvent *event) override;

private:
    void applyStyle();

    bool m_unread;
    bool m_expanded = false;
    QWidget *m_top = nullptr;
    QLabel *m_title = nullptr;
    QLabel *m_time = nullptr;
    QFrame *m_dot = nullptr;
    QWidget *m_bodyBox = nullptr;
    QLabel *m_body = nullptr;
};

// One scope's rows in a transparent column; rows follow the language
// without a new fetch.
class NotifListView : public QObject, public NotificationList
{
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;

    NotifListView(QWidget *parent, const QString &objectName, const QString &persianFontFamily,
                  QObject *owner);

    QWidget *host() const { return m_host; }
    QVBoxLayout *layout() const { return m_layout; }
    QList<NotifItem *> rows() const;
    // The current UTC time for the relative times (tests fix it).
    void setClock(Clock clock) { m_clock = std::move(clock); }

    void clearRows() override;
    NotificationRow *addRow(const NotificationEntry &entry) override;
    // Titles, times, fonts and directions of every row, for the language.
    void setPersian(bool persian);

signals:
    void rowClicked(NotificationRow *row);

private:
    void render(NotifItem *item);

    QWidget *m_host = nullptr;
    QVBoxLayout *m_layout = nullptr;
    QString m_persianFamily;
    bool m_persian = false;
    Clock m_clock;
    QList<QPointer<NotifItem>> m_rows;
};
