// A burst of IMs from rest through the account's queue and pacer, as Rivir and toc-cli send it: two accounts sign on
// to tocd (rate limits on), one sends COUNT IMs to the other at once; timed from the first SendIM
// until the last IM arrives, beside the least time the server's model allows for the burst.
//
//   imburst HOST:PORT COUNT
//
// Prints burst_ms, least_ms and errors (903s and lost connections; must be 0).

#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "toc/qt/connectionkeeper.h"
#include "toc/qt/qtsocket.h"
#include "toc/ratelimits.h"

namespace {

using Clock = std::chrono::steady_clock;

class Client : public toc::OrbTOCSockEvents {
public:
    explicit Client(std::function<void()> online)
        : m_online(std::move(online))
        , keeper(std::make_unique<toc::QtSocket>(), this)
    {
    }
    void LoggedIn(const std::string&, const std::vector<std::string>&, const std::vector<std::string>&,
        const std::vector<std::string>&, const std::vector<std::string>&, const std::string&, std::int16_t) override
    {
        keeper.account().LoggedIn();
        // Online once toc_init_done has gone, right after this handler.
        QTimer::singleShot(0, m_online);
    }
    void InstantMessage(const std::string&, const std::string&, bool, const std::string&) override
    {
        if (++received == target)
            QCoreApplication::exit(0);
    }
    void IncomingPacket(const std::string&) override { keeper.account().IncomingPacket(); }
    void BuddyUpdate(const std::string& name, bool, std::int16_t warning, std::int32_t, std::int32_t,
        const std::string&) override
    {
        keeper.account().BuddyUpdate(name, warning);
    }
    void Error(std::int16_t code, const std::string& text) override
    {
        keeper.account().Error(code);
        std::fprintf(stderr, "imburst: server error %d %s\n", code, text.c_str());
        ++errors;
    }
    void WinsockError(const std::string& text) override
    {
        std::fprintf(stderr, "imburst: %s\n", text.c_str());
        ++errors;
        QCoreApplication::exit(1);
    }

    std::function<void()> m_online;
    toc::ConnectionKeeper keeper;
    int received = 0;
    int target = -1;
    int errors = 0;
};

// From rest, sending each IM as soon as it leaves the level at "limited".
std::int64_t leastMs(int count)
{
    toc::RateLevel level(toc::ParamsOf(toc::RateClass::IM), 0);
    std::int64_t at = 0;
    for (int i = 0; i < count; ++i) {
        at = level.EarliestAt(at, level.LimitedLevel());
        level.Record(at);
    }
    return at;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const std::string server = argc == 3 ? argv[1] : "";
    const auto colon = server.rfind(':');
    const int count = argc == 3 ? std::atoi(argv[2]) : 0;
    if (colon == std::string::npos || count <= 0) {
        std::fprintf(stderr, "usage: imburst HOST:PORT COUNT\n");
        return 2;
    }
    const std::string host = server.substr(0, colon);
    const int port = std::atoi(server.c_str() + colon + 1);
    const std::string receiverName = "burstto" + std::to_string(getpid());
    Clock::time_point start;

    Client sender([&] {});
    Client receiver([&] { sender.keeper.account().SignOn({ "burstfrom" + std::to_string(getpid()), "pw", host, port, {} }); });
    sender.m_online = [&] {
        start = Clock::now();
        for (int i = 1; i <= count; ++i) {
            sender.keeper.account().Submit("SendIM", [&, i](toc::OrbTOCSock& c) {
                c.SendIM(receiverName, "burst " + std::to_string(i));
            });
        }
    };
    receiver.target = count;
    receiver.keeper.account().SignOn({ receiverName, "pw", host, port, {} });
    QTimer::singleShot(std::chrono::minutes(5), &app, [] {
        std::fprintf(stderr, "imburst: the burst did not arrive in time\n");
        QCoreApplication::exit(1);
    });
    const int status = QCoreApplication::exec();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    if (status == 0)
        std::printf("burst_ms %lld\nleast_ms %lld\nerrors %d\n", static_cast<long long>(ms),
                    static_cast<long long>(leastMs(count)), sender.errors + receiver.errors);
    return status;
}
