#pragma once

#include <chrono>
#include <optional>

namespace toc {

/// The times of Liveness.
struct LivenessSettings {
    std::chrono::milliseconds signOn { 30000 };
    std::chrono::milliseconds quiet { 60000 };
    std::chrono::milliseconds answer { 30000 };
};

/// Notices a connection that has gone dead without saying so. Today's servers send nothing while
/// there is no news, so silence proves nothing: after `quiet` without a byte from the server the
/// host asks it something it must answer, and a connection that brings nothing within `answer`
/// after that is dead. A sign-on that does not complete within `signOn` is dead too (a hung server
/// whose kernel still accepts connections). Told the time, keeps no clock of its own.
///
/// So a silent connection is given up `quiet` + `answer` after its last byte at the latest, whatever
/// the host has waiting to be sent: the probe must go out ahead of it.
class Liveness {
public:
    using Ms = std::chrono::milliseconds;

    using Settings = LivenessSettings;

    enum class Verdict { Fine, Probe, Dead };

    explicit Liveness(Settings settings = {}) : m_settings(settings) { }

    /// A sign-on started: it must complete within `signOn`.
    void SigningOn(Ms now);
    void SignedOn(Ms now);
    /// Something came from the server.
    void Arrived(Ms now);
    /// A probe left outside Check (the system asked for one): its answer is awaited from now, or
    /// from the probe already awaited if that is due sooner.
    void Probed(Ms now);
    /// The connection is over; nothing is watched until the next sign-on.
    void Stopped() { m_state = State::Off; }

    /// When Check has something to decide; nullopt while nothing is watched.
    std::optional<Ms> Due() const;
    /// Probe: ask the server now (its answer is awaited from now on); Dead: give the connection
    /// up. Fine before Due, and when something arrived in time.
    Verdict Check(Ms now);

    const Settings& settings() const { return m_settings; }

private:
    enum class State { Off, SigningOn, SignedOn };

    Settings m_settings;
    State m_state = State::Off;
    Ms m_since { 0 };        // SigningOn: start of the sign-on; SignedOn: the last arrival
    std::optional<Ms> m_probedAt;
};

} // namespace toc
