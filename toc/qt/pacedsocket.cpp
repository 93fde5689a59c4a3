#include "toc/qt/pacedsocket.h"

#include <chrono>
#include <utility>

namespace toc {

PacedSocket::PacedSocket(std::unique_ptr<Socket> inner, QObject* parent)
    : QObject(parent)
    , m_inner(std::move(inner))
{
    m_timer.setSingleShot(true);
    // A coarse timer may fire a little early and cost a second wake-up for the same command.
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &PacedSocket::release);
    m_inner->onConnected = [this] {
        if (onConnected)
            onConnected();
    };
    m_inner->onDataArrival = [this] {
        if (onDataArrival)
            onDataArrival();
    };
    m_inner->onError = [this](const std::string& description) {
        dropHeld("the connection failed first");
        if (onError)
            onError(description);
    };
    m_inner->onClosedByPeer = [this] {
        dropHeld("the server closed the connection first");
        if (onClosedByPeer)
            onClosedByPeer();
    };
}

PacedSocket::~PacedSocket()
{
    m_inner->onConnected = nullptr;
    m_inner->onDataArrival = nullptr;
    m_inner->onError = nullptr;
    m_inner->onClosedByPeer = nullptr;
}

void PacedSocket::Connect(const std::string& host, std::int32_t port)
{
    dropHeld("a new connection was started first");
    m_inner->Connect(host, port);
}

void PacedSocket::Close()
{
    dropHeld("the connection was closed first");
    m_inner->Close();
}

void PacedSocket::SendData(std::string_view bytes)
{
    Pacer::Output out = m_pacer.Write(bytes, now());
    if (!out.send.empty())
        m_inner->SendData(out.send);
    for (const std::string& command : out.refused) {
        if (onRefused)
            onRefused("not sent, too many commands are waiting for the server's rate limits: " + command);
    }
    schedule();
}

void PacedSocket::release()
{
    // A connection failed but not yet reported keeps what is held, to be reported with it.
    if (m_inner->State() != SocketState::Connected)
        return;
    const std::string due = m_pacer.Release(now());
    if (!due.empty())
        m_inner->SendData(due);
    schedule();
}

void PacedSocket::schedule()
{
    const std::int64_t at = now();
    const std::optional<std::int64_t> next = m_pacer.NextAt(at);
    if (!next) {
        m_timer.stop();
        drained();
        return;
    }
    m_timer.start(static_cast<int>(std::max<std::int64_t>(*next - at, 0)));
}

void PacedSocket::dropHeld(const char* why)
{
    // Always: the next connection starts at rest, with its own handshake.
    const std::vector<std::string> dropped = m_pacer.Reset();
    m_timer.stop();
    for (const std::string& command : dropped) {
        if (onRefused)
            onRefused(std::string("not sent, ") + why + ": " + command);
    }
    drained();
}

void PacedSocket::drained()
{
    for (auto& done : std::exchange(m_drained, {}))
        done();
}

void PacedSocket::WhenDrained(std::function<void()> done)
{
    if (m_pacer.Held() == 0) {
        done();
        return;
    }
    m_drained.push_back(std::move(done));
}

std::int64_t PacedSocket::now()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace toc
