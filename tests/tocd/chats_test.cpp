#include "tests/tocd/harness.h"

using namespace tocd_test;
using ChatTest = TocdTest;

TEST_F(ChatTest, MembersJoinTalkAndLeaveUnderTheirOwnIds)
{
    Client& alice = online("Alice");
    Client& bob = online("Bob");
    bob.command("toc_chat_join 4 \"Elsewhere\"");
    bob.messages();
    alice.command("toc_chat_join 4 \"Room\"");
    EXPECT_EQ(alice.messages(), (Lines { "CHAT_JOIN:0:Room", "CHAT_UPDATE_BUDDY:0:T:Alice" }));
    bob.command("toc_chat_join 4 \"  ro OM \"");
    EXPECT_EQ(bob.messages(), (Lines { "CHAT_JOIN:1:Room", "CHAT_UPDATE_BUDDY:1:T:Alice:Bob" }));
    EXPECT_EQ(alice.messages(), Lines { "CHAT_UPDATE_BUDDY:0:T:Bob" });

    bob.command("toc_chat_send 1 \"a:b \\\"c\\\" \\$d\"");
    EXPECT_EQ(bob.messages(), Lines { "CHAT_IN_ENC:1:Bob:F:A:en:a:b \"c\" $d" });
    EXPECT_EQ(alice.messages(), Lines { "CHAT_IN_ENC:0:Bob:F:A:en:a:b \"c\" $d" });

    bob.command("toc_chat_leave 1");
    EXPECT_EQ(bob.messages(), Lines { "CHAT_LEFT:1" });
    EXPECT_EQ(alice.messages(), Lines { "CHAT_UPDATE_BUDDY:0:F:Bob" });
    bob.command("toc_chat_send 1 \"still here?\"");
    EXPECT_EQ(bob.messages(), Lines { "ERROR:913:internal server error" });
    // Back under the same id; another exchange is another room.
    bob.commands({ "toc_chat_join 4 \"room\"", "toc_chat_join 5 \"Room\"" });
    EXPECT_EQ(bob.messages(),
        (Lines { "CHAT_JOIN:1:Room", "CHAT_UPDATE_BUDDY:1:T:Alice:Bob", "CHAT_JOIN:2:Room",
            "CHAT_UPDATE_BUDDY:2:T:Bob" }));
    EXPECT_EQ(alice.messages(), Lines { "CHAT_UPDATE_BUDDY:0:T:Bob" });
    bob.session.disconnect();
    EXPECT_EQ(alice.messages(), Lines { "CHAT_UPDATE_BUDDY:0:F:Bob" });
}

TEST_F(ChatTest, InvitationCarriesTheInviteesIdAndAcceptJoins)
{
    Client& alice = online("Alice");
    Client& bob = online("bob");
    bob.command("toc_chat_join 4 \"Own\"");
    bob.messages();
    alice.commands(
        { "toc_chat_join 4 \"Party Room\"", "toc_chat_invite 0 \"come: now\" bob nobody" });
    EXPECT_EQ(bob.messages(), Lines { "CHAT_INVITE:Party Room:1:Alice:come: now" });
    bob.command("toc_chat_accept 1");
    EXPECT_EQ(
        bob.messages(), (Lines { "CHAT_JOIN:1:Party Room", "CHAT_UPDATE_BUDDY:1:T:Alice:bob" }));
    EXPECT_EQ(alice.messages(),
        (Lines { "CHAT_JOIN:0:Party Room", "CHAT_UPDATE_BUDDY:0:T:Alice", "ERROR:901:nobody",
            "CHAT_UPDATE_BUDDY:0:T:bob" }));
}

TEST_F(ChatTest, BotAcceptsEveryInvitationAndLeavesWhenAlone)
{
    Client& alice = online("alice");
    alice.command("toc_chat_join 4 \"Room\"");
    alice.messages();
    alice.command("toc_chat_invite 0 \"join us\" echobot");
    EXPECT_EQ(alice.messages(), Lines { "CHAT_UPDATE_BUDDY:0:T:Echo Bot" });

    alice.command("toc_chat_leave 0");
    Client& bob = online("bob");
    bob.command("toc_chat_join 4 \"Room\"");
    EXPECT_EQ(bob.messages(), (Lines { "CHAT_JOIN:0:Room", "CHAT_UPDATE_BUDDY:0:T:bob" }));
}

TEST_F(ChatTest, ChatIdTableIsBoundedAndForgetsOldRoomsFirst)
{
    Client& alice = online("alice");
    for (int i = 0; i < 64; ++i) {
        alice.command("toc_chat_join 4 \"r" + std::to_string(i) + "\"");
        alice.command("toc_chat_leave " + std::to_string(i));
    }
    alice.commands({ "toc_chat_join 4 \"new\"", "toc_chat_accept 0", "toc_chat_join 4 \"r1\"" });
    const Lines lines = alice.messages();
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(Lines(lines.end() - 5, lines.end()),
        (Lines { "CHAT_JOIN:64:new", "CHAT_UPDATE_BUDDY:64:T:alice",
            "ERROR:913:internal server error", "CHAT_JOIN:1:r1", "CHAT_UPDATE_BUDDY:1:T:alice" }));

    Client& bob = online("bob");
    for (int i = 0; i < 64; ++i)
        bob.command("toc_chat_join 4 \"s" + std::to_string(i) + "\"");
    bob.messages();
    bob.command("toc_chat_join 4 \"one too many\"");
    EXPECT_EQ(bob.messages(), Lines { "ERROR:913:internal server error" });
}

TEST_F(ChatTest, CrowdedRoomListIsSplitAcrossMessages)
{
    std::string expected;
    for (int i = 0; i < 200; ++i) {
        const std::string name = "member" + std::to_string(1000 + i);
        online(name).command("toc_chat_join 4 \"Hall\"");
        expected += ":" + name;
    }
    Client& last = online("last");
    last.command("toc_chat_join 4 \"Hall\"");
    const Lines lines = last.messages();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "CHAT_JOIN:0:Hall");
    std::string names;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        ASSERT_TRUE(lines[i].starts_with("CHAT_UPDATE_BUDDY:0:T:")) << lines[i];
        EXPECT_LE(lines[i].size(), 2048u);
        names += lines[i].substr(21);
    }
    EXPECT_EQ(names, expected + ":last");
}
