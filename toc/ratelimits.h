#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace toc {

/// The rate classes today's TOC2 servers meter an account's commands with. The server (tocd)
/// enforces them and the clients' pacer models them, both from the one table below.
enum class RateClass : std::uint8_t { General, Chat, IM, Directory };

/// One class's moving-average parameters, in milliseconds between commands.
struct RateClassParams {
    std::int32_t window; // W: the average weighs the newest gap 1/W
    std::int32_t clear; // a limited class is free again once the level climbs back here
    std::int32_t limited; // a command leaving the level below this is dropped (ERROR:903)
    std::int32_t disconnect; // below this the session is closed
    std::int32_t max; // the level's cap and its starting value
};

inline constexpr std::array<RateClassParams, 4> RateClasses { {
    { 80, 2500, 1500, 800, 6000 }, // General
    { 80, 3000, 1500, 1000, 6000 }, // Chat, one per room joined
    { 20, 5100, 4000, 3000, 6000 }, // IM
    { 20, 5500, 4200, 3000, 8000 }, // Directory
} };

inline constexpr const RateClassParams& ParamsOf(RateClass c) { return RateClasses[static_cast<std::size_t>(c)]; }

/// What meters one command: its class and, for chat lines, the room (-1 for every other command).
struct RateKey {
    RateClass cls = RateClass::General;
    std::int32_t room = -1;
    bool operator==(const RateKey&) const = default;
};

/// The key of a command, from its text (command word, then arguments). nullopt for the commands of
/// the sign-on exchange, which are sent before the account exists and are never metered.
std::optional<RateKey> RateKeyOf(std::string_view command);

/// One class's level as the server keeps it. Levels and times are whole milliseconds; the caller
/// gives the clock, so the same code runs in the server, in the pacer and on a test's fake clock.
class RateLevel {
public:
    enum class Verdict { Accepted, Dropped, Disconnect };

    /// At rest: the level at max, not limited, the last command at `nowMs`.
    RateLevel(const RateClassParams& params, std::int64_t nowMs);

    /// Counts a command at `nowMs` (dropped ones count too) and says what the server makes of it.
    Verdict Record(std::int64_t nowMs);
    /// The level a command at `nowMs` would leave.
    std::int32_t LevelAt(std::int64_t nowMs) const;
    /// The earliest time at or after `nowMs` when a command leaves the level at or above `target`
    /// (with the class free, if it is limited now).
    std::int64_t EarliestAt(std::int64_t nowMs, std::int32_t target) const;

    /// A warning level of `percent` (0..100) moves "clear" and "limited" towards max - 150 ms.
    void SetWarning(std::int32_t percent);
    /// Treats the class as limited until the level reaches "clear" (an ERROR:903 seen anyway).
    void MarkLimited() { m_limited = true; }

    std::int32_t Level() const { return m_level; }
    bool Limited() const { return m_limited; }
    std::int32_t Clear() const { return m_clear; }
    std::int32_t LimitedLevel() const { return m_limitedLevel; }
    const RateClassParams& Params() const { return m_params; }

private:
    RateClassParams m_params;
    std::int32_t m_clear;
    std::int32_t m_limitedLevel;
    std::int32_t m_level;
    std::int64_t m_last;
    bool m_limited = false;
};

} // namespace toc
