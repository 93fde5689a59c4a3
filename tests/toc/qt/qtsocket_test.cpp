#include <sys/socket.h>

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/eventrecorder.h"
#include "toc/orbtocsock.h"
#include "toc/qt/qtsocket.h"

using namespace std::string_literals;

namespace {

constexpr int Timeout = 5000;

QByteArray bytes(const std::string& s)
{
    return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

// Counts every notification of a bare QtSocket and keeps what it read.
struct Probe {
    explicit Probe(toc::QtSocket& s)
        : sock(s)
    {
        sock.onConnected = [this] { ++connected; };
        sock.onDataArrival = [this] {
            ++arrivals;
            received += sock.GetData();
        };
        sock.onError = [this](const std::string& d) { errors.push_back(d); };
        sock.onClosedByPeer = [this] { ++peerCloses; };
    }
    toc::QtSocket& sock;
    int connected = 0;
    int arrivals = 0;
    int peerCloses = 0;
    std::vector<std::string> errors;
    std::string received;
};

// Lets the event loop run for a moment, so that a notification that should not come has the
// chance to.
void settle() { QTest::qWait(100); }

} // namespace

class QtSocketTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        server = std::make_unique<QTcpServer>();
        QVERIFY(server->listen(QHostAddress::LocalHost, 0));
        port = server->serverPort();
    }
    void cleanup()
    {
        peer = nullptr;
        server.reset();
    }

    void controlSendsHandshakeAndReadsFramesSplitAcrossWrites()
    {
        testing_support::EventRecorder events;
        events.logPackets = events.packetBytes = true;
        toc::OrbTOCSock control(std::make_unique<toc::QtSocket>(), &events);
        control.Login("Joe", "pw", "127.0.0.1", port);
        QVERIFY(accept());
        QTRY_VERIFY_WITH_TIMEOUT(peer->bytesAvailable() >= 8, Timeout);
        QCOMPARE(peer->readAll(), QByteArray("FLAPON\n\n", 8));

        const std::string frame = "*\x03\x00\x07\x00\x06\x00\xff:\x80\x0a\x01"s;
        for (const auto& part : { frame.substr(0, 3), frame.substr(3, 5), frame.substr(8) }) {
            peer->write(bytes(part));
            QVERIFY(peer->waitForBytesWritten(Timeout));
            QCoreApplication::processEvents();
        }
        QTRY_COMPARE_WITH_TIMEOUT(events.log.size(), size_t(1), Timeout);
        QCOMPARE(events.log[0],
            "IncomingPacket(\"*\\x03\\x00\\x07\\x00\\x06\\x00\\xff:\\x80\\x0a\\x01\")"s);

        control.SendPacket(2, "x\xff");
        QTRY_VERIFY_WITH_TIMEOUT(peer->bytesAvailable() >= 9, Timeout);
        QCOMPARE(peer->readAll(), bytes("*\x02\x00\x00\x00\x03x\xff\x00"s));
    }

    void peerClosingRightAfterDataDeliversTheDataFirstThenReconnects()
    {
        testing_support::EventRecorder events;
        toc::OrbTOCSock control(std::make_unique<toc::QtSocket>(), &events);
        control.Login("Joe", "pw", "127.0.0.1", port);
        QVERIFY(accept());
        QTRY_VERIFY_WITH_TIMEOUT(peer->bytesAvailable() >= 8, Timeout);
        peer->write(bytes("*\x02\x00\x00\x00\x09"
                          "ERROR:980"s));
        peer->disconnectFromHost();
        QTRY_COMPARE_WITH_TIMEOUT(events.log.size(), size_t(2), Timeout);
        settle();
        QCOMPARE(events.log,
            (std::vector<std::string> { "Error(980, \"Invalid account or password\")",
                "WinsockError(\"Connection closed by server\")" }));

        control.Login("Joe", "pw", "127.0.0.1", port);
        QVERIFY(accept());
        QTRY_VERIFY_WITH_TIMEOUT(peer->bytesAvailable() >= 8, Timeout);
        QCOMPARE(peer->readAll(), QByteArray("FLAPON\n\n", 8));
    }

    // A refused connection, an empty host and a port out of range each fail once, after the call.
    void failedConnectionsAreOneWinsockErrorRaisedLater()
    {
        server->close();
        testing_support::EventRecorder events;
        toc::OrbTOCSock control(std::make_unique<toc::QtSocket>(), &events);
        for (const auto& [host, to] : { std::pair { "127.0.0.1", int(port) }, { "", int(port) },
                 { "127.0.0.1", 70000 } }) {
            const std::size_t before = events.log.size();
            control.Login("Joe", "pw", host, to);
            QCOMPARE(events.log.size(), before);
            QTRY_COMPARE_WITH_TIMEOUT(events.log.size(), before + 1, Timeout);
            settle();
            QCOMPARE(events.log.size(), before + 1);
            QVERIFY(events.log.back().rfind("WinsockError(\"", 0) == 0);
            QVERIFY(events.log.back() != "WinsockError(\"\")");
        }
    }

    void everyByteValuePassesBothWaysAndCloseStillDelivers()
    {
        std::string all;
        for (int i = 0; i < 256; ++i)
            all += static_cast<char>(i);
        toc::QtSocket sock;
        Probe probe(sock);
        sock.Connect("127.0.0.1", port);
        QCOMPARE(sock.State(), toc::SocketState::Connecting);
        QVERIFY(accept());
        QTRY_COMPARE_WITH_TIMEOUT(probe.connected, 1, Timeout);
        QCOMPARE(sock.State(), toc::SocketState::Connected);
        // The bytes leave at once: the peer waits on its own descriptor while the client's event
        // loop does not run.
        sock.SendData(all);
        QByteArray got;
        while (got.size() < 256 && peer->waitForReadyRead(Timeout))
            got += peer->readAll();
        QCOMPARE(got, bytes(all));
        peer->write(bytes(all));
        QTRY_COMPARE_WITH_TIMEOUT(probe.received.size(), all.size(), Timeout);
        QCOMPARE(probe.received, all);

        // Closing raises nothing, and what was sent before it still arrives.
        const int arrivals = probe.arrivals;
        sock.SendData("bye\xff");
        sock.Close();
        QCOMPARE(sock.State(), toc::SocketState::Closed);
        QTRY_COMPARE_WITH_TIMEOUT(peer->state(), QAbstractSocket::UnconnectedState, Timeout);
        QCOMPARE(peer->readAll(), QByteArray("bye\xff"));
        settle();
        QCOMPARE(probe.arrivals - arrivals + probe.peerCloses, 0);
        QVERIFY(probe.errors.empty());
        sock.SendData("late");
        sock.Close();
    }

    void writeToAResetConnectionIsReportedLaterAndOnce()
    {
        toc::QtSocket sock;
        Probe probe(sock);
        sock.Connect("127.0.0.1", port);
        QVERIFY(accept());
        QTRY_COMPARE_WITH_TIMEOUT(probe.connected, 1, Timeout);
        // Linger 0: the peer's close is a reset, so the next write fails at once.
        const linger reset { 1, 0 };
        QCOMPARE(setsockopt(static_cast<int>(peer->socketDescriptor()), SOL_SOCKET, SO_LINGER, &reset,
                     sizeof reset),
            0);
        peer->abort();
        sock.SendData("into the void");
        auto failures = [&] { return probe.errors.size() + static_cast<std::size_t>(probe.peerCloses); };
        QCOMPARE(failures(), std::size_t(0));
        QTRY_COMPARE_WITH_TIMEOUT(failures(), std::size_t(1), Timeout);
        settle();
        QCOMPARE(failures(), std::size_t(1));
        QCOMPARE(sock.State(), toc::SocketState::Closed);
    }

private:
    bool accept()
    {
        if (!server->hasPendingConnections() && !server->waitForNewConnection(Timeout))
            return false;
        peer = server->nextPendingConnection();
        return peer != nullptr;
    }

    std::unique_ptr<QTcpServer> server;
    QTcpSocket* peer = nullptr;
    quint16 port = 0;
};

QTEST_GUILESS_MAIN(QtSocketTest)
#include "qtsocket_test.moc"
