#include "tocd/server.h"

#include <array>
#include <vector>

namespace tocd {

using asio::ip::tcp;

namespace {
    // How long a closing connection waits for its peer to read the last bytes and hang up.
    constexpr auto lingerTime = std::chrono::seconds(5);
}

class Connection : public std::enable_shared_from_this<Connection>, public SessionSink {
public:
    Connection(tcp::socket socket, Service& service, Server& server)
        : m_socket(std::move(socket))
        , m_session(service, this)
        , m_server(&server)
    {
        m_server->m_connections.insert(this);
    }

    ~Connection() override
    {
        if (m_server)
            m_server->m_connections.erase(this);
    }

    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    /// For shutdown: no more output, and the socket closes.
    void abandon()
    {
        m_dead = true;
        closeSocket();
    }
    void signOff() { m_session.disconnect(); }
    void detach() { m_server = nullptr; }

    void start()
    {
        // Writes are tried at once and only the rest waits for the event loop.
        std::error_code ignored;
        m_socket.non_blocking(true, ignored);
        read();
    }

    void write(std::string_view bytes) override
    {
        if (m_dead || m_closing)
            return;
        if (m_out.size() + m_sending.size() + bytes.size() > Server::MaxQueuedOutput) {
            drop();
            return;
        }
        if (!m_writing) {
            // Most messages fit the socket's buffer: send them now, with no queue and no handler.
            std::error_code ec;
            const std::size_t sent
                = m_socket.write_some(asio::buffer(bytes.data(), bytes.size()), ec);
            if (ec && ec != asio::error::would_block && ec != asio::error::try_again) {
                drop();
                return;
            }
            bytes.remove_prefix(ec ? 0 : sent);
            if (bytes.empty())
                return;
        }
        m_out.append(bytes);
        if (!m_writing)
            flush();
    }

    void close() override
    {
        if (m_dead || m_closing)
            return;
        m_closing = true;
        if (!m_writing)
            linger();
    }

private:
    void read()
    {
        m_socket.async_read_some(
            asio::buffer(m_in), [self = shared_from_this()](std::error_code ec, std::size_t n) {
                if (self->m_dead)
                    return;
                if (ec) {
                    self->m_dead = true;
                    self->m_session.disconnect();
                    self->closeSocket();
                    return;
                }
                // Once the session has ended, whatever the peer still sends is read and dropped.
                self->m_session.receive(std::string_view(self->m_in.data(), n));
                if (!self->m_dead)
                    self->read();
            });
    }

    void flush()
    {
        m_writing = true;
        m_sending.swap(m_out);
        m_out.clear();
        asio::async_write(m_socket, asio::buffer(m_sending),
            [self = shared_from_this()](std::error_code ec, std::size_t) {
                self->m_writing = false;
                if (self->m_dead)
                    return;
                if (ec) {
                    self->m_dead = true;
                    self->m_session.disconnect();
                    self->closeSocket();
                    return;
                }
                // A burst's buffer is not kept for an idle client.
                if (self->m_sending.capacity() > 4096)
                    std::string().swap(self->m_sending);
                else
                    self->m_sending.clear();
                if (!self->m_out.empty())
                    self->flush();
                else if (self->m_closing)
                    self->linger();
            });
    }

    // Everything is sent: say goodbye, and give the peer a moment to read it before the close,
    // since closing with unread input would reset the connection and could lose the last words.
    void linger()
    {
        std::error_code ignored;
        m_socket.shutdown(tcp::socket::shutdown_send, ignored);
        m_lingerTimer = std::make_unique<asio::steady_timer>(m_socket.get_executor(), lingerTime);
        m_lingerTimer->async_wait([self = shared_from_this()](std::error_code ec) {
            if (!ec)
                self->closeSocket();
        });
    }

    // The peer is not reading, or is gone: drop it. Called from inside another session's work,
    // so the sign-off waits for the event loop.
    void drop()
    {
        m_dead = true;
        std::string().swap(m_out);
        closeSocket();
        asio::post(
            m_socket.get_executor(), [self = shared_from_this()] { self->m_session.disconnect(); });
    }

    void closeSocket()
    {
        m_dead = true;
        std::error_code ignored;
        m_socket.close(ignored);
        if (m_lingerTimer)
            m_lingerTimer->cancel();
    }

    tcp::socket m_socket;
    Session m_session;
    Server* m_server;
    std::string m_out;
    std::string m_sending;
    std::unique_ptr<asio::steady_timer> m_lingerTimer;
    bool m_writing = false;
    bool m_closing = false;
    bool m_dead = false;
    std::array<char, 1024> m_in;
};

Server::Server(asio::io_context& io, Service& service, const asio::ip::tcp::endpoint& listen,
    std::chrono::milliseconds keepAlive)
    : m_io(io)
    , m_service(service)
    , m_acceptor(io, listen)
    , m_acceptRetry(io)
    , m_keepAliveTimer(io)
    , m_keepAlive(keepAlive)
{
    m_acceptor.non_blocking(true);
    accept();
    scheduleKeepAlive();
}

Server::~Server()
{
    for (Connection* c : m_connections)
        c->detach();
}

void Server::shutdown()
{
    std::error_code ignored;
    m_acceptor.close(ignored);
    m_acceptRetry.cancel();
    m_keepAliveTimer.cancel();
    // Silence every connection first, so the sign-offs below tell nobody anything.
    const std::vector<Connection*> all(m_connections.begin(), m_connections.end());
    for (Connection* c : all)
        c->abandon();
    for (Connection* c : all)
        c->signOff();
}

void Server::accept()
{
    m_acceptor.async_wait(tcp::acceptor::wait_read, [this](std::error_code ec) {
        if (!ec)
            acceptWaiting();
    });
}

// Takes the waiting connections a batch per turn of the event loop, so that a burst of connects
// does not queue up behind one accept per turn.
void Server::acceptWaiting()
{
    if (!m_acceptor.is_open())
        return;
    for (int i = 0; i < 64; ++i) {
        std::error_code ec;
        tcp::socket socket = m_acceptor.accept(ec);
        if (ec == asio::error::would_block || ec == asio::error::try_again) {
            accept();
            return;
        }
        const bool exhausted = ec == asio::error::no_descriptors
            || ec == asio::error::no_buffer_space || ec == asio::error::no_memory
            || ec == std::errc::too_many_files_open_in_system;
        if (exhausted) {
            // Out of descriptors: the listening socket stays readable, so wait before trying again
            // instead of spinning.
            m_acceptRetry.expires_after(std::chrono::milliseconds(100));
            m_acceptRetry.async_wait([this](std::error_code wec) {
                if (!wec)
                    accept();
            });
            return;
        }
        if (ec)
            continue; // the peer gave up before we took the connection
        socket.set_option(tcp::no_delay(true), ec);
        socket.set_option(asio::socket_base::send_buffer_size(SocketSendBuffer), ec);
        std::make_shared<Connection>(std::move(socket), m_service, *this)->start();
    }
    // More may be waiting: come back after the others have had their turn.
    asio::post(m_io, [this] { acceptWaiting(); });
}

void Server::scheduleKeepAlive()
{
    if (m_keepAlive.count() <= 0)
        return;
    m_keepAliveTimer.expires_after(m_keepAlive);
    m_keepAliveTimer.async_wait([this](std::error_code ec) {
        if (ec)
            return;
        m_service.keepAlive();
        scheduleKeepAlive();
    });
}

} // namespace tocd
