#include "toc/qt/connectionkeeper.h"

#include <random>
#include <utility>

#include "toc/encoding.h"

namespace toc {

namespace {
    constexpr ConnectionKeeper::Ms MaxProbeHeld { 300000 };
    constexpr ConnectionKeeper::Ms NoNetworkRetry { 300000 };

    std::function<double()> jitterSource()
    {
        auto engine = std::make_shared<std::mt19937>(std::random_device {}());
        return [engine] { return std::uniform_real_distribution<double>(0.0, 1.0)(*engine); };
    }

    std::string seconds(ConnectionKeeper::Ms ms)
    {
        return std::to_string((ms.count() + 999) / 1000) + " s";
    }
}

ConnectionKeeper::ConnectionKeeper(OrbTOCSock& control, FailConnection fail, Settings settings, QObject* parent)
    : QObject(parent)
    , m_control(control)
    , m_fail(std::move(fail))
    , m_settings(settings)
    , m_policy(jitterSource(), settings.reconnect)
    , m_liveness(settings.liveness)
{
    m_clock.start();
    for (QTimer* timer : { &m_retry, &m_watch }) {
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
    }
    connect(&m_retry, &QTimer::timeout, this, &ConnectionKeeper::attempt);
    connect(&m_watch, &QTimer::timeout, this, &ConnectionKeeper::check);
}

void ConnectionKeeper::SignOn(LoginArgs args)
{
    LoginCalled(std::move(args));
    m_control.Login(m_args->UserName, m_args->Password, m_args->TOCServer, m_args->Port, m_args->AuthServer);
}

void ConnectionKeeper::LoginCalled(LoginArgs args)
{
    m_args = std::move(args);
    m_policy.SignOnAsked();
    m_retry.stop();
    m_liveness.SigningOn(now());
    m_probesUnanswered = 0;
    watch();
}

void ConnectionKeeper::SignOff()
{
    m_policy.SignedOff();
    m_retry.stop();
    m_liveness.Stopped();
    m_watch.stop();
    m_reconnecting = false;
    m_signedOn = false;
}

void ConnectionKeeper::CheckNow()
{
    if (m_signedOn && m_args)
        probe();
}

void ConnectionKeeper::TryNow()
{
    if (!m_retry.isActive())
        return;
    m_retry.stop();
    m_policy.SignedOff();
    m_policy.SignOnAsked();
    attempt();
}

void ConnectionKeeper::SetNetworkAvailable(bool available)
{
    if (available == m_networkAvailable)
        return;
    m_networkAvailable = available;
    if (available)
        TryNow();
    else if (m_retry.isActive())
        m_retry.start(std::max<Ms::rep>(m_retry.remainingTime(), NoNetworkRetry.count()));
}

void ConnectionKeeper::attempt()
{
    if (!m_args)
        return;
    if (onAttempt)
        onAttempt();
    m_liveness.SigningOn(now());
    m_probesUnanswered = 0;
    m_signedOn = false;
    watch();
    m_control.Login(m_args->UserName, m_args->Password, m_args->TOCServer, m_args->Port, m_args->AuthServer);
}

void ConnectionKeeper::LoggedIn()
{
    m_policy.SignedOn(now());
    m_reconnecting = false;
    // Signed on behind the keeper's back there is no name to probe with.
    if (!m_args)
        return;
    m_signedOn = true;
    m_liveness.SignedOn(now());
    watch();
}

void ConnectionKeeper::Error(std::int16_t intErrorCode)
{
    m_policy.Refused(intErrorCode);
}

void ConnectionKeeper::WinsockError(const std::string& strError)
{
    m_lastError = strError;
    m_signedOn = false;
    m_liveness.Stopped();
    m_watch.stop();
    m_probesUnanswered = 0;
    if (!m_settings.reconnectEnabled) {
        m_policy.SignedOff();
        return;
    }
    // Attempts against a network that is not there are not counted against the back-off.
    const auto delay = m_networkAvailable ? m_policy.Lost(now()) : std::optional<Ms>(NoNetworkRetry);
    m_reconnecting = delay.has_value();
    if (!delay)
        return;
    m_retry.start(*delay);
    if (onReconnecting)
        onReconnecting(m_policy.Attempt(), *delay, m_lastError);
}

void ConnectionKeeper::IncomingPacket()
{
    m_liveness.Arrived(now());
}

bool ConnectionKeeper::IsProbeAnswer(const std::string& strBuddy)
{
    if (m_probesUnanswered == 0 || NormalizeName(strBuddy) != m_probedName)
        return false;
    --m_probesUnanswered;
    return true;
}

void ConnectionKeeper::watch()
{
    // One wake-up per quiet period at most: arrivals only move the deadline, and the timer,
    // when it fires early, is set again for the moved one.
    const auto due = m_liveness.Due();
    if (!due) {
        m_watch.stop();
        return;
    }
    const Ms left = *due - now();
    m_watch.start(static_cast<int>(std::max<Ms::rep>(0, left.count())));
}

void ConnectionKeeper::probe()
{
    // The account's own status: every server answers it, and it changes nothing.
    m_probedName = NormalizeName(m_args ? m_args->UserName : std::string());
    ++m_probesUnanswered;
    m_probedAt = now();
    m_liveness.ProbeDelayed(m_probedAt);
    m_control.GetStatus(m_probedName);
    watch();
}

void ConnectionKeeper::check()
{
    switch (m_liveness.Check(now())) {
    case Liveness::Verdict::Fine:
        watch();
        return;
    case Liveness::Verdict::Probe:
        probe();
        return;
    case Liveness::Verdict::Dead:
        // Held back too long, the probe no longer excuses the silence: a hung server with a
        // script writing ahead must still be noticed.
        if (m_probesUnanswered > 0 && outgoingHeld && outgoingHeld() && now() - m_probedAt < MaxProbeHeld) {
            m_liveness.ProbeDelayed(now());
            watch();
            return;
        }
        break;
    }
    const auto& s = m_liveness.settings();
    const std::string why = m_probesUnanswered > 0
        ? "No answer from the server for " + seconds(s.quiet + s.answer)
        : "The server did not complete the sign-on within " + seconds(s.signOn);
    if (m_fail)
        m_fail(why);
}

} // namespace toc
