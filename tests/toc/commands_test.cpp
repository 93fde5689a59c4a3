#include <cstdint>
#include <functional>
#include <limits>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/feed.h"

using namespace std::string_literals;
using testing_support::Data;
using testing_support::Session;
using toc::OrbTOCSock;

namespace {

enum class Rooms {
    None,
    Five, // Room0..Room4 with IDs 100..104, in slots 0..4
    Zero, // "Lobby" with ID 0, then "Other" with ID 7
};

struct CommandCase {
    const char* name;
    Rooms rooms;
    std::function<void(OrbTOCSock&)> call;
    std::string expected; // every byte sent; empty when the command must send nothing
};

void join(Session& s, Rooms rooms)
{
    if (rooms == Rooms::Five) {
        for (int i = 0; i < 5; ++i)
            s.Receive(Data("CHAT_JOIN:10" + std::to_string(i) + ":Room" + std::to_string(i)));
    } else if (rooms == Rooms::Zero) {
        s.Receive(Data("CHAT_JOIN:0:Lobby") + Data("CHAT_JOIN:7:Other"));
    }
}

class Command : public testing::TestWithParam<CommandCase> { };

TEST_P(Command, SendsExactBytes)
{
    Session s;
    join(s, GetParam().rooms);
    s.sock->ClearSent();
    GetParam().call(*s.toc);
    EXPECT_EQ(testing_support::Quote(s.sock->AllSent()), testing_support::Quote(GetParam().expected));
}

const CommandCase commandCases[] = {
    { "JoinChatTrimsRoomNameAndQuotesExchange", Rooms::None, [](OrbTOCSock& t) { t.JoinChat("  Room 1  ", 4); },
      "*\x02\x00\x00\x00\x1b" "toc_chat_join \"4\" \"Room 1\"\x00"s },
    { "JoinChatSendsRoomNameUnescaped", Rooms::None, [](OrbTOCSock& t) { t.JoinChat("a\"b$", -1); },
      "*\x02\x00\x00\x00\x1a" "toc_chat_join \"-1\" \"a\"b$\"\x00"s },
    { "LeaveChatUsesGivenID", Rooms::None, [](OrbTOCSock& t) { t.LeaveChat("Nowhere", 9); },
      "*\x02\x00\x00\x00\x13" "toc_chat_leave \"9\"\x00"s },
    { "LeaveChatResolvesNameToItsSlotsID", Rooms::Five, [](OrbTOCSock& t) { t.LeaveChat("Room4"); },
      "*\x02\x00\x00\x00\x15" "toc_chat_leave \"104\"\x00"s },
    { "LeaveChatNameIsCaseSensitive", Rooms::Five, [](OrbTOCSock& t) { t.LeaveChat("room4"); },
      ""s },
    { "LeaveChatUnknownNameSendsNothing", Rooms::Five, [](OrbTOCSock& t) { t.LeaveChat("Elsewhere"); },
      ""s },
    { "LeaveChatEmptyNameDoesNotMatchFreeSlot", Rooms::None, [](OrbTOCSock& t) { t.LeaveChat(""); },
      ""s },
    { "LeaveChatFindsRoomWithIDZero", Rooms::Zero, [](OrbTOCSock& t) { t.LeaveChat("Lobby"); },
      "*\x02\x00\x00\x00\x13" "toc_chat_leave \"0\"\x00"s },
    { "SendChatEscapesMessage", Rooms::Five, [](OrbTOCSock& t) { t.SendChat("Room2", "costs $5 (\"cheap\")"); },
      "*\x02\x00\x00\x00\x2e" "toc_chat_send \"102\" \"costs \\$5 \\(\\\"cheap\\\"\\)\"\x00"s },
    { "SendChatUnknownNameSendsNothing", Rooms::Five, [](OrbTOCSock& t) { t.SendChat("Elsewhere", "hi"); },
      ""s },
    { "SendChatWithIDIgnoresName", Rooms::None, [](OrbTOCSock& t) { t.SendChat("Elsewhere", "hi", 33); },
      "*\x02\x00\x00\x00\x18" "toc_chat_send \"33\" \"hi\"\x00"s },
    { "GetProfileNormalisesName", Rooms::None, [](OrbTOCSock& t) { t.GetProfile(" Joe Smith "); },
      "*\x02\x00\x00\x00\x18" "toc_get_info \"joesmith\"\x00"s },
    { "SendIMNormalisesNameAndEscapesMessage", Rooms::None, [](OrbTOCSock& t) { t.SendIM("Joe Smith", "say \"hi\" for $5", false); },
      "*\x02\x00\x00\x00\x2c" "toc_send_im \"joesmith\" \"say \\\"hi\\\" for \\$5\"\x00"s },
    { "SendIMAutoResponseEndsInAuto", Rooms::None, [](OrbTOCSock& t) { t.SendIM("joe", "away", true); },
      "*\x02\x00\x00\x00\x1e" "toc_send_im \"joe\" \"away\" auto\x00"s },
    { "SendIMKeepsApostropheAndLineBreak", Rooms::None, [](OrbTOCSock& t) { t.SendIM("joe", "it's\nok", false); },
      "*\x02\x00\x00\x00\x1c" "toc_send_im \"joe\" \"it's\nok\"\x00"s },
    { "ChangePasswordEscapesBothInPlainText", Rooms::None, [](OrbTOCSock& t) { t.ChangePassword("o(ld", "n]e\\w"); },
      "*\x02\x00\x00\x00\x24" "toc_change_passwd \"o\\(ld\" \"n\\]e\\\\w\"\x00"s },
    { "FormatUserNameSendsNameUnchanged", Rooms::None, [](OrbTOCSock& t) { t.FormatUserName("Joe Smith$"); },
      "*\x02\x00\x00\x00\x21" "toc_format_nickname \"Joe Smith$\"\x00"s },
    { "SetAwayMessageEmptyIsTwoQuotes", Rooms::None, [](OrbTOCSock& t) { t.SetAwayMessage(""); },
      "*\x02\x00\x00\x00\x10" "toc_set_away \"\"\x00"s },
    { "SetProfileEscapesEveryBracket", Rooms::None, [](OrbTOCSock& t) { t.SetProfile("<a href=\"x\">{[hi]}</a>"); },
      "*\x02\x00\x00\x00\x2c" "toc_set_info \"<a href=\\\"x\\\">\\{\\[hi\\]\\}</a>\"\x00"s },
    { "GetStatusNormalisesName", Rooms::None, [](OrbTOCSock& t) { t.GetStatus("JOE B"); },
      "*\x02\x00\x00\x00\x16" "toc_get_status \"joeb\"\x00"s },
    { "SetIdleTimeSendsSeconds", Rooms::None, [](OrbTOCSock& t) { t.SetIdleTime(10); },
      "*\x02\x00\x00\x00\x13" "toc_set_idle \"600\"\x00"s },
    { "SetIdleTimeZero", Rooms::None, [](OrbTOCSock& t) { t.SetIdleTime(0); },
      "*\x02\x00\x00\x00\x11" "toc_set_idle \"0\"\x00"s },
    { "SetIdleTimeNegative", Rooms::None, [](OrbTOCSock& t) { t.SetIdleTime(-2); },
      "*\x02\x00\x00\x00\x14" "toc_set_idle \"-120\"\x00"s },
    { "SetIdleTimeLargestThatFits", Rooms::None, [](OrbTOCSock& t) { t.SetIdleTime(35791394); },
      "*\x02\x00\x00\x00\x1a" "toc_set_idle \"2147483640\"\x00"s },
    { "SetIdleTimeSmallestThatFits", Rooms::None, [](OrbTOCSock& t) { t.SetIdleTime(-35791394); },
      "*\x02\x00\x00\x00\x1b" "toc_set_idle \"-2147483640\"\x00"s },
    { "AcceptChatInviteQuotesID", Rooms::None, [](OrbTOCSock& t) { t.AcceptChatInvite(-5); },
      "*\x02\x00\x00\x00\x15" "toc_chat_accept \"-5\"\x00"s },
    { "InviteUsersResolvesNameEscapesTextNormalisesUsers", Rooms::Five, [](OrbTOCSock& t) { t.InviteUsers("Room1", "come [in]", "Ann Bee, Cy"); },
      "*\x02\x00\x00\x00\x30" "toc_chat_invite \"101\" \"come \\[in\\]\" \"annbee,cy\"\x00"s },
    { "InviteUsersUnknownNameSendsNothing", Rooms::Five, [](OrbTOCSock& t) { t.InviteUsers("Elsewhere", "x", "ann"); },
      ""s },
    { "WarnUserNormal", Rooms::None, [](OrbTOCSock& t) { t.WarnUser("Joe B", false); },
      "*\x02\x00\x00\x00\x17" "toc_evil \"joeb\" \"norm\"\x00"s },
    { "WarnUserAnonymous", Rooms::None, [](OrbTOCSock& t) { t.WarnUser("joe", true); },
      "*\x02\x00\x00\x00\x16" "toc_evil \"joe\" \"anon\"\x00"s },
    { "AddBuddySendsOneQuotedBlockWithTwoLineFeeds", Rooms::None, [](OrbTOCSock& t) { t.AddBuddy("My Group", "Joe $"); },
      "*\x02\x00\x00\x00\x28" "toc2_new_buddies \"g:My Group\nb:Joe \\$\n\"\x00"s },
    { "RemoveBuddySendsBuddyUnchangedBeforeGroup", Rooms::None, [](OrbTOCSock& t) { t.RemoveBuddy("Gr{p}", "Joe $"); },
      "*\x02\x00\x00\x00\x24" "toc2_remove_buddy \"Joe $\" \"Gr\\{p\\}\"\x00"s },
    { "AddGroupEscapes", Rooms::None, [](OrbTOCSock& t) { t.AddGroup("a\\b"); },
      "*\x02\x00\x00\x00\x16" "toc2_new_group \"a\\\\b\"\x00"s },
    { "RemoveGroupEscapes", Rooms::None, [](OrbTOCSock& t) { t.RemoveGroup("$x"); },
      "*\x02\x00\x00\x00\x15" "toc2_del_group \"\\$x\"\x00"s },
    { "BlockUserNormalises", Rooms::None, [](OrbTOCSock& t) { t.BlockUser("Ann B"); },
      "*\x02\x00\x00\x00\x15" "toc2_add_deny \"annb\"\x00"s },
    { "UnblockUserNormalises", Rooms::None, [](OrbTOCSock& t) { t.UnblockUser("Ann B"); },
      "*\x02\x00\x00\x00\x18" "toc2_remove_deny \"annb\"\x00"s },
    { "AddPrivateUserNormalises", Rooms::None, [](OrbTOCSock& t) { t.AddPrivateUser("Ann B"); },
      "*\x02\x00\x00\x00\x17" "toc2_add_permit \"annb\"\x00"s },
    { "RemovePrivateUserNormalises", Rooms::None, [](OrbTOCSock& t) { t.RemovePrivateUser("Ann B"); },
      "*\x02\x00\x00\x00\x1a" "toc2_remove_permit \"annb\"\x00"s },
    { "SetPrivacySendsModeUnquoted", Rooms::None, [](OrbTOCSock& t) { t.SetPrivacy(4); },
      "*\x02\x00\x00\x00\x12" "toc2_set_pdmode 4\x00"s },
    { "SetPrivacyNegativeMode", Rooms::None, [](OrbTOCSock& t) { t.SetPrivacy(-1); },
      "*\x02\x00\x00\x00\x13" "toc2_set_pdmode -1\x00"s },
    { "SetCapabilitySendsListUnchanged", Rooms::None, [](OrbTOCSock& t) { t.SetCapability("09461343-4C7F-11D1-8222-444553540000,$x"); },
      "*\x02\x00\x00\x00\x37" "toc_set_caps \"09461343-4C7F-11D1-8222-444553540000,$x\"\x00"s },
};

INSTANTIATE_TEST_SUITE_P(EveryCommand, Command, testing::ValuesIn(commandCases),
                         [](const testing::TestParamInfo<CommandCase>& row) { return std::string(row.param.name); });

TEST(Commands, SetIdleTimeOverflowThrowsAndSendsNothing)
{
    Session s;
    EXPECT_THROW(s.toc->SetIdleTime(35791395), std::overflow_error);
    EXPECT_THROW(s.toc->SetIdleTime(-35791395), std::overflow_error);
    EXPECT_THROW(s.toc->SetIdleTime(std::numeric_limits<std::int32_t>::min()), std::overflow_error);
    EXPECT_EQ(s.sock->AllSent(), "");
    // Nothing was consumed: the next command still carries sequence number 0.
    s.toc->SetIdleTime(1);
    EXPECT_EQ(testing_support::Quote(s.sock->AllSent()),
              testing_support::Quote("*\x02\x00\x00\x00\x12" "toc_set_idle \"60\"\x00"s));
}

TEST(Commands, RoomWithIDZeroIsNotTakenForAFreeSlot)
{
    Session s;
    s.Receive(Data("CHAT_JOIN:0:Lobby") + Data("CHAT_JOIN:7:Other"));
    EXPECT_EQ(s.toc->GetChatName(0), "Lobby");
    EXPECT_EQ(s.toc->GetChatName(7), "Other");
    s.toc->SendChat("Lobby", "hi");
    s.toc->InviteUsers("Other", "come", "ann");
    EXPECT_EQ(testing_support::Quote(s.sock->AllSent()),
              testing_support::Quote("*\x02\x00\x00\x00\x17" "toc_chat_send \"0\" \"hi\"\x00"
                                     "*\x02\x00\x01\x00\x21" "toc_chat_invite \"7\" \"come\" \"ann\"\x00"s));
}

TEST(Commands, LeftRoomIsNoLongerResolved)
{
    Session s;
    s.Receive(Data("CHAT_JOIN:0:Lobby") + Data("CHAT_LEFT:0"));
    s.toc->LeaveChat("Lobby");
    s.toc->SendChat("", "hi");
    EXPECT_EQ(s.sock->AllSent(), "");
    EXPECT_EQ(s.toc->GetChatName(0), "[No Chat Name Found for ID]");
}

} // namespace
