// Old and new sign-ons on one service, rate limits and warnings, on a clock in milliseconds.

#include "tests/tocd/harness.h"

using namespace tocd_test;
using namespace std::string_literals;

namespace {

constexpr std::int64_t Second = 1000;

class DialectTest : public ::testing::Test {
protected:
    /// Greeting, SIGNON frame and the sign-on command `word`, answers left unread.
    Client& signOn(std::string_view word, std::string_view name)
    {
        clients.emplace_back(service).login(name, roastedSecret, word);
        return clients.back();
    }
    Client& online(std::string_view word, std::string_view name)
    {
        Client& c = signOn(word, name);
        c.command("toc_init_done");
        c.messages();
        return c;
    }

    std::int64_t ms = 1700000000 * Second;
    tocd::Service service { { "", [this] { return ms / Second; }, [this] { return ms; } } };
    std::deque<Client> clients;
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
    Client& alice = online("toc2_login", "alice");
    alice.command("toc_chat_join 4 Room");
    for (const Row& row : rows) {
        const std::string name(row.name);
        Client& c = signOn(row.word, name);
        Lines answer = c.messages();
        answer.erase(answer.begin()); // the SIGNON frame
        EXPECT_EQ(answer, row.signOn) << row.word;
        // Its profile is there before its toc_init_done.
        alice.command("toc_get_info " + name);
        EXPECT_EQ(alice.messages().back(), "GOTO_URL:profile:info?user=" + name) << row.word;
        c.commands({ "toc_add_buddy Alice", "toc_init_done", "toc_chat_join 4 Room", "toc_set_config {m 1\ng B\nb  x y\n}" });
        c.messages();
        alice.command("toc_send_im " + name + " \"a:b\"");
        alice.command("toc_chat_send 0 all");
        alice.command("toc_chat_whisper 0 " + name + " psst");
        alice.command("toc_set_away gone");
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
    EXPECT_EQ(signOn("toc_signon", "old").messages().at(2), "CONFIG:m 1\ng B\nb  x y\n");
}

// Commands back to back from rest: where the first ERROR:903 comes and where the session closes.
TEST_F(DialectTest, BurstsMeetTheLimitsWhereTodaysServersPutThem)
{
    struct Row {
        std::vector<std::string> cycle; // sent in turn
        int warning;
        int first903, closedAt;
    };
    const Row rows[] = {
        { { "toc_send_im bob x" }, 0, 8, 14 },
        { { "toc2_send_im bob x" }, 30, 6, 14 },
        { { "toc_send_im bob x" }, 100, 1, 14 },
        { { "toc_get_info bob" }, 0, 106, 154 }, // after toc_init_done and two joins
        { { "toc_chat_send 0 x" }, 0, 109, 140 },
        { { "toc_chat_send 0 x", "toc_chat_send 1 x" }, 0, 217, 279 }, // a class per room
        { { "toc_chat_whisper 0 bob x", "toc_add_buddy carol" }, 0, 217, 279 }, // a room's, the account's
    };
    Client& bob = online("toc2_login", "bob");
    bob.commands({ "toc_chat_join 4 A", "toc_chat_join 4 B" });
    for (const Row& row : rows) {
        Client& c = online("toc2_login", "sender");
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
        EXPECT_EQ(first903, row.first903) << row.cycle[0] << " " << row.warning;
        EXPECT_EQ(closedAt, row.closedAt) << row.cycle[0] << " " << row.warning;
        EXPECT_TRUE(c.sink.closed);
        ms += 3600 * Second;
    }
    bob.messages();
    Client& paced = online("toc2_login", "paced");
    for (int i = 0; i < 30; ++i, ms += 4 * Second) // one IM every 4 s goes on for ever
        paced.command("toc_send_im bob x");
    EXPECT_EQ(bob.messages().size(), 30u);
}

TEST_F(DialectTest, WarningsNeedIMsReceivedAndDecay)
{
    Client& bob = online("toc2_login", "bob");
    Client& carol = online("toc_signon", "carol");
    carol.command("toc_add_buddy bob");
    Client& alice = online("toc2_login", "Alice");
    carol.messages();
    const auto status = [&] {
        carol.command("toc_get_status bob");
        return carol.messages();
    };
    const std::string hi = "IM_IN_ENC2:bob:F:F:T: O :F:L:en:hi";
    const struct {
        std::string_view command;
        Lines toBob, toAlice;
    } steps[] = {
        { "toc_evil bob norm", {}, { "ERROR:902" } }, // bob never sent alice an IM
        { "toc_send_im alice hi", {}, { hi } },
        { "toc_evil bob norm", { "EVILED:10:Alice" }, {} },
        { "toc_evil bob anon", {}, { "ERROR:902" } }, // one IM, one warning
        { "toc_send_im alice hi", {}, { hi } },
        { "toc_evil bob anon", { "EVILED:13:" }, {} },
    };
    for (const auto& [command, toBob, toAlice] : steps) {
        (command.starts_with("toc_evil") ? alice : bob).command(command);
        EXPECT_EQ(bob.messages(), toBob) << command;
        EXPECT_EQ(alice.messages(), toAlice) << command;
    }
    EXPECT_EQ(carol.messages(),
        (Lines { "UPDATE_BUDDY:bob:T:10:1700000000:0: O ", "UPDATE_BUDDY:bob:T:13:1700000000:0: O " }));

    ms += 5 * 60 * Second - 1;
    EXPECT_EQ(status(), Lines { "UPDATE_BUDDY:bob:T:13:1700000000:0: O " });
    ms += 1;
    EXPECT_EQ(status(), Lines { "UPDATE_BUDDY:bob:T:8:1700000000:0: O " });
    ms += 60 * 60 * Second; // decayed to nothing, and the IMs are an hour old
    EXPECT_EQ(status(), Lines { "UPDATE_BUDDY:bob:T:0:1700000000:0: O " });
    alice.command("toc_evil bob norm");
    EXPECT_EQ(alice.messages(), Lines { "ERROR:902" });

    for (int i = 0; i < 12; ++i, ms += 30 * Second) {
        bob.command("toc_send_im alice hi");
        alice.command("toc_evil bob norm");
    }
    EXPECT_EQ(bob.messages().back(), "EVILED:100:Alice");
}

// Three sign-ons in a row, then one every 30 s; the third, with a wrong password, counts too.
TEST_F(DialectTest, SignOnLimiterAnswers983AndCloses)
{
    tocd::Service limited { { "", [this] { return ms / Second; }, [this] { return ms; }, true, 3, 2 } };
    std::deque<Client> tries; // before the service goes
    std::string got;
    for (const int after : { 0, 0, 0, 0, 29999, 1, 0, 90000, 0, 0, 0 }) {
        ms += after;
        Client& c = tries.emplace_back(limited);
        c.login("carol", tries.size() == 3 ? "0x231b0c4133" : roastedSecret);
        got += c.messages().at(1).substr(0, 9) + (c.sink.closed ? "! " : " ");
    }
    EXPECT_EQ(got, "SIGN_ON:T SIGN_ON:T ERROR:980! ERROR:983! ERROR:983! SIGN_ON:T ERROR:983! SIGN_ON:T SIGN_ON:T SIGN_ON:T ERROR:983! ");
    tries.emplace_back(limited).login("dave"); // each name has a limiter of its own
    EXPECT_EQ(tries.back().messages().at(1), "SIGN_ON:TOC2.0");
}

} // namespace
