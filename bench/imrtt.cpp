// IM round trips as a host of the control sees them: SendIM to tocd's echo bot, timed until the
// bot's answer arrives as an InstantMessage event, over QtSocket in Qt's event loop.
//
//   imrtt HOST:PORT BOT ROUNDS
//
// Prints the sizes of the frames that crossed the wire each way, so the raw ping-pong baseline
// can bounce the same number of bytes, and the percentiles.

#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench/latency.h"
#include "toc/encoding.h"
#include "toc/orbtocsock.h"
#include "toc/qt/qtsocket.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int warmUpRounds = 1000;

/// Passes everything through to QtSocket and remembers the size of the last write.
class CountingSocket : public toc::Socket {
public:
    CountingSocket()
    {
        m_inner.onConnected = [this] { if (onConnected) onConnected(); };
        m_inner.onDataArrival = [this] { if (onDataArrival) onDataArrival(); };
        m_inner.onError = [this](const std::string& d) { if (onError) onError(d); };
        m_inner.onClosedByPeer = [this] { if (onClosedByPeer) onClosedByPeer(); };
    }
    void Connect(const std::string& host, std::int32_t port) override { m_inner.Connect(host, port); }
    void Close() override { m_inner.Close(); }
    void SendData(std::string_view bytes) override
    {
        lastWrite = bytes.size();
        m_inner.SendData(bytes);
    }
    std::string GetData() override
    {
        std::string data = m_inner.GetData();
        lastRead = data.size();
        return data;
    }
    toc::SocketState State() const override { return m_inner.State(); }

    std::size_t lastWrite = 0;
    std::size_t lastRead = 0;

private:
    toc::QtSocket m_inner;
};

class Pinger : public toc::OrbTOCSockEvents {
public:
    Pinger(std::string bot, int rounds)
        : m_bot(std::move(bot))
        , m_rounds(rounds)
    {
        auto socket = std::make_unique<CountingSocket>();
        m_socket = socket.get();
        m_control = std::make_unique<toc::OrbTOCSock>(std::move(socket), this);
        m_micros.reserve(static_cast<std::size_t>(rounds));
    }

    void start(const std::string& host, int port)
    {
        m_control->Login("imrtt" + std::to_string(getpid()), "secret", host, port);
    }

    void LoggedIn(const std::string&, const std::vector<std::string>&, const std::vector<std::string>&,
        const std::vector<std::string>&, const std::vector<std::string>&, const std::string&,
        std::int16_t) override
    {
        // The control finishes the sign-on (toc_init_done) after this handler returns.
        QTimer::singleShot(0, [this] { sendNext(); });
    }

    void InstantMessage(const std::string& strUserName, const std::string&, bool, const std::string&) override
    {
        if (toc::NormalizeName(strUserName) != toc::NormalizeName(m_bot))
            return;
        const double us = std::chrono::duration<double, std::micro>(Clock::now() - m_sentAt).count();
        if (m_done++ >= warmUpRounds)
            m_micros.push_back(us);
        m_replyBytes = m_socket->lastRead;
        if (m_done < warmUpRounds + m_rounds)
            sendNext();
        else
            finish(0);
    }

    void Error(std::int16_t code, const std::string& text) override
    {
        std::fprintf(stderr, "imrtt: server error %d %s\n", code, text.c_str());
        finish(1);
    }
    void WinsockError(const std::string& text) override
    {
        std::fprintf(stderr, "imrtt: %s\n", text.c_str());
        finish(1);
    }

    int exitCode = 1;

private:
    void sendNext()
    {
        m_sentAt = Clock::now();
        m_control->SendIM(m_bot, "are you around later? ping " + std::to_string(m_done % 10));
        m_requestBytes = m_socket->lastWrite;
    }

    void finish(int code)
    {
        if (code == 0) {
            std::printf("request_bytes %zu\nreply_bytes %zu\n", m_requestBytes, m_replyBytes);
            bench::printLatency(m_micros);
        }
        exitCode = code;
        QCoreApplication::exit(code);
    }

    std::string m_bot;
    int m_rounds;
    CountingSocket* m_socket = nullptr;
    std::unique_ptr<toc::OrbTOCSock> m_control;
    Clock::time_point m_sentAt;
    int m_done = 0;
    std::size_t m_requestBytes = 0;
    std::size_t m_replyBytes = 0;
    std::vector<double> m_micros;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const std::string server = argc == 4 ? argv[1] : "";
    const auto colon = server.rfind(':');
    if (colon == std::string::npos || std::atoi(argv[3]) <= 0) {
        std::fprintf(stderr, "usage: imrtt HOST:PORT BOT ROUNDS\n");
        return 2;
    }
    Pinger pinger(argv[2], std::atoi(argv[3]));
    pinger.start(server.substr(0, colon), std::atoi(server.c_str() + colon + 1));
    // A stuck exchange must not hang the whole bench run.
    QTimer::singleShot(std::chrono::minutes(2), &app, [] {
        std::fprintf(stderr, "imrtt: no answer in time\n");
        QCoreApplication::exit(1);
    });
    return QCoreApplication::exec();
}
