// Server messages tocd never sends, from a server scripted here, over real TCP all the same.

#include <memory>
#include <string>
#include <vector>

#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include "tests/e2e/harness.h"

using e2e::Cli;
using e2e::Json;
using e2e::WaitUntil;

namespace {

std::string frame(char type, std::uint16_t sequence, const std::string& payload)
{
    std::string f = { '*', type, static_cast<char>(sequence >> 8), static_cast<char>(sequence & 0xFF),
                      static_cast<char>(payload.size() >> 8), static_cast<char>(payload.size() & 0xFF) };
    return f + payload;
}

class ScriptedServer {
public:
    ScriptedServer()
    {
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            m_client.reset(m_server.nextPendingConnection());
            QObject::connect(m_client.get(), &QTcpSocket::readyRead, [this] {
                m_received += m_client->readAll().toStdString();
                e2e::Progress();
            });
            e2e::Progress();
        });
        m_server.listen(QHostAddress::LocalHost, 0);
    }
    ~ScriptedServer()
    {
        if (m_client)
            m_client->disconnect();
    }

    std::string Address() const { return "127.0.0.1:" + std::to_string(m_server.serverPort()); }

    void Send(char type, const std::string& payload)
    {
        const std::string f = frame(type, m_sequence++, payload);
        m_client->write(f.data(), static_cast<qint64>(f.size()));
    }
    void Close() { m_client->disconnectFromHost(); }

    /// Waits for `count` more whole frames from the client after the greeting; returns them whole.
    std::vector<std::string> ReadFrames(std::size_t count)
    {
        std::vector<std::string> frames;
        WaitUntil([&] {
            while (frames.size() < count && m_received.size() - m_read >= 6) {
                const auto len = static_cast<std::size_t>(static_cast<unsigned char>(m_received[m_read + 4]) * 256
                                                          + static_cast<unsigned char>(m_received[m_read + 5]));
                if (m_received.size() - m_read < 6 + len)
                    break;
                frames.push_back(m_received.substr(m_read, 6 + len));
                m_read += 6 + len;
            }
            return frames.size() == count;
        });
        return frames;
    }

    bool WaitForGreeting()
    {
        const std::string greeting = "FLAPON\n\n";
        const bool came = WaitUntil([&] { return m_received.size() >= greeting.size(); });
        if (!came || m_received.compare(0, greeting.size(), greeting) != 0)
            return false;
        m_read = greeting.size();
        return true;
    }

private:
    QTcpServer m_server;
    std::unique_ptr<QTcpSocket> m_client;
    std::string m_received;
    std::size_t m_read = 0;
    std::uint16_t m_sequence = 0;
};

} // namespace

TEST(ScriptedServer, RarerMessagesUnknownFramesAndKeepAlivesOverTcp)
{
    ScriptedServer server;
    Cli alice(server.Address(), "alice", "pw");
    ASSERT_TRUE(server.WaitForGreeting());
    server.Send(1, std::string("\0\0\0\x01", 4));
    const auto signOn = server.ReadFrames(2);
    ASSERT_EQ(signOn.size(), 2u);
    EXPECT_EQ(signOn[0].substr(6), std::string("\0\0\0\x01\0\x01\0\x05" "alice", 13));
    EXPECT_EQ(signOn[1].compare(6, 11, "toc2_login "), 0);
    server.Send(2, "SIGN_ON:TOC2.0");
    server.Send(2, "NICK:Alice");
    server.Send(2, "CONFIG2:m:1\ng:Buddies\nb:bob\nd:mallory\npref:x\ndone:\n");
    alice.ExpectArgs("LoggedIn", Json::parse(R"(["alice",["[group]Buddies","bob"],["mallory"],[],[],"x",1])"));
    const auto initDone = server.ReadFrames(1);
    ASSERT_EQ(initDone.size(), 1u);
    EXPECT_EQ(initDone[0].substr(6), std::string("toc_init_done\0", 14));

    server.Send(2, "BART2:bob:0 2 abc=");
    server.Send(2, "CLIENT_EVENT2:bob:2");
    server.Send(2, "RVOUS_PROPOSE:bob:09461343-4C7F-11D1-8222-444553540000:Y29va2ll:1:10.0.0.1:10.0.0.2:10.0.0.3:5190:x");
    server.Send(9, "");
    alice.ExpectArgs("BuddyBart", Json::array({ "bob", "0 2 abc=" }));
    alice.ExpectArgs("TypingStatus", Json::array({ "bob", 2 }));
    alice.ExpectArgs("RendevousRequest", Json::array({ "bob", "09461343-4C7F-11D1-8222-444553540000", "Y29va2ll",
                                                       "10.0.0.1", "10.0.0.2", "10.0.0.3", 5190 }));
    alice.ExpectArgs("Error", Json::parse(R"([0, "Unknown Channel Detected: \u0009"])"));

    // The answer to a keep-alive: an empty type-5 frame, next in the client's sequence.
    server.Send(5, "");
    const auto answer = server.ReadFrames(1);
    ASSERT_EQ(answer.size(), 1u);
    const auto seq = [](const std::string& f) {
        return static_cast<unsigned char>(f[2]) * 256 + static_cast<unsigned char>(f[3]);
    };
    EXPECT_EQ(answer[0].substr(0, 2), "*\x05");
    EXPECT_EQ(answer[0].substr(4), std::string("\0\0", 2));
    EXPECT_EQ(seq(answer[0]), seq(initDone[0]) + 1);

    // Once signed on, a lost connection is reported and toc-cli waits for the script.
    server.Close();
    alice.Expect("WinsockError");
    alice.Send(Json::array({ "LastChatID" }));
    EXPECT_EQ(alice.ExpectReply(), Json::parse(R"({"result":0})"));
    alice.CloseInput();
    EXPECT_EQ(alice.WaitForExit(), 0);
}
