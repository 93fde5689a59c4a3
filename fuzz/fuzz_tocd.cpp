// Bytes from one stranger's connection to the service: the greeting or an HTTP request, frames,
// the login and commands, cut into reads by the first input byte. Two well-behaved clients and the
// bot are signed on beside it. Whatever comes in, everyone's output stays a clean stream, nothing
// is written after a close, and the output does not depend on how the input was cut.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "tests/support/fakesocket.h"
#include "tocd/service.h"
#include "tocd/session.h"

namespace {

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

class Sink : public tocd::SessionSink {
public:
    void write(std::string_view bytes) override
    {
        if (closed)
            fail("written after close");
        out.append(bytes);
    }
    void close() override { closed = true; }
    std::string out;
    bool closed = false;
};

std::string command(std::string_view text, int sequence)
{
    std::string payload(text);
    payload += '\0';
    return testing_support::Frame(2, payload, sequence);
}

struct Client {
    explicit Client(tocd::Service& service)
        : session(service, &sink)
    {
    }
    void signOn(const std::string& name, std::string_view roasted)
    {
        session.receive("FLAPON\n\n");
        session.receive(testing_support::Frame(1, std::string("\0\0\0\1\0\1\0", 7) + static_cast<char>(name.size()) + name, 0));
        session.receive(command("toc2_login login.oscar.aol.com 5190 " + name + " " + std::string(roasted)
                                    + " English  \"OrbTOCSock 2.0\" 160 US \"\" \"\" 3 0 30303 -kentucky -utf8 58203917",
                                1));
        session.receive(command("toc_init_done", 2));
    }
    Sink sink;
    tocd::Session session;
};

// A FLAP client's output is the SIGNON frame and whole frames after it, each with the marker.
void checkStream(const Sink& sink)
{
    std::string_view s = sink.out;
    if (s.starts_with("HTTP/1.1 ")) {
        if (!sink.closed)
            fail("an HTTP answer did not close the connection");
        return;
    }
    while (!s.empty()) {
        if (s.size() < 6 || s[0] != '*')
            fail("output is not a stream of frames");
        const std::size_t len = static_cast<std::size_t>(static_cast<unsigned char>(s[4])) << 8
            | static_cast<unsigned char>(s[5]);
        if (s.size() < 6 + len)
            fail("output ends inside a frame");
        if (s[1] == 2 && s.substr(6, len).find('\0') != std::string_view::npos)
            fail("a server message holds a NUL");
        s.remove_prefix(6 + len);
    }
}

std::string run(std::string_view bytes, std::uint8_t cut)
{
    tocd::Service service(tocd::Service::Options { "echo bot", [] { return std::int64_t { 1700000000 }; } });
    Client alice(service);
    Client bob(service);
    alice.signOn("alice", "0x270c005d311b"); // "secret"
    bob.signOn("bob", "0x270c005d311b");
    alice.session.receive(command("toc2_new_buddies {g:Friends\nb:stranger\nb:bob\n}", 3));

    auto stranger = std::make_unique<Client>(service);
    if (cut == 0) {
        stranger->session.receive(bytes);
    } else {
        std::size_t size = 1;
        while (!bytes.empty()) {
            const std::size_t n = std::min(size, bytes.size());
            stranger->session.receive(bytes.substr(0, n));
            bytes.remove_prefix(n);
            size = size % cut + 1;
        }
    }
    service.keepAlive();
    bob.session.receive(command("toc2_send_im stranger \"are you there?\"", 4));
    const Sink strangerSink = stranger->sink;
    // The peer goes away: its departure must reach the others without touching freed state.
    stranger->session.disconnect();
    stranger.reset();
    alice.session.receive(command("toc_get_status stranger", 4));

    for (const Sink* sink : { &std::as_const(alice.sink), &std::as_const(bob.sink), &strangerSink })
        checkStream(*sink);
    return alice.sink.out + '\x1f' + bob.sink.out + '\x1f' + strangerSink.out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    if (run(bytes, 0) != run(bytes, data[0]))
        fail("whole and split runs differ");
    return 0;
}
