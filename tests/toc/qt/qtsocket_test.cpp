#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include "toc/qt/qtsocket.h"

using namespace std::string_literals;

namespace {

constexpr int Timeout = 5000;

QByteArray bytes(const std::string& s) { return QByteArray(s.data(), static_cast<qsizetype>(s.size())); }

// Every notification of a QtSocket, in order, with what it read.
struct Probe {
    explicit Probe(toc::QtSocket& s)
    {
        s.onConnected = [this] { log += "connected|"; };
        s.onDataArrival = [this, &s] { log += "data " + s.GetData() + "|"; };
        s.onError = [this](const std::string& d) { log += "error " + d + "|"; };
        s.onClosedByPeer = [this] { log += "closed|"; };
    }
    std::string log;
};

// Lets the event loop run a moment, so that a notification that should not come has the chance to.
void settle() { QTest::qWait(100); }

} // namespace

class QtSocketTest : public QObject {
    Q_OBJECT

private slots:
    void init() { QVERIFY(server.listen(QHostAddress::LocalHost, 0)); }
    void cleanup() { server.close(); }

    // Every byte value both ways; what the peer sent before closing comes before the close.
    void bytesPassBothWaysAndDataComesBeforeThePeersClose()
    {
        std::string all;
        for (int i = 0; i < 256; ++i)
            all += static_cast<char>(i);
        toc::QtSocket sock;
        Probe probe(sock);
        sock.Connect("127.0.0.1", server.serverPort());
        QTcpSocket* peer = accept();
        QTRY_COMPARE_WITH_TIMEOUT(probe.log, "connected|"s, Timeout);
        sock.SendData(all); // leaves at once: the client's event loop does not run while the peer waits
        QByteArray got;
        while (got.size() < 256 && peer->waitForReadyRead(Timeout))
            got += peer->readAll();
        QCOMPARE(got, bytes(all));
        peer->write(bytes(all));
        peer->disconnectFromHost();
        QTRY_VERIFY_WITH_TIMEOUT(probe.log.ends_with("closed|"), Timeout);
        settle();
        QCOMPARE(probe.log, "connected|data " + all + "|closed|");
        QCOMPARE(sock.State(), toc::SocketState::Closed);

        // Our own close raises nothing, and what was sent before it still arrives.
        sock.Connect("127.0.0.1", server.serverPort());
        peer = accept();
        QTRY_VERIFY_WITH_TIMEOUT(probe.log.ends_with("connected|"), Timeout);
        sock.SendData("bye\xff");
        sock.Close();
        QTRY_COMPARE_WITH_TIMEOUT(peer->state(), QAbstractSocket::UnconnectedState, Timeout);
        QCOMPARE(peer->readAll(), QByteArray("bye\xff"));
        sock.SendData("late");
        settle();
        QVERIFY(probe.log.ends_with("|closed|connected|"));
    }

    // A refused connection, an empty host and a port out of range each fail once, after the call.
    void failedConnectionsAreOneErrorRaisedLater()
    {
        const quint16 port = server.serverPort();
        server.close();
        for (const auto& [host, to] : { std::pair { "127.0.0.1", int(port) }, { "", int(port) }, { "127.0.0.1", 65536 } }) {
            toc::QtSocket sock;
            Probe probe(sock);
            sock.Connect(host, to);
            QCOMPARE(probe.log, ""s);
            QTRY_VERIFY_WITH_TIMEOUT(!probe.log.empty(), Timeout);
            settle();
            QVERIFY(probe.log.starts_with("error ") && probe.log.size() > 7 && probe.log.find('|') == probe.log.size() - 1);
            QVERIFY(to != 65536 || probe.log == "error Invalid port number|");
        }
    }

private:
    QTcpSocket* accept()
    {
        if (!server.hasPendingConnections())
            server.waitForNewConnection(Timeout);
        return server.nextPendingConnection();
    }

    QTcpServer server;
};

QTEST_GUILESS_MAIN(QtSocketTest)
#include "qtsocket_test.moc"
