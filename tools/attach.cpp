#include "tools/attach.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <QCoreApplication>
#include <QSocketNotifier>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "tools/bytejson.h"

namespace tocli {

namespace {

bool writeAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

int Attach(const std::string& path)
{
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) {
        std::fprintf(stderr, "toc-cli: --attach: the socket path is too long\n");
        return 2;
    }
    std::memcpy(address.sun_path, path.data(), path.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        // On stdout too, as a line a script reading the events can tell from them.
        const std::string why = path + ": " + std::strerror(errno);
        std::fprintf(stderr, "toc-cli: %s\n", why.c_str());
        Json error = Json::object();
        error["error"] = BytesToJson("attach: " + why);
        std::puts(error.dump().c_str());
        return 2;
    }
    // toc-cli never waits for its clients, so sending to it blocks only briefly; reading its
    // events and stdin both wait in the event loop.
    QSocketNotifier events(fd, QSocketNotifier::Read);
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    std::array<char, 65536> buffer;
    QObject::connect(&events, &QSocketNotifier::activated, &events, [&] {
        const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
        if (n < 0 && errno == EINTR)
            return;
        if (n <= 0) {
            QCoreApplication::exit(0);
            return;
        }
        std::fwrite(buffer.data(), 1, static_cast<std::size_t>(n), stdout);
        std::fflush(stdout);
    });
    QObject::connect(&input, &QSocketNotifier::activated, &input, [&] {
        const ssize_t n = ::read(STDIN_FILENO, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            return;
        if (n > 0 && writeAll(fd, buffer.data(), static_cast<std::size_t>(n)))
            return;
        // Done writing: toc-cli answers what it has and then closes its end.
        input.setEnabled(false);
        ::shutdown(fd, SHUT_WR);
    });
    const int status = QCoreApplication::exec();
    ::close(fd);
    return status;
}

} // namespace tocli
