#include "bench/tocdprocess.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "tests/support/fakesocket.h"

namespace tocd_test {

namespace {

    using Clock = std::chrono::steady_clock;

    int remainingMs(Clock::time_point deadline)
    {
        const auto left
            = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                  .count();
        return left < 0 ? 0 : static_cast<int>(left);
    }

} // namespace

TocdProcess::TocdProcess(const std::string& binary, const std::vector<std::string>& args)
{
    int out[2];
    if (pipe(out) != 0)
        return;
    pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        std::vector<std::string> all = { binary, "--listen", "127.0.0.1:0" };
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(binary.c_str(), argv.data());
        _exit(127);
    }
    close(out[1]);
    std::string line;
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (line.find('\n') == std::string::npos) {
        pollfd p { out[0], POLLIN, 0 };
        if (poll(&p, 1, remainingMs(deadline)) <= 0)
            break;
        char buffer[256];
        const ssize_t n = read(out[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        line.append(buffer, static_cast<std::size_t>(n));
    }
    close(out[0]);
    const std::string prefix = "listening on 127.0.0.1:";
    if (line.starts_with(prefix))
        port = std::atoi(line.c_str() + prefix.size());
}

TocdProcess::~TocdProcess()
{
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
}

TcpClient::TcpClient(int port, int receiveBuffer)
{
    m_fd = socket(AF_INET, SOCK_STREAM, 0);
    if (m_fd < 0)
        return;
    if (receiveBuffer > 0)
        setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(m_fd);
        m_fd = -1;
    }
}

TcpClient::~TcpClient()
{
    if (m_fd >= 0)
        close(m_fd);
}

bool TcpClient::send(const std::string& bytes)
{
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(m_fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

bool TcpClient::frame(int type, const std::string& payload)
{
    return send(testing_support::Frame(type, payload, m_sequence++));
}

std::string TcpClient::readExactly(std::size_t n, std::chrono::milliseconds timeout)
{
    std::string out;
    const auto deadline = Clock::now() + timeout;
    while (out.size() < n) {
        pollfd p { m_fd, POLLIN, 0 };
        if (poll(&p, 1, remainingMs(deadline)) <= 0)
            break;
        char buffer[4096];
        const ssize_t got = recv(m_fd, buffer, std::min(sizeof buffer, n - out.size()), 0);
        if (got <= 0)
            break;
        out.append(buffer, static_cast<std::size_t>(got));
    }
    return out;
}

std::optional<std::string> TcpClient::readFrame(std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    std::string header = readExactly(6, timeout);
    if (header.size() < 6)
        return std::nullopt;
    const std::size_t length
        = static_cast<unsigned char>(header[4]) * 256u + static_cast<unsigned char>(header[5]);
    const std::string payload = readExactly(
        length, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()));
    if (payload.size() < length)
        return std::nullopt;
    return header + payload;
}

std::optional<std::string> TcpClient::readMessage(std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (true) {
        const auto f = readFrame(
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()));
        if (!f)
            return std::nullopt;
        if ((*f)[1] == 2)
            return f->substr(6);
    }
}

bool TcpClient::closedByPeer(std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (true) {
        pollfd p { m_fd, POLLIN, 0 };
        if (poll(&p, 1, remainingMs(deadline)) <= 0)
            return false;
        char buffer[65536];
        const ssize_t got = recv(m_fd, buffer, sizeof buffer, 0);
        if (got <= 0)
            return true;
    }
}

bool TcpClient::signOn(const std::string& name)
{
    // Roasted "secret".
    const std::string login = "toc2_login login.oscar.aol.com 5190 " + name
        + " 0x270c005d311b English  \"x\" 160 US \"\" \"\" 3 0 30303 -kentucky -utf8 58203917";
    if (!send("FLAPON\n\n") || readExactly(10).size() != 10)
        return false;
    std::string signon("\0\0\0\1\0\1\0", 7);
    signon += static_cast<char>(name.size());
    signon += name;
    if (!frame(1, signon) || !command(login))
        return false;
    for (int i = 0; i < 3; ++i) {
        const auto m = readMessage();
        if (!m)
            return false;
        if (m->starts_with("CONFIG2:"))
            return command("toc_init_done");
    }
    return false;
}

} // namespace tocd_test
