// The account's configuration may come in several CONFIG2 messages; the input is cut into messages
// at each 0x1e byte. Every message that carries the end marker must be answered with exactly one
// toc_init_done, and what LoggedIn reports must equal a plain line-by-line reading of the text.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/fakesocket.h"
#include "toc/orbtocsock.h"

namespace {

struct Config {
    std::vector<std::string> buddies, blocked, permitted, misc;
    std::string preferences;
    std::int16_t mode = 0;
    bool operator==(const Config&) const = default;
};

class Host : public toc::OrbTOCSockEvents {
public:
    void LoggedIn(const std::string&, const std::vector<std::string>& BuddyList,
                  const std::vector<std::string>& BlockList, const std::vector<std::string>& PrivateList,
                  const std::vector<std::string>& MiscData, const std::string& strPreferences,
                  std::int16_t PrivacyMode) override
    {
        seen.push_back({ BuddyList, BlockList, PrivateList, MiscData, strPreferences, PrivacyMode });
    }
    std::vector<Config> seen;
};

// The slow, obvious reading: one line at a time, the first matching prefix wins.
std::optional<Config> reference(const std::string& text)
{
    Config c;
    std::size_t at = 0;
    while (true) {
        const std::size_t lf = text.find('\n', at);
        if (lf == std::string::npos)
            return std::nullopt;
        const std::string line = text.substr(at, lf - at);
        at = lf + 1;
        auto rest = [&](std::size_t n) { return line.substr(n); };
        if (line.rfind("g:", 0) == 0) {
            c.buddies.push_back("[group]" + rest(2));
        } else if (line.rfind("b:", 0) == 0) {
            std::string b = rest(2);
            // One pass: the colon put in is not searched again.
            for (std::size_t p = 0; (p = b.find(":::::", p)) != std::string::npos; ++p)
                b.replace(p, 5, ":");
            c.buddies.push_back(b);
        } else if (line.rfind("d:", 0) == 0) {
            c.blocked.push_back(rest(2));
        } else if (line.rfind("pref:", 0) == 0) {
            c.preferences = rest(5);
        } else if (line.rfind("p:", 0) == 0) {
            c.permitted.push_back(rest(2));
        } else if (line.rfind("m:", 0) == 0) {
            if (line.size() > 2 && line[2] >= '0' && line[2] <= '9')
                c.mode = static_cast<std::int16_t>(line[2] - '0');
        } else if (line.rfind("done:", 0) == 0) {
            return c;
        } else {
            c.misc.push_back(line);
        }
    }
}

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    Host host;
    auto owned = std::make_unique<testing_support::FakeSocket>();
    testing_support::FakeSocket& sock = *owned;
    toc::OrbTOCSock control(std::move(owned), &host);
    control.Login("joe", "pass", "toc.test", 5190);
    sock.CompleteConnect();
    sock.ClearSent();

    std::string buffered;
    std::size_t start = 0;
    while (start <= input.size()) {
        const std::size_t end = std::min(input.find('\x1e', start), input.size());
        const std::string_view text = input.substr(start, end - start);
        start = end + 1;
        const std::string payload = "CONFIG2:" + std::string(text);
        if (payload.size() > 65535)
            continue;

        const std::size_t eventsBefore = host.seen.size();
        sock.ClearSent();
        sock.Receive(testing_support::Data(payload));
        const auto frames = testing_support::ParseFrames(sock.AllSent());

        if (text.find("done:\n") == std::string_view::npos) {
            buffered += text;
            if (!frames.empty() || host.seen.size() != eventsBefore)
                fail("a message without the end marker was answered");
            continue;
        }
        const std::optional<Config> expected = reference(buffered + std::string(text));
        buffered.clear();
        if (frames.size() != 1 || frames[0].type != 2 || frames[0].payload != std::string("toc_init_done\0", 14))
            fail("the end of a configuration was not answered with one toc_init_done");
        if (host.seen.size() != eventsBefore + (expected ? 1 : 0))
            fail("LoggedIn was raised a wrong number of times");
        if (expected && !(host.seen.back() == *expected))
            fail("LoggedIn reported another configuration than the text holds");
    }
    return 0;
}
