#include <set>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/feed.h"

using testing_support::Data;
using testing_support::FeedEveryWay;
using testing_support::Frame;
using testing_support::Session;

namespace {

struct DispatchCase {
    const char* name;
    std::string wire;
    const char* log;
    std::string sent;
};

class FrameDispatch : public testing::TestWithParam<DispatchCase> { };

TEST_P(FrameDispatch, ReportsEveryFrameThenActsByType)
{
    const auto result = FeedEveryWay(GetParam().wire, { true, {}, {} });
    EXPECT_EQ(result.log, GetParam().log);
    EXPECT_EQ(testing_support::Quote(result.sent), testing_support::Quote(GetParam().sent));
}

const DispatchCase dispatchCases[] = {
    { "KeepAliveIsAnsweredWithEmptyKeepAlive", Frame(5, ""), "IncomingPacket(6 bytes)\n",
      std::string("*\x05\x00\x00\x00\x00", 6) },
    { "KeepAlivePayloadIsIgnored", Frame(5, "xyz", 9), "IncomingPacket(9 bytes)\n", std::string("*\x05\x00\x00\x00\x00", 6) },
    { "ErrorAndSignOffFramesOnlyReported", Frame(3, "ERROR:901:joe") + Frame(4, ""),
      "IncomingPacket(19 bytes)\nIncomingPacket(6 bytes)\n", "" },
    { "UnknownTypesReportTheTypeByteItself",
      Frame(9, "IM_IN_ENC2:joe:F:x:x:x:x:x:x:hi") + Frame(0, "") + Frame(255, "") + Frame(':', ""),
      "IncomingPacket(37 bytes)\nError(0, \"Unknown Channel Detected: \\x09\")\n"
      "IncomingPacket(6 bytes)\nError(0, \"Unknown Channel Detected: \\x00\")\n"
      "IncomingPacket(6 bytes)\nError(0, \"Unknown Channel Detected: \\xff\")\n"
      "IncomingPacket(6 bytes)\nError(0, \"Unknown Channel Detected: :\")\n",
      "" },
    { "UnknownCommandWordsOnlyReported", Data("HELLO:x") + Data("nick:Joe") + Data("") + Data(":NICK:Joe"),
      "IncomingPacket(13 bytes)\nIncomingPacket(14 bytes)\nIncomingPacket(6 bytes)\nIncomingPacket(15 bytes)\n", "" },
    { "SignOnAndUpdatedDoNothing", Data("SIGN_ON:TOC2.0") + Data("UPDATED2:b:joe"),
      "IncomingPacket(20 bytes)\nIncomingPacket(20 bytes)\n", "" },
    { "PacketIsReportedBeforeItsEvents", Data("NICK:Joe") + Data("CHAT_UPDATE_BUDDY:1:T:a:b"),
      "IncomingPacket(14 bytes)\nScreennameFormat(\"Joe\")\n"
      "IncomingPacket(31 bytes)\nChatUserUpdate(\"a\", true, 1)\nChatUserUpdate(\"b\", true, 1)\n",
      "" },
    // Sequence 0x3a3a and a 58-byte payload: three header bytes are ':'.
    { "ColonBytesInTheHeaderChangeNoField",
      Frame(2, "IM_IN_ENC2:joe:F:x:x: O:x:x:en:twenty-seven bytes of text!", 0x3a3a),
      "IncomingPacket(64 bytes)\nInstantMessage(\"joe\", \"twenty-seven bytes of text!\", false, \" O\")\n", "" },
};

INSTANTIATE_TEST_SUITE_P(ByType, FrameDispatch, testing::ValuesIn(dispatchCases),
                         [](const testing::TestParamInfo<DispatchCase>& row) { return std::string(row.param.name); });

// Every event of the interface must be raised by something these tests feed, so none can rot
// unnoticed. Number 7 has no name and is never raised.
TEST(FrameDispatch, EveryEventIsRaisedBySomeInput)
{
    const char* const everyEvent[] = {
        "JoinedChat", "ChatMessage", "ChatInvite", "LeftChat", "ChatUserUpdate", "BuddyUpdate",
        "BuddyCapabilities", "BuddyBart", "BuddyAdded", "GroupAdded", "PrivateBuddyAdded", "BuddyBlocked",
        "BuddyRemoved", "GroupRemoved", "PrivateBuddyRemoved", "BuddyUnblocked", "LoggedIn", "LoggedOut",
        "ScreennameFormat", "InstantMessage", "UserProfile", "Error", "Warned", "TypingStatus", "WinsockError",
        "RendevousRequest", "IncomingPacket", "PasswordChanged", "ScreenNameFormatted",
    };
    const std::string wire = Data("CHAT_JOIN:7:Room") + Data("CHAT_IN_ENC:7:ann:F:x:en:hi")
        + Data("CHAT_INVITE:Room:7:ann:come") + Data("CHAT_UPDATE_BUDDY:7:T:bob") + Data("CHAT_LEFT:7")
        + Data("UPDATE_BUDDY2:joe:T:0:1:0: O:x") + Data("BUDDY_CAPS2:joe:caps") + Data("BART2:joe:bart")
        + Data("INSERTED2:b:Joe:joe:Buddies") + Data("INSERTED2:g:Work") + Data("INSERTED2:p:ann")
        + Data("INSERTED2:d:bob") + Data("DELETED2:b:joe:Buddies") + Data("DELETED2:g:Work")
        + Data("DELETED2:p:ann:x") + Data("DELETED2:d:bob") + Data("CONFIG2:done:\n") + Data("NICK:Joe")
        + Data("IM_IN_ENC2:joe:F:x:x: O:x:x:en:hi") + Data("GOTO_URL:joe:http://x/") + Data("ERROR:901:joe")
        + Data("EVILED:10:ann") + Data("CLIENT_EVENT2:joe:1") + Data("RVOUS_PROPOSE:joe:u:c:1:a:b:c:5190")
        + Data("ADMIN_PASSWD_STATUS:0") + Data("ADMIN_NICK_STATUS:0");

    Session s;
    s.rec.logPackets = true;
    s.Receive(wire);
    s.toc->LogOff();
    s.sock->Fail("Connection refused");

    std::set<std::string> raised;
    for (const auto& line : s.rec.log)
        raised.insert(line.substr(0, line.find('(')));
    for (const char* name : everyEvent)
        EXPECT_TRUE(raised.count(name)) << name << " is raised by no input";
    EXPECT_EQ(raised.size(), std::size(everyEvent));
}

} // namespace
