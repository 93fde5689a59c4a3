#include <gtest/gtest.h>

#include "tests/e2e/harness.h"

using namespace e2e;

namespace {

Json J(const char* text) { return Json::parse(text); }

} // namespace

// Two people and the server over 127.0.0.1, as a day of use goes: sign-on, a buddy, IMs both ways,
// a chat, keep-alives, sign-off, and the buddy list back at the next sign-on.
TEST(EndToEnd, TwoUsersSignOnAddABuddyTalkChatAndSignOff)
{
    Tocd tocd({ QStringLiteral("--keepalive"), QStringLiteral("1") });
    Cli alice(tocd.Address(), "Alice", "secret");
    EXPECT_EQ(alice.ExpectOnline(), J(R"(["alice",[],[],[],[],"",0])"));
    alice.Send(Json::array({ "AddGroup", "Friends" }));
    alice.ExpectArgs("GroupAdded", Json::array({ "Friends" }));
    alice.Send(Json::array({ "AddBuddy", "Friends", "bob" }));
    alice.Expect("BuddyAdded", [](const Json& a) { return a[0] == "Friends" && a[1] == "bob"; });
    Cli wrong(tocd.Address(), "alice", "wrong");
    wrong.ExpectArgs("Error", J(R"([980,"Invalid account or password"])"));
    EXPECT_EQ(wrong.WaitForExit(), 3); // not worth a restart

    Cli bob(tocd.Address(), "B ob", "pw");
    bob.ExpectOnline();
    alice.Expect("BuddyUpdate", [](const Json& a) { return a[0] == "bob" && a[1] == true && a[5] == " O "; });
    const std::string toBob = R"(<font color="#ff0000">Re: 10:30 "quoted" costs $5 \ (a) [b] {c}</font>)";
    alice.Send(Json::array({ "SendIM", "B ob", toBob }));
    bob.ExpectArgs("InstantMessage", Json::array({ "alice", toBob, false, " O " }));
    const std::string toAlice = "<i>auto:</i> $HOME is \"away\": 1:2:3";
    bob.Send(Json::array({ "SendIM", "alice", toAlice, true }));
    alice.ExpectArgs("InstantMessage", Json::array({ "bob", toAlice, true, " O " }));
    // A Latin-1 byte and the two bytes of UTF-8 "é" cross unchanged.
    alice.SendRaw(R"(["SendIM", "bob", "caf\u00e9 caf\u00c3\u00a9"])");
    bob.ExpectArgs("InstantMessage", J(R"(["alice", "caf\u00e9 caf\u00c3\u00a9", false, " O "])"));

    alice.Send(Json::array({ "JoinChat", "  Lobby  ", 4 }));
    alice.ExpectArgs("JoinedChat", Json::array({ "Lobby", 0 }));
    bob.Send(Json::array({ "JoinChat", "Lobby", 4 }));
    bob.ExpectArgs("JoinedChat", Json::array({ "Lobby", 0 }));
    alice.ExpectArgs("ChatUserUpdate", Json::array({ "bob", true, 0 }));
    const std::string said = "<b>hi</b> all: \"$1\" (ok)";
    alice.Send(Json::array({ "SendChat", "Lobby", said }));
    bob.ExpectArgs("ChatMessage", Json::array({ 0, "alice", said }));
    bob.Send(Json::array({ "LeaveChat", "Lobby" }));
    bob.ExpectArgs("LeftChat", Json::array({ 0 }));
    alice.ExpectArgs("ChatUserUpdate", Json::array({ "bob", false, 0 }));
    alice.Send(Json::array({ "InviteUsers", "Lobby", "come back: $5 \"please\"", "B ob" }));
    const Json invite = bob.Expect("ChatInvite");
    ASSERT_TRUE(invite.is_array() && invite.size() == 4);
    EXPECT_EQ(invite[3], "come back: $5 \"please\"");
    bob.Send(Json::array({ "AcceptChatInvite", invite[1] }));
    alice.ExpectArgs("ChatUserUpdate", Json::array({ "bob", true, 0 }));

    // The server's keep-alives are answered: an IM still flows after one.
    alice.Expect("IncomingPacket", [](const Json& a) {
        const std::string frame = a[0];
        return frame.size() == 6 && frame.compare(0, 2, "*\x05") == 0 && frame.compare(4, 2, std::string(2, '\0')) == 0;
    });
    bob.Send(Json::array({ "SendIM", "alice", "still there?" }));
    alice.ExpectArgs("InstantMessage", Json::array({ "bob", "still there?", false, " O " }));

    // A script may write before its sign-on is through and end its input at once.
    Cli carol(tocd.Address(), "carol", "pw");
    carol.Send(Json::array({ "SendIM", "alice", "written ahead" }));
    carol.CloseInput();
    alice.ExpectArgs("InstantMessage", Json::array({ "carol", "written ahead", false, " O " }));
    EXPECT_EQ(carol.WaitForExit(), 0);

    bob.Send(Json::array({ "LogOff" }));
    bob.ExpectArgs("LoggedOut", Json::array({ "bob" }));
    EXPECT_EQ(bob.WaitForExit(), 0);
    alice.ExpectArgs("BuddyUpdate", Json::array({ "bob", false, 0, 0, 0, "   " }));
    alice.CloseInput();
    EXPECT_EQ(alice.WaitForExit(), 0);
    Cli again(tocd.Address(), "alice", "secret");
    EXPECT_EQ(again.ExpectOnline(), J(R"(["alice",["[group]Friends","bob"],[],[],[],"",0])"));
}
