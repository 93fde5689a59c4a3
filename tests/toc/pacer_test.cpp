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

std::string Command(const std::string& text, int seq)
{
    return toc::BuildFlapFrame(2, static_cast<std::uint16_t>(seq), text + '\0');
}

// The sign-on as the control writes it, with frames numbered from `seq`, up to toc_init_done.
std::string SignOn(int seq)
{
    return "FLAPON\n\n" + toc::BuildFlapFrame(1, static_cast<std::uint16_t>(seq), std::string("\0\0\0\1\0\1\0\3bob", 11))
        + Command("toc2_login login.oscar.aol.com 5190 bob 0x2408", seq + 1) + Command("toc_init_done", seq + 2);
}

struct Left {
    int type;
    int seq;
    std::string command;
};

std::vector<Left> Cut(std::string_view bytes)
{
    std::vector<Left> out;
    toc::FlapReader reader;
    reader.Feed(bytes, [&](std::string_view f) {
        const std::string payload(f.substr(6, f.size() > 6 && f.back() == '\0' ? f.size() - 7 : f.npos));
        out.push_back({ f[1], static_cast<unsigned char>(f[2]) * 256 + static_cast<unsigned char>(f[3]), payload });
        return true;
    });
    return out;
}

struct Burst {
    const char* name;
    std::string command; // numbered by appending the index
    toc::RateClass cls;
    int count;
    int warning;
    int immediate; // how many leave at once; -1: not checked
    bool limitedAfterImmediate; // an ERROR:903 arrives after those
};

TEST(Pacer, BurstsLeaveInOrderAsFastAsTheServerAcceptsThem)
{
    const Burst bursts[] = {
        { "IM", "toc_send_im \"alice\" \"m", toc::RateClass::IM, 30, 0, 7, false },
        { "IM warned 50%", "toc_send_im \"alice\" \"m", toc::RateClass::IM, 20, 50, -1, false },
        { "IM after a 903", "toc_send_im \"alice\" \"m", toc::RateClass::IM, 12, 0, 7, true },
        { "chat room", "toc_chat_send \"5\" \"line", toc::RateClass::Chat, 150, 0, -1, false },
        { "buddy edits", "toc2_new_group \"g", toc::RateClass::General, 150, 0, -1, false },
        { "directory", "toc_set_dir \"first", toc::RateClass::Directory, 20, 0, -1, false },
    };
    for (const Burst& b : bursts) {
        SCOPED_TRACE(b.name);
        Pacer pacer;
        ASSERT_EQ(pacer.Write(SignOn(0), T0).send, SignOn(0));
        pacer.SetWarning(b.warning);
        // The server's view, and the least time its model allows for the burst.
        RateLevel server(toc::ParamsOf(b.cls), T0);
        RateLevel fastest(toc::ParamsOf(b.cls), T0);
        server.SetWarning(b.warning);
        fastest.SetWarning(b.warning);
        std::vector<Left> left;
        auto deliver = [&](std::int64_t at, const std::string& bytes) {
            for (const Left& l : Cut(bytes)) {
                EXPECT_EQ(server.Record(at), RateLevel::Verdict::Accepted) << l.command << " at " << at - T0;
                left.push_back(l);
            }
        };
        for (int i = 0; i < b.count; ++i) {
            const Pacer::Output out = pacer.Write(Command(b.command + std::to_string(i) + "\"", 3 + i), T0);
            EXPECT_TRUE(out.refused.empty());
            deliver(T0, out.send);
        }
        if (b.immediate >= 0) {
            EXPECT_EQ(static_cast<int>(left.size()), b.immediate);
        }
        if (b.limitedAfterImmediate) {
            pacer.RateLimited();
            server.MarkLimited();
        }
        std::int64_t leastEnd = T0;
        for (int i = 0; i < b.count; ++i) {
            if (b.limitedAfterImmediate && i == b.immediate)
                fastest.MarkLimited();
            leastEnd = fastest.EarliestAt(leastEnd, fastest.LimitedLevel());
            fastest.Record(leastEnd);
        }
        std::int64_t now = T0;
        while (auto next = pacer.NextAt(now)) {
            ASSERT_GT(*next, now);
            EXPECT_EQ(pacer.Release(*next - 1), "");
            now = *next;
            deliver(now, pacer.Release(now));
        }
        ASSERT_EQ(static_cast<int>(left.size()), b.count);
        for (int i = 0; i < b.count; ++i) {
            EXPECT_EQ(left[static_cast<std::size_t>(i)].command, b.command + std::to_string(i) + "\"");
            EXPECT_EQ(left[static_cast<std::size_t>(i)].seq, 3 + i);
        }
        EXPECT_LE(now - T0, (leastEnd - T0) * 12 / 10);
    }
}

TEST(Pacer, HeldCommandsHoldTheOnesBehindThemButNotKeepAlivesOrTheSignOn)
{
    Pacer pacer;
    std::string sent = pacer.Write(SignOn(100), T0).send;
    for (int i = 0; i < 8; ++i)
        sent += pacer.Write(Command("toc_send_im \"al\" \"" + std::to_string(i) + "\"", 103 + i), T0).send;
    sent += pacer.Write(Command("toc_get_info \"al\"", 111), T0 + 1).send;
    sent += pacer.Write(toc::BuildFlapFrame(5, 112, ""), T0 + 2).send;
    // A new sign-on on the same stream, as a server that asks again would get it.
    sent += pacer.Write(Command("toc2_login login.oscar.aol.com 5190 al 0x24", 113), T0 + 3).send;
    EXPECT_EQ(pacer.Held(), 2u);
    sent += pacer.Release(*pacer.NextAt(T0 + 3));

    const std::vector<Left> left = Cut(sent.substr(8));
    std::vector<std::string> order;
    for (std::size_t i = 0; i < left.size(); ++i) {
        EXPECT_EQ(left[i].seq, 100 + static_cast<int>(i)) << "frame " << i;
        order.push_back(std::to_string(left[i].type) + " " + left[i].command.substr(0, 20));
    }
    const std::vector<std::string> expected = { "1 " + std::string("\0\0\0\1\0\1\0\3bob", 11),
        "2 toc2_login login.osc", "2 toc_init_done", "2 toc_send_im \"al\" \"0\"", "2 toc_send_im \"al\" \"1\"",
        "2 toc_send_im \"al\" \"2\"", "2 toc_send_im \"al\" \"3\"", "2 toc_send_im \"al\" \"4\"",
        "2 toc_send_im \"al\" \"5\"", "2 toc_send_im \"al\" \"6\"", "5 ", "2 toc2_login login.osc",
        "2 toc_send_im \"al\" \"7\"", "2 toc_get_info \"al\"" };
    EXPECT_EQ(order, expected);
}

TEST(Pacer, TheNewestCommandIsRefusedWhenTheBoundIsReachedAndANewConnectionReturnsTheHeld)
{
    Pacer pacer(2);
    pacer.Write(SignOn(0), T0);
    std::vector<std::string> refused;
    for (int i = 0; i < 10; ++i) {
        for (std::string& r : pacer.Write(Command("toc_send_im \"al\" \"" + std::to_string(i) + "\"", 3 + i), T0).refused)
            refused.push_back(r);
    }
    EXPECT_EQ(refused, std::vector<std::string>({ "toc_send_im \"al\" \"9\"" }));
    EXPECT_EQ(pacer.Reset(), std::vector<std::string>({ "toc_send_im \"al\" \"7\"", "toc_send_im \"al\" \"8\"" }));
    EXPECT_EQ(pacer.NextAt(T0), std::nullopt);
    EXPECT_EQ(pacer.Write(SignOn(50), T0).send, SignOn(50));
}

} // namespace
