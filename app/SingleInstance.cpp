#include "app/SingleInstance.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QSharedMemory>
#include <QTimer>

#include <unistd.h>

const QByteArray SingleInstance::kShowMessage = QByteArrayLiteral("SHOW");

SingleInstanceNames SingleInstanceNames::forCurrentUser()
{
    return withId(QString::number(static_cast<qulonglong>(getuid())));
}

SingleInstanceNames SingleInstanceNames::withId(const QString &id)
{
    return {QStringLiteral("Quorlix_SingleInstance_2024_") + id, QStringLiteral("QuorlixInstance_") + id};
}

SingleInstance::SingleInstance(SingleInstanceNames names, QObject *parent)
    : QObject(parent), m_names(std::move(names))
{}

SingleInstance::~SingleInstance()
{
    release();
}

bool SingleInstance::claim()
{
    if (m_claim && m_claim->isAttached())
        return true;
    delete m_claim;
    m_claim = new QSharedMemory(m_names.sharedMemoryKey);

    // System V segments outlive a process killed with SIGKILL, and create()
    // then fails for ever. Attaching and detaching once removes a segment
    // nobody else is attached to; a live instance stays attached, so its
    // claim is untouched.
    {
        QSharedMemory probe(m_names.sharedMemoryKey);
        if (probe.attach())
            probe.detach();
    }

    if (m_claim->create(1, QSharedMemory::ReadWrite))
        return true;
    delete m_claim;
    m_claim = nullptr;
    return false;
}

bool SingleInstance::listen()
{
    if (m_server)
        return m_server->isListening();
    m_server = new QLocalServer(this);
    // The socket lies in the shared temporary folder; only our user may
    // connect to it.
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    QLocalServer::removeServer(m_names.serverName);
    if (!m_server->listen(m_names.serverName))
        return false;
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
    return true;
}

QString SingleInstance::serverPath() const
{
    return m_server && m_server->isListening() ? m_server->fullServerName() : QString();
}

void SingleInstance::release()
{
    if (m_server) {
        m_server->close();
        delete m_server;
        m_server = nullptr;
    }
    if (m_claim) {
        m_claim->detach();
        delete m_claim;
        m_claim = nullptr;
    }
}

void SingleInstance::onNewConnection()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::readyRead, socket, [this, socket] { onReadyRead(socket); });
        // The socket is the server's child; free it once the peer is gone
        // rather than keeping every hand-over until exit.
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        QTimer::singleShot(m_idleTimeoutMs, socket, [socket] {
            if (socket->bytesAvailable() == 0)
                socket->disconnectFromServer();
        });
    }
}

void SingleInstance::onReadyRead(QLocalSocket *socket)
{
    // One read decides: exactly the four bytes "SHOW" or nothing. Anything
    // else (a terminator, other case, a message split over reads) is
    // dropped, and the peer is disconnected either way.
    const QByteArray message = socket->readAll();
    if (message == kShowMessage)
        emit showRequested();
    socket->disconnectFromServer();
}

bool SingleInstance::notifyRunningInstance(const QString &serverName, int connectTimeoutMs,
                                           int writeTimeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(serverName, QIODevice::ReadWrite);
    if (!socket.waitForConnected(connectTimeoutMs))
        return false;
    const bool written = socket.write(kShowMessage) == kShowMessage.size();
    socket.waitForBytesWritten(writeTimeoutMs);
    socket.disconnectFromServer();
    return written;
}
