#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include "toc/liveness.h"
#include "toc/orbtocsock.h"
#include "toc/reconnectpolicy.h"

namespace toc {

/// What Login was given, to give it again.
struct LoginArgs {
    std::string UserName;
    std::string Password;
    std::string TOCServer;
    std::int32_t Port = 0;
    std::optional<std::string> AuthServer;
};

struct KeeperSettings {
    ReconnectSettings reconnect;
    LivenessSettings liveness;
    /// Off: losses are reported and left to the host, as a plain control would.
    bool reconnectEnabled = true;
};

/// Keeps one control online: signs on again after a lost connection, at the times the
/// ReconnectPolicy gives, and gives up connections the Liveness check finds dead. It sits beside
/// the control, not inside it: the host forwards the control's events and restores whatever its
/// session had set once the account is back.
class ConnectionKeeper : public QObject {
    Q_OBJECT
public:
    using Ms = std::chrono::milliseconds;
    /// Ends the current connection so that the control reports WinsockError with this text.
    using FailConnection = std::function<void(const std::string& description)>;

    using Settings = KeeperSettings;

    ConnectionKeeper(OrbTOCSock& control, FailConnection fail, Settings settings = {}, QObject* parent = nullptr);

    void SetFailConnection(FailConnection fail) { m_fail = std::move(fail); }

    /// Signs on now, and again with the same arguments after every loss until SignOff. Asked
    /// while waiting to reconnect, it connects at once.
    void SignOn(LoginArgs args);
    /// The host called Login itself with these arguments: as SignOn, without calling it again.
    void LoginCalled(LoginArgs args);
    /// Stops waiting and retrying; the host signs off the control itself.
    void SignOff();

    // The control's events, forwarded by the host.
    void LoggedIn();
    void LoggedOut() { SignOff(); }
    void Error(std::int16_t intErrorCode);
    void WinsockError(const std::string& strError);
    void IncomingPacket();
    /// Whether this presence update answers the keeper's own probe; such an answer is consumed
    /// and should not be shown.
    bool IsProbeAnswer(const std::string& strBuddy);

    /// Signed on: probe now instead of after the quiet period (resume, a new route).
    void CheckNow();
    /// Waiting to reconnect: try now, with the back-off started afresh.
    void TryNow();
    /// Without a network no attempt is spent: one every 5 min in case the system is wrong; its
    /// return tries at once.
    void SetNetworkAvailable(bool available);
    bool NetworkAvailable() const { return m_networkAvailable; }
    /// Signed on and watched.
    bool SignedOn() const { return m_signedOn; }

    /// Between a loss and the sign-on that repairs it: waiting, or trying.
    bool Reconnecting() const { return m_reconnecting; }
    /// Waiting for the next attempt.
    bool Waiting() const { return m_retry.isActive(); }
    /// How long the wait has still to go.
    Ms RetryIn() const { return Ms(std::max(0, m_retry.remainingTime())); }
    /// The attempt waited for or under way, counted from 1 after each loss.
    int Attempt() const { return m_policy.Attempt(); }
    /// What ended the last connection.
    const std::string& LastError() const { return m_lastError; }
    /// A wrong name or password stopped the retrying.
    bool GaveUp() const { return m_policy.GaveUp(); }
    /// The next attempt is scheduled after this wait (called when it is scheduled).
    std::function<void(int attempt, Ms delay, const std::string& lastError)> onReconnecting;
    /// A scheduled attempt starts now (Login is being called).
    std::function<void()> onAttempt;
    /// Whether commands are still held back on their way out (by the pacing); a probe among
    /// them cannot have been answered yet.
    std::function<bool()> outgoingHeld;

    const Settings& settings() const { return m_settings; }

private:
    Ms now() const { return Ms(m_clock.elapsed()); }
    void attempt();
    void watch();
    void check();
    void probe();

    OrbTOCSock& m_control;
    FailConnection m_fail;
    Settings m_settings;
    ReconnectPolicy m_policy;
    Liveness m_liveness;
    QElapsedTimer m_clock;
    QTimer m_retry;
    QTimer m_watch;
    std::optional<LoginArgs> m_args;
    std::string m_lastError;
    std::string m_probedName;
    Ms m_probedAt { 0 };
    int m_probesUnanswered = 0;
    bool m_reconnecting = false;
    bool m_signedOn = false;
    bool m_networkAvailable = true;
};

} // namespace toc
