#include "toc/qt/qtsocket.h"

#include <QTimer>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace toc {

namespace {
    // How long a closed connection may take to hand its last bytes to a peer that does not read.
    constexpr int LingerMs = 10000;
}

QtSocket::QtSocket(QObject* parent)
    : QObject(parent)
{
}

QtSocket::~QtSocket()
{
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
    }
}

void QtSocket::Connect(const std::string& host, std::int32_t port)
{
    release();
    const std::uint64_t attempt = ++m_attempt;
    m_state = SocketState::Connecting;
    auto* socket = new QTcpSocket(this);
    m_socket = socket;
    connect(socket, &QTcpSocket::connected, this, [this, attempt] { onSocketConnected(attempt); });
    connect(socket, &QTcpSocket::readyRead, this, &QtSocket::onSocketReadyRead);
    connect(socket, &QTcpSocket::errorOccurred, this,
        [this, attempt](QAbstractSocket::SocketError error) { onSocketError(attempt, error); });
    connect(socket, &QTcpSocket::disconnected, this, &QtSocket::onSocketDisconnected);

    if (port < 0 || port > 65535) {
        // QTcpSocket would truncate the port; fail the way a refused connection does.
        QMetaObject::invokeMethod(
            this,
            [this, attempt] {
                if (attempt != m_attempt || m_state != SocketState::Connecting)
                    return;
                release();
                if (onError)
                    onError("Invalid port number");
            },
            Qt::QueuedConnection);
        return;
    }
    m_inConnect = true;
    socket->connectToHost(QString::fromStdString(host), static_cast<quint16>(port));
    m_inConnect = false;
}

void QtSocket::Close()
{
    ++m_attempt;
    release();
}

void QtSocket::Fail(const std::string& description)
{
    if (m_state == SocketState::Closed)
        return;
    const std::uint64_t attempt = ++m_attempt;
    m_state = SocketState::Closed;
    // Nothing more will get through a dead connection: no lingering to hand over the last bytes.
    if (QTcpSocket* socket = m_socket) {
        m_socket = nullptr;
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
    QMetaObject::invokeMethod(
        this,
        [this, attempt, description] {
            if (attempt == m_attempt && onError)
                onError(description);
        },
        Qt::QueuedConnection);
}

void QtSocket::applyOptions()
{
    const int fd = m_socket ? static_cast<int>(m_socket->socketDescriptor()) : -1;
    if (fd < 0)
        return;
    // Best effort: a stack without one of these options still has the owner's liveness check.
    const auto set = [fd](int level, int name, int value) {
        if (value > 0)
            setsockopt(fd, level, name, &value, sizeof value);
    };
    set(SOL_SOCKET, SO_KEEPALIVE, 1);
#ifdef TCP_KEEPIDLE
    set(IPPROTO_TCP, TCP_KEEPIDLE, m_options.keepAliveIdleS);
    set(IPPROTO_TCP, TCP_KEEPINTVL, m_options.keepAliveIntervalS);
    set(IPPROTO_TCP, TCP_KEEPCNT, m_options.keepAliveCount);
#endif
#ifdef TCP_USER_TIMEOUT
    set(IPPROTO_TCP, TCP_USER_TIMEOUT, m_options.userTimeoutMs);
#endif
}

void QtSocket::release()
{
    m_state = SocketState::Closed;
    QTcpSocket* socket = m_socket;
    m_socket = nullptr;
    if (!socket)
        return;
    socket->disconnect(this);
    if (socket->state() != QAbstractSocket::ConnectedState) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    // Like closing a socket on any desktop stack: what was written still goes out, then the
    // connection ends. The old socket lives on alone until then and reports nothing to us.
    socket->disconnectFromHost();
    if (socket->state() == QAbstractSocket::UnconnectedState) {
        socket->deleteLater();
        return;
    }
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QTcpSocket::errorOccurred, socket, &QObject::deleteLater);
    QTimer::singleShot(LingerMs, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
}

void QtSocket::SendData(std::string_view bytes)
{
    if (m_state != SocketState::Connected || !m_socket)
        return;
    m_socket->write(bytes.data(), static_cast<qint64>(bytes.size()));
    // QTcpSocket would hold the bytes until the next pass of the event loop; an IM or a reply
    // to the server should leave now, without costing one more wake-up. A failed write is
    // reported later, as every other failure is, not from inside the owner's command.
    m_inSend = true;
    m_socket->flush();
    m_inSend = false;
}

std::string QtSocket::GetData()
{
    if (!m_socket)
        return {};
    const QByteArray data = m_socket->readAll();
    return std::string(data.constData(), static_cast<std::size_t>(data.size()));
}

void QtSocket::onSocketConnected(std::uint64_t attempt)
{
    if (m_inConnect) {
        QMetaObject::invokeMethod(
            this, [this, attempt] { onSocketConnected(attempt); }, Qt::QueuedConnection);
        return;
    }
    if (attempt != m_attempt || m_state != SocketState::Connecting)
        return;
    m_state = SocketState::Connected;
    applyOptions();
    if (onConnected)
        onConnected();
    // Bytes that came while the connection was still being reported were not announced.
    if (attempt == m_attempt && m_state == SocketState::Connected && m_socket
        && m_socket->bytesAvailable() > 0 && onDataArrival)
        onDataArrival();
}

void QtSocket::onSocketReadyRead()
{
    if (m_state == SocketState::Connected && onDataArrival)
        onDataArrival();
}

void QtSocket::onSocketError(std::uint64_t attempt, QAbstractSocket::SocketError error)
{
    if (m_inConnect || m_inSend) {
        QMetaObject::invokeMethod(
            this, [this, attempt, error] { onSocketError(attempt, error); }, Qt::QueuedConnection);
        return;
    }
    if (attempt != m_attempt || m_state == SocketState::Closed)
        return;
    // The peer's close shows up both as this error and as the disconnected signal; it is one
    // event, reported once as a close.
    if (error == QAbstractSocket::RemoteHostClosedError && m_state == SocketState::Connected) {
        peerClosed();
        return;
    }
    const std::string description
        = m_socket ? m_socket->errorString().toStdString() : std::string();
    release();
    if (onError)
        onError(description);
}

void QtSocket::onSocketDisconnected()
{
    if (m_inSend) {
        QMetaObject::invokeMethod(this, [this] { onSocketDisconnected(); }, Qt::QueuedConnection);
        return;
    }
    if (m_state == SocketState::Connected)
        peerClosed();
}

void QtSocket::peerClosed()
{
    // Whatever the peer sent before closing comes first, while the connection still counts as
    // up, so the owner reads it as it reads any data.
    const std::uint64_t attempt = m_attempt;
    if (m_socket && m_socket->bytesAvailable() > 0 && onDataArrival)
        onDataArrival();
    // The owner may have closed or replaced the connection while reading.
    if (attempt != m_attempt || m_state != SocketState::Connected)
        return;
    release();
    if (onClosedByPeer)
        onClosedByPeer();
}

} // namespace toc
