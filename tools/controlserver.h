#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include <QSocketNotifier>

#include "tools/linesplitter.h"

namespace tocli {

/// A Unix stream socket through which other programs of the same user talk to toc-cli as its stdin
/// and stdout do: each client writes command lines and reads event lines. Nothing here blocks: a
/// client that does not read is disconnected once MaxQueued bytes wait for it.
class ControlServer {
public:
    using ClientId = std::uint64_t;
    static constexpr std::size_t MaxQueued = 1 << 20;
    static constexpr std::size_t MaxClients = 64;

    struct Callbacks {
        std::function<void(ClientId, std::string_view line)> line;
        std::function<void(ClientId)> overflow;
    };

    enum class Outcome { Listening, InUse, Failed };

    ControlServer(std::size_t maxLine, Callbacks callbacks);
    /// Removes the socket file.
    ~ControlServer();

    /// Listens at `path` (0600; its directory made 0700 when missing). A socket file nobody answers
    /// on is replaced; one that answers is another toc-cli's: InUse. `error` says why it failed.
    Outcome Listen(const std::string& path, std::string& error);

    /// To every client.
    void Broadcast(std::string_view line);
    /// To one client, if it is still there.
    void Send(ClientId client, std::string_view line);
    std::size_t Clients() const { return m_clients.size(); }
    /// Off: no client is read (their writers block) until it is on again. What one read brought
    /// is still handed over, so at most 64 KiB a client comes in after it is turned off.
    void SetReading(bool reading);

private:
    struct Client {
        int fd = -1;
        LineSplitter splitter;
        std::string queued;
        std::unique_ptr<QSocketNotifier> reader;
        std::unique_ptr<QSocketNotifier> writer;
        bool inputEnded = false;
    };

    void accept();
    void read(ClientId id);
    void flush(ClientId id);
    void queue(ClientId id, Client& client, std::string_view line);
    void drop(ClientId id);

    std::size_t m_maxLine;
    Callbacks m_callbacks;
    std::string m_path;
    int m_fd = -1;
    // The socket file as bound, to remove only that one at the end.
    std::uint64_t m_inode = 0;
    std::uint64_t m_device = 0;
    std::unique_ptr<QSocketNotifier> m_acceptor;
    std::map<ClientId, Client> m_clients;
    ClientId m_nextId = 1;
    bool m_reading = true;
};

} // namespace tocli
