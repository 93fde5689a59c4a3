#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "toc/flap.h"
#include "toc/pacer.h"
#include "toc/ratelimits.h"

namespace {

using toc::Pacer;
using toc::RateLevel;

constexpr std::int64_t T0 = 1'000'000;

std::string Command(const std::string& text, int seq) { return toc::BuildFlapFrame(2, std::uint16_t(seq), text + '\0'); }
std::string Im(int i) { return "toc_send_im \"al\" \"" + std::to_string(i) + "\""; }

// The sign-on as the control writes it, frames numbered from `seq`, up to toc_init_done.
std::string SignOn(int seq)
{
    return "FLAPON\n\n" + toc::BuildFlapFrame(1, std::uint16_t(seq), std::string("\0\0\0\1\0\1\0\3bob", 11))
        + Command("toc2_login login.oscar.aol.com 5190 bob 0x2408", seq + 1) + Command("toc_init_done", seq + 2);
}

// The commands in `bytes` ("keep-alive" for one), each expected to be numbered `seq`, then the next.
std::vector<std::string> Cut(std::string_view bytes, int& seq)
{
    std::vector<std::string> out;
    toc::FlapReader reader;
    reader.Feed(bytes, [&](std::string_view f) {
        EXPECT_EQ(static_cast<unsigned char>(f[2]) * 256 + static_cast<unsigned char>(f[3]), seq++);
        out.emplace_back(f[1] == 5 ? "keep-alive" : f.substr(6, f.size() - 7));
        return true;
    });
    return out;
}

TEST(Pacer, BurstsLeaveInOrderAsFastAsTheServerAcceptsThem)
{
    struct Burst {
        const char* command; // numbered by appending the index
        toc::RateClass cls;
        int count;
        int warning;
        int immediate; // how many leave at once; -1: not checked
        bool limitedAfterImmediate; // an ERROR:903 arrives after those
        std::int64_t start = T0; // when the burst is written; the sign-on ends at T0
    };
    const Burst bursts[] = {
        { "toc_send_im \"al\" \"", toc::RateClass::IM, 30, 0, 7, false },
        { "toc_send_im \"al\" \"", toc::RateClass::IM, 8, 0, 7, false, T0 + 60000 },
        { "toc_send_im \"al\" \"", toc::RateClass::IM, 20, 50, -1, false },
        { "toc_send_im \"al\" \"", toc::RateClass::IM, 12, 0, 7, true },
        { "toc_chat_send \"5\" \"", toc::RateClass::Chat, 150, 0, -1, false },
        { "toc2_new_group \"", toc::RateClass::General, 150, 0, -1, false },
        { "toc_set_dir \"", toc::RateClass::Directory, 20, 0, -1, false },
    };
    for (const Burst& b : bursts) {
        SCOPED_TRACE(std::string(b.command) + " x" + std::to_string(b.count));
        Pacer pacer;
        pacer.Write(SignOn(0), T0);
        pacer.SetWarning(b.warning);
        // The strictest server's view (its level starts at the class's first command), and the
        // least time its model allows for the burst.
        RateLevel server(toc::ParamsOf(b.cls), b.start), fastest(toc::ParamsOf(b.cls), b.start);
        server.SetWarning(b.warning);
        fastest.SetWarning(b.warning);
        std::vector<std::string> left;
        int seq = 3;
        auto deliver = [&](std::int64_t at, const std::string& bytes) {
            for (const std::string& command : Cut(bytes, seq)) {
                EXPECT_EQ(server.Record(at), RateLevel::Verdict::Accepted) << command << " at " << at - b.start;
                left.push_back(command);
            }
        };
        for (int i = 0; i < b.count; ++i)
            deliver(b.start, pacer.Write(Command(b.command + std::to_string(i) + "\"", 3 + i), b.start).send);
        EXPECT_TRUE(b.immediate < 0 || static_cast<int>(left.size()) == b.immediate) << left.size();
        if (b.limitedAfterImmediate) {
            pacer.RateLimited();
            server.MarkLimited();
        }
        std::int64_t leastEnd = b.start;
        for (int i = 0; i < b.count; ++i) {
            if (b.limitedAfterImmediate && i == b.immediate)
                fastest.MarkLimited();
            leastEnd = fastest.EarliestAt(leastEnd, fastest.LimitedLevel());
            fastest.Record(leastEnd);
        }
        std::int64_t now = b.start;
        while (auto next = pacer.NextAt(now)) {
            EXPECT_EQ(pacer.Release(*next - 1), "");
            now = *next;
            deliver(now, pacer.Release(now));
        }
        ASSERT_EQ(static_cast<int>(left.size()), b.count);
        for (int i = 0; i < b.count; ++i)
            EXPECT_EQ(left[std::size_t(i)], b.command + std::to_string(i) + "\"");
        EXPECT_LE(now - b.start, (leastEnd - b.start) * 12 / 10);
    }
}

TEST(Pacer, HeldCommandsHoldTheOnesBehindThemButNotKeepAlivesOrTheSignOn)
{
    Pacer pacer;
    std::string sent = pacer.Write(SignOn(100), T0).send;
    for (int i = 0; i < 8; ++i)
        sent += pacer.Write(Command(Im(i), 103 + i), T0).send;
    sent += pacer.Write(Command("toc_get_info \"al\"", 111), T0 + 1).send;
    sent += pacer.Write(toc::BuildFlapFrame(5, 112, ""), T0 + 2).send;
    // A new sign-on on the same stream, as a server that asks again would get it.
    sent += pacer.Write(Command("toc2_login x", 113), T0 + 3).send;
    sent += pacer.Release(*pacer.NextAt(T0 + 3));
    int seq = 101;
    EXPECT_EQ(Cut(sent.substr(8 + 17), seq),
              std::vector<std::string>({ "toc2_login login.oscar.aol.com 5190 bob 0x2408", "toc_init_done", Im(0), Im(1),
                                         Im(2), Im(3), Im(4), Im(5), Im(6), "keep-alive", "toc2_login x", Im(7),
                                         "toc_get_info \"al\"" }));
}

TEST(Pacer, AQuestionGoesAheadOfHeldCommandsAndTheWarningOutlivesTheConnection)
{
    Pacer pacer;
    pacer.SetWarning(40);
    std::vector<std::size_t> leftAtOnce;
    for (int connection = 0; connection < 2; ++connection) {
        pacer.Reset();
        pacer.Write(SignOn(0), T0);
        std::string sent;
        for (int i = 0; i < 8; ++i)
            sent += pacer.Write(Command(Im(i), 3 + i), T0).send;
        int seq = 3;
        leftAtOnce.push_back(Cut(sent, seq).size());
        // Written last, leaves first: its class has room.
        EXPECT_EQ(Cut(pacer.Write(Command("toc_get_info \"bob\"", 11), T0, true).send, seq),
                  std::vector<std::string>({ "toc_get_info \"bob\"" }));
    }
    EXPECT_EQ(leftAtOnce, std::vector<std::size_t>({ 4, 4 })); // 7 at warning 0
}

} // namespace
