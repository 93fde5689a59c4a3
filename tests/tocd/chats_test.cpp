#include <gtest/gtest.h>

#include "tests/tocd/harness.h"

using namespace tocd_test;

namespace {

class ChatTest : public ::testing::Test {
protected:
    tocd::Service service { tocd::Service::Options {
        "echobot", [] { return std::int64_t { 1700000000 }; } } };
};

} // namespace

TEST_F(ChatTest, JoiningListsMembersAndAnnouncesTheJoiner)
{
    Client alice(service);
    alice.signOn("Alice");
    Client bob(service);
    bob.signOn("bob");
    alice.command("toc_chat_join 4 \"Lobby\"");
    EXPECT_EQ(alice.messages(), (Lines { "CHAT_JOIN:0:Lobby", "CHAT_UPDATE_BUDDY:0:T:Alice" }));
    bob.command("toc_chat_join 4 \"  lob BY \"");
    EXPECT_EQ(bob.messages(), (Lines { "CHAT_JOIN:0:Lobby", "CHAT_UPDATE_BUDDY:0:T:Alice:bob" }));
    EXPECT_EQ(alice.messages(), Lines { "CHAT_UPDATE_BUDDY:0:T:bob" });
}

TEST_F(ChatTest, IdsCountPerConnectionAndRejoiningKeepsTheId)
{
    Client alice(service);
    alice.signOn("alice");
    alice.command("toc_chat_join 4 \"One\"");
    alice.command("toc_chat_join 4 \"Two\"");
    alice.command("toc_chat_leave 0");
    alice.command("toc_chat_join 4 \"one\"");
    alice.command("toc_chat_join 5 \"One\"");
    EXPECT_EQ(alice.messages(),
        (Lines { "CHAT_JOIN:0:One", "CHAT_UPDATE_BUDDY:0:T:alice", "CHAT_JOIN:1:Two",
            "CHAT_UPDATE_BUDDY:1:T:alice", "CHAT_LEFT:0", "CHAT_JOIN:0:One",
            "CHAT_UPDATE_BUDDY:0:T:alice", "CHAT_JOIN:2:One", "CHAT_UPDATE_BUDDY:2:T:alice" }));
}

TEST_F(ChatTest, MessagesReachEveryMemberUnderTheirOwnId)
{
    Client alice(service);
    alice.signOn("alice");
    Client bob(service);
    bob.signOn("Bob");
    bob.command("toc_chat_join 4 \"Elsewhere\"");
    alice.command("toc_chat_join 4 \"Room\"");
    bob.command("toc_chat_join 4 \"Room\"");
    alice.messages();
    bob.messages();
    bob.command("toc_chat_send 1 \"a:b \\\"c\\\" \\$d\"");
    EXPECT_EQ(bob.messages(), Lines { "CHAT_IN_ENC:1:Bob:F:A:en:a:b \"c\" $d" });
    EXPECT_EQ(alice.messages(), Lines { "CHAT_IN_ENC:0:Bob:F:A:en:a:b \"c\" $d" });
}

TEST_F(ChatTest, LeavingAndDisconnectingTellTheOthers)
{
    Client alice(service);
    alice.signOn("alice");
    Client bob(service);
    bob.signOn("bob");
    alice.command("toc_chat_join 4 \"Room\"");
    bob.command("toc_chat_join 4 \"Room\"");
    alice.messages();
    bob.messages();
    bob.command("toc_chat_leave 0");
    EXPECT_EQ(bob.messages(), Lines { "CHAT_LEFT:0" });
    EXPECT_EQ(alice.messages(), Lines { "CHAT_UPDATE_BUDDY:0:F:bob" });
    bob.command("toc_chat_send 0 \"still here?\"");
    EXPECT_EQ(bob.messages(), Lines { "ERROR:913:internal server error" });
    bob.command("toc_chat_join 4 \"Room\"");
    bob.messages();
    alice.messages();
    bob.session.disconnect();
    EXPECT_EQ(alice.messages(), Lines { "CHAT_UPDATE_BUDDY:0:F:bob" });
}

TEST_F(ChatTest, InvitationCarriesTheInviteesIdAndAcceptJoins)
{
    Client alice(service);
    alice.signOn("Alice");
    Client bob(service);
    bob.signOn("bob");
    bob.command("toc_chat_join 4 \"Own\"");
    bob.messages();
    alice.command("toc_chat_join 4 \"Party Room\"");
    alice.command("toc_chat_invite 0 \"come: now\" bob nobody");
    EXPECT_EQ(bob.messages(), Lines { "CHAT_INVITE:Party Room:1:Alice:come: now" });
    bob.command("toc_chat_accept 1");
    EXPECT_EQ(
        bob.messages(), (Lines { "CHAT_JOIN:1:Party Room", "CHAT_UPDATE_BUDDY:1:T:Alice:bob" }));
    EXPECT_EQ(alice.messages(),
        (Lines { "CHAT_JOIN:0:Party Room", "CHAT_UPDATE_BUDDY:0:T:Alice", "ERROR:901:nobody",
            "CHAT_UPDATE_BUDDY:0:T:bob" }));
}

TEST_F(ChatTest, UnknownChatIdsAreRefused)
{
    Client alice(service);
    alice.signOn("alice");
    alice.command("toc_chat_send 3 \"x\"");
    alice.command("toc_chat_leave 0");
    alice.command("toc_chat_accept 7");
    alice.command("toc_chat_invite 2 \"x\" bob");
    alice.command("toc_chat_send zero \"x\"");
    EXPECT_EQ(alice.messages(), Lines(5, "ERROR:913:internal server error"));
    EXPECT_FALSE(alice.sink.closed);
}

TEST_F(ChatTest, BadRoomNamesAreRefused)
{
    Client alice(service);
    alice.signOn("alice");
    alice.command("toc_chat_join 4 \"   \"");
    alice.command("toc_chat_join 4 \"a:b\"");
    alice.command("toc_chat_join four \"a\"");
    EXPECT_EQ(alice.messages(), (Lines { "ERROR:911", "ERROR:951:a:b", "ERROR:911" }));
}

TEST_F(ChatTest, BotAcceptsEveryInvitation)
{
    Client alice(service);
    alice.signOn("alice");
    alice.command("toc_chat_join 4 \"Room\"");
    alice.messages();
    alice.command("toc_chat_invite 0 \"join us\" echobot");
    EXPECT_EQ(alice.messages(), Lines { "CHAT_UPDATE_BUDDY:0:T:echobot" });

    // Left alone, the bot goes too.
    alice.command("toc_chat_leave 0");
    Client bob(service);
    bob.signOn("bob");
    bob.command("toc_chat_join 4 \"Room\"");
    EXPECT_EQ(bob.messages(), (Lines { "CHAT_JOIN:0:Room", "CHAT_UPDATE_BUDDY:0:T:bob" }));
}

TEST_F(ChatTest, ChatIdTableIsBoundedAndForgetsOldRoomsFirst)
{
    Client alice(service);
    alice.signOn("alice");
    for (int i = 0; i < 64; ++i) {
        alice.command("toc_chat_join 4 \"r" + std::to_string(i) + "\"");
        alice.command("toc_chat_leave " + std::to_string(i));
    }
    alice.command("toc_chat_join 4 \"new\"");
    alice.command("toc_chat_accept 0");
    alice.command("toc_chat_join 4 \"r1\"");
    const Lines lines = alice.messages();
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[lines.size() - 5], "CHAT_JOIN:64:new");
    EXPECT_EQ(lines[lines.size() - 3], "ERROR:913:internal server error");
    EXPECT_EQ(lines[lines.size() - 2], "CHAT_JOIN:1:r1");

    Client bob(service);
    bob.signOn("bob");
    for (int i = 0; i < 64; ++i)
        bob.command("toc_chat_join 4 \"s" + std::to_string(i) + "\"");
    bob.messages();
    bob.command("toc_chat_join 4 \"one too many\"");
    EXPECT_EQ(bob.messages(), Lines { "ERROR:951:one too many:24" });
}

TEST_F(ChatTest, CrowdedRoomListIsSplitAcrossMessages)
{
    std::vector<std::unique_ptr<Client>> members;
    for (int i = 0; i < 200; ++i) {
        members.push_back(std::make_unique<Client>(service));
        members.back()->signOn("member" + std::to_string(1000 + i));
        members.back()->command("toc_chat_join 4 \"Hall\"");
    }
    Client last(service);
    last.signOn("last");
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
    std::string expected;
    for (int i = 0; i < 200; ++i)
        expected += ":member" + std::to_string(1000 + i);
    EXPECT_EQ(names, expected + ":last");
}
