#pragma once
// The signed-in user's notifications in two scopes, "personal" and "public":
// the latest 20 of each fetched from the service, merged with the ids read
// on this account store ("notifications/readIds", 400 newest), counted, and
// marked read locally at once and on the service. The rows are reached
// through NotificationList and NotificationRow, so no widget is needed here.

#include "services/ReplyBounds.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QList>
#include <QObject>
#include <QString>

class AccountStore;
class ServiceClient;
namespace ServiceApi {
struct Reply;
}

// One entry of a reply, as read.
struct NotificationEntry
{
    QString id;         // "id" when a string, else empty
    QString title;      // "title" as sent
    QString body;       // "body"
    QDateTime created;  // "created_at" in UTC; invalid when it does not parse
    bool unread = true; // "unread"; a missing or non-boolean value counts as unread
};

// One listed notification.
class NotificationRow
{
public:
    virtual ~NotificationRow() = default;
    virtual QString notificationId() const = 0;
    virtual bool isUnread() const = 0;
    // Unread to read, once; a read row stays as it is.
    virtual void markRead() = 0;
    virtual bool isExpanded() const = 0;
    virtual void setExpanded(bool expanded) = 0;
};

// A scope's list of rows.
class NotificationList
{
public:
    virtual ~NotificationList() = default;
    // Removes every row; rows handed out before are gone after this.
    virtual void clearRows() = 0;
    // Appends a row at the end of the list.
    virtual NotificationRow *addRow(const NotificationEntry &entry) = 0;
};

class NotificationService : public QObject
{
    Q_OBJECT
public:
    enum Scope { Personal = 0, Public = 1 };
    static constexpr int kLimit = 20;
    static constexpr int kReadIdsKept = 400;

    NotificationService(ServiceClient *client, AccountStore *account, QObject *parent = nullptr);

    // Rows are made this many at a time, one batch per turn of the event
    // loop (a few milliseconds each): a flood of them never holds the GUI
    // thread.
    static constexpr int kRowsPerSlice = 10;

    static QString scopeName(Scope scope);
    // The entries of a reply body: a JSON array, or an object holding it
    // under "items", bounded by ReplyBounds (at most kMaxNotifications
    // entries; elements that are not objects list nothing and are left
    // out). False when the body is neither (nothing to list).
    static bool parseEntries(const QByteArray &body, QList<NotificationEntry> *out,
                             ReplyBounds::Report *report = nullptr);
    static bool entriesOf(const QJsonDocument &document, QList<NotificationEntry> *out,
                          ReplyBounds::Report *report = nullptr);

    // Where each scope's rows go; without a list a scope is not fetched.
    void setList(Scope scope, NotificationList *list);

    int unreadCount(Scope scope) const { return m_scopes[scope].unread; }
    // Rows of a reply are still to be listed in a later turn.
    bool isListing() const
    {
        return m_scopes[Personal].nextPending < m_scopes[Personal].pending.size() ||
               m_scopes[Public].nextPending < m_scopes[Public].pending.size();
    }
    bool hasUnread() const { return m_scopes[Personal].unread + m_scopes[Public].unread > 0; }

public slots:
    // Both scopes, personal first.
    void fetchNotifications();
    void fetchScope(NotificationService::Scope scope);
    // A click on a row's top part: an unread row is marked read (locally,
    // in the read list and on the service); then the row toggles, and any
    // other expanded row of its scope collapses.
    void markNotificationRead(NotificationService::Scope scope, NotificationRow *row);

signals:
    // The bell's dot: shown exactly while some listed notification is unread.
    void unreadChanged(bool anyUnread);

private:
    struct ScopeState
    {
        NotificationList *list = nullptr;
        NotificationRow *expanded = nullptr;
        int unread = 0;
        // Entries still to be listed, and the run they belong to: a fetch
        // or a clear starts a new run, which drops what an older one left.
        QList<NotificationEntry> pending;
        qsizetype nextPending = 0;
        quint64 run = 0;
        // Fetches sent, and the newest one whose answer is shown: replies can
        // land out of order (a large one is parsed on a worker thread), and an
        // older fetch's reply must not replace a newer one's list.
        quint64 fetchesSent = 0;
        quint64 fetchShown = 0;
    };

    void onNotificationsReply(Scope scope, quint64 fetch, const ServiceApi::Reply &reply);
    void listSlice(Scope scope, quint64 run);
    void emptyScope(Scope scope);
    void rememberRead(const QString &id);

    ServiceClient *m_client;
    AccountStore *m_account;
    ScopeState m_scopes[2];
};
