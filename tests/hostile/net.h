#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "tests/support/fakesocket.h"

namespace hostile {

using std::chrono::milliseconds;

using testing_support::Frame;

struct FrameIn {
    int type = 0;
    int sequence = 0;
    std::string payload;
};

/// One blocking-with-deadline TCP connection on loopback.
class Conn {
public:
    Conn() = default;
    explicit Conn(int fd);
    ~Conn();
    Conn(Conn&& other) noexcept;
    Conn& operator=(Conn&& other) noexcept;

    /// Connects to 127.0.0.1:port; `receiveBuffer` > 0 shrinks the socket's receive buffer first.
    static std::optional<Conn> Connect(int port, int receiveBuffer = 0);

    bool Valid() const { return m_fd >= 0; }
    int Fd() const { return m_fd; }
    /// Writes everything; false when the peer is gone or nothing moves for `timeout`.
    bool Send(std::string_view bytes, milliseconds timeout = milliseconds(20000));
    /// Exactly n bytes, or nothing when the peer closes or the time runs out.
    std::optional<std::string> Read(std::size_t n, milliseconds timeout = milliseconds(20000));
    std::optional<FrameIn> ReadFrame(milliseconds timeout = milliseconds(20000));
    /// Reads frames until one whose payload starts with `prefix`.
    std::optional<FrameIn> ReadUntil(std::string_view prefix, milliseconds timeout = milliseconds(20000));
    /// True when the peer closes (or resets) within `timeout`; bytes before that are dropped.
    bool WaitClosed(milliseconds timeout = milliseconds(20000));
    /// Closes with a reset instead of a goodbye.
    void Abort();
    void Close();

private:
    int m_fd = -1;
};

/// A listening socket on 127.0.0.1, a free port.
class Listener {
public:
    Listener();
    ~Listener();
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;
    int Port() const { return m_port; }
    std::optional<Conn> Accept(milliseconds timeout = milliseconds(20000));

private:
    int m_fd = -1;
    int m_port = 0;
};

} // namespace hostile
