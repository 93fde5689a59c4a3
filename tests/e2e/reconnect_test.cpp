// toc-cli keeps an account online through a relay that drops the connection (both sides closed)
// and then hangs it (nothing forwarded, nothing closed, the kernel still acknowledging): each time
// it reports the loss, signs on again through the relay and is back in its chat room.

#include <string>
#include <tuple>
#include <vector>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

using Json = nlohmann::json;

// Forwards 127.0.0.1:port() to a server; cuts or freezes the connections it has so far.
class Relay {
public:
    explicit Relay(int serverPort)
    {
        m_listener.listen(QHostAddress::LocalHost);
        QObject::connect(&m_listener, &QTcpServer::newConnection, [this, serverPort] {
            while (QTcpSocket* client = m_listener.nextPendingConnection()) {
                auto* server = new QTcpSocket(client);
                server->connectToHost(QHostAddress::LocalHost, static_cast<quint16>(serverPort));
                m_clients.push_back(client);
                const auto pump = [](QTcpSocket* from, QTcpSocket* to) {
                    if (to->state() == QAbstractSocket::ConnectedState)
                        to->write(from->readAll());
                };
                QObject::connect(client, &QTcpSocket::readyRead, client, [=] { pump(client, server); });
                QObject::connect(server, &QTcpSocket::connected, client, [=] { pump(client, server); });
                QObject::connect(server, &QTcpSocket::readyRead, client, [=] { pump(server, client); });
                QObject::connect(server, &QTcpSocket::disconnected, client, [=] { client->abort(); });
            }
        });
    }
    int port() const { return m_listener.serverPort(); }
    // Both sides closed.
    void cutAll()
    {
        for (QTcpSocket* client : std::exchange(m_clients, {}))
            delete client;
    }
    // Nothing forwarded and nothing closed, while the kernel still acknowledges: a hung server.
    void freezeAll()
    {
        for (QTcpSocket* client : std::exchange(m_clients, {})) {
            client->disconnect();
            client->findChild<QTcpSocket*>()->disconnect();
        }
    }

private:
    QTcpServer m_listener;
    std::vector<QTcpSocket*> m_clients;
};

// Runs the event loop (the relay lives in it) until `done` or the deadline.
template <typename F> bool runUntil(F done, int ms = 15000)
{
    QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    return done();
}

struct Cli {
    QProcess process;
    std::vector<Json> events;
    std::size_t cursor = 0;

    // The next event called `name` after the last one found; null when none comes in time.
    Json expect(const std::string& name)
    {
        Json found;
        runUntil([&] {
            while (process.canReadLine()) {
                const Json line = Json::parse(process.readLine().toStdString(), nullptr, false);
                if (line.contains("event") && line["event"] != "IncomingPacket")
                    events.push_back(line);
            }
            for (; cursor < events.size() && found.is_null(); ++cursor)
                if (events[cursor]["event"] == name)
                    found = events[cursor]["args"];
            return !found.is_null();
        });
        EXPECT_FALSE(found.is_null()) << "no " << name << " came";
        return found;
    }
};

} // namespace

TEST(Reconnect, DroppedAndHungConnectionsAreNoticedAndTheAccountComesBackToItsRoom)
{
    QProcess tocd;
    tocd.start(QStringLiteral(TOCD_PATH), { QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0") });
    ASSERT_TRUE(tocd.waitForReadyRead(10000));
    const QByteArray listening = tocd.readLine().trimmed();
    Relay relay(listening.mid(listening.lastIndexOf(':') + 1).toInt());

    Cli cli;
    cli.process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    cli.process.start(QStringLiteral(TOC_CLI_PATH),
                      { QStringLiteral("--server"), QStringLiteral("127.0.0.1:%1").arg(relay.port()),
                        QStringLiteral("--screen-name"), QStringLiteral("alice"), QStringLiteral("--password"),
                        QStringLiteral("pw"), QStringLiteral("--liveness-ms"), QStringLiteral("1000,1000,5000") });
    ASSERT_FALSE(cli.expect("LoggedIn").is_null());
    cli.process.write(R"(["JoinChat", "Lobby", 4])" "\n");
    EXPECT_EQ(cli.expect("JoinedChat")[0], "Lobby");

    for (const auto& [cutOrFreeze, attempt, error] :
         { std::tuple { &Relay::cutAll, 1, "Connection closed by server" },
           std::tuple { &Relay::freezeAll, 2, "No answer from the server for 2 s" } }) {
        SCOPED_TRACE(error);
        // Let the quiet time pass once, so that the probe and its hidden answer are exercised.
        runUntil([] { return false; }, 1500);
        (relay.*cutOrFreeze)();
        QDeadlineTimer noticed(4000);
        EXPECT_EQ(cli.expect("WinsockError")[0], error);
        EXPECT_FALSE(noticed.hasExpired());
        const Json reconnecting = cli.expect("Reconnecting");
        EXPECT_EQ(Json::array({ reconnecting[0], reconnecting[2] }), Json::array({ attempt, error }));
        ASSERT_FALSE(cli.expect("LoggedIn").is_null());
        EXPECT_EQ(cli.expect("JoinedChat")[0], "Lobby");
    }
    // The probes' answers are the account's own status, not news.
    for (const Json& e : cli.events)
        EXPECT_NE(e["event"], "BuddyUpdate");

    cli.process.closeWriteChannel();
    EXPECT_TRUE(cli.process.waitForFinished(10000));
    EXPECT_EQ(cli.process.exitCode(), 0);
    tocd.kill();
    tocd.waitForFinished();
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
