#pragma once

#include <QObject>
#include <QPointer>
#include <QTcpSocket>

#include <cstdint>

#include "toc/socket.h"

namespace toc {

/// The control's socket over QTcpSocket. Bytes pass untouched (QByteArray <-> std::string).
/// Notifications come on the thread that owns this object, never from inside Connect, Close or
/// SendData.
/// The peer closing is reported once, as onClosedByPeer, after any bytes it sent before closing;
/// every other failure is reported once, as onError with Qt's description.
class QtSocket : public QObject, public Socket {
    Q_OBJECT
public:
    /// The kernel's own watch over an established connection, the second line behind the
    /// owner's liveness check: a peer that vanished without a FIN is given up after about
    /// keepAliveIdle + keepAliveCount * keepAliveInterval of silence, and data the peer does not
    /// acknowledge within userTimeout ends the connection. Zero leaves the system's default.
    struct Options {
        int keepAliveIdleS = 30;
        int keepAliveIntervalS = 10;
        int keepAliveCount = 3;
        int userTimeoutMs = 45000;
    };

    explicit QtSocket(QObject* parent = nullptr);
    ~QtSocket() override;

    /// For the connections made from now on.
    void SetOptions(const Options& options) { m_options = options; }

    /// Gives up the connection (or the attempt to make one) at once and reports onError with
    /// `description` later, from the event loop, unless the owner has connected or closed again
    /// meanwhile. For a connection the owner found dead; a no-op when closed.
    void Fail(const std::string& description);

    void Connect(const std::string& host, std::int32_t port) override;
    /// Closes gracefully: bytes already sent still reach the peer. Raises no notification.
    void Close() override;
    /// Dropped unless connected.
    void SendData(std::string_view bytes) override;
    std::string GetData() override;
    SocketState State() const override { return m_state; }

private:
    void onSocketConnected(std::uint64_t attempt);
    void onSocketReadyRead();
    void onSocketError(std::uint64_t attempt, QAbstractSocket::SocketError error);
    void onSocketDisconnected();
    void peerClosed();
    void release();
    void applyOptions();

    Options m_options;
    QPointer<QTcpSocket> m_socket;
    SocketState m_state = SocketState::Closed;
    // Counts connections, so that a notification deferred out of Connect is dropped when the
    // connection it belonged to has been closed or replaced meanwhile.
    std::uint64_t m_attempt = 0;
    bool m_inConnect = false;
    bool m_inSend = false;
};

} // namespace toc
