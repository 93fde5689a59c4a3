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

// Rooms joined before the command: Room0..Room4 with IDs 100..104; "Lobby" with ID 0 then "Other".
const std::string None;
const std::string Five = Data("CHAT_JOIN:100:Room0") + Data("CHAT_JOIN:101:Room1")
    + Data("CHAT_JOIN:102:Room2") + Data("CHAT_JOIN:103:Room3") + Data("CHAT_JOIN:104:Room4");
const std::string Zero = Data("CHAT_JOIN:0:Lobby") + Data("CHAT_JOIN:7:Other");
const std::string ZeroLeft = Zero + Data("CHAT_LEFT:0");

struct CommandCase {
    const char* name;
    std::string rooms;
    std::function<void(OrbTOCSock&)> call;
    std::string expected; // every byte sent; empty when the command must send nothing
};

class Command : public testing::TestWithParam<CommandCase> { };

TEST_P(Command, SendsExactBytes)
{
    Session s;
    s.Receive(GetParam().rooms);
    s.sock->ClearSent();
    GetParam().call(*s.toc);
    EXPECT_EQ(testing_support::Quote(s.sock->AllSent()), testing_support::Quote(GetParam().expected));
}

const CommandCase commandCases[] = {
    { "JoinChatTrimsRoomNameAndQuotesExchange", None, [](OrbTOCSock& t) { t.JoinChat("  Room 1  ", 4); },
      "*\x02\x00\x00\x00\x1b" "toc_chat_join \"4\" \"Room 1\"\x00"s },
    { "JoinChatSendsRoomNameUnescaped", None, [](OrbTOCSock& t) { t.JoinChat("a\"b$", -1); },
      "*\x02\x00\x00\x00\x1a" "toc_chat_join \"-1\" \"a\"b$\"\x00"s },
    { "LeaveChatUsesGivenID", None, [](OrbTOCSock& t) { t.LeaveChat("Nowhere", 9); },
      "*\x02\x00\x00\x00\x13" "toc_chat_leave \"9\"\x00"s },
    { "LeaveChatResolvesNameToItsSlotsID", Five, [](OrbTOCSock& t) { t.LeaveChat("Room4"); },
      "*\x02\x00\x00\x00\x15" "toc_chat_leave \"104\"\x00"s },
    { "LeaveChatNameIsCaseSensitive", Five, [](OrbTOCSock& t) { t.LeaveChat("room4"); }, ""s },
    { "LeaveChatEmptyNameDoesNotMatchFreeSlot", None, [](OrbTOCSock& t) { t.LeaveChat(""); }, ""s },
    { "LeaveChatFindsRoomWithIDZero", Zero, [](OrbTOCSock& t) { t.LeaveChat("Lobby"); },
      "*\x02\x00\x00\x00\x13" "toc_chat_leave \"0\"\x00"s },
    { "SendChatFindsRoomWithIDZero", Zero, [](OrbTOCSock& t) { t.SendChat("Lobby", "hi"); },
      "*\x02\x00\x00\x00\x17" "toc_chat_send \"0\" \"hi\"\x00"s },
    { "InviteUsersFindsRoomAfterIDZero", Zero, [](OrbTOCSock& t) { t.InviteUsers("Other", "come", "ann"); },
      "*\x02\x00\x00\x00\x21" "toc_chat_invite \"7\" \"come\" \"ann\"\x00"s },
    { "LeaveChatDoesNotFindALeftRoom", ZeroLeft, [](OrbTOCSock& t) { t.LeaveChat("Lobby"); }, ""s },
    { "SendChatEmptyNameDoesNotMatchALeftRoom", ZeroLeft, [](OrbTOCSock& t) { t.SendChat("", "hi"); }, ""s },
    { "SendChatEscapesMessage", Five, [](OrbTOCSock& t) { t.SendChat("Room2", "costs $5 (\"cheap\")"); },
      "*\x02\x00\x00\x00\x2e" "toc_chat_send \"102\" \"costs \\$5 \\(\\\"cheap\\\"\\)\"\x00"s },
    { "SendChatUnknownNameSendsNothing", Five, [](OrbTOCSock& t) { t.SendChat("Elsewhere", "hi"); }, ""s },
    { "SendChatWithIDIgnoresName", None, [](OrbTOCSock& t) { t.SendChat("Elsewhere", "hi", 33); },
      "*\x02\x00\x00\x00\x18" "toc_chat_send \"33\" \"hi\"\x00"s },
    { "GetProfileNormalisesName", None, [](OrbTOCSock& t) { t.GetProfile(" Joe Smith "); },
      "*\x02\x00\x00\x00\x18" "toc_get_info \"joesmith\"\x00"s },
    { "SendIMNormalisesNameAndEscapesMessage", None, [](OrbTOCSock& t) { t.SendIM("Joe Smith", "say \"hi\" for $5", false); },
      "*\x02\x00\x00\x00\x2c" "toc_send_im \"joesmith\" \"say \\\"hi\\\" for \\$5\"\x00"s },
    { "SendIMAutoResponseEndsInAuto", None, [](OrbTOCSock& t) { t.SendIM("joe", "away", true); },
      "*\x02\x00\x00\x00\x1e" "toc_send_im \"joe\" \"away\" auto\x00"s },
    { "ChangePasswordEscapesBothInPlainText", None, [](OrbTOCSock& t) { t.ChangePassword("o(ld", "n]e\\w"); },
      "*\x02\x00\x00\x00\x24" "toc_change_passwd \"o\\(ld\" \"n\\]e\\\\w\"\x00"s },
    { "FormatUserNameSendsNameUnchanged", None, [](OrbTOCSock& t) { t.FormatUserName("Joe Smith$"); },
      "*\x02\x00\x00\x00\x21" "toc_format_nickname \"Joe Smith$\"\x00"s },
    { "SetAwayMessageEmptyIsTwoQuotes", None, [](OrbTOCSock& t) { t.SetAwayMessage(""); },
      "*\x02\x00\x00\x00\x10" "toc_set_away \"\"\x00"s },
    { "SetProfileEscapesEveryBracket", None, [](OrbTOCSock& t) { t.SetProfile("<a href=\"x\">{[hi]}</a>"); },
      "*\x02\x00\x00\x00\x2c" "toc_set_info \"<a href=\\\"x\\\">\\{\\[hi\\]\\}</a>\"\x00"s },
    { "GetStatusNormalisesName", None, [](OrbTOCSock& t) { t.GetStatus("JOE B"); },
      "*\x02\x00\x00\x00\x16" "toc_get_status \"joeb\"\x00"s },
    { "SetIdleTimeSendsSeconds", None, [](OrbTOCSock& t) { t.SetIdleTime(10); },
      "*\x02\x00\x00\x00\x13" "toc_set_idle \"600\"\x00"s },
    { "SetIdleTimeNegative", None, [](OrbTOCSock& t) { t.SetIdleTime(-2); },
      "*\x02\x00\x00\x00\x14" "toc_set_idle \"-120\"\x00"s },
    { "SetIdleTimeLargestThatFits", None, [](OrbTOCSock& t) { t.SetIdleTime(35791394); },
      "*\x02\x00\x00\x00\x1a" "toc_set_idle \"2147483640\"\x00"s },
    { "SetIdleTimeSmallestThatFits", None, [](OrbTOCSock& t) { t.SetIdleTime(-35791394); },
      "*\x02\x00\x00\x00\x1b" "toc_set_idle \"-2147483640\"\x00"s },
    { "AcceptChatInviteQuotesID", None, [](OrbTOCSock& t) { t.AcceptChatInvite(-5); },
      "*\x02\x00\x00\x00\x15" "toc_chat_accept \"-5\"\x00"s },
    { "InviteUsersResolvesNameEscapesTextNormalisesUsers", Five, [](OrbTOCSock& t) { t.InviteUsers("Room1", "come [in]", "Ann Bee, Cy"); },
      "*\x02\x00\x00\x00\x30" "toc_chat_invite \"101\" \"come \\[in\\]\" \"annbee,cy\"\x00"s },
    { "InviteUsersUnknownNameSendsNothing", Five, [](OrbTOCSock& t) { t.InviteUsers("Elsewhere", "x", "ann"); }, ""s },
    { "WarnUserNormal", None, [](OrbTOCSock& t) { t.WarnUser("Joe B", false); },
      "*\x02\x00\x00\x00\x17" "toc_evil \"joeb\" \"norm\"\x00"s },
    { "WarnUserAnonymous", None, [](OrbTOCSock& t) { t.WarnUser("joe", true); },
      "*\x02\x00\x00\x00\x16" "toc_evil \"joe\" \"anon\"\x00"s },
    { "AddBuddySendsOneQuotedBlockWithTwoLineFeeds", None, [](OrbTOCSock& t) { t.AddBuddy("My Group", "Joe $"); },
      "*\x02\x00\x00\x00\x28" "toc2_new_buddies \"g:My Group\nb:Joe \\$\n\"\x00"s },
    { "RemoveBuddySendsBuddyUnchangedBeforeGroup", None, [](OrbTOCSock& t) { t.RemoveBuddy("Gr{p}", "Joe $"); },
      "*\x02\x00\x00\x00\x24" "toc2_remove_buddy \"Joe $\" \"Gr\\{p\\}\"\x00"s },
    { "AddGroupEscapes", None, [](OrbTOCSock& t) { t.AddGroup("a\\b"); },
      "*\x02\x00\x00\x00\x16" "toc2_new_group \"a\\\\b\"\x00"s },
    { "RemoveGroupEscapes", None, [](OrbTOCSock& t) { t.RemoveGroup("$x"); },
      "*\x02\x00\x00\x00\x15" "toc2_del_group \"\\$x\"\x00"s },
    { "BlockUserNormalises", None, [](OrbTOCSock& t) { t.BlockUser("Ann B"); },
      "*\x02\x00\x00\x00\x15" "toc2_add_deny \"annb\"\x00"s },
    { "UnblockUserNormalises", None, [](OrbTOCSock& t) { t.UnblockUser("Ann B"); },
      "*\x02\x00\x00\x00\x18" "toc2_remove_deny \"annb\"\x00"s },
    { "AddPrivateUserNormalises", None, [](OrbTOCSock& t) { t.AddPrivateUser("Ann B"); },
      "*\x02\x00\x00\x00\x17" "toc2_add_permit \"annb\"\x00"s },
    { "RemovePrivateUserNormalises", None, [](OrbTOCSock& t) { t.RemovePrivateUser("Ann B"); },
      "*\x02\x00\x00\x00\x1a" "toc2_remove_permit \"annb\"\x00"s },
    { "SetPrivacySendsModeUnquoted", None, [](OrbTOCSock& t) { t.SetPrivacy(4); },
      "*\x02\x00\x00\x00\x12" "toc2_set_pdmode 4\x00"s },
    { "SetCapabilitySendsListUnchanged", None, [](OrbTOCSock& t) { t.SetCapability("09461343-4C7F-11D1-8222-444553540000,$x"); },
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

} // namespace
