#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace toc {

enum class SocketState { Closed, Connecting, Connected };

/// The TCP client component the control owns as `Sock`. Bytes pass through untouched.
class Socket {
public:
    virtual ~Socket() = default;
    /// Starts connecting and returns at once; the outcome arrives as onConnected or onError.
    virtual void Connect(const std::string& host, std::int32_t port) = 0;
    /// Closes the connection; a no-op when already closed. Raises no notification.
    virtual void Close() = 0;
    virtual void SendData(std::string_view bytes) = 0;
    /// Everything received and not yet read.
    virtual std::string GetData() = 0;
    virtual SocketState State() const = 0;

    // Notifications, set by the owner, delivered on the owner's thread.
    std::function<void()> onConnected;
    std::function<void()> onDataArrival;
    std::function<void(const std::string& description)> onError;
    std::function<void()> onClosedByPeer;
};

} // namespace toc
