// Server messages tocd never sends, from a server scripted here, over real TCP all the same.

#include <string>

#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include "tests/e2e/harness.h"

using namespace e2e;

namespace {

std::string frame(char type, std::uint16_t sequence, const std::string& payload)
{
    return std::string { '*', type, static_cast<char>(sequence >> 8), static_cast<char>(sequence & 0xFF),
                         static_cast<char>(payload.size() >> 8), static_cast<char>(payload.size() & 0xFF) }
    + payload;
}

// The next `count` bytes from the client; fewer when they do not all come in time.
std::string read(QTcpSocket& client, std::size_t count)
{
    std::string got;
    while (got.size() < count && (client.bytesAvailable() > 0 || client.waitForReadyRead(WaitMs)))
        got += client.read(static_cast<qint64>(count - got.size())).toStdString();
    return got;
}

// The next whole frame from the client, header included.
std::string readFrame(QTcpSocket& client)
{
    const std::string header = read(client, 6);
    if (header.size() < 6)
        return {};
    return header + read(client, static_cast<unsigned char>(header[4]) * 256u + static_cast<unsigned char>(header[5]));
}

int sequenceOf(const std::string& frame)
{
    return static_cast<unsigned char>(frame[2]) * 256 + static_cast<unsigned char>(frame[3]);
}

} // namespace

TEST(ScriptedServer, RarerMessagesUnknownFramesAndKeepAlivesOverTcp)
{
    QTcpServer listener;
    ASSERT_TRUE(listener.listen(QHostAddress::LocalHost, 0));
    Cli alice("127.0.0.1:" + std::to_string(listener.serverPort()), "alice", "pw");
    ASSERT_TRUE(listener.waitForNewConnection(WaitMs));
    QTcpSocket& client = *listener.nextPendingConnection();
    std::uint16_t sequence = 0;
    const auto send = [&](char type, const std::string& payload) {
        const std::string f = frame(type, sequence++, payload);
        client.write(f.data(), static_cast<qint64>(f.size()));
        client.flush();
    };
    ASSERT_EQ(read(client, 8), "FLAPON\n\n");
    send(1, std::string("\0\0\0\x01", 4));
    EXPECT_EQ(readFrame(client).substr(6), std::string("\0\0\0\x01\0\x01\0\x05" "alice", 13));
    EXPECT_EQ(readFrame(client).compare(6, 11, "toc2_login "), 0);
    send(2, "SIGN_ON:TOC2.0");
    send(2, "NICK:Alice");
    send(2, "CONFIG2:m:1\ng:Buddies\nb:bob\nd:mallory\npref:x\ndone:\n");
    alice.ExpectArgs("LoggedIn", Json::parse(R"(["alice",["[group]Buddies","bob"],["mallory"],[],[],"x",1])"));
    const std::string initDone = readFrame(client);
    ASSERT_EQ(initDone.size(), 20u);
    EXPECT_EQ(initDone.substr(6), std::string("toc_init_done\0", 14));

    send(2, "BART2:bob:0 2 abc=");
    send(2, "CLIENT_EVENT2:bob:2");
    send(2, "RVOUS_PROPOSE:bob:09461343-4C7F-11D1-8222-444553540000:Y29va2ll:1:10.0.0.1:10.0.0.2:10.0.0.3:5190:x");
    send(9, "");
    alice.ExpectArgs("BuddyBart", Json::array({ "bob", "0 2 abc=" }));
    alice.ExpectArgs("TypingStatus", Json::array({ "bob", 2 }));
    alice.ExpectArgs("RendevousRequest", Json::array({ "bob", "09461343-4C7F-11D1-8222-444553540000", "Y29va2ll",
                                                       "10.0.0.1", "10.0.0.2", "10.0.0.3", 5190 }));
    alice.ExpectArgs("Error", Json::parse(R"([0, "Unknown Channel Detected: \u0009"])"));

    // The answer to a keep-alive: an empty type-5 frame, next in the client's sequence.
    send(5, "");
    const std::string answer = readFrame(client);
    ASSERT_EQ(answer.size(), 6u);
    EXPECT_EQ(answer.substr(0, 2), "*\x05");
    EXPECT_EQ(answer.substr(4), std::string("\0\0", 2));
    EXPECT_EQ(sequenceOf(answer), sequenceOf(initDone) + 1);

    // Once signed on, a lost connection is reported and toc-cli sets out to sign on again.
    client.disconnectFromHost();
    alice.Expect("WinsockError");
    alice.Expect("Reconnecting");
    alice.CloseInput();
    EXPECT_EQ(alice.WaitForExit(), 0);
}
