#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/feed.h"

using namespace std::string_literals;
using testing_support::Data;
using testing_support::FeedEveryWay;
using testing_support::FeedOptions;
using testing_support::OnEvent;
using testing_support::Session;

namespace {

struct MessageCase {
    const char* name;
    std::vector<std::string> payloads; // each sent as one DATA frame, all in one stream
    const char* log;
};

std::string frames(const std::vector<std::string>& payloads)
{
    std::string wire;
    int sequence = 0;
    for (const auto& p : payloads)
        wire += Data(p, sequence++);
    return wire;
}

// The control's chat table after the input, when it holds anything.
std::string chatState(Session& s)
{
    std::string state;
    if (s.toc->LastChatID() != 0)
        state = "LastChatID " + std::to_string(s.toc->LastChatID()) + "\n";
    for (const int id : { 0, 4, 5, 7, 9, 11, 12, 13 }) {
        const std::string name = s.toc->GetChatName(id);
        if (name != "[No Chat Name Found for ID]")
            state += "room " + std::to_string(id) + " " + testing_support::Quote(name) + "\n";
    }
    return state;
}

class ServerMessage : public testing::TestWithParam<MessageCase> { };

TEST_P(ServerMessage, RaisesItsEventsAndFillsTheChatTable)
{
    FeedOptions options;
    options.probe = chatState;
    const auto result = FeedEveryWay(frames(GetParam().payloads), options);
    EXPECT_EQ(result.log, GetParam().log);
    EXPECT_EQ(result.sent, "") << "server messages are never answered";
}

const MessageCase messageCases[] = {
    { "InstantMessageKeepsColonsInText", { "IM_IN_ENC2:joe:F:x:x: O:x:x:en:hello:there" },
      "InstantMessage(\"joe\", \"hello:there\", false, \" O\")\n" },
    { "InstantMessageAutoResponse", { "IM_IN_ENC2:joe:T:x:x: O:x:x:en:brb" },
      "InstantMessage(\"joe\", \"brb\", true, \" O\")\n" },
    { "InstantMessageFlagOtherThanFIsTrue", { "IM_IN_ENC2:joe:f:x:x:AO:x:x:en:" },
      "InstantMessage(\"joe\", \"\", true, \"AO\")\n" },
    { "BuddyUpdateOnline", { "UPDATE_BUDDY2:joe:T:10:1000:5: O:x" },
      "BuddyUpdate(\"joe\", true, 10, 1000, 5, \" O\")\n" },
    { "BuddyUpdateOfflineAtTheLimits", { "UPDATE_BUDDY2:joe:F:-32768:2147483647:-2147483648:U" },
      "BuddyUpdate(\"joe\", false, -32768, 2147483647, -2147483648, \"U\")\n" },
    { "BuddyCapabilitiesKeepColons", { "BUDDY_CAPS2:joe:a,b:c" }, "BuddyCapabilities(\"joe\", \"a,b:c\")\n" },
    { "BuddyBart", { "BART2:joe:0 2 abc:d" }, "BuddyBart(\"joe\", \"0 2 abc:d\")\n" },
    { "ChatJoinTakesASlot", { "CHAT_JOIN:7:Room: A" }, "JoinedChat(\"Room: A\", 7)\nLastChatID 7\nroom 7 \"Room: A\"\n" },
    // Leaving frees the slot but does not change the last joined room.
    { "ChatJoinThenLeave", { "CHAT_JOIN:7:Room: A", "CHAT_LEFT:7" }, "JoinedChat(\"Room: A\", 7)\nLeftChat(7)\nLastChatID 7\n" },
    { "SameRoomJoinedTwiceTakesTwoSlots", { "CHAT_JOIN:7:Room", "CHAT_JOIN:7:Room", "CHAT_LEFT:7" },
      "JoinedChat(\"Room\", 7)\nJoinedChat(\"Room\", 7)\nLeftChat(7)\nLastChatID 7\nroom 7 \"Room\"\n" },
    { "RoomWithIDZeroHoldsItsSlot", { "CHAT_JOIN:0:Lobby", "CHAT_JOIN:5:Other" },
      "JoinedChat(\"Lobby\", 0)\nJoinedChat(\"Other\", 5)\nLastChatID 5\nroom 0 \"Lobby\"\nroom 5 \"Other\"\n" },
    { "RoomWithIDZeroIsLeft", { "CHAT_JOIN:0:Lobby", "CHAT_JOIN:5:Other", "CHAT_LEFT:0" },
      "JoinedChat(\"Lobby\", 0)\nJoinedChat(\"Other\", 5)\nLeftChat(0)\nLastChatID 5\nroom 5 \"Other\"\n" },
    { "RoomWithIDZeroIsLeftFromAnySlot", { "CHAT_JOIN:5:Other", "CHAT_JOIN:0:Lobby", "CHAT_LEFT:5", "CHAT_LEFT:0" },
      "JoinedChat(\"Other\", 5)\nJoinedChat(\"Lobby\", 0)\nLeftChat(5)\nLeftChat(0)\n" },
    // A nameless join raises nothing but still holds its slot.
    { "ChatJoinWithoutNameIsSilent", { "CHAT_JOIN:9" }, "LastChatID 9\nroom 9 \"\"\n" },
    { "ChatJoinWithoutName", { "CHAT_JOIN:9", "CHAT_JOIN:5:Next" },
      "JoinedChat(\"Next\", 5)\nLastChatID 5\nroom 5 \"Next\"\nroom 9 \"\"\n" },
    { "NickKeepsColons", { "NICK:Joe Smith", "NICK:a:b", "NICK:" },
      "ScreennameFormat(\"Joe Smith\")\nScreennameFormat(\"a:b\")\nScreennameFormat(\"\")\n" },
    { "ChatLeftOfUnknownRoomIsStillReported", { "CHAT_LEFT:-3" }, "LeftChat(-3)\n" },
    { "ChatUsersArriving", { "CHAT_UPDATE_BUDDY:7:T:ann:bob:cy" },
      "ChatUserUpdate(\"ann\", true, 7)\nChatUserUpdate(\"bob\", true, 7)\nChatUserUpdate(\"cy\", true, 7)\n" },
    { "ChatUsersLeavingReportOnlyTheFirst", { "CHAT_UPDATE_BUDDY:7:F:ann:bob" }, "ChatUserUpdate(\"ann\", false, 7)\n" },
    { "ChatUsersArrivingKeepEmptyNames", { "CHAT_UPDATE_BUDDY:0:T::bob:" },
      "ChatUserUpdate(\"\", true, 0)\nChatUserUpdate(\"bob\", true, 0)\nChatUserUpdate(\"\", true, 0)\n" },
    { "ChatMessageKeepsColonsInText", { "CHAT_IN_ENC:7:ann:F:x:en:hi: there" }, "ChatMessage(7, \"ann\", \"hi: there\")\n" },
    { "ChatInvite", { "CHAT_INVITE:Room:12:ann:come in: now" }, "ChatInvite(\"Room\", 12, \"ann\", \"come in: now\")\n" },
    { "BuddyAdded", { "INSERTED2:b:Joe:joe:Buddies" }, "BuddyAdded(\"Buddies\", \"joe\", \"Joe\")\n" },
    { "BuddyAddedGroupKeepsColons", { "INSERTED2:b::joe:Co:Workers" }, "BuddyAdded(\"Co:Workers\", \"joe\", \"\")\n" },
    { "OtherListAdditions", { "INSERTED2:p:ann", "INSERTED2:d:bob", "INSERTED2:g:Friends: old" },
      "PrivateBuddyAdded(\"ann\")\nBuddyBlocked(\"bob\")\nGroupAdded(\"Friends: old\")\n" },
    { "BuddyRemoved", { "DELETED2:b:joe:Buddies" }, "BuddyRemoved(\"Buddies\", \"joe\")\n" },
    { "OtherListRemovals", { "DELETED2:p:ann:x", "DELETED2:d:bob", "DELETED2:g:Friends: old" },
      "PrivateBuddyRemoved(\"ann\")\nBuddyUnblocked(\"bob\")\nGroupRemoved(\"Friends: old\")\n" },
    { "UnknownListKindsAndUpdatesAreIgnored", { "INSERTED2:x:a:b:c:d", "DELETED2:B:a:b", "UPDATED2:b:joe:Buddies" }, "" },
    { "ProfileUrlKeepsColons", { "GOTO_URL:joe:http://example.test:80/info?a:b" },
      "UserProfile(\"http://example.test:80/info?a:b\")\n" },
    { "WarnedLevelIsWrittenBackAsNumber", { "EVILED:015:ann", "EVILED:-0:" }, "Warned(\"15\", \"ann\")\nWarned(\"0\", \"\")\n" },
    { "AdminStatusWhateverTheFields", { "ADMIN_NICK_STATUS:0", "ADMIN_PASSWD_STATUS", "ADMIN_NICK_STATUS:x:y" },
      "ScreenNameFormatted()\nPasswordChanged()\nScreenNameFormatted()\n" },
    { "RendezvousProposal", { "RVOUS_PROPOSE:joe:0946-x:c00k:1:10.0.0.1:10.0.0.2:10.0.0.3:5190:10:abc" },
      "RendevousRequest(\"joe\", \"0946-x\", \"c00k\", \"10.0.0.1\", \"10.0.0.2\", \"10.0.0.3\", 5190)\n" },
    { "TypingStatus", { "CLIENT_EVENT2:joe:2" }, "TypingStatus(\"joe\", 2)\n" },

    { "ErrorNotAvailable", { "ERROR:901:joe" }, "Error(901, \"joe is not available\")\n" },
    { "ErrorArgumentKeepsColons", { "ERROR:901:a:b" }, "Error(901, \"a:b is not available\")\n" },
    { "ErrorWarningNotAvailable", { "ERROR:902:joe" }, "Error(902, \"Warning of joe is not currently available\")\n" },
    { "ErrorFixedTexts", { "ERROR:903", "ERROR:911:x", "ERROR:980", "ERROR:983" },
      "Error(903, \"A message has been dropped, you are exceeding the server speed limit\")\n"
      "Error(911, \"Error validating input\")\n"
      "Error(980, \"Invalid account or password\")\n"
      "Error(983, \"You are attempting to sign on again too soon\")\n" },
    { "ErrorChatJoinSubCodes",
      { "ERROR:951:Room:24", "ERROR:951:Room:-1", "ERROR:951:Room:48", "ERROR:951:Room:74", "ERROR:951:Room:99",
        "ERROR:951:Room", "ERROR:951:Room:24:x" },
      "Error(951, \"Could not join chat 'Room': Chat Full\")\n"
      "Error(951, \"Could not join chat 'Room': Possible Reset\")\n"
      "Error(951, \"Could not join chat 'Room': Rated\")\n"
      "Error(951, \"Could not join chat 'Room': Ejected\")\n"
      "Error(951, \"Could not join chat 'Room': Unknown error\")\n"
      "Error(951, \"Could not join chat 'Room': Unknown error\")\n"
      "Error(951, \"Could not join chat 'Room': Unknown error\")\n" },
    { "ErrorSignOnSubErrors", { "ERROR:989:7", "ERROR:989:17", "ERROR:989:3" },
      "Error(989, \"The screenname or password you entered is not valid\")\n"
      "Error(989, \"Sign on Blocked\")\n"
      "Error(3, \"Unknown error code 989, sub error: 3\")\n" },
    { "ErrorUnknownCodeAsReceived", { "ERROR:999", "ERROR:0901:joe", "ERROR:-5:x" },
      "Error(999, \"Error code: 999\")\nError(901, \"Error code: 0901\")\nError(-5, \"Error code: -5\")\n" },
};

INSTANTIATE_TEST_SUITE_P(EveryMessage, ServerMessage, testing::ValuesIn(messageCases),
                         [](const testing::TestParamInfo<MessageCase>& row) { return std::string(row.param.name); });

// Missing fields, non-numbers and numbers out of range: the message is dropped whole.
const char* const malformed[] = {
    "NICK", "CONFIG2",
    "ERROR", "ERROR:", "ERROR:abc:x", "ERROR:+901:joe", "ERROR: 901:joe", "ERROR:901", "ERROR:902", "ERROR:951",
    "ERROR:989", "ERROR:989:abc", "ERROR:989:40000", "ERROR:40000",
    "UPDATE_BUDDY2", "UPDATE_BUDDY2:joe:T:10:1000:5", "UPDATE_BUDDY2:joe:T:32768:1:1:O",
    "UPDATE_BUDDY2:joe:T:10:2147483648:1:O", "UPDATE_BUDDY2:joe:T:10:1:x:O", "UPDATE_BUDDY2:joe:T::1:1:O",
    "BUDDY_CAPS2", "BUDDY_CAPS2:joe", "BART2:joe",
    "CHAT_JOIN", "CHAT_JOIN:", "CHAT_JOIN:x:Room", "CHAT_JOIN:7 :Room", "CHAT_JOIN:99999999999:Room",
    "CHAT_UPDATE_BUDDY:7:T", "CHAT_UPDATE_BUDDY:7:F", "CHAT_UPDATE_BUDDY:7", "CHAT_UPDATE_BUDDY:x:T:ann",
    "CHAT_IN_ENC:7:ann:F:x:en", "CHAT_IN_ENC:x:ann:F:x:en:hi",
    "CHAT_LEFT", "CHAT_LEFT:", "CHAT_LEFT:7:x", "CHAT_LEFT:0x7",
    "IM_IN_ENC2:joe:F:x:x: O:x:x:en", "IM_IN_ENC2",
    "INSERTED2", "INSERTED2:b:Joe:joe", "INSERTED2:p", "INSERTED2:g",
    "DELETED2:b:joe", "DELETED2:d", "DELETED2:p",
    "CHAT_INVITE:Room:12:ann", "CHAT_INVITE:Room:1e3:ann:hi",
    "GOTO_URL", "GOTO_URL:joe",
    "EVILED:40000:ann", "EVILED:15", "EVILED:x:ann",
    "RVOUS_PROPOSE:joe:u:c:1:a:b:c", "RVOUS_PROPOSE:joe:u:c:1:a:b:c:port",
    "CLIENT_EVENT2:joe", "CLIENT_EVENT2:joe:+1", "CLIENT_EVENT2:joe:2:x",
};

TEST(ServerMessages, MalformedMessagesRaiseNothingAndDoNotDisturbTheNextOne)
{
    std::string wire;
    for (const char* payload : malformed)
        wire += Data(payload);
    wire += Data("IM_IN_ENC2:joe:F:x:x: O:x:x:en:still here");
    FeedOptions options;
    options.probe = chatState;
    const auto result = FeedEveryWay(wire, options);
    EXPECT_EQ(result.log, "InstantMessage(\"joe\", \"still here\", false, \" O\")\n");
    EXPECT_EQ(result.sent, "");
}

TEST(ChatTable, TwelfthJoinFindsNoSlotButIsReported)
{
    std::string joins;
    for (int id = 1; id <= 12; ++id)
        joins += Data("CHAT_JOIN:" + std::to_string(id) + ":R" + std::to_string(id));
    Session s;
    s.Receive(joins);
    EXPECT_EQ(s.rec.log.size(), 12u);
    EXPECT_EQ(s.rec.log.back(), "JoinedChat(\"R12\", 12)");
    EXPECT_EQ(chatState(s),
        "LastChatID 12\nroom 4 \"R4\"\nroom 5 \"R5\"\nroom 7 \"R7\"\nroom 9 \"R9\"\nroom 11 \"R11\"\n");

    // A freed slot takes the next room.
    s.Receive(Data("CHAT_LEFT:4") + Data("CHAT_JOIN:13:R13"));
    EXPECT_EQ(chatState(s),
        "LastChatID 13\nroom 5 \"R5\"\nroom 7 \"R7\"\nroom 9 \"R9\"\nroom 11 \"R11\"\nroom 13 \"R13\"\n");
}

TEST(Reentrancy, JoinedChatHandlerSeesTheRoomAlreadyInTheTable)
{
    const auto result = FeedEveryWay(Data("CHAT_JOIN:7:Room"),
        OnEvent("JoinedChat", [](Session& s) { s.toc->SendChat("Room", "hello"); }));
    EXPECT_EQ(result.sent, "*\x02\x00\x00\x00\x1a" "toc_chat_send \"7\" \"hello\"\x00"s);
}

TEST(Reentrancy, HandlerThatSignsOffStopsTheRestOfTheMessageAndRead)
{
    const auto result = FeedEveryWay(
        Data("CHAT_UPDATE_BUDDY:7:T:ann:bob") + Data("IM_IN_ENC2:joe:F:x:x: O:x:x:en:lost"),
        OnEvent("ChatUserUpdate", [](Session& s) { s.toc->LogOff(); }));
    EXPECT_EQ(result.log, "ChatUserUpdate(\"ann\", true, 7)\nLoggedOut(\"joe\")\n");
}

TEST(Reentrancy, HandlerThatAnswersKeepsTheReadGoing)
{
    const auto result = FeedEveryWay(
        Data("IM_IN_ENC2:joe:F:x:x: O:x:x:en:one") + Data("IM_IN_ENC2:joe:F:x:x: O:x:x:en:two"),
        OnEvent("InstantMessage", [](Session& s) { s.toc->SendIM("joe", "ok", false); }));
    EXPECT_EQ(result.log,
        "InstantMessage(\"joe\", \"one\", false, \" O\")\n"
        "InstantMessage(\"joe\", \"two\", false, \" O\")\n");
    EXPECT_EQ(result.sent,
        "*\x02\x00\x00\x00\x17" "toc_send_im \"joe\" \"ok\"\x00"
        "*\x02\x00\x01\x00\x17" "toc_send_im \"joe\" \"ok\"\x00"s);
}

} // namespace
