// Old and new sign-ons on one service, the rate limits and the sign-on limiter, on a clock in milliseconds.

#include "tests/tocd/harness.h"

using namespace tocd_test;
using namespace std::string_literals;

namespace {

constexpr std::int64_t Second = 1000;

class DialectTest : public TocdTest {
protected:
    DialectTest() : TocdTest(true) { }
};

TEST_F(DialectTest, EachSignOnGetsItsOwnMessageFormsAndTheOldCommandsWorkOnAll)
{
    struct Row {
        std::string_view word, name;
        Lines signOn, got;
    };
    const Row rows[] = {
        { "toc_signon", "old", { "SIGN_ON:TOC1.0", "CONFIG:", "NICK:old" },
            { "IM_IN:alice:F:a:b", "CHAT_IN:0:alice:F:all", "CHAT_IN:0:alice:T:psst",
                "UPDATE_BUDDY:alice:T:0:1700000000:0: OU", "IM_IN:alice:T:y" } },
        { "toc2_signon", "mid", { "SIGN_ON:TOC2.0", "NICK:mid", "CONFIG2:done:\n" },
            { "IM_IN2:alice:F:F:a:b", "CHAT_IN:0:alice:F:all", "CHAT_IN:0:alice:T:psst",
                "UPDATE_BUDDY2:alice:T:0:1700000000:0: OU:", "IM_IN2:alice:T:F:y" } },
        { "toc2_login", "new", { "SIGN_ON:TOC2.0", "NICK:new", "CONFIG2:done:\n" },
            { "IM_IN_ENC2:alice:F:F:T: O :F:L:en:a:b", "CHAT_IN_ENC:0:alice:F:A:en:all",
                "CHAT_IN_ENC:0:alice:T:A:en:psst", "UPDATE_BUDDY2:alice:T:0:1700000000:0: OU:",
                "IM_IN_ENC2:alice:T:F:T: OU:F:L:en:y" } },
    };
    Client& alice = online("alice");
    alice.command("toc_chat_join 4 Room");
    for (const Row& row : rows) {
        const std::string name(row.name);
        Client& c = signOn(name, row.word);
        const Lines answer = c.messages();
        EXPECT_EQ(Lines(answer.begin() + 1, answer.end()), row.signOn) << row.word; // after the SIGNON frame
        // Its profile is there before its toc_init_done.
        alice.command("toc_get_info " + name);
        EXPECT_EQ(alice.messages().back(), "GOTO_URL:profile:info?user=" + name) << row.word;
        c.commands({ "toc_add_buddy Alice", "toc_init_done", "toc_chat_join 4 Room", "toc_set_config {m 1\ng B\nb  x y\n}" });
        c.messages();
        alice.commands({ "toc_send_im " + name + " \"a:b\"", "toc_chat_send 0 all", "toc_chat_whisper 0 " + name + " psst", "toc_set_away gone" });
        c.command("toc_remove_buddy alice");
        alice.command("toc_set_away \"gone again\"");
        alice.messages();
        c.command("toc_add_permit bob");
        alice.command("toc_send_im " + name + " x");
        EXPECT_EQ(alice.messages(), Lines { "ERROR:901:" + name }) << row.word;
        c.command("toc_add_deny");
        alice.command("toc_send_im " + name + " y auto");
        EXPECT_EQ(c.messages(), row.got) << row.word;
        c.command("toc_chat_leave 0");
        alice.command("toc_set_away");
        ms += 60 * Second; // alice's IM class at rest again
    }
    // The first version's configuration comes back as its client stored it.
    EXPECT_EQ(signOn("old", "toc_signon").messages().at(2), "CONFIG:m 1\ng B\nb  x y\n");
}

// Commands back to back from rest: where the first ERROR:903 comes and where the session closes.
TEST_F(DialectTest, BurstsMeetTheLimitsWhereTodaysServersPutThem)
{
    struct Row {
        std::vector<std::string> cycle; // sent in turn
        int warning, first903, closedAt;
    };
    const Row rows[] = {
        { { "toc_send_im bob x" }, 0, 8, 14 },
        { { "toc_send_im bob x" }, 100, 1, 14 },
        { { "toc_get_info bob" }, 0, 106, 154 }, // after toc_init_done and two joins
        { { "toc_chat_send 0 x" }, 0, 109, 140 },
        { { "toc_chat_send 0 x", "toc_chat_send 1 x" }, 0, 217, 279 }, // a class per room
        { { "toc_chat_whisper 0 bob x", "toc_add_buddy carol" }, 0, 217, 279 }, // a room's, the account's
    };
    Client& bob = online("bob");
    bob.commands({ "toc_chat_join 4 A", "toc_chat_join 4 B" });
    for (const Row& row : rows) {
        Client& c = online("sender");
        c.commands({ "toc_chat_join 4 A", "toc_chat_join 4 B" });
        c.messages();
        c.session.account()->warning = row.warning;
        c.session.account()->warnedAt = ms;
        int first903 = 0, closedAt = 0;
        for (int i = 1; i <= 400 && !closedAt; ++i) {
            c.command(row.cycle[static_cast<std::size_t>(i - 1) % row.cycle.size()]);
            const Lines got = c.messages();
            if (!first903 && std::find(got.begin(), got.end(), "ERROR:903") != got.end())
                first903 = i;
            if (c.session.ended())
                closedAt = i;
        }
        EXPECT_EQ(std::pair(first903, closedAt), std::pair(row.first903, row.closedAt)) << row.cycle[0] << " " << row.warning;
        EXPECT_TRUE(c.sink.closed);
        ms += 3600 * Second;
    }
    bob.messages();
    Client& paced = online("paced");
    for (int i = 0; i < 30; ++i, ms += 4 * Second) // one IM every 4 s goes on for ever
        paced.command("toc_send_im bob x");
    EXPECT_EQ(bob.messages().size(), 30u);
}

// Three sign-ons in a row, then one every 30 s; the third, with a wrong password, counts too. The
// last is another name's, which has a limiter of its own.
TEST_F(DialectTest, SignOnLimiterAnswers983AndCloses)
{
    tocd::Service limited { { "", [this] { return ms / Second; }, [this] { return ms; }, true, 3, 2 } };
    std::deque<Client> tries; // before the service goes
    std::string got;
    for (const int after : { 0, 0, 0, 0, 29999, 1, 0, 90000, 0, 0, 0, 0 }) {
        ms += after;
        tries.emplace_back(limited).login(tries.size() < 12 ? "carol" : "dave", tries.size() == 3 ? "0x231b0c4133" : roastedSecret);
        got += tries.back().messages().at(1).substr(0, 9) + (tries.back().sink.closed ? "! " : " ");
    }
    EXPECT_EQ(got, "SIGN_ON:T SIGN_ON:T ERROR:980! ERROR:983! ERROR:983! SIGN_ON:T ERROR:983! SIGN_ON:T SIGN_ON:T SIGN_ON:T ERROR:983! SIGN_ON:T ");
}

} // namespace
