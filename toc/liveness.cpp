#include "toc/liveness.h"

namespace toc {

void Liveness::SigningOn(Ms now)
{
    m_state = State::SigningOn;
    m_since = now;
    m_probedAt.reset();
}

void Liveness::SignedOn(Ms now)
{
    m_state = State::SignedOn;
    m_since = now;
    m_probedAt.reset();
}

void Liveness::Arrived(Ms now)
{
    // The sign-on's own frames do not stretch its deadline: a server trickling bytes is no better.
    if (m_state != State::SignedOn)
        return;
    m_since = now;
    m_probedAt.reset();
}

void Liveness::Probed(Ms now)
{
    if (m_state != State::SignedOn)
        return;
    if (!m_probedAt || now < *m_probedAt)
        m_probedAt = now;
}

std::optional<Liveness::Ms> Liveness::Due() const
{
    switch (m_state) {
    case State::SigningOn:
        return m_since + m_settings.signOn;
    case State::SignedOn:
        return m_probedAt ? *m_probedAt + m_settings.answer : m_since + m_settings.quiet;
    case State::Off:
        break;
    }
    return std::nullopt;
}

Liveness::Verdict Liveness::Check(Ms now)
{
    const auto due = Due();
    if (!due || now < *due)
        return Verdict::Fine;
    if (m_state == State::SignedOn && !m_probedAt) {
        m_probedAt = now;
        return Verdict::Probe;
    }
    m_state = State::Off;
    return Verdict::Dead;
}

} // namespace toc
