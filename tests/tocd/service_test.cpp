#include <gtest/gtest.h>

#include "tests/tocd/harness.h"

using namespace tocd_test;

namespace {

class ServiceTest : public ::testing::Test {
protected:
    std::int64_t clock = 1700000000;
    tocd::Service service { tocd::Service::Options { "", [this] { return clock; } } };
};

} // namespace

TEST_F(ServiceTest, ListEditsAreConfirmedAndShowInTheNextConfig)
{
    Client alice(service);
    alice.signOn("alice");
    alice.command("toc2_new_buddies \"g:Buddies\nb:bob\n\"");
    alice.command("toc2_new_buddies {g:Work\nb:Carol C:Carol\nb:dave\n}");
    alice.command("toc2_new_group \"Empty\"");
    alice.command("toc2_remove_buddy \"dave\" \"Work\"");
    alice.command("toc2_add_deny \"carolc\"");
    alice.command("toc2_add_permit \"dave\" \"erin\"");
    alice.command("toc2_remove_permit \"erin\"");
    alice.command("toc2_set_pdmode 4");
    alice.command("toc2_new_group \"Gone\"");
    alice.command("toc2_del_group \"Gone\"");
    alice.command("toc2_add_deny \"x\"");
    alice.command("toc2_remove_deny \"x\"");
    EXPECT_EQ(alice.messages(),
        (Lines {
            "INSERTED2:g:Buddies",
            "INSERTED2:b::bob:Buddies",
            "INSERTED2:g:Work",
            "INSERTED2:b:Carol:Carol C:Work",
            "INSERTED2:b::dave:Work",
            "INSERTED2:g:Empty",
            "DELETED2:b:dave:Work",
            "INSERTED2:d:carolc",
            "INSERTED2:p:dave",
            "INSERTED2:p:erin",
            "DELETED2:p:erin",
            "INSERTED2:g:Gone",
            "DELETED2:g:Gone",
            "INSERTED2:d:x",
            "DELETED2:d:x",
        }));
    alice.session.disconnect();

    Client again(service);
    again.login("alice");
    const Lines answer = again.messages();
    ASSERT_EQ(answer.size(), 4u);
    EXPECT_EQ(answer[3],
        "CONFIG2:d:carolc\np:dave\nm:4\ng:Buddies\nb:bob\ng:Work\nb:Carol "
        "C:Carol\ng:Empty\ndone:\n");
}

TEST_F(ServiceTest, BadListEntriesAreRefused)
{
    Client alice(service);
    alice.signOn("alice");
    alice.command("toc2_new_buddies \"g:Buddies\nb:bad:name:alias:x\nb:ok:ali:as\n\"");
    alice.command("toc2_new_group \"\"");
    alice.command("toc2_add_deny \"no way\" \"b@d!\"");
    alice.command("toc2_set_pdmode 9");
    alice.command("toc2_remove_buddy \"bob\"");
    EXPECT_EQ(alice.messages(),
        (Lines { "INSERTED2:g:Buddies", "ERROR:911", "ERROR:911", "ERROR:911", "INSERTED2:d:noway",
            "ERROR:911", "ERROR:911", "ERROR:911" }));
}

TEST_F(ServiceTest, UserIsInvisibleUntilInitDone)
{
    Client bob(service);
    bob.signOn("bob");
    bob.command("toc2_new_buddies \"g:B\nb:alice\n\"");
    bob.messages();

    Client alice(service);
    alice.login("alice");
    bob.command("toc_get_status alice");
    bob.command("toc_send_im alice hi");
    EXPECT_EQ(bob.messages(), (Lines { "ERROR:901:alice", "ERROR:901:alice" }));

    clock += 5;
    alice.command("toc_init_done");
    EXPECT_EQ(bob.messages(), Lines { "UPDATE_BUDDY2:alice:T:0:1700000000:0: O :" });
}

TEST_F(ServiceTest, WatcherSigningOnLaterHearsOfBuddiesAlreadyOnline)
{
    Client alice(service);
    alice.signOn("Alice");
    alice.command("toc_set_caps \"09461343-4C7F-11D1-8222-444553540000\"");
    Client bob(service);
    bob.signOn("bob");
    bob.command("toc2_new_buddies \"g:B\nb:alice\nb:carol\n\"");
    EXPECT_EQ(bob.messages(),
        (Lines { "INSERTED2:g:B", "INSERTED2:b::alice:B", "INSERTED2:b::carol:B",
            "UPDATE_BUDDY2:Alice:T:0:1700000000:0: O :",
            "BUDDY_CAPS2:Alice:09461343-4C7F-11D1-8222-444553540000" }));
    bob.session.disconnect();

    Client bobAgain(service);
    bobAgain.login("bob");
    bobAgain.messages();
    bobAgain.command("toc_init_done");
    EXPECT_EQ(bobAgain.messages(),
        (Lines { "UPDATE_BUDDY2:Alice:T:0:1700000000:0: O :",
            "BUDDY_CAPS2:Alice:09461343-4C7F-11D1-8222-444553540000" }));
}

TEST_F(ServiceTest, PresenceChangesReachWatchers)
{
    Client bob(service);
    bob.signOn("bob");
    bob.command("toc2_new_buddies \"g:B\nb:alice\n\"");
    Client alice(service);
    alice.signOn("alice");
    bob.messages();

    alice.command("toc_set_away \"out to lunch\"");
    alice.command("toc_set_idle 600");
    clock += 120;
    bob.command("toc_get_status alice");
    alice.command("toc_set_caps a b");
    alice.command("toc_set_away");
    alice.command("toc_set_idle 0");
    alice.command("toc_format_nickname \"Al Ice\"");
    alice.session.disconnect();
    EXPECT_EQ(bob.messages(),
        (Lines {
            "UPDATE_BUDDY2:alice:T:0:1700000000:0: OU:",
            "UPDATE_BUDDY2:alice:T:0:1700000000:10: OU:",
            "UPDATE_BUDDY2:alice:T:0:1700000000:12: OU:",
            "BUDDY_CAPS2:alice:a,b",
            "UPDATE_BUDDY2:alice:T:0:1700000000:12: O :",
            "UPDATE_BUDDY2:alice:T:0:1700000000:0: O :",
            "UPDATE_BUDDY2:Al Ice:T:0:1700000000:0: O :",
            "UPDATE_BUDDY2:alice:F:0:0:0:   :",
        }));
    EXPECT_EQ(alice.messages(), (Lines { "ADMIN_NICK_STATUS:0", "NICK:Al Ice" }));
}

TEST_F(ServiceTest, InstantMessagesCarryTheSenderAndItsClass)
{
    Client alice(service);
    alice.signOn("Alice");
    Client bob(service);
    bob.signOn("bob");
    alice.command("toc_set_away \"brb\"");
    alice.command("toc_send_im bob \"<b>hi:</b> \\\"q\\\" \\$5 \\\\ \\{\\}\"");
    alice.command("toc_send_im bob \"auto reply\" auto");
    alice.command("toc_send_im nobody \"hello\"");
    EXPECT_EQ(bob.messages(),
        (Lines { "IM_IN_ENC2:Alice:F:F:T: OU:F:L:en:<b>hi:</b> \"q\" $5 \\ {}",
            "IM_IN_ENC2:Alice:T:F:T: OU:F:L:en:auto reply" }));
    EXPECT_EQ(alice.messages(), Lines { "ERROR:901:nobody" });
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
    Client alice(service);
    alice.signOn("alice");
    Client bob(service);
    bob.signOn("bob");
    Client carol(service);
    carol.signOn("carol");
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
    Client bob(service);
    bob.signOn("bob");
    bob.command("toc2_new_buddies \"g:B\nb:alice\n\"");
    Client alice(service);
    alice.signOn("alice");
    bob.messages();

    alice.command("toc2_add_deny bob");
    alice.command("toc2_remove_deny bob");
    EXPECT_EQ(bob.messages(),
        (Lines {
            "UPDATE_BUDDY2:alice:F:0:0:0:   :", "UPDATE_BUDDY2:alice:T:0:1700000000:0: O :" }));
    alice.command("toc2_add_deny bob");
    bob.messages();
    alice.session.disconnect();
    EXPECT_EQ(bob.messages(), Lines {});
}

TEST_F(ServiceTest, StatusAndProfileLookups)
{
    Client alice(service);
    alice.signOn("Alice");
    Client bob(service);
    bob.signOn("bob");
    alice.command("toc_set_idle 3600");
    bob.command("toc_get_status alice");
    bob.command("toc_get_status nobody");
    bob.command("toc_get_info ALICE");
    bob.command("toc_get_info nobody");
    EXPECT_EQ(bob.messages(),
        (Lines { "UPDATE_BUDDY2:Alice:T:0:1700000000:60: O :", "ERROR:901:nobody",
            "GOTO_URL:profile:info?user=alice", "ERROR:901:nobody" }));
}

TEST_F(ServiceTest, WarningsRaiseTheLevelAndReachWatchers)
{
    Client bob(service);
    bob.signOn("bob");
    Client carol(service);
    carol.signOn("carol");
    carol.command("toc2_new_buddies \"g:B\nb:bob\n\"");
    carol.messages();
    Client alice(service);
    alice.signOn("Alice");
    alice.command("toc_evil bob norm");
    alice.command("toc_evil bob anon");
    alice.command("toc_evil nobody norm");
    alice.command("toc_evil bob loud");
    EXPECT_EQ(bob.messages(), (Lines { "EVILED:10:Alice", "EVILED:13:" }));
    EXPECT_EQ(carol.messages(),
        (Lines { "UPDATE_BUDDY2:bob:T:10:1700000000:0: O :",
            "UPDATE_BUDDY2:bob:T:13:1700000000:0: O :" }));
    EXPECT_EQ(alice.messages(), (Lines { "ERROR:902:nobody", "ERROR:911" }));
    for (int i = 0; i < 20; ++i)
        alice.command("toc_evil bob norm");
    EXPECT_EQ(bob.messages().back(), "EVILED:100:Alice");
}

TEST_F(ServiceTest, NicknameAndPasswordChanges)
{
    Client alice(service);
    alice.signOn("alice");
    alice.command("toc_format_nickname \"A Lice\"");
    alice.command("toc_format_nickname \"Bob\"");
    alice.command("toc_change_passwd \"wrong\" \"pw\"");
    alice.command("toc_change_passwd \"secret\" \"pw\"");
    EXPECT_EQ(alice.messages(),
        (Lines { "ADMIN_NICK_STATUS:0", "NICK:A Lice", "ERROR:911", "ERROR:980",
            "ADMIN_PASSWD_STATUS:0" }));
    alice.session.disconnect();

    Client old(service);
    old.login("alice");
    EXPECT_EQ(old.messages().back(), "ERROR:980");
    Client fresh(service);
    fresh.login("alice", "0x241e"); // roasted "pw"
    EXPECT_EQ(fresh.messages()[2], "NICK:A Lice");
}

TEST_F(ServiceTest, TypingNoticesReachTheOtherSide)
{
    Client alice(service);
    alice.signOn("Alice");
    Client bob(service);
    bob.signOn("bob");
    alice.command("toc2_client_event bob 2");
    alice.command("toc2_client_event nobody 2");
    alice.command("toc2_client_event bob typing");
    EXPECT_EQ(bob.messages(), Lines { "CLIENT_EVENT2:Alice:2" });
    EXPECT_EQ(alice.messages(), Lines { "ERROR:911" });
}

TEST_F(ServiceTest, SecondSignOnTakesOverTheAccount)
{
    Client watcher(service);
    watcher.signOn("watcher");
    watcher.command("toc2_new_buddies \"g:B\nb:alice\n\"");
    Client first(service);
    first.signOn("alice");
    watcher.messages();
    Client second(service);
    second.login("alice");
    EXPECT_TRUE(first.sink.closed);
    EXPECT_FALSE(first.sink.wroteAfterClose);
    EXPECT_EQ(watcher.messages(), Lines { "UPDATE_BUDDY2:alice:F:0:0:0:   :" });
    second.command("toc_init_done");
    EXPECT_EQ(watcher.messages(), Lines { "UPDATE_BUDDY2:alice:T:0:1700000000:0: O :" });
    first.session.disconnect(); // the old connection's end must not sign the new one off
    EXPECT_EQ(service.signedOnCount(), 2u);
}

TEST_F(ServiceTest, BadArgumentsAreRefusedWithoutClosing)
{
    Client alice(service);
    alice.signOn("alice");
    alice.command("toc_send_im bob");
    alice.command("toc_set_idle -5");
    alice.command("toc_set_idle soon");
    alice.command("toc_send_im \"bob");
    alice.command("");
    EXPECT_EQ(alice.messages(), (Lines { "ERROR:911", "ERROR:911", "ERROR:911", "ERROR:911" }));
    EXPECT_FALSE(alice.sink.closed);
}

TEST(ServiceBot, EchoesMessagesButNotAutomaticReplies)
{
    tocd::Service service({ "Echo Bot", [] { return std::int64_t { 1700000000 }; } });
    Client alice(service);
    alice.signOn("alice");
    alice.command("toc_send_im echobot \"hi \\$ there\"");
    alice.command("toc_send_im echobot \"away\" auto");
    alice.command("toc_get_status echobot");
    EXPECT_EQ(alice.messages(),
        (Lines { "IM_IN_ENC2:Echo Bot:F:F:T: O :F:L:en:echo: hi $ there",
            "UPDATE_BUDDY2:Echo Bot:T:0:1700000000:0: O :" }));
    Client impostor(service);
    impostor.login("echobot");
    EXPECT_EQ(impostor.messages().back(), "ERROR:980");
}

TEST_F(ServiceTest, FullestAccountStillSignsOnInOneConfigFrame)
{
    Client alice(service);
    alice.signOn("alice");
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
        const std::string group = "group" + std::to_string(100 + g) + std::string(40, 'g');
        std::string block = "g:" + group + "\n";
        for (int b = 0; b < 10; ++b)
            block += "b:" + name('b', g * 10 + b) + ":" + std::string(48, 'a') + "\n";
        alice.command("toc2_new_buddies \"" + block + "\"");
    }
    alice.session.disconnect();

    Client again(service);
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
