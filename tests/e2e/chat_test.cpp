#include <gtest/gtest.h>

#include "tests/e2e/harness.h"

using e2e::Cli;
using e2e::Json;
using e2e::Tocd;

TEST(Chat, TwoMembersJoinTalkLeaveAndAreInvitedBack)
{
    Tocd tocd;
    Cli alice(tocd.Address(), "alice", "pw");
    Cli bob(tocd.Address(), "bob", "pw");
    alice.ExpectOnline();
    bob.ExpectOnline();

    // Chat IDs count from 0 per connection: the first room of each is room 0.
    alice.Send(Json::array({ "JoinChat", "  Lobby  ", 4 }));
    alice.ExpectArgs("JoinedChat", Json::array({ "Lobby", 0 }));
    alice.ExpectArgs("ChatUserUpdate", Json::array({ "alice", true, 0 }));
    bob.Send(Json::array({ "JoinChat", "Lobby", 4 }));
    bob.ExpectArgs("JoinedChat", Json::array({ "Lobby", 0 }));
    bob.Expect("ChatUserUpdate", [](const Json& a) { return a == Json::array({ "alice", true, 0 }); });
    alice.ExpectArgs("ChatUserUpdate", Json::array({ "bob", true, 0 }));

    bob.Send(Json::array({ "LastChatID" }));
    EXPECT_EQ(bob.ExpectReply(), Json::parse(R"({"result":0})"));
    bob.Send(Json::array({ "GetChatName", 0 }));
    EXPECT_EQ(bob.ExpectReply(), Json::parse(R"({"result":"Lobby"})"));

    // Room 0 is found by its name like any other room.
    const std::string said = "<b>hi</b> all: \"$1\" (ok)";
    alice.Send(Json::array({ "SendChat", "Lobby", said }));
    alice.ExpectArgs("ChatMessage", Json::array({ 0, "alice", said }));
    bob.ExpectArgs("ChatMessage", Json::array({ 0, "alice", said }));
    bob.Send(Json::array({ "SendChat", "Lobby", "bye" }));
    alice.ExpectArgs("ChatMessage", Json::array({ 0, "bob", "bye" }));

    bob.Send(Json::array({ "LeaveChat", "Lobby" }));
    bob.ExpectArgs("LeftChat", Json::array({ 0 }));
    alice.ExpectArgs("ChatUserUpdate", Json::array({ "bob", false, 0 }));

    alice.Send(Json::array({ "InviteUsers", "Lobby", "come back: $5 \"please\"", "B ob" }));
    const Json invite = bob.Expect("ChatInvite");
    ASSERT_TRUE(invite.is_array() && invite.size() == 4);
    EXPECT_EQ(invite[0], "Lobby");
    EXPECT_EQ(invite[2], "alice");
    EXPECT_EQ(invite[3], "come back: $5 \"please\"");
    bob.Send(Json::array({ "AcceptChatInvite", invite[1] }));
    bob.ExpectArgs("JoinedChat", Json::array({ "Lobby", invite[1] }));
    alice.ExpectArgs("ChatUserUpdate", Json::array({ "bob", true, 0 }));
}

TEST(Chat, UnknownRoomIdIsAnError)
{
    Tocd tocd;
    Cli alice(tocd.Address(), "alice", "pw");
    alice.ExpectOnline();
    alice.Send(Json::array({ "SendChat", "", "anyone?", 42 }));
    alice.ExpectArgs("Error", Json::array({ 913, "Error code: 913" }));
}
