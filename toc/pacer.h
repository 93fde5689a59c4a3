#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "toc/flap.h"
#include "toc/ratelimits.h"

namespace toc {

/// Keeps what a client writes to the server within the server's rate classes, so that no command
/// is dropped with ERROR:903 and the account is never thrown off for speed.
///
/// It reads the byte stream the control writes (the handshake line, then FLAP frames) and lets
/// each frame leave as soon as the model allows: the handshake, SIGNON and keep-alive frames, the
/// sign-on command and toc_init_done at once; every other command in the order given, held while
/// sending it would leave its class's level below "limited" (so a held IM holds the commands
/// behind it, whatever their class). Frames leave with sequence numbers in the order they actually
/// leave, since keep-alives may overtake held frames. A frame written "ahead" (the liveness probe:
/// a question, not a change of state) goes before every held one, as soon as its own class allows.
/// Times are whole milliseconds on a clock the caller gives. No Qt, no socket, no bound: the caller
/// decides how much it writes.
class Pacer {
public:
    /// How much shorter than ours a gap between two commands may look to the server (its clock,
    /// its queues) without a drop. A gap weighs 1/W in the average, so every command leaves its
    /// level JitterMs / W above the threshold the server checks: a wait of JitterMs once when a
    /// burst first meets the limit, and JitterMs / W per command after that.
    static constexpr std::int32_t JitterMs = 60;
    /// A new connection: every class at rest, nothing held, the stream starting with the handshake
    /// line. The warning level stays: it belongs to the account, not to the connection.
    void Reset();

    struct Output {
        std::string send; // bytes to write now
        bool initDone = false; // toc_init_done is among them
    };
    /// Takes bytes the control wrote at `nowMs`; `ahead`: before the commands held.
    Output Write(std::string_view bytes, std::int64_t nowMs, bool ahead = false);
    /// The held frames whose time has come at `nowMs`.
    std::string Release(std::int64_t nowMs);
    /// When the first held command may leave; nullopt when nothing is held.
    std::optional<std::int64_t> NextAt(std::int64_t nowMs);
    std::size_t Held() const { return m_held.size(); }

    /// An ERROR:903 came anyway (another client on the account, a stricter server): the class of
    /// the command sent last counts as limited until its level is back at "clear".
    void RateLimited();
    /// The account's own warning level, in percent; it tightens the IM class.
    void SetWarning(std::int32_t percent);

private:
    struct HeldFrame {
        std::string frame;
        RateKey key;
    };

    void takeFrame(std::string_view frame, std::int64_t nowMs, bool ahead, Output& out);
    void release(std::int64_t nowMs, std::string& out);
    RateLevel& levelOf(const RateKey& key, std::int64_t nowMs);
    std::int64_t readyAt(const RateKey& key, std::int64_t nowMs);
    void record(const RateKey& key, std::int64_t nowMs);
    void leave(std::string_view frame, std::string& out);

    std::map<std::pair<RateClass, std::int32_t>, RateLevel> m_levels;
    std::deque<HeldFrame> m_held;
    FlapReader m_reader;
    bool m_inHandshake = false; // a byte of the handshake line has passed
    bool m_framing = false; // past the handshake line
    bool m_newline = false; // the handshake's last byte was a line feed
    std::optional<std::uint16_t> m_seq; // the next frame's sequence number, once known
    std::optional<RateKey> m_last; // the class of the command sent last
    std::int32_t m_warning = 0;
};

} // namespace toc
