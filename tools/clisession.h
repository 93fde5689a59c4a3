#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
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

namespace toc {
class PacedSocket;
}

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

/// toc-cli without its plumbing: owns the control, prints its events, runs command lines, keeps
/// the profile set, and decides when the program is done.
class CliSession : public JsonEventWriter {
public:
    /// How often the profile is set again while signed on, as the window does.
    static constexpr int ProfileIntervalMs = 60000;

    /// `fail` ends a connection found dead so that the control reports WinsockError (the
    /// socket's Fail); without it dead connections go unnoticed.
    CliSession(CliOptions options, std::unique_ptr<toc::Socket> socket, LineSink out,
               std::function<void(int status)> finished, toc::ConnectionKeeper::FailConnection fail = {});

    /// Who sent a line: 0 for stdin, else a control client. Replies go back to it alone.
    using Origin = std::uint64_t;
    using ReplySink = std::function<void(Origin, const std::string& line)>;
    /// Where replies go; unset, they are printed with the events.
    ReplySink replyTo;
    /// The log's and the answers' local time.
    std::function<std::tm()> localClock = LocalNow;
    /// How long commands held for the rate limits may take to go out once asked to stop.
    static constexpr int StopGraceMs = 10000;

    /// Signs on with the options.
    void Start();
    /// Commands that may wait for the first sign-on; more are refused.
    static constexpr std::size_t MaxWaitingLines = 10000;

    /// One line of input: a command, or a blank line (ignored). Until the first sign-on completes,
    /// and while reconnecting, commands wait, and run in order once signed on.
    void HandleLine(std::string_view line, Origin origin = 0);
    /// A line of input too long to be a command.
    void HandleOverlongLine(Origin origin = 0);
    /// End of input: toc-cli is done, once the first sign-on has completed and the commands
    /// waiting for it have run (or it has failed).
    void HandleEndOfInput();
    /// Ends as LogOff does, for a signal: held commands get StopGraceMs to go out, and each one
    /// still unsent, or still waiting for a sign-on, is reported as an error.
    void Stop();

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
    void IncomingPacket(const std::string& strPacket) override;
    void InstantMessage(const std::string& strUserName, const std::string& strMessage, bool blnAutoResponse,
                        const std::string& strUserClass) override;
    void ChatMessage(std::int32_t lngChatID, const std::string& strUserName, const std::string& strMessage) override;

private:
    struct Room {
        std::string name;
        std::int16_t exchange = 4;
    };

    void run(std::string_view line, Origin origin);
    void reply(Origin origin, const std::string& line);
    void logNote(std::string_view what);
    void logSignedOff();
    bool waitsForHeld(std::string_view line) const;
    void runWaiting();
    void finish(int status);
    bool holdCommands() const;
    /// Notes what a command set that the server forgets with the connection.
    void remember(const std::string& method, const Json& line);
    void restoreBeforeInitDone();
    void rejoinRooms();

    CliOptions m_options;
    LineSink m_out;
    std::function<void(int)> m_onFinished;
    // Set when the socket paces commands to the server's rate limits. Before m_control, which
    // takes the socket.
    toc::PacedSocket* m_paced;
    toc::OrbTOCSock m_control;
    toc::ConnectionKeeper m_keeper;
    CommandDispatcher m_dispatcher;
    QTimer m_profileTimer;
    std::deque<std::pair<std::string, Origin>> m_waiting;
    AutoReply m_autoReply;
    std::optional<ConversationLog> m_log;
    std::string m_self;

    // What this session set and a new connection must set again.
    std::optional<std::string> m_profile;
    std::optional<std::string> m_away;
    std::optional<std::string> m_caps;
    std::optional<std::pair<std::int32_t, std::chrono::steady_clock::time_point>> m_idle;
    std::map<std::int32_t, Room> m_rooms;
    std::deque<Room> m_joining;          // asked for, not yet joined
    std::vector<Room> m_roomsToRejoin;   // captured when the connection dropped

    bool m_signedOn = false;
    bool m_everSignedOn = false;
    bool m_inputEnded = false;
    bool m_finished = false;
    bool m_stopping = false;
    bool m_loggingOff = false;
    bool m_signOffLogged = false;
};

} // namespace tocli
