#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "toc/flap.h"
#include "toc/ratelimits.h"

namespace tocd {

class Service;
struct Account;
struct Room;

/// Where a session's outbound bytes go. The TCP connection implements it; tests collect the bytes.
/// Neither call may re-enter the session or the service: a connection that has to give up on its
/// peer (too much unread output) defers the sign-off to its event loop.
class SessionSink {
public:
    virtual ~SessionSink() = default;
    /// Queues bytes for the peer.
    virtual void write(std::string_view bytes) = 0;
    /// Sends what is queued, then ends the connection.
    virtual void close() = 0;
};

/// One client connection's side of the protocol, with no I/O of its own: received bytes go in
/// through receive(), everything to send comes out through the sink. It tells FLAP clients from
/// HTTP requests by the first bytes, checks the FLAPON greeting, cuts frames, signs on and hands
/// commands to the service. A session without a sink is the service's built-in bot.
class Session {
public:
    Session(Service& service, SessionSink* sink);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    /// Handles bytes from the peer, in any chunking. Returns false once the session has ended (the
    /// sink was told to close); bytes after that are ignored. Never throws on hostile input.
    bool receive(std::string_view bytes);
    /// The peer is gone: signs off (watchers and chat rooms are told) and sends nothing more.
    void disconnect();
    /// Sends an empty keep-alive frame, if signed on.
    void keepAlive();

    /// Which sign-on the client used; it decides the form of the messages the session receives.
    enum class Dialect : std::uint8_t {
        Toc1, // toc_signon: IM_IN, CHAT_IN, UPDATE_BUDDY, CONFIG
        Toc2Signon, // toc2_signon: IM_IN2 and CHAT_IN, the rest as TOC2
        Toc2, // toc2_login
    };
    Dialect dialect() const { return m_dialect; }

    bool ended() const { return m_state == State::Ended; }
    bool signedOn() const { return m_account != nullptr; }
    bool visible() const { return m_visible; }
    bool isBot() const { return m_sink == nullptr; }
    Account* account() const { return m_account; }

    /// Sends one server message as a data frame. NUL bytes are left out: the client cuts text at
    /// them.
    void sendMessage(std::string_view payload);

    /// Largest frame payload a client may send.
    static constexpr std::size_t MaxClientPayload = 2048;

private:
    friend class Service;

    enum class State { Sniffing, Greeting, AwaitSignon, AwaitLogin, SignedOn, Http, Ended };

    struct ChatEntry {
        std::int32_t id;
        Room* room;
        bool joined;
        std::optional<toc::RateLevel> rate; // chat lines, at rest on first joining
    };

    void sendFrame(std::uint8_t type, std::string_view payload);
    bool handleGreeting(std::string_view& bytes);
    bool handleHttp(std::string_view bytes);
    bool handleFrames(std::string_view bytes);
    bool headersAcceptable(std::string_view bytes);
    bool handleFrame(std::string_view frame);
    void handleLogin(std::string_view payload);
    /// Ends the session from our side: signs off and asks the sink to close after what is queued.
    void end();

    Service& m_service;
    SessionSink* m_sink;
    State m_state = State::Sniffing;
    std::string m_pending; // greeting or HTTP request bytes so far; small and bounded
    toc::FlapReader m_reader;
    // Where the next frame header starts, so an oversized frame is refused from its header instead
    // of after buffering it.
    std::size_t m_headerSkip = 0;
    std::uint8_t m_headerHave = 0;
    char m_header[toc::FlapHeaderSize] = {};
    std::uint16_t m_sequence = 0;

    // Signed-on state, owned by the service.
    Account* m_account = nullptr;
    Dialect m_dialect = Dialect::Toc2;
    // The rate classes, each at rest until its first command; chat lines per room in m_chats.
    std::optional<toc::RateLevel> m_rates[toc::RateClasses.size()];
    bool m_visible = false;
    bool m_away = false;
    std::int64_t m_signonTime = 0;
    std::int64_t m_idleSince = 0; // 0: not idle
    std::string m_caps;
    std::vector<ChatEntry> m_chats;
    std::int32_t m_nextChatId = 0;
    std::size_t m_onlineIndex = 0;
};

} // namespace tocd
