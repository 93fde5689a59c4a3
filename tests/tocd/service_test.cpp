#include "tests/tocd/harness.h"

using namespace tocd_test;
using ServiceTest = TocdTest;
using namespace std::string_literals;

TEST_F(ServiceTest, ListEditsAreConfirmedAndShowInTheNextConfig)
{
    Client& alice = online("alice");
    alice.commands({ "toc2_new_buddies \"g:Buddies\nb:bob\n\"",
        "toc2_new_buddies {g:Work\nb:Carol C:Carol\nb:dave\n}", "toc2_new_group \"Empty\"",
        "toc2_remove_buddy \"dave\" \"Work\"", "toc2_add_deny \"carolc\"",
        "toc2_add_permit \"dave\" \"erin\"", "toc2_remove_permit \"erin\"", "toc2_set_pdmode 4",
        "toc2_new_group \"Gone\"", "toc2_del_group \"Gone\"", "toc2_add_deny \"x\"",
        "toc2_remove_deny \"x\"" });
    EXPECT_EQ(alice.messages(),
        (Lines { "INSERTED2:g:Buddies", "INSERTED2:b::bob:Buddies", "INSERTED2:g:Work",
            "INSERTED2:b:Carol:Carol C:Work", "INSERTED2:b::dave:Work", "INSERTED2:g:Empty",
            "DELETED2:b:dave:Work", "INSERTED2:d:carolc", "INSERTED2:p:dave", "INSERTED2:p:erin",
            "DELETED2:p:erin", "INSERTED2:g:Gone", "DELETED2:g:Gone", "INSERTED2:d:x",
            "DELETED2:d:x" }));
    alice.session.disconnect();

    Client& again = connect();
    again.login("alice");
    const Lines answer = again.messages();
    ASSERT_EQ(answer.size(), 4u);
    EXPECT_EQ(answer[3],
        "CONFIG2:d:carolc\np:dave\nm:4\ng:Buddies\nb:bob\ng:Work\nb:Carol "
        "C:Carol\ng:Empty\ndone:\n");
}

// Each refused command gets its answer, changes nothing anyone else can see and leaves the
// connection open.
TEST_F(ServiceTest, RefusedCommandsAreAnsweredAndTheConnectionStays)
{
    const std::pair<std::string_view, Lines> rows[] = {
        { "toc_bogus 1 2", { "ERROR:913:internal server error" } },
        { "toc2_new_buddies \"g:Buddies\nb:bad:name:alias:x\nb:ok:ali:as\n\"",
            { "INSERTED2:g:Buddies", "ERROR:911", "ERROR:911" } },
        { "toc2_new_group \"\"", { "ERROR:911" } },
        { "toc2_add_deny \"no way\" \"b@d!\"", { "INSERTED2:d:noway", "ERROR:911" } },
        { "toc2_set_pdmode 9", { "ERROR:911" } },
        { "toc2_remove_buddy \"bob\"", { "ERROR:911" } },
        { "toc_send_im bob", { "ERROR:911" } },
        { "toc_send_im \"bob", { "ERROR:911" } }, // open quote
        { "toc_send_im nobody \"hello\"", { "ERROR:901:nobody" } },
        { "toc_set_idle -5", { "ERROR:911" } },
        { "toc_set_idle soon", { "ERROR:911" } },
        { "toc_get_status nobody", { "ERROR:901:nobody" } },
        { "toc_get_info nobody", { "ERROR:901:nobody" } },
        { "toc_evil nobody norm", { "ERROR:902" } },
        { "toc_evil bob loud", { "ERROR:911" } },
        { "toc_format_nickname \"Bob\"", { "ERROR:911" } },
        { "toc_change_passwd \"wrong\" \"pw\"", { "ERROR:980" } },
        { "toc2_client_event nobody 2", {} },
        { "toc2_client_event bob typing", { "ERROR:911" } },
        { "toc_chat_send 3 \"x\"", { "ERROR:913:internal server error" } },
        { "toc_chat_leave 0", { "ERROR:913:internal server error" } },
        { "toc_chat_accept 7", { "ERROR:913:internal server error" } },
        { "toc_chat_invite 2 \"x\" bob", { "ERROR:913:internal server error" } },
        { "toc_chat_send zero \"x\"", { "ERROR:913:internal server error" } },
        { "toc_chat_join 4 \"   \"", { "ERROR:913:internal server error" } },
        { "toc_chat_join 4 \"a:b\"", { "ERROR:913:internal server error" } },
        { "toc_chat_join four \"a\"", { "ERROR:913:internal server error" } },
        { "", {} },
    };
    Client& alice = online("alice");
    Client& bob = online("bob");
    for (const auto& [command, answers] : rows) {
        alice.command(command);
        EXPECT_EQ(alice.messages(), answers) << command;
    }
    EXPECT_FALSE(alice.sink.closed);
    EXPECT_EQ(bob.messages(), Lines {});
}

TEST_F(ServiceTest, UserIsInvisibleUntilInitDone)
{
    Client& bob = online("bob");
    bob.command("toc2_new_buddies \"g:B\nb:alice\n\"");
    bob.messages();

    Client& alice = connect();
    alice.login("alice");
    bob.commands({ "toc_get_status alice", "toc_send_im alice hi" });
    EXPECT_EQ(bob.messages(), (Lines { "ERROR:901:alice", "ERROR:901:alice" }));

    clock += 5;
    alice.command("toc_init_done");
    EXPECT_EQ(bob.messages(), Lines { "UPDATE_BUDDY2:alice:T:0:1700000000:0: O :" });
}

TEST_F(ServiceTest, WatcherSigningOnLaterHearsOfBuddiesAlreadyOnline)
{
    online("Alice").command("toc_set_caps \"09461343-4C7F-11D1-8222-444553540000\"");
    Client& bob = online("bob");
    bob.commands({ "toc2_new_buddies \"g:B\nb:alice\nb:carol\n\"", "toc_get_info ALICE" });
    const Lines presence = { "UPDATE_BUDDY2:Alice:T:0:1700000000:0: O :",
        "BUDDY_CAPS2:Alice:09461343-4C7F-11D1-8222-444553540000" };
    EXPECT_EQ(bob.messages(),
        (Lines { "INSERTED2:g:B", "INSERTED2:b::alice:B", "INSERTED2:b::carol:B", presence[0],
            presence[1], "GOTO_URL:profile:info?user=alice" }));
    bob.session.disconnect();

    Client& bobAgain = connect();
    bobAgain.login("bob");
    bobAgain.messages();
    bobAgain.command("toc_init_done");
    EXPECT_EQ(bobAgain.messages(), (Lines { presence[0], presence[1],
        "IM_IN_ENC2:Echo Bot:F:F:T: O :F:L:en:Hi! I am a bot: send me an IM and I will echo it." }));
}

TEST_F(ServiceTest, PresenceChangesReachWatchers)
{
    Client& bob = online("bob");
    bob.command("toc2_new_buddies \"g:B\nb:alice\n\"");
    Client& alice = online("alice");
    bob.messages();

    alice.commands({ "toc_set_away \"out to lunch\"", "toc_set_idle 600" });
    clock += 120;
    bob.command("toc_get_status alice");
    alice.commands(
        { "toc_set_caps a b", "toc_set_away", "toc_set_idle 0", "toc_format_nickname \"Al Ice\"" });
    alice.session.disconnect();
    EXPECT_EQ(bob.messages(),
        (Lines { "UPDATE_BUDDY2:alice:T:0:1700000000:0: OU:",
            "UPDATE_BUDDY2:alice:T:0:1700000000:10: OU:",
            "UPDATE_BUDDY2:alice:T:0:1700000000:12: OU:", "BUDDY_CAPS2:alice:a,b",
            "UPDATE_BUDDY2:alice:T:0:1700000000:12: O :",
            "UPDATE_BUDDY2:alice:T:0:1700000000:0: O :",
            "UPDATE_BUDDY2:Al Ice:T:0:1700000000:0: O :", "UPDATE_BUDDY2:alice:F:0:0:0:   :" }));
    EXPECT_EQ(alice.messages(), (Lines { "ADMIN_NICK_STATUS:0", "NICK:Al Ice" }));
}

TEST_F(ServiceTest, InstantMessagesAndTypingNoticesCarryTheSender)
{
    Client& alice = online("Alice");
    Client& bob = online("bob");
    alice.commands(
        { "toc_set_away \"brb\"", "toc_send_im bob \"<b>hi:</b> \\\"q\\\" \\$5 \\\\ \\{\\}\"",
            "toc_send_im bob \"auto reply\" auto", "toc2_client_event bob 2" });
    alice.command(std::string("toc_send_im bob \"a\0b\"", 21)); // server payloads carry no NUL
    EXPECT_EQ(bob.messages(),
        (Lines { "IM_IN_ENC2:Alice:F:F:T: OU:F:L:en:<b>hi:</b> \"q\" $5 \\ {}",
            "IM_IN_ENC2:Alice:T:F:T: OU:F:L:en:auto reply", "CLIENT_EVENT2:Alice:2",
            "IM_IN_ENC2:Alice:F:F:T: OU:F:L:en:ab" }));
    EXPECT_EQ(alice.messages(), Lines {});
}

TEST_F(ServiceTest, PrivacyModesDecideWhoMayMessage)
{
    struct Case {
        const char* setup;
        bool bobMay;
        bool carolMay;
    };
    const Case cases[] = {
        { "toc2_add_deny bob", false, true }, // no mode chosen yet: the deny list already counts
        { "toc2_set_pdmode 1", true, true },
        { "toc2_set_pdmode 2", false, false },
        { "toc2_set_pdmode 3", false, false },
        { "toc2_add_permit carol", false, true }, // still mode 3
        { "toc2_set_pdmode 4", false, true }, // deny list has bob
        { "toc2_remove_deny bob", true, true },
        { "toc2_set_pdmode 5", false, false },
        { "toc2_new_buddies \"g:F\nb:bob\n\"", true, false },
    };
    Client& alice = online("alice");
    Client& bob = online("bob");
    Client& carol = online("carol");
    for (const Case& c : cases) {
        alice.command(c.setup);
        bob.command("toc_send_im alice x");
        carol.command("toc_send_im alice x");
        EXPECT_EQ(bob.messages(), c.bobMay ? Lines {} : Lines { "ERROR:901:alice" }) << c.setup;
        EXPECT_EQ(carol.messages(), c.carolMay ? Lines {} : Lines { "ERROR:901:alice" }) << c.setup;
        const std::size_t expectedIms = (c.bobMay ? 1 : 0) + (c.carolMay ? 1 : 0);
        std::size_t ims = 0;
        for (const std::string& m : alice.messages())
            ims += m.starts_with("IM_IN_ENC2:");
        EXPECT_EQ(ims, expectedIms) << c.setup;
    }
}

TEST_F(ServiceTest, BlockingHidesAndUnblockingShowsPresence)
{
    Client& bob = online("bob");
    bob.command("toc2_new_buddies \"g:B\nb:alice\n\"");
    Client& alice = online("alice");
    bob.messages();

    alice.commands({ "toc2_add_deny bob", "toc2_remove_deny bob" });
    EXPECT_EQ(bob.messages(),
        (Lines {
            "UPDATE_BUDDY2:alice:F:0:0:0:   :", "UPDATE_BUDDY2:alice:T:0:1700000000:0: O :" }));
    alice.command("toc2_add_deny bob");
    bob.messages();
    alice.session.disconnect();
    EXPECT_EQ(bob.messages(), Lines {});
}

// The name as first registered, or as reformatted since, is the one every later sign-on gets.
TEST_F(ServiceTest, NicknameAndPasswordChanges)
{
    Client& alice = connect();
    alice.login("Al Ice");
    EXPECT_EQ(alice.messages()[2], "NICK:Al Ice");
    alice.commands({ "toc_format_nickname \"A Lice\"", "toc_change_passwd \"secret\" \"pw\"" });
    EXPECT_EQ(alice.messages(),
        (Lines { "ADMIN_NICK_STATUS:0", "NICK:A Lice", "ADMIN_PASSWD_STATUS:0" }));
    alice.session.disconnect();

    Client& old = connect();
    old.login("alice");
    EXPECT_EQ(old.messages().back(), "ERROR:980");
    Client& fresh = connect();
    fresh.login("alice", "0x241e"); // roasted "pw"
    EXPECT_EQ(fresh.messages(),
        (Lines { "\0\0\0\1"s, "SIGN_ON:TOC2.0", "NICK:A Lice", "CONFIG2:done:\n" }));
}

TEST_F(ServiceTest, SecondSignOnTakesOverTheAccount)
{
    Client& watcher = online("watcher");
    watcher.command("toc2_new_buddies \"g:B\nb:alice\n\"");
    Client& first = online("alice");
    watcher.messages();
    Client& second = connect();
    second.login("alice");
    EXPECT_TRUE(first.sink.closed);
    EXPECT_FALSE(first.sink.wroteAfterClose);
    EXPECT_EQ(watcher.messages(), Lines { "UPDATE_BUDDY2:alice:F:0:0:0:   :" });
    second.command("toc_init_done");
    EXPECT_EQ(watcher.messages(), Lines { "UPDATE_BUDDY2:alice:T:0:1700000000:0: O :" });
    first.session.disconnect(); // the old connection's end must not sign the new one off
    EXPECT_EQ(service.signedOnCount(), 3u); // the bot, watcher and alice
}

TEST_F(ServiceTest, BotEchoesMessagesButNotAutomaticReplies)
{
    Client& alice = online("alice");
    alice.commands({ "toc_send_im echobot \"hi \\$ there\"", "toc_send_im echobot \"away\" auto",
        "toc_get_status echobot" });
    EXPECT_EQ(alice.messages(),
        (Lines { "IM_IN_ENC2:Echo Bot:F:F:T: O :F:L:en:echo: hi $ there",
            "UPDATE_BUDDY2:Echo Bot:T:0:1700000000:0: O :" }));
    Client& impostor = connect();
    impostor.login("echobot");
    EXPECT_EQ(impostor.messages().back(), "ERROR:980");
}

TEST_F(ServiceTest, FullestAccountStillSignsOnInOneConfigFrame)
{
    Client& alice = online("alice");
    const auto name = [](char tag, int i) {
        std::string n = std::string(1, tag) + std::to_string(1000 + i);
        return n + std::string(32 - n.size(), 'x') + std::string(16, ' ');
    };
    for (int i = 0; i < 250; ++i) {
        alice.command("toc2_add_deny \"" + name('d', i) + "\"");
        alice.command("toc2_add_permit \"" + name('p', i) + "\"");
    }
    alice.command("toc2_set_pdmode 3");
    for (int g = 0; g < 60; ++g) {
        std::string block = "g:group" + std::to_string(100 + g) + std::string(40, 'g') + "\n";
        for (int b = 0; b < 10; ++b)
            block += "b:" + name('b', g * 10 + b) + ":" + std::string(48, 'a') + "\n";
        alice.command("toc2_new_buddies \"" + block + "\"");
    }
    alice.session.disconnect();

    Client& again = connect();
    again.login("alice");
    const Lines answer = again.messages();
    ASSERT_EQ(answer.size(), 4u);
    const std::string& config = answer[3];
    EXPECT_TRUE(config.ends_with("done:\n"));
    EXPECT_GT(config.size(), 60000u);
    std::size_t lines[128] = {};
    for (std::size_t i = 8; i + 1 < config.size(); i = config.find('\n', i) + 1)
        ++lines[static_cast<unsigned char>(config[i])];
    EXPECT_EQ(lines['d'], 200u + 1u); // and done:
    EXPECT_EQ(lines['p'], 200u);
    EXPECT_EQ(lines['g'], 50u);
    EXPECT_EQ(lines['b'], 450u);
}
