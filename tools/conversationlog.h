#pragma once

#include <ctime>
#include <functional>
#include <string>
#include <string_view>

namespace tocli {

/// The account's conversation log: DIR/YYYY-MM-DD.log per local day, one line per thing said or
/// happened, "HH:MM:SS " first. The directory is made 0700 and each file 0600. Every line is
/// opened, written and closed on its own: it is with the kernel when the call returns, and a log
/// that was removed, made unwritable or filled up is tried afresh with the next line.
class ConversationLog {
public:
    using LocalClock = std::function<std::tm()>;

    explicit ConversationLog(std::string dir, LocalClock clock);

    void Received(std::string_view name, std::string_view text);
    /// An IM sent; `automatic` marks the away message's answers.
    void Sent(std::string_view name, std::string_view text, bool automatic);
    void Chat(std::string_view room, std::string_view name, std::string_view text);
    /// A line about the account itself ("signed on", "connection lost", ...).
    void Note(std::string_view what);

    /// Told once when writing starts failing, with why, and again only after a line got through;
    /// told too when the directory had gone and was made again.
    std::function<void(const std::string& why)> onFailure;

private:
    void write(std::string_view what);
    bool append(const std::string& file, const std::string& line, std::string& why);

    std::string m_dir;
    LocalClock m_clock;
    bool m_failing = false;
    bool m_existed = false;
};

/// Message bytes as a log shows them: markup removed (a line break kept as one), the common
/// entities decoded, UTF-8 kept where valid and Latin-1 read otherwise, each line break written
/// as a visible \n and other control characters as spaces, so one message is one line.
std::string LogText(std::string_view bytes);

} // namespace tocli
