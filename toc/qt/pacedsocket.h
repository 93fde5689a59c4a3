#pragma once

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "toc/pacer.h"
#include "toc/socket.h"

namespace toc {

/// Sits between the control and its real socket and paces what the control writes to the server's
/// rate limits (see Pacer); everything else passes unchanged, notifications included. One timer,
/// armed only while a command is held.
class PacedSocket : public QObject, public Socket {
    Q_OBJECT
public:
    explicit PacedSocket(std::unique_ptr<Socket> inner, QObject* parent = nullptr);
    ~PacedSocket() override;

    void Connect(const std::string& host, std::int32_t port) override;
    void Close() override;
    void SendData(std::string_view bytes) override;
    std::string GetData() override { return m_inner->GetData(); }
    SocketState State() const override { return m_inner->State(); }

    /// The server dropped a command for its speed (ERROR:903).
    void RateLimited() { m_pacer.RateLimited(); }
    /// The account's own warning level in percent (EVILED).
    void SetWarning(std::int32_t percent) { m_pacer.SetWarning(percent); }
    std::size_t Held() const { return m_pacer.Held(); }
    /// Calls `done` once nothing is held any more: now, when the last held command has gone, or
    /// when the connection has ended with commands still held.
    void WhenDrained(std::function<void()> done);

    /// A command that will not be sent, with why: too many held, or the connection ended first.
    std::function<void(const std::string& error)> onRefused;

private:
    void release();
    void schedule();
    void dropHeld(const char* why);
    void drained();
    static std::int64_t now();

    std::unique_ptr<Socket> m_inner;
    Pacer m_pacer;
    QTimer m_timer;
    std::vector<std::function<void()>> m_drained;
};

} // namespace toc
