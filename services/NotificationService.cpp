#include "services/NotificationService.h"

#include "services/AccountStore.h"
#include "services/ServiceApi.h"
#include "services/ServiceClient.h"

#include <QDebug>
#include <QJsonArray>
#include <QJsonObject>
#include <QTimer>
#include <QUrlQuery>

#include <algorithm>

NotificationService::NotificationService(ServiceClient *client, AccountStore *account, QObject *parent)
    : QObject(parent), m_client(client), m_account(account)
{}

QString NotificationService::scopeName(Scope scope)
{
    return scope == Personal ? QStringLiteral("personal") : QStringLiteral("public");
}

void NotificationService::setList(Scope scope, NotificationList *list)
{
    m_scopes[scope].list = list;
    m_scopes[scope].expanded = nullptr;
}

void NotificationService::fetchNotifications()
{
    fetchScope(Personal);
    fetchScope(Public);
}

void NotificationService::emptyScope(Scope scope)
{
    ScopeState &s = m_scopes[scope];
    s.expanded = nullptr;
    s.unread = 0;
    s.pending.clear();
    s.nextPending = 0;
    ++s.run;
    if (s.list)
        s.list->clearRows();
}

void NotificationService::fetchScope(Scope scope)
{
    qInfo().noquote() << "[Notifs] fetchScope start scope=" + scopeName(scope);
    ScopeState &s = m_scopes[scope];
    if (!m_client || !s.list)
        return;
    s.expanded = nullptr;
    s.unread = 0;
    // Rows an earlier reply still had to list wait for this fetch's reply.
    s.pending.clear();
    s.nextPending = 0;
    ++s.run;
    const quint64 fetch = ++s.fetchesSent;

    const QString token = m_account ? m_account->token() : QString();
    if (token.isEmpty()) {
        // Nothing a fetch still under way answers may be listed now.
        s.fetchShown = fetch;
        emptyScope(scope);
        emit unreadChanged(hasUnread());
        return;
    }
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("scope"), scopeName(scope));
    query.addQueryItem(QStringLiteral("limit"), QString::number(kLimit));
    m_client->send(
        ServiceApi::Endpoint::Notifications,
        [this, scope, fetch](const ServiceApi::Reply &reply) { onNotificationsReply(scope, fetch, reply); },
        {}, query);
}

void NotificationService::onNotificationsReply(Scope scope, quint64 fetch, const ServiceApi::Reply &reply)
{
    if (fetch < m_scopes[scope].fetchShown) {
        qDebug().noquote() << "[Notifs] reply of an older fetch set aside, scope=" + scopeName(scope);
        return;
    }
    m_scopes[scope].fetchShown = fetch;
    emptyScope(scope);
    emit unreadChanged(hasUnread());

    QList<NotificationEntry> entries;
    ReplyBounds::Report report;
    // An unreadable body gives a null document, which holds no entries.
    if (!reply.ok() || reply.httpStatus >= 400 || !entriesOf(reply.document(), &entries, &report)) {
        // A refused, failed or unreadable reply leaves the scope empty.
        emit unreadChanged(hasUnread());
        return;
    }
    if (report.any())
        qWarning().noquote() << "[Notifs] reply over its bounds, scope=" + scopeName(scope) + ":"
                             << report.summary(QStringLiteral("notifications"));

    const QStringList readIds =
        m_account ? m_account->value(AccountStore::ReadIds).toStringList() : QStringList();
    ScopeState &s = m_scopes[scope];
    for (NotificationEntry &e : entries) {
        if (!e.id.isEmpty() && readIds.contains(e.id))
            e.unread = false;
        if (!e.title.trimmed().isEmpty())
            s.pending.append(e);
    }
    listSlice(scope, s.run);
}

void NotificationService::listSlice(Scope scope, quint64 run)
{
    ScopeState &s = m_scopes[scope];
    if (run != s.run || !s.list)
        return;
    const qsizetype end = std::min<qsizetype>(s.pending.size(), s.nextPending + kRowsPerSlice);
    for (; s.nextPending < end; ++s.nextPending) {
        const NotificationEntry &e = s.pending.at(s.nextPending);
        if (s.list->addRow(e) && e.unread)
            ++s.unread;
    }
    emit unreadChanged(hasUnread());
    if (s.nextPending < s.pending.size()) {
        QTimer::singleShot(0, this, [this, scope, run]() { listSlice(scope, run); });
        return;
    }
    s.pending.clear();
    s.nextPending = 0;
}

void NotificationService::rememberRead(const QString &id)
{
    if (!m_account)
        return;
    QStringList ids = m_account->value(AccountStore::ReadIds).toStringList();
    if (ids.contains(id))
        return;
    ids.append(id);
    while (ids.size() > kReadIdsKept)
        ids.removeFirst();
    m_account->setValue(AccountStore::ReadIds, ids);
}

void NotificationService::markNotificationRead(Scope scope, NotificationRow *row)
{
    if (!row)
        return;
    ScopeState &s = m_scopes[scope];
    const QString id = row->notificationId();
    if (row->isUnread()) {
        if (s.unread > 0)
            --s.unread;
        row->markRead();
        if (!id.isEmpty()) {
            rememberRead(id);
            const QString token = m_account ? m_account->token() : QString();
            if (m_client && !token.isEmpty()) {
                // Nothing waits for the answer: the read list keeps the id
                // read here even when the service never hears of it.
                m_client->send(
                    ServiceApi::Endpoint::NotificationsMarkRead, [](const ServiceApi::Reply &) {},
                    QJsonObject{{QStringLiteral("ids"), QJsonArray{id}}});
            }
        }
    }
    if (s.expanded && s.expanded != row)
        s.expanded->setExpanded(false);
    row->setExpanded(!row->isExpanded());
    s.expanded = row->isExpanded() ? row : nullptr;
    emit unreadChanged(hasUnread());
}
