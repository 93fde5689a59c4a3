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
    explicit QtSocket(QObject* parent = nullptr);
    ~QtSocket() override;

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

    QPointer<QTcpSocket> m_socket;
    SocketState m_state = SocketState::Closed;
    // Counts connections, so that a notification deferred out of Connect is dropped when the
    // connection it belonged to has been closed or replaced meanwhile.
    std::uint64_t m_attempt = 0;
    bool m_inConnect = false;
    bool m_inSend = false;
};

} // namespace toc
