#include "toc/reconnectpolicy.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace toc {

namespace {
    constexpr int WrongPassword = 980;
    constexpr int WarningTooHigh = 982;
    constexpr int TooManySignOns = 983;

    // base * 2^(n-1), capped; the doubling stops once the cap is reached, so no overflow.
    ReconnectPolicy::Ms doubled(ReconnectPolicy::Ms base, int n, ReconnectPolicy::Ms cap)
    {
        ReconnectPolicy::Ms d = base;
        for (int i = 1; i < n && d < cap; ++i)
            d *= 2;
        return std::min(d, cap);
    }

    // A point of [low, high] chosen by r in [0, 1].
    ReconnectPolicy::Ms within(ReconnectPolicy::Ms low, ReconnectPolicy::Ms high, double r)
    {
        r = std::clamp(r, 0.0, 1.0);
        return low + ReconnectPolicy::Ms(std::llround(static_cast<double>((high - low).count()) * r));
    }
}

ReconnectPolicy::ReconnectPolicy(std::function<double()> random, Settings settings)
    : m_random(std::move(random))
    , m_settings(settings)
{
}

void ReconnectPolicy::SignOnAsked(Ms now)
{
    const auto signedOnAt = std::exchange(m_signedOnAt, std::nullopt);
    if (!m_armed || (signedOnAt && now - *signedOnAt >= m_settings.stableSession)) {
        m_attempt = 0;
        m_limiterRefusals = 0;
    }
    m_armed = true;
    // The user may have corrected the password.
    m_passwordRefused = false;
    m_pendingCode = 0;
}

void ReconnectPolicy::SignedOn(Ms now)
{
    m_signedOnAt = now;
    m_limiterRefusals = 0;
    m_pendingCode = 0;
}

void ReconnectPolicy::SignOnRefused(int code)
{
    // Only a sign-on is refused; these codes mean nothing to a session already signed on.
    if (m_signedOnAt)
        return;
    if (code == WrongPassword)
        m_passwordRefused = true;
    m_pendingCode = code;
}

void ReconnectPolicy::StartAfresh()
{
    // The attempt starting now is the first.
    m_attempt = 1;
    m_limiterRefusals = 0;
}

void ReconnectPolicy::SignedOff()
{
    m_armed = false;
    m_signedOnAt.reset();
}

std::optional<ReconnectPolicy::Ms> ReconnectPolicy::Lost(Ms now, bool counted)
{
    const int code = std::exchange(m_pendingCode, 0);
    const auto signedOnAt = std::exchange(m_signedOnAt, std::nullopt);
    if (!m_armed || m_passwordRefused)
        return std::nullopt;
    if (signedOnAt && now - *signedOnAt >= m_settings.stableSession)
        m_attempt = 0;
    if (counted || m_attempt == 0)
        ++m_attempt;

    const double r = m_random ? m_random() : 1.0;
    const Ms d = doubled(m_settings.firstDelay, m_attempt, m_settings.maxDelay);
    Ms wait = within(d / 2, d, r);
    if (code == TooManySignOns) {
        ++m_limiterRefusals;
        const Ms floor = doubled(m_settings.limiterWait, m_limiterRefusals, m_settings.limiterMax);
        wait = std::max(wait, within(floor, std::max(floor, std::min(floor * 5 / 4, m_settings.limiterMax)), r));
    } else if (code == WarningTooHigh) {
        wait = std::max(wait, within(m_settings.warningWait, m_settings.warningWait * 5 / 4, r));
    }
    return wait;
}

} // namespace toc
