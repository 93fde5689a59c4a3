#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/support/feed.h"

using namespace std::string_literals;
using testing_support::Data;
using testing_support::FeedEveryWay;
using testing_support::FeedOptions;
using testing_support::Frame;
using testing_support::OnEvent;
using testing_support::Session;
using Log = std::vector<std::string>;

namespace {

// Frames whose handling raises nothing but IncomingPacket: an ERROR and a SIGNOFF frame, and a
// data frame with a command word nobody knows.
const std::string errorFrame = "*\x03\x00\x01\x00\x02no"s;
const std::string signoffFrame = "*\x04\x00\x02\x00\x00"s;
const std::string helloFrame = "*\x02\x00\x03\x00\x08HELLO:\x00:"s;
const std::string errorLine = "IncomingPacket(\"*\\x03\\x00\\x01\\x00\\x02no\")";
const std::string signoffLine = "IncomingPacket(\"*\\x04\\x00\\x02\\x00\\x00\")";
const std::string helloLine = "IncomingPacket(\"*\\x02\\x00\\x03\\x00\\x08HELLO:\\x00:\")";

// Logs every frame in full, so that a test sees exactly which bytes were cut as a frame.
void logPacketBytes(Session& s)
{
    s.rec.logPackets = true;
    s.rec.packetBytes = true;
}

TEST(ConnectionReceive, TheLengthFieldAloneCutsTheStreamInOrder)
{
    // No "*" marker and a length byte that is a colon: still one 64-byte frame. The trailing
    // incomplete frame raises nothing.
    const std::string odd = "?\x04\x00\x00\x00\x3a"s + std::string(0x3a, ':');
    FeedOptions options;
    options.prepare = logPacketBytes;
    const auto result = FeedEveryWay(
        errorFrame + helloFrame + odd + signoffFrame + "*\x03\x00\x01\x00\x05" "abcd"s, options);
    EXPECT_EQ(result.log,
        errorLine + "\n" + helloLine + "\nIncomingPacket(\"?\\x04\\x00\\x00\\x00:"
            + std::string(0x3a, ':') + "\")\n" + signoffLine + "\n");
}

TEST(Connection, NothingPassesUntilConnectedAndTheHandshakeGoesFirst)
{
    Session s;
    s.toc->LogOff();
    s.rec.Clear();
    s.Receive(signoffFrame);
    s.toc->SendPacket(5, "");
    s.toc->Login("Joe", "pw", "toc.example", 5190);
    s.Receive(signoffFrame);
    s.toc->SendPacket(5, "");
    EXPECT_TRUE(s.sock->sent.empty());
    s.sock->CompleteConnect();
    s.toc->SendPacket(5, "");
    EXPECT_EQ(s.sock->sent, (Log { "FLAPON\n\n", "*\x05\x00\x00\x00\x00"s }));
    EXPECT_EQ(s.rec.log, Log {});
}

TEST(ConnectionSend, FramesCarryTypeSequenceLengthAndTheNulOfDataFrames)
{
    Session s;
    s.toc->SendPacket(2, "");
    s.toc->SendPacket(5, "");
    s.toc->SendPacket(1, "\x00\x00\x00\x01"s);
    s.toc->SendPacket(2, "toc_x \"\xe9\"");
    s.toc->SendPacket(255, "z");
    EXPECT_EQ(s.sock->sent,
        (Log { "*\x02\x00\x00\x00\x01\x00"s, "*\x05\x00\x01\x00\x00"s,
            "*\x01\x00\x02\x00\x04\x00\x00\x00\x01"s, "*\x02\x00\x03\x00\x0atoc_x \"\xe9\"\x00"s,
            "*\xff\x00\x04\x00\x01z"s }));
}

TEST(ConnectionSend, WhatTheHeaderCannotCarryIsNotSentAndUsesNoNumber)
{
    Session s;
    s.toc->SendPacket(-1, "a");
    s.toc->SendPacket(256, "a");
    s.toc->SendPacket(2, std::string(65535, 'a')); // 65,536 with its NUL
    s.toc->SendPacket(5, std::string(65536, 'a'));
    EXPECT_TRUE(s.sock->sent.empty());

    s.toc->SendPacket(2, std::string(65534, 'b'));
    s.toc->SendPacket(5, std::string(65535, 'c'));
    ASSERT_EQ(s.sock->sent.size(), 2u);
    EXPECT_EQ(s.sock->sent[0], "*\x02\x00\x00\xff\xff"s + std::string(65534, 'b') + '\0');
    EXPECT_EQ(s.sock->sent[1], "*\x05\x00\x01\xff\xff"s + std::string(65535, 'c'));
}

TEST(ConnectionSend, SequenceWrapsAfter65535AndGoesOnAcrossConnections)
{
    Session s;
    for (int i = 0; i < 65535; ++i) {
        s.toc->SendPacket(5, "");
        if (s.sock->sent.size() > 1000)
            s.sock->ClearSent();
    }
    s.sock->ClearSent();
    s.toc->SendPacket(5, "");
    s.toc->SendPacket(5, "");
    EXPECT_EQ(s.sock->sent, (Log { "*\x05\xff\xff\x00\x00"s, "*\x05\x00\x00\x00\x00"s }));
    s.toc->LogOff();
    s.SignOn("Ann");
    s.toc->SendPacket(5, "");
    EXPECT_EQ(s.sock->sent, (Log { "*\x05\x00\x01\x00\x00"s }));
}

TEST(ConnectionLogin, ConnectsToTheTrimmedHostAfterClosingTheLastConnection)
{
    Session s;
    const int closes = s.sock->closeCalls;
    s.toc->Login("Joe", "pw", "  toc2.example  ", 9898);
    EXPECT_EQ(s.sock->closeCalls, closes + 1);
    EXPECT_EQ(s.sock->State(), toc::SocketState::Connecting);
    EXPECT_EQ(s.sock->lastHost, "toc2.example");
    EXPECT_EQ(s.sock->lastPort, 9898);
    // Only spaces are trimmed.
    s.toc->Login("Joe", "pw", "\thost ", 1);
    EXPECT_EQ(s.sock->lastHost, "\thost");
}

// A partial frame, unended configuration text and the rooms of one connection must never reach
// the next, which may be another account's.
TEST(ConnectionLogin, NewConnectionStartsCleanButKeepsLastChatID)
{
    Session s;
    s.Receive(Data("CHAT_JOIN:7:Lobby") + Data("CONFIG2:g:Friends\nb:eve\n")
        + "*\x03\x00\x00\x00\x05" "ab"s);
    ASSERT_EQ(s.toc->GetChatName(7), "Lobby");
    s.rec.Clear();
    s.SignOn();
    s.Receive(Data("CONFIG2:done:\n"));
    EXPECT_EQ(s.rec.log, (Log { "LoggedIn(\"joe\", [], [], [], [], \"\", 0)" }));
    EXPECT_EQ(s.toc->GetChatName(7), "[No Chat Name Found for ID]");
    EXPECT_EQ(s.toc->LastChatID(), 7);
}

TEST(ConnectionLogOff, ClosesThenReportsTheStoredNameThenClears)
{
    Session s;
    s.SignOn("  Joe Q  Bloggs ");
    s.Receive(Data("CHAT_JOIN:7:Lobby"));
    s.rec.Clear();
    Log seen;
    s.rec.after = [&](const std::string& name) {
        if (name != "LoggedOut")
            return;
        seen.push_back(s.sock->State() == toc::SocketState::Closed ? "closed" : "open");
        seen.push_back(std::to_string(s.toc->LastChatID()));
        seen.push_back(s.toc->GetChatName(7));
    };
    s.toc->LogOff();
    EXPECT_EQ(s.rec.log, (Log { "LoggedOut(\"joeqbloggs\")" }));
    EXPECT_EQ(seen, (Log { "closed", "7", "[No Chat Name Found for ID]" }));
    EXPECT_EQ(s.toc->LastChatID(), 0);
    s.rec.Clear();
    s.toc->LogOff();
    EXPECT_EQ(s.rec.log, (Log { "LoggedOut(\"\")" }));
}

// A socket error and the server closing are both one WinsockError that keeps the settings (no
// LoggedOut), and a handler may reconnect from it without being undone.
TEST(ConnectionFailure, IsReportedOnceKeepsTheSettingsAndAllowsReconnecting)
{
    for (const bool peerClose : { false, true }) {
        SCOPED_TRACE(peerClose ? "peer close" : "socket error");
        Session s;
        logPacketBytes(s);
        s.Receive(helloFrame);
        auto fail = [&] { peerClose ? s.sock->PeerClose() : s.sock->Fail("Connection reset"); };
        fail();
        EXPECT_EQ(s.sock->State(), toc::SocketState::Closed);
        s.toc->SendPacket(5, "");
        EXPECT_TRUE(s.sock->sent.empty());
        s.toc->LogOff();
        EXPECT_EQ(s.rec.log,
            (Log { helloLine,
                "WinsockError(\"" + std::string(peerClose ? "Connection closed by server" : "Connection reset")
                    + "\")",
                "LoggedOut(\"joe\")" }));

        s.SignOn();
        s.rec.after = [&](const std::string& name) {
            if (name == "WinsockError")
                s.toc->Login("Joe", "pw", "backup.example", 5190);
        };
        fail();
        EXPECT_EQ(s.sock->State(), toc::SocketState::Connecting);
        EXPECT_EQ(s.sock->lastHost, "backup.example");
    }
}

TEST(ConnectionReentry, LogOffFromAFrameHandlerEndsTheFrameAndTheRead)
{
    // Nothing of the old bytes is held for the next connection either.
    FeedOptions options = OnEvent("IncomingPacket", [](Session& s) { s.toc->LogOff(); });
    options.probe = [](Session& s) {
        s.rec.after = nullptr;
        s.rec.Clear();
        s.SignOn();
        s.Receive(Data("NICK:Ann"));
        return s.rec.Joined();
    };
    const auto result = FeedEveryWay(
        Data("NICK:Joe") + Frame(5, "") + signoffFrame + "*\x04\x00\x09\x00\x04" "ab"s, options);
    EXPECT_EQ(result.log, "LoggedOut(\"joe\")\nScreennameFormat(\"Ann\")\n");
    EXPECT_EQ(result.sent, "");
}

TEST(ConnectionReentry, LoginFromAFrameHandlerEndsTheRead)
{
    Session s;
    logPacketBytes(s);
    bool again = true;
    s.rec.after = [&](const std::string& name) {
        if (name == "IncomingPacket" && std::exchange(again, false))
            s.SignOn("Ann");
    };
    s.Receive(errorFrame + errorFrame + "*\x04"s);
    s.Receive(signoffFrame);
    EXPECT_EQ(s.rec.log, (Log { errorLine, signoffLine }));
}

TEST(ConnectionReentry, LoggedOutHandlerThatSignsOnAgainKeepsItsSession)
{
    Session s;
    std::string nameSeenAfterLogin;
    s.rec.after = [&](const std::string& name) {
        if (name != "LoggedOut")
            return;
        s.rec.after = nullptr;
        s.toc->Login("Ann", "pw", "toc.example", 6000, "auth.example");
        nameSeenAfterLogin = s.rec.log.back();
    };
    s.toc->SetLastChatID(3);
    s.toc->LogOff();
    EXPECT_EQ(nameSeenAfterLogin, "LoggedOut(\"joe\")");
    EXPECT_EQ(s.sock->State(), toc::SocketState::Connecting);
    EXPECT_EQ(s.toc->LastChatID(), 3);

    s.sock->CompleteConnect();
    s.sock->ClearSent();
    s.Receive(Frame(1, "\x00\x00\x00\x01"s));
    const auto frames = testing_support::ParseFrames(s.sock->AllSent());
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[1].payload.substr(0, 33), "toc2_login auth.example 6000 ann ");
}

TEST(ConnectionReentry, DataArrivingInsideAHandlerWaitsForTheFramesBeforeIt)
{
    // A handler that runs a nested event loop may see the socket's next notification.
    Session s;
    logPacketBytes(s);
    bool nested = true;
    s.rec.after = [&](const std::string& name) {
        if (name == "IncomingPacket" && std::exchange(nested, false))
            s.Receive("\x00\x02\x00\x00"s + signoffFrame);
    };
    s.Receive(errorFrame + "*\x04\x00\x05"s);
    EXPECT_EQ(s.rec.log,
        (Log { errorLine, "IncomingPacket(\"*\\x04\\x00\\x05\\x00\\x02\\x00\\x00\")", signoffLine }));
}

TEST(ConnectionReentry, NewSessionInsideAHandlerIsReadWithoutWaitingForIt)
{
    Session s;
    logPacketBytes(s);
    std::size_t seenInsideHandler = 0;
    bool nested = true;
    s.rec.after = [&](const std::string& name) {
        if (name != "IncomingPacket" || !std::exchange(nested, false))
            return;
        s.SignOn("Ann");
        s.Receive(signoffFrame);
        seenInsideHandler = s.rec.log.size();
    };
    s.Receive(errorFrame + errorFrame);
    EXPECT_EQ(seenInsideHandler, 2u);
    EXPECT_EQ(s.rec.log, (Log { errorLine, signoffLine }));
}

// The handlers get their own copies of the name: signing on again inside them must not change it.
TEST(ConnectionReentry, NamesHandedToHandlersAreCopies)
{
    struct Host : toc::OrbTOCSockEvents {
        toc::OrbTOCSock* control = nullptr;
        Log seen;
        void LoggedIn(const std::string& strUserName, const std::vector<std::string>&,
            const std::vector<std::string>&, const std::vector<std::string>&,
            const std::vector<std::string>&, const std::string&, std::int16_t) override
        {
            control->Login("Somebody Else", "pw", "toc.test", 5190);
            seen.push_back(strUserName);
        }
        void LoggedOut(const std::string& strUserName) override
        {
            control->Login("Ann", "pw", "toc.example", 5190);
            seen.push_back(strUserName);
        }
    } host;
    Session s;
    host.control = s.toc.get();
    s.toc->SetHost(&host);
    s.Receive(Data("CONFIG2:done:\n"));
    s.toc->LogOff();
    EXPECT_EQ(host.seen, (Log { "joe", "somebodyelse" }));
}

} // namespace
