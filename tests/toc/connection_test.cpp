#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/eventrecorder.h"
#include "tests/support/fakesocket.h"
#include "toc/orbtocsock.h"

using namespace std::string_literals;
using testing_support::Data;
using testing_support::EventRecorder;
using testing_support::FakeSocket;
using testing_support::Frame;
using testing_support::Quote;
using Log = std::vector<std::string>;

namespace {

// Logs every frame in full, so that a test sees exactly which bytes were cut as a frame.
class Recorder : public EventRecorder {
public:
    void IncomingPacket(const std::string& strPacket) override
    {
        log.push_back("IncomingPacket(" + Quote(strPacket) + ")");
        if (after)
            after("IncomingPacket");
    }
};

struct Harness {
    Harness()
    {
        auto owned = std::make_unique<FakeSocket>();
        sock = owned.get();
        control = std::make_unique<toc::OrbTOCSock>(std::move(owned), &events);
    }
    // Signs on as far as the connection: the handshake is sent, frames may flow.
    void connect(const std::string& name = "Joe")
    {
        control->Login(name, "pw", "toc.example", 5190);
        sock->CompleteConnect();
        sock->ClearSent();
    }

    Recorder events;
    FakeSocket* sock = nullptr;
    std::unique_ptr<toc::OrbTOCSock> control;
};

// Runs a received byte stream whole, byte by byte and split in two at every offset, on a fresh
// connection each time, and demands the same event log from each.
Log receiveEveryWay(const std::string& bytes)
{
    auto run = [&](const std::vector<std::string>& reads) {
        Harness h;
        h.connect();
        for (const auto& r : reads)
            h.sock->Receive(r);
        return h.events.log;
    };
    const Log whole = run({ bytes });
    std::vector<std::string> single;
    for (const char c : bytes)
        single.emplace_back(1, c);
    EXPECT_EQ(run(single), whole) << "byte by byte";
    for (std::size_t cut = 1; cut < bytes.size(); ++cut)
        EXPECT_EQ(run({ bytes.substr(0, cut), bytes.substr(cut) }), whole) << "split at " << cut;
    return whole;
}

Log withoutPackets(const Log& log)
{
    Log out;
    for (const auto& line : log) {
        if (line.rfind("IncomingPacket(", 0) != 0)
            out.push_back(line);
    }
    return out;
}

// Frames whose handling raises nothing but IncomingPacket: an ERROR and a SIGNOFF frame, and a
// data frame with a command word nobody knows.
const std::string errorFrame = "*\x03\x00\x01\x00\x02no"s;
const std::string signoffFrame = "*\x04\x00\x02\x00\x00"s;
const std::string helloFrame = "*\x02\x00\x03\x00\x08HELLO:\x00:"s;

TEST(ConnectionReceive, FramesOfOneReadAreHandedOverInOrder)
{
    EXPECT_EQ(receiveEveryWay(errorFrame + helloFrame + signoffFrame),
        (Log { "IncomingPacket(\"*\\x03\\x00\\x01\\x00\\x02no\")",
            "IncomingPacket(\"*\\x02\\x00\\x03\\x00\\x08HELLO:\\x00:\")",
            "IncomingPacket(\"*\\x04\\x00\\x02\\x00\\x00\")" }));
}

TEST(ConnectionReceive, LengthFieldAloneCutsTheStream)
{
    // No "*" marker and a length byte that is a colon: still one 64-byte frame, then a frame.
    const std::string odd = "?\x04\x00\x00\x00\x3a"s + std::string(0x3a, ':');
    const Log log = receiveEveryWay(odd + signoffFrame);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0], "IncomingPacket(\"?\\x04\\x00\\x00\\x00:" + std::string(0x3a, ':') + "\")");
    EXPECT_EQ(log[1], "IncomingPacket(\"*\\x04\\x00\\x02\\x00\\x00\")");
}

TEST(ConnectionReceive, IncompleteFrameRaisesNothing)
{
    EXPECT_EQ(receiveEveryWay("*\x03\x00\x01\x00\x05"
                              "abcd"s),
        Log {});
}

TEST(ConnectionReceive, NothingIsReadWhileNotConnected)
{
    Harness h;
    h.sock->Receive(signoffFrame);
    h.control->Login("Joe", "pw", "toc.example", 5190);
    h.sock->Receive(signoffFrame);
    EXPECT_EQ(h.events.log, Log {});
}

TEST(ConnectionSend, HandshakeIsSentRawOnConnect)
{
    Harness h;
    h.control->Login("Joe", "pw", "toc.example", 5190);
    EXPECT_TRUE(h.sock->sent.empty());
    h.sock->CompleteConnect();
    EXPECT_EQ(h.sock->sent, (Log { "FLAPON\n\n" }));
}

TEST(ConnectionSend, FramesCarryTypeSequenceLengthAndTheNulOfDataFrames)
{
    Harness h;
    h.connect();
    h.control->SendPacket(2, "");
    h.control->SendPacket(5, "");
    h.control->SendPacket(1, "\x00\x00\x00\x01"s);
    h.control->SendPacket(2, "toc_x \"\xe9\"");
    h.control->SendPacket(255, "z");
    EXPECT_EQ(h.sock->sent,
        (Log { "*\x02\x00\x00\x00\x01\x00"s, "*\x05\x00\x01\x00\x00"s,
            "*\x01\x00\x02\x00\x04\x00\x00\x00\x01"s, "*\x02\x00\x03\x00\x0atoc_x \"\xe9\"\x00"s,
            "*\xff\x00\x04\x00\x01z"s }));
}

TEST(ConnectionSend, NothingIsSentAndNoNumberUsedWhileNotConnected)
{
    Harness h;
    h.control->SendPacket(5, "");
    h.control->Login("Joe", "pw", "toc.example", 5190);
    h.control->SendPacket(5, "");
    h.sock->CompleteConnect();
    h.sock->ClearSent();
    h.control->SendPacket(5, "");
    EXPECT_EQ(h.sock->sent, (Log { "*\x05\x00\x00\x00\x00"s }));
}

TEST(ConnectionSend, WhatTheHeaderCannotCarryIsNotSentAndUsesNoNumber)
{
    Harness h;
    h.connect();
    h.control->SendPacket(-1, "a");
    h.control->SendPacket(256, "a");
    h.control->SendPacket(2, std::string(65535, 'a')); // 65,536 with its NUL
    h.control->SendPacket(5, std::string(65536, 'a'));
    EXPECT_TRUE(h.sock->sent.empty());

    h.control->SendPacket(2, std::string(65534, 'b'));
    h.control->SendPacket(5, std::string(65535, 'c'));
    ASSERT_EQ(h.sock->sent.size(), 2u);
    EXPECT_EQ(h.sock->sent[0], "*\x02\x00\x00\xff\xff"s + std::string(65534, 'b') + '\0');
    EXPECT_EQ(h.sock->sent[1], "*\x05\x00\x01\xff\xff"s + std::string(65535, 'c'));
}

TEST(ConnectionSend, SequenceWrapsAfter65535)
{
    Harness h;
    h.connect();
    for (int i = 0; i < 65535; ++i) {
        h.control->SendPacket(5, "");
        if (h.sock->sent.size() > 1000)
            h.sock->ClearSent();
    }
    h.sock->ClearSent();
    h.control->SendPacket(5, "");
    h.control->SendPacket(5, "");
    h.control->SendPacket(5, "");
    EXPECT_EQ(h.sock->sent,
        (Log { "*\x05\xff\xff\x00\x00"s, "*\x05\x00\x00\x00\x00"s, "*\x05\x00\x01\x00\x00"s }));
}

TEST(ConnectionSend, NumberingGoesOnAcrossConnections)
{
    Harness h;
    h.connect();
    h.control->SendPacket(5, "");
    h.control->SendPacket(5, "");
    h.control->LogOff();
    h.connect("Ann");
    h.control->SendPacket(5, "");
    EXPECT_EQ(h.sock->sent, (Log { "*\x05\x00\x02\x00\x00"s }));
}

TEST(ConnectionLogin, ConnectsToTheTrimmedHostAfterClosingTheLastConnection)
{
    Harness h;
    h.connect();
    const int closes = h.sock->closeCalls;
    h.control->Login("Joe", "pw", "  toc2.example  ", 9898);
    EXPECT_EQ(h.sock->closeCalls, closes + 1);
    EXPECT_EQ(h.sock->State(), toc::SocketState::Connecting);
    EXPECT_EQ(h.sock->lastHost, "toc2.example");
    EXPECT_EQ(h.sock->lastPort, 9898);
    // Only spaces are trimmed.
    h.control->Login("Joe", "pw", "\thost ", 1);
    EXPECT_EQ(h.sock->lastHost, "\thost");
}

struct AuthCase {
    const char* name;
    std::optional<std::string> given;
    std::string sent;
};

class ConnectionAuthServer : public testing::TestWithParam<AuthCase> { };

// The authorizer host only shows in the sign-on command, so sign on to see it.
TEST_P(ConnectionAuthServer, IsStoredTrimmedOrDefaulted)
{
    Harness h;
    h.control->Login(" Joe  Bloggs", "pw", "toc.example", 5190, GetParam().given);
    h.sock->CompleteConnect();
    h.sock->Receive(Frame(1, "\x00\x00\x00\x01"s));
    const auto frames = testing_support::ParseFrames(h.sock->AllSent());
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[1].payload.substr(0, frames[1].payload.find(" English")),
        "toc2_login " + GetParam().sent + " 5190 joebloggs 0x241e");
}

INSTANTIATE_TEST_SUITE_P(Login, ConnectionAuthServer,
    testing::Values(AuthCase { "Omitted", std::nullopt, "login.oscar.aol.com" },
        AuthCase { "Empty", "", "login.oscar.aol.com" },
        AuthCase { "Spaces", "   ", "login.oscar.aol.com" },
        AuthCase { "Padded", "  auth.example ", "auth.example" }),
    [](const testing::TestParamInfo<AuthCase>& row) { return std::string(row.param.name); });

TEST(ConnectionLogin, NewConnectionDropsThePartialFrameOfTheLastOne)
{
    Harness h;
    h.connect();
    h.sock->Receive("*\x03\x00\x00\x00\x05"
                    "ab"s);
    h.connect();
    h.sock->Receive(signoffFrame);
    EXPECT_EQ(h.events.log, (Log { "IncomingPacket(\"*\\x04\\x00\\x02\\x00\\x00\")" }));
}

TEST(ConnectionLogin, NewConnectionDropsTheConfigurationOfTheLastOne)
{
    Harness h;
    h.connect("Mallory");
    h.sock->Receive(Data("CONFIG2:g:Friends\nb:eve\n"));
    h.connect();
    h.sock->Receive(Data("CONFIG2:done:\n"));
    EXPECT_EQ(withoutPackets(h.events.log), (Log { "LoggedIn(\"joe\", [], [], [], [], \"\", 0)" }));
}

TEST(ConnectionLogin, NewConnectionForgetsTheRoomsButNotLastChatID)
{
    Harness h;
    h.connect();
    h.sock->Receive(Data("CHAT_JOIN:7:Lobby"));
    ASSERT_EQ(h.control->GetChatName(7), "Lobby");
    h.connect();
    EXPECT_EQ(h.control->GetChatName(7), "[No Chat Name Found for ID]");
    EXPECT_EQ(h.control->LastChatID(), 7);
}

TEST(ConnectionLogOff, ClosesThenReportsTheStoredNameThenClears)
{
    Harness h;
    h.connect("  Joe Q  Bloggs ");
    h.sock->Receive(Data("CHAT_JOIN:7:Lobby"));
    h.events.Clear();
    std::vector<std::string> seen;
    h.events.after = [&](const std::string& name) {
        if (name != "LoggedOut")
            return;
        seen.push_back(h.sock->State() == toc::SocketState::Closed ? "closed" : "open");
        seen.push_back(std::to_string(h.control->LastChatID()));
        seen.push_back(h.control->GetChatName(7));
    };
    h.control->LogOff();
    EXPECT_EQ(h.events.log, (Log { "LoggedOut(\"joeqbloggs\")" }));
    EXPECT_EQ(seen, (Log { "closed", "7", "[No Chat Name Found for ID]" }));
    EXPECT_EQ(h.control->LastChatID(), 0);
    h.events.Clear();
    h.control->LogOff();
    EXPECT_EQ(h.events.log, (Log { "LoggedOut(\"\")" }));
}

TEST(ConnectionFailure, SocketErrorIsReportedOnceAndKeepsTheSettings)
{
    Harness h;
    h.connect();
    h.sock->Fail("Connection reset by peer");
    EXPECT_EQ(h.sock->State(), toc::SocketState::Closed);
    h.control->SendPacket(5, "");
    EXPECT_TRUE(h.sock->sent.empty());
    h.control->LogOff();
    EXPECT_EQ(
        h.events.log, (Log { "WinsockError(\"Connection reset by peer\")", "LoggedOut(\"joe\")" }));
}

TEST(ConnectionFailure, PeerCloseIsReportedAsAnErrorAndKeepsTheSettings)
{
    Harness h;
    h.connect();
    h.sock->Receive(helloFrame);
    h.sock->PeerClose();
    h.control->SendPacket(5, "");
    EXPECT_TRUE(h.sock->sent.empty());
    h.control->LogOff();
    EXPECT_EQ(h.events.log,
        (Log { "IncomingPacket(\"*\\x02\\x00\\x03\\x00\\x08HELLO:\\x00:\")",
            "WinsockError(\"Connection closed by server\")", "LoggedOut(\"joe\")" }));
}

TEST(ConnectionFailure, ReconnectFromTheErrorHandlerIsNotUndone)
{
    for (const bool peerClose : { false, true }) {
        Harness h;
        h.connect();
        h.events.after = [&](const std::string& name) {
            if (name == "WinsockError")
                h.control->Login("Joe", "pw", "backup.example", 5190);
        };
        if (peerClose)
            h.sock->PeerClose();
        else
            h.sock->Fail("Network is unreachable");
        EXPECT_EQ(h.sock->State(), toc::SocketState::Connecting) << peerClose;
        EXPECT_EQ(h.sock->lastHost, "backup.example");
    }
}

TEST(ConnectionReentry, LogOffFromAFrameHandlerEndsTheRead)
{
    Harness h;
    h.connect();
    h.events.after = [&](const std::string& name) {
        if (name == "IncomingPacket")
            h.control->LogOff();
    };
    h.sock->Receive(errorFrame + signoffFrame
        + "*\x04\x00\x09\x00\x04"
          "ab"s);
    EXPECT_EQ(h.events.log,
        (Log { "IncomingPacket(\"*\\x03\\x00\\x01\\x00\\x02no\")", "LoggedOut(\"joe\")" }));

    // Nothing of the old bytes is held for the next connection.
    h.events.after = nullptr;
    h.events.Clear();
    h.connect();
    h.sock->Receive(signoffFrame);
    EXPECT_EQ(h.events.log, (Log { "IncomingPacket(\"*\\x04\\x00\\x02\\x00\\x00\")" }));
}

TEST(ConnectionReentry, LoginFromAFrameHandlerEndsTheRead)
{
    Harness h;
    h.connect();
    bool again = true;
    h.events.after = [&](const std::string& name) {
        if (name == "IncomingPacket" && std::exchange(again, false)) {
            h.control->Login("Ann", "pw", "toc.example", 5190);
            h.sock->CompleteConnect();
        }
    };
    h.sock->Receive(errorFrame + errorFrame + "*\x04"s);
    h.sock->Receive(signoffFrame);
    EXPECT_EQ(h.events.log,
        (Log { "IncomingPacket(\"*\\x03\\x00\\x01\\x00\\x02no\")",
            "IncomingPacket(\"*\\x04\\x00\\x02\\x00\\x00\")" }));
}

TEST(ConnectionReentry, LoggedOutHandlerThatSignsOnAgainKeepsItsSession)
{
    Harness h;
    h.connect();
    std::string nameSeenAfterLogin;
    h.events.after = [&](const std::string& name) {
        if (name != "LoggedOut")
            return;
        h.events.after = nullptr;
        h.control->Login("Ann", "pw", "toc.example", 6000, "auth.example");
        nameSeenAfterLogin = h.events.log.back();
    };
    h.control->SetLastChatID(3);
    h.control->LogOff();
    EXPECT_EQ(nameSeenAfterLogin, "LoggedOut(\"joe\")");
    EXPECT_EQ(h.sock->State(), toc::SocketState::Connecting);
    EXPECT_EQ(h.control->LastChatID(), 3);

    h.sock->CompleteConnect();
    h.sock->ClearSent();
    h.sock->Receive(Frame(1, "\x00\x00\x00\x01"s));
    const auto frames = testing_support::ParseFrames(h.sock->AllSent());
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[1].payload.substr(0, 33), "toc2_login auth.example 6000 ann ");
}

// The handler gets its own copy of the name: signing on again inside it must not change it.
class NameKeeper : public toc::OrbTOCSockEvents {
public:
    void LoggedOut(const std::string& strUserName) override
    {
        control->Login("Ann", "pw", "toc.example", 5190);
        seen = strUserName;
    }
    toc::OrbTOCSock* control = nullptr;
    std::string seen;
};

TEST(ConnectionReentry, LoggedOutArgumentIsACopy)
{
    NameKeeper keeper;
    auto owned = std::make_unique<FakeSocket>();
    toc::OrbTOCSock control(std::move(owned), &keeper);
    keeper.control = &control;
    control.Login("Joe", "pw", "toc.example", 5190);
    control.LogOff();
    EXPECT_EQ(keeper.seen, "joe");
}

TEST(ConnectionReentry, DataArrivingInsideAHandlerWaitsForTheFramesBeforeIt)
{
    // A handler that runs a nested event loop may see the socket's next notification.
    Harness h;
    h.connect();
    bool nested = true;
    h.events.after = [&](const std::string& name) {
        if (name == "IncomingPacket" && std::exchange(nested, false))
            h.sock->Receive("\x00\x02\x00\x00"s + signoffFrame);
    };
    h.sock->Receive(errorFrame + "*\x04\x00\x05"s);
    EXPECT_EQ(h.events.log,
        (Log { "IncomingPacket(\"*\\x03\\x00\\x01\\x00\\x02no\")",
            "IncomingPacket(\"*\\x04\\x00\\x05\\x00\\x02\\x00\\x00\")",
            "IncomingPacket(\"*\\x04\\x00\\x02\\x00\\x00\")" }));
}

TEST(ConnectionReentry, NewSessionInsideAHandlerIsReadWithoutWaitingForIt)
{
    Harness h;
    h.connect();
    std::size_t seenInsideHandler = 0;
    bool nested = true;
    h.events.after = [&](const std::string& name) {
        if (name != "IncomingPacket" || !std::exchange(nested, false))
            return;
        h.control->Login("Ann", "pw", "toc.example", 5190);
        h.sock->CompleteConnect();
        h.sock->Receive(signoffFrame);
        seenInsideHandler = h.events.log.size();
    };
    h.sock->Receive(errorFrame + errorFrame);
    EXPECT_EQ(seenInsideHandler, 2u);
    EXPECT_EQ(h.events.log,
        (Log { "IncomingPacket(\"*\\x03\\x00\\x01\\x00\\x02no\")",
            "IncomingPacket(\"*\\x04\\x00\\x02\\x00\\x00\")" }));
}

TEST(ConnectionControl, GetChatNameFindsOnlyRoomsInUse)
{
    Harness h;
    h.connect();
    EXPECT_EQ(h.control->GetChatName(0), "[No Chat Name Found for ID]");
    h.sock->Receive(Data("CHAT_JOIN:0:Zero") + Data("CHAT_JOIN:9:Nine"));
    EXPECT_EQ(h.control->GetChatName(0), "Zero");
    EXPECT_EQ(h.control->GetChatName(9), "Nine");
    EXPECT_EQ(h.control->GetChatName(5), "[No Chat Name Found for ID]");
}

} // namespace
