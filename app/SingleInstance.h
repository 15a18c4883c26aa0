#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

class QLocalServer;
class QLocalSocket;
class QSharedMemory;

// The names a running instance is found by. On Linux both the shared-memory
// key and the local socket name are machine-wide, so each carries the user id:
// two users on one machine each get their own instance (and tests get their
// own names).
struct SingleInstanceNames
{
    QString sharedMemoryKey;
    QString serverName;

    // The names for the current user: the base names with the user id.
    static SingleInstanceNames forCurrentUser();
    // The base names with `id` in place of the user id (tests, parallel runs).
    static SingleInstanceNames withId(const QString &id);
};

// Makes sure only one client runs per user. The first instance claims a
// one-byte shared-memory segment and listens on a local socket; a later start
// finds the claim taken and asks the first, over the socket, to bring its
// window to the front.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    static const QByteArray kShowMessage;

    explicit SingleInstance(SingleInstanceNames names, QObject *parent = nullptr);
    ~SingleInstance() override;

    // True when this process is now the only instance. A segment left behind
    // by an instance that was killed is released first, so a crash never locks
    // the user out.
    bool claim();

    // Starts accepting hand-overs. False when the socket cannot listen; the
    // instance then runs on without them.
    bool listen();

    // The listening socket's full path while listening, else empty.
    QString serverPath() const;

    // Closes the server and gives up the claim (also done on destruction).
    void release();

    // A peer that connects and sends nothing is dropped after this long, so
    // a stray connection cannot hold a socket for the life of the client.
    void setIdleTimeout(int ms) { m_idleTimeoutMs = ms; }

    // Second start: connect to the running instance (up to connectTimeoutMs)
    // and send "SHOW" (waiting up to writeTimeoutMs). True when the message
    // was written.
    static bool notifyRunningInstance(const QString &serverName, int connectTimeoutMs = 500,
                                      int writeTimeoutMs = 500);

signals:
    // The running instance was asked to show its window.
    void showRequested();

private:
    void onNewConnection();
    void onReadyRead(QLocalSocket *socket);

    SingleInstanceNames m_names;
    QSharedMemory *m_claim = nullptr;
    QLocalServer *m_server = nullptr;
    int m_idleTimeoutMs = 2000;
};
