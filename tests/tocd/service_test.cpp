// The service as its clients see it. Each row is a script: "alice> text" sends a command as alice
// (signed on and visible at her first line), "alice< text" is the next message she must have got
// ("<closed>": her connection was closed), "+key=name|roasted" signs a new connection on without
// toc_init_done (name and roasted password default to the key and "secret"), "-alice" drops her
// connection, "clock n" moves the clock n seconds. At the end nobody has a message left unread.

#include <map>

#include "tests/tocd/harness.h"

using namespace tocd_test;
using namespace std::string_literals;

namespace {

struct Script {
    const char* name;
    std::vector<std::string> steps;
};
void PrintTo(const Script& s, std::ostream* os) { *os << s.name; }

class Service : public TocdTest, public testing::WithParamInterface<Script> { };

TEST_P(Service, Script)
{
    std::map<std::string, Client*> who;
    std::map<std::string, std::deque<std::string>> inbox;
    auto read = [&](const std::string& key) {
        for (std::string& m : who.at(key)->messages())
            inbox[key].push_back(std::move(m));
    };
    for (const std::string& step : GetParam().steps) {
        SCOPED_TRACE(step);
        const std::size_t space = step.find(' ');
        if (step.starts_with('+')) {
            const std::size_t eq = step.find('='), bar = step.find('|');
            const std::string key = step.substr(1, std::min(eq, bar) - 1);
            Client& c = connect();
            c.login(eq == std::string::npos ? key : step.substr(eq + 1, bar - eq - 1),
                bar == std::string::npos ? roastedSecret : std::string_view(step).substr(bar + 1));
            who[key] = &c;
            read(key);
            inbox[key].pop_front(); // the SIGNON frame
        } else if (step.starts_with('-')) {
            who.at(step.substr(1))->session.disconnect();
        } else if (step.starts_with("clock ")) {
            ms += 1000 * std::stoi(step.substr(6));
        } else {
            const std::string key = step.substr(0, space - 1);
            if (step[space - 1] == '>') {
                if (!who.count(key))
                    who[key] = &online(key);
                who[key]->command(step.substr(space + 1));
                continue;
            }
            read(key);
            if (step.substr(space + 1) == "<closed>") {
                EXPECT_TRUE(who[key]->sink.closed);
                continue;
            }
            ASSERT_FALSE(inbox[key].empty());
            EXPECT_EQ(inbox[key].front(), step.substr(space + 1));
            inbox[key].pop_front();
        }
    }
    for (auto& [key, client] : who) {
        read(key);
        EXPECT_EQ(inbox[key], std::deque<std::string> {}) << key << " has messages left";
        EXPECT_FALSE(client->sink.wroteAfterClose) << key;
    }
}

// The bot greets each account as it becomes visible.
const std::string greeting = "IM_IN_ENC2:Echo Bot:F:F:T: O :F:L:en:Hi! I am a bot: send me an IM and I will echo it.";

std::string on(const std::string& name, int warning = 0) { return "UPDATE_BUDDY2:" + name + ":T:" + std::to_string(warning) + ":1700000000:0: O :"; }
std::string off(const std::string& name) { return "UPDATE_BUDDY2:" + name + ":F:0:0:0:   :"; }
const std::string hi = "IM_IN_ENC2:bob:F:F:T: O :F:L:en:hi";

const Script scripts[] = {
    // A buddy before any group line goes to the usual first group.
    { "ListEditsAreConfirmedAndShowInTheNextConfig",
        { "alice> toc2_new_buddies \"b:bob\"", "alice< INSERTED2:g:Buddies", "alice< INSERTED2:b::bob:Buddies",
            "alice> toc2_new_buddies {g:Work\nb:Carol C:Carol\nb:dave\n}", "alice< INSERTED2:g:Work",
            "alice< INSERTED2:b:Carol:Carol C:Work", "alice< INSERTED2:b::dave:Work", "alice> toc2_new_group Empty", "alice< INSERTED2:g:Empty",
            "alice> toc2_remove_buddy dave erin Work", "alice< DELETED2:b:dave:Work", "alice< DELETED2:b:erin:Work",
            "alice> toc2_add_deny carolc", "alice< INSERTED2:d:carolc", "alice> toc2_add_permit dave erin",
            "alice< INSERTED2:p:dave", "alice< INSERTED2:p:erin", "alice> toc2_remove_permit erin", "alice< DELETED2:p:erin",
            "alice> toc2_set_pdmode 4", "alice> toc2_new_group Gone", "alice< INSERTED2:g:Gone", "alice> toc2_del_group Gone",
            "alice< DELETED2:g:Gone", "alice> toc2_add_deny x", "alice< INSERTED2:d:x", "alice> toc2_remove_deny x",
            "alice< DELETED2:d:x", "-alice", "+alice", "alice< SIGN_ON:TOC2.0", "alice< NICK:alice",
            "alice< CONFIG2:d:carolc\np:dave\nm:4\ng:Buddies\nb:bob\ng:Work\nb:Carol C:Carol\ng:Empty\ndone:\n" } },
    // Refused commands are answered, change nothing others see and leave the connection open.
    { "RefusedCommands",
        { "bob> toc_init_done", "alice> toc_bogus 1 2", "alice< ERROR:913:internal server error",
            "alice> toc2_new_buddies \"g:B\nb:bad:name:alias:x\nb:ok:ali:as\n\"", "alice< INSERTED2:g:B", "alice< ERROR:911",
            "alice< ERROR:911", "alice> toc2_new_group \"\"", "alice< ERROR:911", "alice> toc2_add_deny \"no way\" \"b@d!\"",
            "alice< INSERTED2:d:noway", "alice< ERROR:911", "alice> toc2_set_pdmode 6", "alice< ERROR:911",
            "alice> toc2_set_pdmode 0", "alice< ERROR:911", "alice> toc2_remove_buddy bob", "alice< ERROR:911",
            "alice> toc_send_im bob", "alice< ERROR:911", "alice> toc_send_im bob {x {y}", "alice< ERROR:911",
            "alice> toc_send_im nobody hello", "alice< ERROR:901:nobody", "alice> toc_set_idle -5", "alice< ERROR:911",
            "alice> toc_set_idle soon", "alice< ERROR:911", "alice> toc_get_status nobody", "alice< ERROR:901:nobody",
            "alice> toc_get_info nobody", "alice< ERROR:901:nobody", "alice> toc_evil nobody norm", "alice< ERROR:902",
            "alice> toc_evil bob loud", "alice< ERROR:911", "alice> toc_format_nickname Bob", "alice< ERROR:911",
            "alice> toc_change_passwd wrong pw", "alice< ERROR:980", "alice> toc2_client_event nobody 2",
            "alice> toc2_client_event bob typing", "alice< ERROR:911", "alice> toc_chat_send 3 x",
            "alice< ERROR:913:internal server error", "alice> toc_chat_leave 0", "alice< ERROR:913:internal server error",
            "alice> toc_chat_accept 7", "alice< ERROR:913:internal server error", "alice> toc_chat_invite 2 x bob",
            "alice< ERROR:913:internal server error", "alice> toc_chat_join 4 \"   \"", "alice< ERROR:913:internal server error",
            "alice> toc_chat_join 4 a:b", "alice< ERROR:913:internal server error", "alice> toc_chat_join four a",
            "alice< ERROR:913:internal server error",
            "alice> " } },
    { "WatcherSigningOnLaterHearsOfBuddiesOnline",
        { "Alice> toc_set_caps 09461343-4C7F", "bob> toc2_new_buddies \"g:B\nb:alice\nb:carol\n\"", "bob< INSERTED2:g:B",
            "bob< INSERTED2:b::alice:B", "bob< INSERTED2:b::carol:B", "bob< UPDATE_BUDDY2:Alice:T:0:1700000000:0: O :",
            "bob< BUDDY_CAPS2:Alice:09461343-4C7F", "bob> toc_get_info ALICE", "bob< GOTO_URL:profile:info?user=alice",
            "-bob", "+bob", "bob< SIGN_ON:TOC2.0", "bob< NICK:bob", "bob< CONFIG2:g:B\nb:alice\nb:carol\ndone:\n",
            "bob> toc_init_done", "bob< UPDATE_BUDDY2:Alice:T:0:1700000000:0: O :", "bob< BUDDY_CAPS2:Alice:09461343-4C7F",
            "bob< " + greeting } },
    { "PresenceChangesReachWatchers",
        { "bob> toc2_new_buddies \"g:B\nb:alice\n\"", "bob< INSERTED2:g:B", "bob< INSERTED2:b::alice:B",
            "alice> toc_set_away \"out to lunch\"", "bob< UPDATE_BUDDY2:alice:T:0:1700000000:0: O :",
            "bob< UPDATE_BUDDY2:alice:T:0:1700000000:0: OU:", "alice> toc_set_away again", "alice> toc_set_idle 600",
            "bob< UPDATE_BUDDY2:alice:T:0:1700000000:10: OU:", "clock 120", "bob> toc_get_status alice",
            "bob< UPDATE_BUDDY2:alice:T:0:1700000000:12: OU:", "alice> toc_set_caps a \"\" b",
            "bob< BUDDY_CAPS2:alice:a,b", "alice> toc_set_away", "bob< UPDATE_BUDDY2:alice:T:0:1700000000:12: O :",
            "alice> toc_set_idle 0", "bob< UPDATE_BUDDY2:alice:T:0:1700000000:0: O :", "alice> toc_format_nickname {Al Ice}",
            "alice< ADMIN_NICK_STATUS:0", "alice< NICK:Al Ice", "bob< UPDATE_BUDDY2:Al Ice:T:0:1700000000:0: O :",
            "-alice", "bob< UPDATE_BUDDY2:alice:F:0:0:0:   :" } },
    { "InstantMessagesAndTypingCarryTheSender",
        { "bob> toc_init_done", "Alice> toc_set_away brb", "Alice> toc_send_im bob \"<b>hi:</b> \\\"q\\\" \\$5 \\\\ \\{\\}\"",
            "bob< IM_IN_ENC2:Alice:F:F:T: OU:F:L:en:<b>hi:</b> \"q\" $5 \\ {}", "Alice> toc_send_im BOB {>>>auto reply: gone} auto",
            "bob< IM_IN_ENC2:Alice:T:F:T: OU:F:L:en:>>>auto reply: gone", "Alice> toc2_send_im bob x noauto",
            "bob< IM_IN_ENC2:Alice:F:F:T: OU:F:L:en:x", "Alice> toc2_client_event bob 2", "bob< CLIENT_EVENT2:Alice:2",
            "Alice> toc_send_im bob \"a\0b\"\0\0"s, "bob< IM_IN_ENC2:Alice:F:F:T: OU:F:L:en:ab" } },
    // Alice and bob list each other: each change to alice's privacy shows or hides both to each
    // other at once; carol, whom alice does not list, is shown only to what alice's mode allows.
    { "PresenceFollowsPrivacyBothWays",
        { "bob> toc2_new_buddies {g:B\nb:alice\n}", "bob< INSERTED2:g:B", "bob< INSERTED2:b::alice:B", "alice> toc2_new_buddies {g:A\nb:bob\n}",
            "bob< " + on("alice"), "alice< INSERTED2:g:A", "alice< INSERTED2:b::bob:A", "alice< " + on("bob"), "alice> toc2_set_pdmode 2",
            "alice< " + off("bob"), "bob< " + off("alice"), "alice> toc2_set_pdmode 1", "alice< " + on("bob"), "bob< " + on("alice"),
            "alice> toc2_set_pdmode 3", "alice< " + off("bob"), "bob< " + off("alice"), "alice> toc2_add_permit bob", "alice< INSERTED2:p:bob",
            "alice< " + on("bob"), "bob< " + on("alice"), "alice> toc2_remove_permit bob", "alice< DELETED2:p:bob", "alice< " + off("bob"),
            "bob< " + off("alice"), "alice> toc2_set_pdmode 4", "alice< " + on("bob"), "bob< " + on("alice"), "alice> toc2_add_deny bob",
            "alice< INSERTED2:d:bob", "alice< " + off("bob"), "bob< " + off("alice"), "alice> toc_send_im bob x", "alice< ERROR:901:bob",
            "bob> toc_get_status alice", "bob< ERROR:901:alice", "alice> toc2_remove_deny bob", "alice< DELETED2:d:bob", "alice< " + on("bob"),
            "bob< " + on("alice"), "alice> toc2_set_pdmode 5", "carol> toc2_new_buddies {g:C\nb:alice\n}", "carol< INSERTED2:g:C",
            "carol< INSERTED2:b::alice:C", "alice> toc2_set_pdmode 1", "carol< " + on("alice"), "alice> toc_add_deny bob", "alice< " + off("bob"),
            "bob< " + off("alice"), "alice> toc_add_permit bob", "alice< " + on("bob"), "bob< " + on("alice"), "carol< " + off("alice") } },
    // A warning needs an IM received since the last; it weighs 10, or 3 anonymous, shows in presence
    // and loses 5 points every 5 minutes.
    { "WarningsNeedIMsReceivedAndDecay",
        { "carol> toc2_new_buddies {g:C\nb:bob\n}", "carol< INSERTED2:g:C", "carol< INSERTED2:b::bob:C", "Alice> toc_evil bob norm",
            "Alice< ERROR:902", "bob> toc_send_im alice hi", "carol< " + on("bob"), "Alice< " + hi, "Alice> toc_evil bob norm",
            "bob< EVILED:10:Alice", "carol< " + on("bob", 10), "Alice> toc_evil bob anon", "Alice< ERROR:902", "bob> toc_send_im alice hi",
            "Alice< " + hi, "Alice> toc_evil bob anon", "bob< EVILED:13:", "carol< " + on("bob", 13), "clock 299", "carol> toc_get_status bob",
            "carol< " + on("bob", 13), "clock 1", "carol> toc_get_status bob", "carol< " + on("bob", 8), "clock 3600",
            "carol> toc_get_status bob", "carol< " + on("bob"), "Alice> toc_evil bob norm", "Alice< ERROR:902" } },
    // The name as last formatted is the one every later sign-on gets.
    { "NicknameAndPasswordChanges",
        { "+al=Al Ice", "al< SIGN_ON:TOC2.0", "al< NICK:Al Ice", "al< CONFIG2:done:\n", "al> toc_format_nickname \"A Lice\"",
            "al< ADMIN_NICK_STATUS:0", "al< NICK:A Lice", "al> toc_change_passwd secret {Pass word9}", "al< ADMIN_PASSWD_STATUS:0",
            "-al", "+old=alice", "old< ERROR:980", "old< <closed>", "+new=alice|0x0408105C74180c260D5a", "new< SIGN_ON:TOC2.0",
            "new< NICK:A Lice", "new< CONFIG2:done:\n" } },
    { "SecondSignOnTakesOverTheAccount",
        { "watcher> toc2_new_buddies \"g:B\nb:first\n\"", "watcher< INSERTED2:g:B", "watcher< INSERTED2:b::first:B",
            "first> toc_init_done", "watcher< UPDATE_BUDDY2:first:T:0:1700000000:0: O :", "+second=first",
            "first< <closed>", "watcher< UPDATE_BUDDY2:first:F:0:0:0:   :", "second< SIGN_ON:TOC2.0", "second< NICK:first",
            "second< CONFIG2:done:\n", "watcher> toc_send_im first hi", "watcher< ERROR:901:first", "watcher> toc_get_status first",
            "watcher< ERROR:901:first", "clock 5", "second> toc_init_done", "second< " + greeting, "watcher< UPDATE_BUDDY2:first:T:0:1700000000:0: O :",
            "-first", "watcher> toc_get_status first", "watcher< UPDATE_BUDDY2:first:T:0:1700000000:0: O :" } },
    { "BotEchoesButNotAutomaticReplies",
        { "alice> toc_send_im echobot \"hi \\$ there\"", "alice< IM_IN_ENC2:Echo Bot:F:F:T: O :F:L:en:echo: hi $ there",
            "alice> toc_send_im echobot away auto", "alice> toc_get_status echobot",
            "alice< UPDATE_BUDDY2:Echo Bot:T:0:1700000000:0: O :", "+bot=echobot", "bot< ERROR:980", "bot< <closed>" } },

    // Chat rooms: each member knows a room by its own id.
    { "MembersJoinTalkAndLeave",
        { "Bob> toc_chat_join 4 Elsewhere", "Bob< CHAT_JOIN:0:Elsewhere", "Bob< CHAT_UPDATE_BUDDY:0:T:Bob",
            "Alice> toc_chat_join 4 Room", "Alice< CHAT_JOIN:0:Room", "Alice< CHAT_UPDATE_BUDDY:0:T:Alice",
            "Bob> toc_chat_join 4 \"  ro OM \"", "Bob< CHAT_JOIN:1:Room", "Bob< CHAT_UPDATE_BUDDY:1:T:Alice:Bob",
            "Alice< CHAT_UPDATE_BUDDY:0:T:Bob", "Bob> toc_chat_send 1 \"a:b \\\"c\\\" \\$d\"",
            "Alice< CHAT_IN_ENC:0:Bob:F:A:en:a:b \"c\" $d", "Bob< CHAT_IN_ENC:1:Bob:F:A:en:a:b \"c\" $d",
            "Bob> toc_chat_leave 1", "Bob< CHAT_LEFT:1", "Alice< CHAT_UPDATE_BUDDY:0:F:Bob", "Bob> toc_chat_send 1 x",
            "Bob< ERROR:913:internal server error", "Bob> toc_chat_join 4 room", "Bob< CHAT_JOIN:1:Room",
            "Bob< CHAT_UPDATE_BUDDY:1:T:Alice:Bob", "Alice< CHAT_UPDATE_BUDDY:0:T:Bob", "Bob> toc_chat_join 5 Room",
            "Bob< CHAT_JOIN:2:Room", "Bob< CHAT_UPDATE_BUDDY:2:T:Bob", "-Bob", "Alice< CHAT_UPDATE_BUDDY:0:F:Bob" } },
    { "InvitationCarriesTheInviteesId",
        { "bob> toc_chat_join 4 Own", "bob< CHAT_JOIN:0:Own", "bob< CHAT_UPDATE_BUDDY:0:T:bob",
            "Alice> toc_chat_join 4 \"Party Room\"", "Alice< CHAT_JOIN:0:Party Room", "Alice< CHAT_UPDATE_BUDDY:0:T:Alice",
            "Alice> toc_chat_invite 0 \"come: now\" bob nobody", "bob< CHAT_INVITE:Party Room:1:Alice:come: now",
            "Alice< ERROR:901:nobody", "bob> toc_chat_accept 1", "bob< CHAT_JOIN:1:Party Room",
            "bob< CHAT_UPDATE_BUDDY:1:T:Alice:bob", "Alice< CHAT_UPDATE_BUDDY:0:T:bob" } },
    { "BotAcceptsInvitationsAndLeavesWhenAlone",
        { "alice> toc_chat_join 4 Room", "alice< CHAT_JOIN:0:Room", "alice< CHAT_UPDATE_BUDDY:0:T:alice",
            "alice> toc_chat_invite 0 \"join us\" echobot", "alice< CHAT_UPDATE_BUDDY:0:T:Echo Bot", "alice> toc_chat_leave 0",
            "alice< CHAT_LEFT:0", "bob> toc_chat_join 4 Room", "bob< CHAT_JOIN:0:Room", "bob< CHAT_UPDATE_BUDDY:0:T:bob" } },
};

INSTANTIATE_TEST_SUITE_P(Scripts, Service, testing::ValuesIn(scripts), [](const auto& s) { return std::string(s.param.name); });

using Limits = TocdTest;

// Whoever signs off, every session still signed on stays in the keep-alive round.
TEST_F(Limits, KeepAlivesReachEverySessionStillOn)
{
    Client &a = online("a"), &b = online("b"), &c = online("c");
    a.session.disconnect();
    c.session.disconnect();
    service.keepAlive();
    EXPECT_EQ(b.messages(), Lines { "<keep-alive>" });
}

TEST_F(Limits, WarningsStopAtAHundred)
{
    Client &bob = online("bob"), &alice = online("alice");
    for (int i = 0; i < 13; ++i, bob.command("toc_send_im alice hi"))
        alice.command("toc_evil bob norm");
    EXPECT_EQ(bob.messages().back(), "EVILED:100:alice");
}

TEST_F(Limits, ChatIdsAreBoundedAndOldRoomsForgottenFirst)
{
    Client& alice = online("alice");
    for (int i = 0; i < 64; ++i)
        alice.commands({ "toc_chat_join 4 r" + std::to_string(i), "toc_chat_leave " + std::to_string(i) });
    alice.messages();
    alice.commands({ "toc_chat_join 4 new", "toc_chat_accept 0", "toc_chat_join 4 r1" });
    EXPECT_EQ(alice.messages(), (Lines { "CHAT_JOIN:64:new", "CHAT_UPDATE_BUDDY:64:T:alice",
        "ERROR:913:internal server error", "CHAT_JOIN:1:r1", "CHAT_UPDATE_BUDDY:1:T:alice" }));
    Client& bob = online("bob");
    for (int i = 0; i < 64; ++i)
        bob.command("toc_chat_join 4 s" + std::to_string(i));
    bob.messages();
    bob.command("toc_chat_join 4 \"one too many\"");
    EXPECT_EQ(bob.messages(), Lines { "ERROR:913:internal server error" });
}

TEST_F(Limits, CrowdedRoomListIsSplitAcrossMessages)
{
    std::string expected;
    for (int i = 0; i < 200; ++i) {
        online("member" + std::to_string(1000 + i)).command("toc_chat_join 4 Hall");
        expected += ":member" + std::to_string(1000 + i);
    }
    Client& last = online("last");
    last.command("toc_chat_join 4 Hall");
    std::string names;
    for (const std::string& m : last.messages()) {
        EXPECT_LE(m.size(), 2048u);
        if (m.starts_with("CHAT_UPDATE_BUDDY:0:T:"))
            names += m.substr(21);
    }
    EXPECT_EQ(names, expected + ":last");
}

// Every list at its limit, names and aliases at theirs: still one CONFIG2 frame at the next sign-on.
TEST_F(Limits, FullestAccountSignsOnInOneConfigFrame)
{
    Client& alice = online("alice");
    const auto name = [](char tag, int i) { return tag + std::to_string(1000 + i) + std::string(27, 'x') + std::string(16, ' '); };
    for (int i = 0; i < 250; ++i)
        alice.commands({ "toc2_add_deny \"" + name('d', i) + "\"", "toc2_add_permit \"" + name('p', i) + "\"" });
    for (int g = 0; g < 60; ++g) {
        std::string block = "g:group" + std::to_string(100 + g) + std::string(40, 'g') + "\n";
        for (int b = 0; b < 10; ++b)
            block += "b:" + name('b', g * 10 + b) + ":" + std::string(48, 'a') + "\n";
        alice.command("toc2_new_buddies \"" + block + "\"");
    }
    const std::string config = signOn("alice").messages().back(); // takes the account over
    std::size_t lines[128] = {};
    for (std::size_t i = 8; i + 1 < config.size(); i = config.find('\n', i) + 1)
        ++lines[static_cast<unsigned char>(config[i])];
    EXPECT_GT(config.size(), 60000u);
    EXPECT_EQ(std::vector<std::size_t>({ lines['d'], lines['p'], lines['g'], lines['b'] }),
        std::vector<std::size_t>({ 200 + 1 /* done: */, 200, 50, 450 }));
}

} // namespace
