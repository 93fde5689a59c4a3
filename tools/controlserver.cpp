#include "tools/controlserver.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <QMetaObject>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace tocli {

namespace {

std::string failure(const std::string& what)
{
    return what + ": " + std::strerror(errno);
}

bool makeDirectories(const std::string& dir, std::string& error)
{
    for (std::size_t slash = 0; slash != std::string::npos;) {
        slash = dir.find('/', slash + 1);
        const std::string part = dir.substr(0, slash);
        if (!part.empty() && ::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            error = failure(part);
            return false;
        }
    }
    return true;
}

} // namespace

ControlServer::ControlServer(std::size_t maxLine, Callbacks callbacks)
    : m_maxLine(maxLine)
    , m_callbacks(std::move(callbacks))
{
}

ControlServer::~ControlServer()
{
    for (auto& [id, client] : m_clients) {
        if (client.fd >= 0)
            ::close(client.fd);
    }
    if (m_fd < 0)
        return;
    m_acceptor.reset();
    // Only our own socket: a file put there since is someone else's.
    struct stat there {};
    if (::lstat(m_path.c_str(), &there) == 0 && there.st_ino == m_inode && there.st_dev == m_device)
        ::unlink(m_path.c_str());
    ::close(m_fd);
}

ControlServer::Outcome ControlServer::Listen(const std::string& path, std::string& error)
{
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) {
        error = "the socket path must be 1 to " + std::to_string(sizeof address.sun_path - 1) + " bytes long";
        return Outcome::Failed;
    }
    std::memcpy(address.sun_path, path.data(), path.size());
    const auto* raw = reinterpret_cast<const sockaddr*>(&address);
    const std::size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0 && !makeDirectories(path.substr(0, slash), error))
        return Outcome::Failed;

    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode)) {
            error = path + " exists and is not a socket";
            return Outcome::Failed;
        }
        const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int answered = probe < 0 ? -1 : ::connect(probe, raw, sizeof address);
        const int why = errno;
        if (probe >= 0)
            ::close(probe);
        if (answered == 0) {
            error = path + " is in use by another toc-cli";
            return Outcome::InUse;
        }
        // Nobody listens: left by a toc-cli that died.
        if (why != ECONNREFUSED || (::unlink(path.c_str()) != 0 && errno != ENOENT)) {
            errno = why == ECONNREFUSED ? errno : why;
            error = failure(path);
            return Outcome::Failed;
        }
    }
    m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_fd < 0) {
        error = failure("socket");
        return Outcome::Failed;
    }
    // Born 0600: nobody else gets a moment to connect.
    const mode_t mask = ::umask(0177);
    const int bound = ::bind(m_fd, raw, sizeof address);
    ::umask(mask);
    if (bound != 0 || ::listen(m_fd, 16) != 0) {
        error = failure(path);
        ::close(m_fd);
        m_fd = -1;
        return Outcome::Failed;
    }
    m_path = path;
    if (::lstat(path.c_str(), &st) == 0) {
        m_inode = st.st_ino;
        m_device = st.st_dev;
    }
    m_acceptor = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
    QObject::connect(m_acceptor.get(), &QSocketNotifier::activated, m_acceptor.get(), [this] { accept(); });
    return Outcome::Listening;
}

void ControlServer::accept()
{
    for (;;) {
        const int fd = ::accept4(m_fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return;
        ucred peer {};
        socklen_t size = sizeof peer;
        const auto refuse = [fd](std::string_view why) {
            const std::string line = "{\"error\":\"" + std::string(why) + "\"}\n";
            ::send(fd, line.data(), line.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            ::close(fd);
        };
        if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || peer.uid != ::geteuid()) {
            std::fprintf(stderr, "toc-cli: refused a control connection from user %u\n", peer.uid);
            refuse("refused: this toc-cli belongs to another user");
            continue;
        }
        if (m_clients.size() >= MaxClients) {
            std::fprintf(stderr, "toc-cli: refused a control connection: %zu clients already\n", m_clients.size());
            refuse("refused: too many clients");
            continue;
        }
        const ClientId id = m_nextId++;
        Client& client = m_clients.try_emplace(id, Client { fd, LineSplitter(m_maxLine), {}, {}, {}, false }).first->second;
        client.reader = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        client.reader->setEnabled(m_reading);
        client.writer = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
        client.writer->setEnabled(false);
        QObject::connect(client.reader.get(), &QSocketNotifier::activated, client.reader.get(), [this, id] { read(id); });
        QObject::connect(client.writer.get(), &QSocketNotifier::activated, client.writer.get(), [this, id] { flush(id); });
    }
}

void ControlServer::read(ClientId id)
{
    const auto alive = [this, id] {
        const auto it = m_clients.find(id);
        return it != m_clients.end() && it->second.fd >= 0;
    };
    Client& client = m_clients.at(id);
    std::array<char, 65536> buffer;
    const ssize_t n = ::recv(client.fd, buffer.data(), buffer.size(), 0);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (n > 0) {
        client.splitter.Feed(
            std::string_view(buffer.data(), static_cast<std::size_t>(n)),
            [&](std::string_view line) {
                m_callbacks.line(id, line);
                return alive();
            },
            [&] {
                m_callbacks.overflow(id);
                return alive();
            });
        return;
    }
    if (n < 0) {
        drop(id);
        return;
    }
    // The client has said all it will; it leaves once it has what is already queued for it.
    client.inputEnded = true;
    client.reader->setEnabled(false);
    if (auto last = client.splitter.Finish())
        m_callbacks.line(id, *last);
    if (alive() && m_clients.at(id).queued.empty())
        drop(id);
}

void ControlServer::SetReading(bool reading)
{
    m_reading = reading;
    for (auto& [id, client] : m_clients) {
        if (client.fd >= 0 && !client.inputEnded)
            client.reader->setEnabled(reading);
    }
}

void ControlServer::Broadcast(std::string_view line)
{
    for (auto& [id, client] : m_clients)
        queue(id, client, line);
}

void ControlServer::Send(ClientId id, std::string_view line)
{
    const auto it = m_clients.find(id);
    if (it != m_clients.end())
        queue(id, it->second, line);
}

void ControlServer::queue(ClientId id, Client& client, std::string_view line)
{
    if (client.fd < 0)
        return;
    client.queued.append(line);
    client.queued += '\n';
    if (client.queued.size() > MaxQueued) {
        std::fprintf(stderr, "toc-cli: a control client stopped reading; disconnected\n");
        drop(id);
        return;
    }
    if (!client.writer->isEnabled())
        flush(id);
}

void ControlServer::flush(ClientId id)
{
    Client& client = m_clients.at(id);
    while (!client.queued.empty()) {
        const ssize_t n = ::send(client.fd, client.queued.data(), client.queued.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            client.writer->setEnabled(true);
            return;
        }
        if (n <= 0) {
            drop(id);
            return;
        }
        client.queued.erase(0, static_cast<std::size_t>(n));
    }
    client.writer->setEnabled(false);
    if (client.inputEnded)
        drop(id);
}

void ControlServer::drop(ClientId id)
{
    Client& client = m_clients.at(id);
    if (client.fd < 0)
        return;
    client.reader->setEnabled(false);
    client.writer->setEnabled(false);
    ::close(client.fd);
    client.fd = -1;
    client.queued.clear();
    // Erased once out of whatever call is using it (its splitter may be mid-feed).
    QMetaObject::invokeMethod(m_acceptor.get(), [this, id] { m_clients.erase(id); }, Qt::QueuedConnection);
}

} // namespace tocli
