#include "tests/hostile/net.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <utility>

namespace hostile {

namespace {
    using Clock = std::chrono::steady_clock;

    int remainingMs(Clock::time_point deadline)
    {
        const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
        return left < 0 ? 0 : static_cast<int>(left);
    }

    bool waitFor(int fd, short events, Clock::time_point deadline)
    {
        while (true) {
            pollfd p { fd, events, 0 };
            const int r = poll(&p, 1, remainingMs(deadline));
            if (r < 0 && errno == EINTR)
                continue;
            return r > 0;
        }
    }

    sockaddr_in loopback(int port)
    {
        sockaddr_in a {};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return a;
    }
}

Conn::Conn(int fd)
    : m_fd(fd)
{
    fcntl(m_fd, F_SETFL, fcntl(m_fd, F_GETFL) | O_NONBLOCK);
    const int one = 1;
    setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

Conn::~Conn() { Close(); }

Conn::Conn(Conn&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1))
{
}

Conn& Conn::operator=(Conn&& other) noexcept
{
    if (this != &other) {
        Close();
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

std::optional<Conn> Conn::Connect(int port, int receiveBuffer)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return std::nullopt;
    if (receiveBuffer > 0)
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    const sockaddr_in a = loopback(port);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return std::nullopt;
    }
    return Conn(fd);
}

bool Conn::Send(std::string_view bytes, milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (!bytes.empty()) {
        const ssize_t n = send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            if (!waitFor(m_fd, POLLOUT, deadline))
                return false;
            continue;
        }
        return false;
    }
    return true;
}

std::optional<std::string> Conn::Read(std::size_t n, milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    std::string out;
    out.reserve(n);
    while (out.size() < n) {
        char buf[65536];
        const ssize_t r = recv(m_fd, buf, std::min(sizeof buf, n - out.size()), 0);
        if (r > 0) {
            out.append(buf, static_cast<std::size_t>(r));
            continue;
        }
        if (r < 0 && (errno == EAGAIN || errno == EINTR)) {
            if (!waitFor(m_fd, POLLIN, deadline))
                return std::nullopt;
            continue;
        }
        return std::nullopt;
    }
    return out;
}

std::optional<FrameIn> Conn::ReadFrame(milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    const auto header = Read(6, timeout);
    if (!header || (*header)[0] != '*')
        return std::nullopt;
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>((*header)[i]); };
    const std::size_t len = static_cast<std::size_t>(byte(4) << 8 | byte(5));
    const auto payload = Read(len, milliseconds(remainingMs(deadline)));
    if (!payload)
        return std::nullopt;
    return FrameIn { byte(1), byte(2) << 8 | byte(3), *payload };
}

std::optional<FrameIn> Conn::ReadUntil(std::string_view prefix, milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (true) {
        auto f = ReadFrame(milliseconds(remainingMs(deadline)));
        if (!f || f->payload.compare(0, prefix.size(), prefix) == 0)
            return f;
    }
}

bool Conn::WaitClosed(milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (true) {
        char buf[65536];
        const ssize_t r = recv(m_fd, buf, sizeof buf, 0);
        if (r == 0 || (r < 0 && errno == ECONNRESET))
            return true;
        if (r > 0)
            continue;
        if (errno != EAGAIN && errno != EINTR)
            return true;
        if (!waitFor(m_fd, POLLIN, deadline))
            return false;
    }
}

void Conn::Abort()
{
    if (m_fd < 0)
        return;
    const linger l { 1, 0 };
    setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    Close();
}

void Conn::Close()
{
    if (m_fd >= 0)
        close(m_fd);
    m_fd = -1;
}

Listener::Listener()
{
    m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in a = loopback(0);
    if (m_fd < 0 || bind(m_fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 || listen(m_fd, 16) != 0)
        throw std::runtime_error("cannot listen on 127.0.0.1");
    sockaddr_in bound {};
    socklen_t len = sizeof bound;
    getsockname(m_fd, reinterpret_cast<sockaddr*>(&bound), &len);
    m_port = ntohs(bound.sin_port);
}

Listener::~Listener() { close(m_fd); }

std::optional<Conn> Listener::Accept(milliseconds timeout)
{
    if (!waitFor(m_fd, POLLIN, Clock::now() + timeout))
        return std::nullopt;
    const int fd = accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    return Conn(fd);
}

} // namespace hostile
