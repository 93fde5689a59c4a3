#pragma once

#include <chrono>
#include <memory>
#include <unordered_set>

#include <asio.hpp>

#include "tocd/service.h"

namespace tocd {

class Connection;

/// Moves bytes between TCP clients and their sessions on one Asio event loop, and sends the
/// keep-alive rounds. Everything runs on the thread that runs the io_context.
class Server {
public:
    /// Listens at once; throws asio::system_error when the address cannot be bound. A keep-alive
    /// interval of zero sends none.
    Server(asio::io_context& io, Service& service, const asio::ip::tcp::endpoint& listen,
        std::chrono::milliseconds keepAlive);

    ~Server();

    asio::ip::tcp::endpoint localEndpoint() const { return m_acceptor.local_endpoint(); }
    /// Stops accepting, stops the keep-alives and closes every connection, so that the event loop
    /// runs out of work and returns.
    void shutdown();

    /// Unread output one client may leave queued before it is dropped.
    static constexpr std::size_t MaxQueuedOutput = 256 * 1024;
    /// The kernel's share of it: left to itself it takes megabytes per client on loopback, so a
    /// client that stops reading would hold that much before our own bound came into play.
    static constexpr int SocketSendBuffer = 64 * 1024;

private:
    friend class Connection;

    void accept();
    void acceptWaiting();
    void scheduleKeepAlive();

    asio::io_context& m_io;
    Service& m_service;
    asio::ip::tcp::acceptor m_acceptor;
    asio::steady_timer m_acceptRetry;
    asio::steady_timer m_keepAliveTimer;
    std::chrono::milliseconds m_keepAlive;
    std::unordered_set<Connection*> m_connections;
};

} // namespace tocd
