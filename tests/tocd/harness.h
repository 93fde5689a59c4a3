#pragma once
// A session on an in-memory sink, driven the way a client drives tocd, for the unit tests.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/fakesocket.h"
#include "tocd/service.h"
#include "tocd/session.h"

namespace tocd_test {

/// Roasted "secret", written out by hand.
inline constexpr std::string_view roastedSecret = "0x270c005d311b";
/// Roasted "wrong".
inline constexpr std::string_view roastedWrong = "0x231b0c4133";

class RecordingSink : public tocd::SessionSink {
public:
    void write(std::string_view bytes) override
    {
        if (closed)
            wroteAfterClose = true;
        bytes_.append(bytes);
    }
    void close() override { closed = true; }

    std::string bytes_;
    bool closed = false;
    bool wroteAfterClose = false;
};

/// One connection to the service under test.
class Client {
public:
    explicit Client(tocd::Service& service)
        : session(service, &sink)
    {
    }

    void send(std::string_view bytes) { session.receive(bytes); }
    void frame(int type, std::string_view payload)
    {
        send(testing_support::Frame(type, payload, m_sequence++));
    }
    /// Sends a command as the control does: a data frame ending in one NUL.
    void command(std::string_view text)
    {
        std::string payload(text);
        payload += '\0';
        frame(2, payload);
    }

    /// Greeting, SIGNON frame and login, without toc_init_done.
    void login(std::string_view name, std::string_view roasted = roastedSecret)
    {
        send("FLAPON\n\n");
        frame(1,
            std::string("\0\0\0\1\0\1\0", 7) + static_cast<char>(name.size()) + std::string(name));
        command("toc2_login login.oscar.aol.com 5190 \"" + std::string(name) + "\" "
            + std::string(roasted)
            + " English  \"OrbTOCSock 2.0\" 160 US \"\" \"\" 3 0 30303 -kentucky -utf8 58203917");
    }
    /// Signs on and becomes visible; what the service answered so far is dropped.
    void signOn(std::string_view name)
    {
        login(name);
        command("toc_init_done");
        messages();
    }

    /// Payloads of the frames received since the last call; a keep-alive shows as "<keep-alive>".
    std::vector<std::string> messages()
    {
        std::vector<std::string> out;
        for (const testing_support::SentFrame& f :
            testing_support::ParseFrames(std::string_view(sink.bytes_).substr(m_read))) {
            out.push_back(f.type == 5 ? "<keep-alive>" : f.payload);
        }
        m_read = sink.bytes_.size();
        return out;
    }
    /// Bytes received since the last call.
    std::string raw()
    {
        std::string out = sink.bytes_.substr(m_read);
        m_read = sink.bytes_.size();
        return out;
    }

    RecordingSink sink;
    tocd::Session session;

private:
    std::size_t m_read = 0;
    int m_sequence = 0;
};

using Lines = std::vector<std::string>;

} // namespace tocd_test
