#pragma once
// A session on an in-memory sink, driven the way a client drives tocd.

#include <gtest/gtest.h>

#include <deque>

#include "tests/support/fakesocket.h"
#include "tocd/service.h"
#include "tocd/session.h"

namespace tocd_test {

/// Roasted "secret", written out by hand.
inline constexpr std::string_view roastedSecret = "0x270c005d311b";

using Lines = std::vector<std::string>;

struct RecordingSink : tocd::SessionSink {
    void write(std::string_view bytes) override
    {
        wroteAfterClose = wroteAfterClose || closed;
        bytes_.append(bytes);
    }
    void close() override { closed = true; }
    std::string bytes_;
    bool closed = false;
    bool wroteAfterClose = false;
};

/// Greeting, SIGNON frame and the sign-on command `word` (frames 0 and 1), as a client sends them.
inline std::string SignOnBytes(std::string_view name, std::string_view roasted = roastedSecret, std::string_view word = "toc2_login")
{
    return "FLAPON\n\n" + testing_support::Frame(1, std::string("\0\0\0\1\0\1\0", 7) + static_cast<char>(name.size()) + std::string(name))
        + testing_support::Frame(2, std::string(word) + " login.oscar.aol.com 5190 \"" + std::string(name) + "\" " + std::string(roasted)
            + " English \"TIK:\\$Revision: 1.1 $\" 160 US \"\" \"\" 3 0 30303 -kentucky -utf8 58203917" + '\0', 1);
}

/// One connection to the service under test.
class Client {
public:
    explicit Client(tocd::Service& service) : session(service, &sink) { }

    void send(std::string_view bytes) { session.receive(bytes); }
    void frame(int type, std::string_view payload) { send(testing_support::Frame(type, payload, m_sequence++)); }
    /// A command as the control sends it: a data frame ending in one NUL.
    void command(std::string_view text) { frame(2, std::string(text) + '\0'); }
    void commands(std::initializer_list<std::string_view> texts)
    {
        for (std::string_view text : texts)
            command(text);
    }
    /// Greeting, SIGNON frame and sign-on, without toc_init_done.
    void login(std::string_view name, std::string_view roasted = roastedSecret, std::string_view word = "toc2_login")
    {
        send(SignOnBytes(name, roasted, word));
        m_sequence = 2;
    }
    /// Payloads of the frames received since the last call; a keep-alive shows as "<keep-alive>".
    Lines messages()
    {
        Lines out;
        for (const testing_support::SentFrame& f : testing_support::ParseFrames(raw()))
            out.push_back(f.type == 5 ? "<keep-alive>" : f.payload);
        return out;
    }
    /// Bytes received since the last call.
    std::string raw() { return sink.bytes_.substr(std::exchange(m_read, sink.bytes_.size())); }

    RecordingSink sink;
    tocd::Session session;

private:
    std::size_t m_read = 0;
    int m_sequence = 0;
};

/// A service on a settable clock, and clients that live as long as it: with the bot "Echo Bot" and
/// the rate limits off (bursts on a frozen clock), or metered as today's servers do and no bot.
class TocdTest : public ::testing::Test {
protected:
    explicit TocdTest(bool metered = false)
        : service({ metered ? "" : "Echo Bot", [this] { return ms / 1000; }, [this] { return ms; }, metered })
    {
    }
    Client& connect() { return m_clients.emplace_back(service); }
    /// Greeting, SIGNON frame and the sign-on command `word`, answers left unread.
    Client& signOn(std::string_view name, std::string_view word = "toc2_login")
    {
        connect().login(name, roastedSecret, word);
        return m_clients.back();
    }
    /// A client signed on and visible, the answers so far dropped.
    Client& online(std::string_view name, std::string_view word = "toc2_login")
    {
        Client& c = signOn(name, word);
        c.command("toc_init_done");
        c.messages();
        return c;
    }

    std::int64_t ms = 1700000000000;
    tocd::Service service;

private:
    std::deque<Client> m_clients; // after the service: sessions must go first
};

} // namespace tocd_test
