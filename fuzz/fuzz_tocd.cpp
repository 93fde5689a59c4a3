// A stranger's bytes to the service, cut into reads as the first input byte says, beside two
// signed-on clients who watch and message it. Everyone's output is a clean stream of frames (or one
// HTTP answer that closes), nothing is written after a close, and the cut changes nothing.

#include "tests/support/fakesocket.h"
#include "tocd/service.h"
#include "tocd/session.h"

using namespace std::string_literals;
using testing_support::Frame;

namespace {

struct Sink : tocd::SessionSink {
    std::string out;
    bool closed = false;
    void write(std::string_view bytes) override
    {
        if (closed)
            __builtin_trap();
        out += bytes;
    }
    void close() override { closed = true; }
    void check() const
    {
        for (std::string_view s = out; !s.empty() && !(s.starts_with("HTTP/1.1 ") && closed);) {
            const std::size_t len = s.size() < 6 ? 0 : static_cast<unsigned char>(s[4]) * 256u + static_cast<unsigned char>(s[5]);
            if (s[0] != '*' || s.size() < 6 + len || (s[1] == 2 && s.substr(6, len).find('\0') != s.npos))
                __builtin_trap();
            s.remove_prefix(6 + len);
        }
    }
};

std::string run(std::string_view bytes, std::size_t cut)
{
    tocd::Service service({ "echo bot", [] { return std::int64_t { 1700000000 }; } });
    Sink a, b, s;
    tocd::Session alice(service, &a), bob(service, &b);
    auto stranger = std::make_unique<tocd::Session>(service, &s);
    for (auto [session, name] : { std::pair { &alice, "alice"s }, std::pair { &bob, "bob"s } })
        session->receive("FLAPON\n\n" + Frame(1, "\0\0\0\1\0\1\0\5"s + name) + Frame(2, "toc2_login h 1 " + name + " 0x270c005d311b\0"s)
            + Frame(2, "toc_init_done\0"s) + Frame(2, "toc2_new_buddies {g:F\nb:stranger\n}\0"s));
    for (std::size_t size = 1; !bytes.empty(); size = cut ? size % cut + 1 : 1) {
        const std::size_t n = cut ? std::min(size, bytes.size()) : bytes.size();
        stranger->receive(bytes.substr(0, n));
        bytes.remove_prefix(n);
    }
    service.keepAlive();
    bob.receive(Frame(2, "toc_send_im stranger hi\0"s));
    stranger.reset();
    alice.receive(Frame(2, "toc_get_status stranger\0"s));
    for (const Sink* sink : { &a, &b, &s })
        sink->check();
    return a.out + '\x1f' + b.out + '\x1f' + s.out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (size > 0 && run(bytes.substr(1), 0) != run(bytes.substr(1), data[0]))
        __builtin_trap();
    return 0;
}
