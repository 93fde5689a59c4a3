#include <gtest/gtest.h>

#include "tests/e2e/harness.h"

using namespace e2e;

TEST(Chat, TwoMembersJoinTalkLeaveAndAreInvitedBack)
{
    TwoOnline t({ QStringLiteral("--bot"), QStringLiteral("echobot") });
    // Chat IDs count from 0 per connection: the first room of each is room 0.
    t.alice.Send(Json::array({ "JoinChat", "  Lobby  ", 4 }));
    t.alice.ExpectArgs("JoinedChat", Json::array({ "Lobby", 0 }));
    t.alice.ExpectArgs("ChatUserUpdate", Json::array({ "alice", true, 0 }));
    t.bob.Send(Json::array({ "JoinChat", "Lobby", 4 }));
    t.bob.ExpectArgs("JoinedChat", Json::array({ "Lobby", 0 }));
    t.bob.ExpectArgs("ChatUserUpdate", Json::array({ "alice", true, 0 }));
    t.alice.ExpectArgs("ChatUserUpdate", Json::array({ "bob", true, 0 }));

    t.bob.Send(Json::array({ "LastChatID" }));
    EXPECT_EQ(t.bob.ExpectReply(), Json::parse(R"({"result":0})"));
    t.bob.Send(Json::array({ "GetChatName", 0 }));
    EXPECT_EQ(t.bob.ExpectReply(), Json::parse(R"({"result":"Lobby"})"));

    // Room 0 is found by its name like any other room.
    const std::string said = "<b>hi</b> all: \"$1\" (ok)";
    t.alice.Send(Json::array({ "SendChat", "Lobby", said }));
    t.alice.ExpectArgs("ChatMessage", Json::array({ 0, "alice", said }));
    t.bob.ExpectArgs("ChatMessage", Json::array({ 0, "alice", said }));
    t.bob.Send(Json::array({ "SendChat", "Lobby", "bye" }));
    t.alice.ExpectArgs("ChatMessage", Json::array({ 0, "bob", "bye" }));

    t.bob.Send(Json::array({ "LeaveChat", "Lobby" }));
    t.bob.ExpectArgs("LeftChat", Json::array({ 0 }));
    t.alice.ExpectArgs("ChatUserUpdate", Json::array({ "bob", false, 0 }));

    t.alice.Send(Json::array({ "InviteUsers", "Lobby", "come back: $5 \"please\"", "B ob" }));
    const Json invite = t.bob.Expect("ChatInvite");
    ASSERT_TRUE(invite.is_array() && invite.size() == 4);
    EXPECT_EQ(invite[0], "Lobby");
    EXPECT_EQ(invite[2], "alice");
    EXPECT_EQ(invite[3], "come back: $5 \"please\"");
    t.bob.Send(Json::array({ "AcceptChatInvite", invite[1] }));
    t.bob.ExpectArgs("JoinedChat", Json::array({ "Lobby", invite[1] }));
    t.alice.ExpectArgs("ChatUserUpdate", Json::array({ "bob", true, 0 }));

    // The bot takes every invitation.
    t.alice.Send(Json::array({ "InviteUsers", "Lobby", "join us", "echobot" }));
    t.alice.ExpectArgs("ChatUserUpdate", Json::array({ "echobot", true, 0 }));

    t.alice.Send(Json::array({ "SendChat", "", "anyone?", 42 }));
    t.alice.ExpectArgs("Error", Json::array({ 913, "Error code: 913" }));
}
