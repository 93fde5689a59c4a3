#pragma once
// Runs the tocd binary as a child process on 127.0.0.1 port 0, and plain blocking TCP clients for
// the tests that go over real sockets.

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace tocd_test {

/// Starts tocd with the arguments (after "--listen 127.0.0.1:0") and reads its "listening on"
/// line; stops it with SIGTERM when destroyed. `port` is 0 when the start failed.
class TocdProcess {
public:
    TocdProcess(const std::string& binary, const std::vector<std::string>& args);
    ~TocdProcess();
    TocdProcess(const TocdProcess&) = delete;
    TocdProcess& operator=(const TocdProcess&) = delete;

    pid_t pid = -1;
    int port = 0;
};

/// A TCP connection to 127.0.0.1 with deadline-bound reads.
class TcpClient {
public:
    explicit TcpClient(int port, int receiveBuffer = 0);
    ~TcpClient();
    TcpClient(const TcpClient&) = delete;
    TcpClient& operator=(const TcpClient&) = delete;

    bool connected() const { return m_fd >= 0; }
    /// Sends everything; false when the connection is gone.
    bool send(const std::string& bytes);
    /// Sends one frame with the next client sequence number.
    bool frame(int type, const std::string& payload);
    bool command(const std::string& text) { return frame(2, text + std::string(1, '\0')); }
    /// Reads exactly n bytes, or what came before the deadline or the end of the connection.
    std::string readExactly(
        std::size_t n, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    /// Reads one whole frame; nothing on timeout or end of connection.
    std::optional<std::string> readFrame(
        std::chrono::milliseconds timeout = std::chrono::seconds(10));
    /// The payload of the next data frame, skipping keep-alives.
    std::optional<std::string> readMessage(
        std::chrono::milliseconds timeout = std::chrono::seconds(10));
    /// True when the peer ends the connection before the deadline (whatever it still sends is
    /// read).
    bool closedByPeer(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    /// Greeting, SIGNON frame, login with password "secret" and toc_init_done; reads the sign-on
    /// answer and returns whether CONFIG2 came.
    bool signOn(const std::string& name);

private:
    int m_fd = -1;
    int m_sequence = 0;
};

} // namespace tocd_test
