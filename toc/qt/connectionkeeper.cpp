#include "toc/qt/connectionkeeper.h"

#include <random>

namespace toc {

namespace {
    std::function<double()> jitterSource()
    {
        auto engine = std::make_shared<std::mt19937>(std::random_device {}());
        return [engine] { return std::uniform_real_distribution<double>(0.0, 1.0)(*engine); };
    }
}

ConnectionKeeper::ConnectionKeeper(std::unique_ptr<Socket> socket, OrbTOCSockEvents* host, AccountSettings settings,
                                   QObject* parent)
    : QObject(parent)
{
    m_clock.start();
    m_timer.setSingleShot(true);
    // A coarse timer may fire a little early and cost a second wake-up for the same command.
    m_timer.setTimerType(Qt::PreciseTimer);
    m_account = std::make_unique<Account>(std::move(socket), host, [this] { return now(); }, settings, jitterSource());
    m_account->onWakeAt = [this](std::optional<Ms> at) {
        if (!at) {
            m_timer.stop();
            return;
        }
        m_timer.start(static_cast<int>(std::max<Ms::rep>(0, (*at - now()).count())));
    };
    connect(&m_timer, &QTimer::timeout, this, [this] { m_account->Tick(); });
}

std::chrono::system_clock::time_point ConnectionKeeper::SignedOnSince() const
{
    return std::chrono::system_clock::now() - (now() - m_account->SignedOnAt());
}

} // namespace toc
