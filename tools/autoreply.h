#pragma once

#include <chrono>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tocli {

/// Who gets the away message as an automatic answer: while an away message is set, each other
/// screen name once per interval, never in answer to an answer (two away accounts would otherwise
/// answer each other for ever). Names compare normalised. Free of Qt: the clocks are passed in.
class AutoReply {
public:
    using Clock = std::chrono::steady_clock;

    /// `every` of zero answers nobody.
    explicit AutoReply(std::chrono::seconds every);

    /// A new away message: everyone may be answered again. None, or an empty one, stops answering.
    void SetAway(const std::optional<std::string>& text);
    const std::optional<std::string>& Away() const { return m_away; }

    /// The answer to an IM from `sender` to the account `self`, with its % codes expanded, or none.
    /// An answer given is counted from `now`.
    std::optional<std::string> Answer(std::string_view self, std::string_view sender, bool autoResponse,
                                      Clock::time_point now, const std::tm& local);

private:
    void forgetExpired(Clock::time_point now);

    std::chrono::seconds m_every;
    std::optional<std::string> m_away;
    std::unordered_map<std::string, Clock::time_point> m_answered;
};

/// `text` with %n the sender as the server wrote it, %d the date (YYYY-MM-DD), %t the time (HH:MM)
/// and %% one %. Any other % stays as it is.
std::string ExpandAway(std::string_view text, std::string_view sender, const std::tm& local);

/// The local time now, for the answers' and the log's clocks.
std::tm LocalNow();

} // namespace tocli
