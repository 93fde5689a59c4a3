#pragma once

#include <chrono>
#include <functional>
#include <optional>

namespace toc {

/// The waits of ReconnectPolicy.
struct ReconnectSettings {
    std::chrono::milliseconds firstDelay { 1000 };
    std::chrono::milliseconds maxDelay { 300000 };
    std::chrono::milliseconds stableSession { 60000 };
    std::chrono::milliseconds limiterWait { 60000 };
    std::chrono::milliseconds limiterMax { 600000 };
    std::chrono::milliseconds warningWait { 600000 };
};

/// Decides when to sign on again after a lost connection. It is told what happened and when, and
/// keeps no clock or timer of its own, so one sequence of events always gets the same answers.
///
/// The n-th attempt in a row waits a random time in [d/2, d], d = min(2^(n-1) * firstDelay,
/// maxDelay): clients dropped together by one server restart come back spread out. The count
/// starts afresh once a sign-on has held for stableSession, counted from the sign-on; a session
/// lost before that keeps counting. The server's sign-on refusals change the wait: ERROR:980 (wrong name or password) stops retrying until the next sign-on is asked for,
/// ERROR:982 (warning level) waits at least warningWait, ERROR:983 (sign-on limiter) at least
/// limiterWait, doubling with each 983 in a row up to limiterMax.
class ReconnectPolicy {
public:
    using Ms = std::chrono::milliseconds;

    using Settings = ReconnectSettings;

    /// `random` returns numbers in [0, 1]: where within its window each wait falls.
    explicit ReconnectPolicy(std::function<double()> random, Settings settings = {});

    /// Someone asked to sign on (the user's Sign On, a script's Login): losses are retried from
    /// now on, and the sign-on now under way is a new one (its refusal counts). Asked again while
    /// retrying, or signed on for less than stableSession, the count and the limiter's wait carry on.
    void SignOnAsked(Ms now);
    /// The account is signed on.
    void SignedOn(Ms now);
    /// The server refused the sign-on under way with this ERROR code.
    void SignOnRefused(int code);
    /// The next attempt is the first again (the system says it is worth trying now).
    void StartAfresh();
    /// The user signed off: nothing is retried until a sign-on is asked for again.
    void SignedOff();

    /// The connection failed or dropped: how long to wait before signing on again, or nullopt
    /// for not at all (never asked, signed off, or refused for good). Not `counted` (the network
    /// is down, the host waits for it), the attempt count stays where it is.
    std::optional<Ms> Lost(Ms now, bool counted = true);

    /// The attempt in a row that the last Lost scheduled, from 1.
    int Attempt() const { return m_attempt; }
    /// A wrong name or password (ERROR:980) stopped the retrying.
    bool PasswordRefused() const { return m_passwordRefused; }

private:
    std::function<double()> m_random;
    Settings m_settings;
    bool m_armed = false;
    bool m_passwordRefused = false;
    int m_attempt = 0;
    int m_limiterRefusals = 0; // 983s in a row
    int m_pendingCode = 0;     // the refusal of the sign-on under way
    std::optional<Ms> m_signedOnAt;
};

} // namespace toc
