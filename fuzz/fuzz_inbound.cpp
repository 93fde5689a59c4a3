// Everything a server can send reaches the control through one socket read after another. The
// first input byte picks how the rest is cut into reads; a run that hands over the same bytes whole
// must report the same events and send the same bytes, or the framing depends on read sizes.

#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "tests/support/eventrecorder.h"
#include "tests/support/fakesocket.h"
#include "toc/orbtocsock.h"

namespace {

// Logs every frame with its bytes, not only its size, so a frame cut differently shows.
class Recorder : public testing_support::EventRecorder {
public:
    void IncomingPacket(const std::string& strPacket) override
    {
        log.push_back("IncomingPacket(" + testing_support::Quote(strPacket) + ")");
    }
};

struct Run {
    std::string log;
    std::string sent;
};

// A host that calls back into the control the way the windows do, and signs off from inside an
// event: the bytes after it must be dropped alike in both runs.
Run feed(std::string_view bytes, std::uint8_t cut)
{
    Recorder rec;
    auto owned = std::make_unique<testing_support::FakeSocket>();
    testing_support::FakeSocket& sock = *owned;
    toc::OrbTOCSock control(std::move(owned), &rec);
    rec.after = [&](const std::string& name) {
        if (name == "LoggedIn")
            control.SetProfile("<b>idle</b>");
        else if (name == "JoinedChat")
            control.SendChat(control.GetChatName(control.LastChatID()), "hi", control.LastChatID());
        else if (name == "PasswordChanged")
            control.LogOff();
    };
    control.Login("Fuzz User", "secret", "toc.test", 5190);
    sock.CompleteConnect();

    if (cut == 0) {
        sock.Receive(bytes);
    } else {
        // Read sizes walk 1..cut so that every split point is reached over a long input.
        std::size_t size = 1;
        while (!bytes.empty()) {
            const std::size_t n = std::min(size, bytes.size());
            sock.Receive(bytes.substr(0, n));
            bytes.remove_prefix(n);
            size = size % cut + 1;
        }
    }
    return { rec.Joined(), sock.AllSent() };
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    const Run whole = feed(bytes, 0);
    const Run split = feed(bytes, data[0]);
    if (whole.log != split.log || whole.sent != split.sent) {
        std::fprintf(stderr, "whole and split runs differ (cut %u)\n--- whole\n%s\n--- split\n%s\n", data[0],
                     whole.log.c_str(), split.log.c_str());
        std::abort();
    }
    return 0;
}
