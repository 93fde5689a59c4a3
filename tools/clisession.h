#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <QTimer>

#include "toc/orbtocsock.h"
#include "toc/qt/connectionkeeper.h"
#include "tools/autoreply.h"
#include "tools/commanddispatcher.h"
#include "tools/conversationlog.h"
#include "tools/jsoneventwriter.h"

namespace tocli {

struct CliOptions {
    std::string host;
    std::int32_t port = 0;
    std::string screenName;
    std::string password;
    std::optional<std::string> profile;
    /// Sign on again after a lost connection; off, a loss is reported and left to the script.
    bool reconnect = true;
    toc::LivenessSettings liveness {};
    /// Set at every sign-on; while one is set, IMs get it as an automatic answer.
    std::optional<std::string> away {};
    std::chrono::seconds autoReplyEvery { 600 };
    std::optional<std::string> logDir {};
};

/// Exit statuses of toc-cli.
enum ExitStatus : int {
    ExitOk = 0,             // LogOff, or end of input
    ExitSignOnFailed = 1,   // the connection failed or closed before the first sign-on completed
    ExitBadArguments = 2,
    ExitRefused = 3,        // the server refused the name or password (ERROR:980): restarting cannot help
};

/// toc-cli without its plumbing: prints the control's events, hands command lines to the account,
/// keeps the profile set, and decides when the program is done. What the account is asked to be
/// lives in the account (toc::Account), not here.
class CliSession : public JsonEventWriter {
public:
    /// How often the profile is set again while signed on, as the window does.
    static constexpr int ProfileIntervalMs = 60000;

    CliSession(CliOptions options, std::unique_ptr<toc::Socket> socket, LineSink out,
               std::function<void(int status)> finished);

    /// Who sent a line: 0 for stdin, else a control client. Replies go back to it alone.
    using Origin = std::uint64_t;
    using ReplySink = std::function<void(Origin, const std::string& line)>;
    /// Where replies go; unset, they are printed with the events.
    ReplySink replyTo;
    /// The log's and the answers' local time.
    std::function<std::tm()> localClock = LocalNow;
    /// How long queued commands may take to go out once asked to stop.
    static constexpr int StopGraceMs = 10000;

    /// Signs on with the options.
    void Start();

    /// One line of input: a command, or a blank line (ignored). Commands wait in the account's
    /// queue until signed on, and while the rate limits hold the one ahead.
    void HandleLine(std::string_view line, Origin origin = 0);
    /// A line of input too long to be a command.
    void HandleOverlongLine(Origin origin = 0);
    /// End of input: toc-cli is done once everything written has gone (or can never go).
    void HandleEndOfInput();
    /// Ends as LogOff does, for a signal: queued commands get StopGraceMs to go out, and each one
    /// still unsent is reported as an error.
    void Stop();

    /// The queue is full: stop reading input until onRoom.
    bool Full() const { return m_keeper.account().Full(); }
    std::function<void()> onRoom;

    bool Finished() const { return m_finished; }
    QTimer& ProfileTimer() { return m_profileTimer; }
    toc::ConnectionKeeper& Keeper() { return m_keeper; }

    void LoggedIn(const std::string& strUserName, const std::vector<std::string>& BuddyList,
                  const std::vector<std::string>& BlockList, const std::vector<std::string>& PrivateList,
                  const std::vector<std::string>& MiscData, const std::string& strPreferences,
                  std::int16_t PrivacyMode) override;
    void LoggedOut(const std::string& strUserName) override;
    void Error(std::int16_t intErrorCode, const std::string& strError) override;
    void Warned(const std::string& intWarningLevel, const std::string& strFromUser) override;
    void WinsockError(const std::string& strError) override;
    void JoinedChat(const std::string& strChatName, std::int32_t lngChatID) override;
    void LeftChat(std::int32_t lngChatID) override;
    void BuddyUpdate(const std::string& strBuddy, bool blnOnline, std::int16_t intWarningLevel,
                     std::int32_t lngOnlineTime, std::int32_t lngIdleTime, const std::string& strUserClass) override;
    void UserProfile(const std::string& strURL) override;
    void IncomingPacket(const std::string& strPacket) override;
    void PasswordChanged() override;
    void InstantMessage(const std::string& strUserName, const std::string& strMessage, bool blnAutoResponse,
                        const std::string& strUserClass) override;
    void ChatMessage(std::int32_t lngChatID, const std::string& strUserName, const std::string& strMessage) override;

private:
    void finish(int status);
    void finishIfDone();
    void reply(Origin origin, const std::string& line);
    void logNote(std::string_view what);
    void logSignedOff();

    CliOptions m_options;
    LineSink m_out;
    std::function<void(int)> m_onFinished;
    toc::ConnectionKeeper m_keeper;
    CommandDispatcher m_dispatcher;
    QTimer m_profileTimer;
    AutoReply m_autoReply;
    std::optional<ConversationLog> m_log;

    bool m_signedOn = false;
    bool m_everSignedOn = false;
    bool m_stopping = false;
    bool m_signOffLogged = false;
    bool m_inputEnded = false;
    bool m_finished = false;
};

} // namespace tocli
