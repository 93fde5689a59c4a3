#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "toc/liveness.h"
#include "toc/orbtocsock.h"
#include "toc/pacer.h"
#include "toc/reconnectpolicy.h"

namespace toc {

/// What Login was given, to give it again.
struct LoginArgs {
    std::string UserName;
    std::string Password;
    std::string TOCServer;
    std::int32_t Port = 0;
    std::optional<std::string> AuthServer;
};

struct AccountSettings {
    ReconnectSettings reconnect;
    LivenessSettings liveness;
    /// Off: a lost connection is reported and left to the host, as a plain control would.
    bool reconnectEnabled = true;
    /// Commands waiting to go out before Full() says so.
    std::size_t queueBound = 256;
};

/// One account on one control: what the user asked it to be, and the one queue its commands wait
/// in on their way to the server.
///
/// It owns the control and sits between it and its socket, so it sees every byte that leaves and
/// paces commands to the server's rate classes (Pacer). What it keeps: the sign-on arguments (a
/// password changed once the server confirms it), profile, away message, idle time and when it was
/// set, capabilities, the rooms as the server named them with their exchange, and the account's
/// warning level. Every new sign-on sets these again before toc_init_done (rooms right after it),
/// asks the account's own status to learn the warning, and only then lets queued commands go.
///
/// Commands wait in one queue, in order, while the account is offline or signing on, and while the
/// server's rate limits hold the one ahead. Nothing is refused: past the bound Full() is true and
/// the host stops producing (toc-cli stops reading its input). A command that can never go (the
/// user signed off, or retrying stopped) is reported through onNotSent.
///
/// Staying online: a lost connection is retried at the times the ReconnectPolicy gives; a silent
/// one is probed and given up by the Liveness check. The probe asks for the account's own profile,
/// a question in the general class, which has room for one every couple of seconds: it goes ahead
/// of the queue, so no queue and no burst of IMs makes a live server look dead.
///
/// No Qt and no clock of its own: it reads the time from the clock it is given, says through
/// onWakeAt when it next needs Tick(), and the host forwards the control's events to it.
class Account {
public:
    using Ms = std::chrono::milliseconds;
    using Settings = AccountSettings;

    enum class State {
        Off,               // never asked to sign on, signed off, or retrying stopped
        SigningOn,         // a sign-on is under way
        SignedOn,
        Waiting,           // waiting to sign on again after a loss
        WaitingForNetwork, // the same, while the system says the network is down
    };

    /// `now` is the clock every time is read from; `random` returns numbers in [0, 1] that place
    /// each reconnect wait within its window (see ReconnectPolicy).
    Account(std::unique_ptr<Socket> socket, OrbTOCSockEvents* host, std::function<Ms()> now,
            Settings settings = {}, std::function<double()> random = {});
    ~Account();
    Account(const Account&) = delete;
    Account& operator=(const Account&) = delete;

    OrbTOCSock& Control() { return *m_control; }

    // What the user asks. Sign-on and sign-off act at once unless the account is signed on with
    // commands still queued: then they wait their turn, and what is queued after them waits for
    // them.

    /// Signs on, and again after every loss until LogOff. Asked while waiting to retry, it tries
    /// now; asked while signed on, it is a new sign-on.
    void SignOn(LoginArgs args);
    /// Signs off: stops waiting and retrying at once, reports what can no longer be sent, and the
    /// control raises LoggedOut. Signed on with commands queued, it waits for them unless told not
    /// to.
    void LogOff(bool afterQueued = true);
    /// Remembered, and sent now if signed on; set again at each sign-on. Empty clears the away
    /// message.
    void SetProfile(std::string profile);
    void SetAwayMessage(std::string message);
    void SetCapability(std::string caps);
    /// 0 means active again. Throws std::overflow_error, changing nothing, when the minutes in
    /// seconds leave int32, as the control does.
    void SetIdleTime(std::int32_t minutes);
    /// Joins, and rejoins after every loss under the name the server gave the room.
    void JoinChat(std::string room, std::int16_t exchange, std::string what = {});
    /// The new password is used for later sign-ons once the server confirms the change.
    void ChangePassword(std::string oldPassword, std::string newPassword, std::string what = {});
    /// Any other command, queued: `run` is called with the control when its turn comes while
    /// signed on. `what` names it in reports.
    void Submit(std::string what, std::function<void(OrbTOCSock&)> run);
    /// Who is asking: what is queued from now on reports not being sent to `asker` instead of
    /// onNotSent, until it is reset. A host with several sources of commands answers each its own.
    using NotSent = std::function<void(const std::string& what, const std::string& why)>;
    void SetAsker(NotSent asker) { m_asker = std::move(asker); }

    /// The queue has reached its bound: stop producing until onRoom.
    bool Full() const { return m_queue.size() >= m_settings.queueBound; }
    std::size_t Queued() const { return m_queue.size(); }
    /// Nothing is waiting to go: the queue is empty, nothing is held for the rate limits, and a
    /// sign-on has finished its own exchange.
    bool Drained() const;

    // What the system says (resume from sleep, the network gone, back or changed).

    /// If signed on, sends the liveness probe now, with the usual answer time; nothing else.
    void CheckNow();
    /// If waiting to retry, tries now, with the back-off started afresh (attempt 1).
    void TryNow();
    /// Down: losses spend no attempts; the account waits for the network, trying once every
    /// 5 minutes in case the system is wrong. Up while waiting: tries now.
    void SetNetworkAvailable(bool available);

    // The control's events, forwarded by the host (before or after its own handling, as noted).

    /// Before the host's own handling returns: the restore goes out before toc_init_done.
    void LoggedIn();
    void LoggedOut();
    void Error(std::int16_t intErrorCode);
    void Warned(const std::string& intWarningLevel);
    /// First: the host reads State() after it.
    void WinsockError(const std::string& strError);
    void JoinedChat(const std::string& strChatName, std::int32_t lngChatID);
    void LeftChat(std::int32_t lngChatID);
    void PasswordChanged();
    void IncomingPacket();
    /// Learns the warning from one's own presence. False for the answer to the account's own
    /// status query, which is no news and should not be shown.
    bool BuddyUpdate(const std::string& strBuddy, std::int16_t intWarningLevel);
    /// False for the answer to the liveness probe (the account's own profile): not to be shown.
    bool UserProfile();

    /// Does whatever has come due; the host calls it at the time onWakeAt last gave.
    void Tick();

    // What the account is doing, for status lines. Times are on the clock given.

    State GetState() const { return m_state; }
    /// The name the account signed on with (as typed), and when the current session began.
    const std::string& Name() const;
    Ms SignedOnAt() const { return m_signedOnAt; }
    /// The attempt waited for or under way, counted from 1 after each loss.
    int Attempt() const { return m_policy.Attempt(); }
    /// The wait before the next attempt, as scheduled, and when it ends.
    Ms RetryDelay() const { return m_retryDelay; }
    std::optional<Ms> RetryAt() const { return m_retryAt; }
    /// What SetNetworkAvailable was told last.
    bool NetworkAvailable() const { return !m_networkDown; }
    /// The profile and the away message kept, if set.
    const std::optional<std::string>& Profile() const { return m_profile; }
    const std::optional<std::string>& AwayMessage() const { return m_away; }
    /// What ended the last connection.
    const std::string& LastError() const { return m_lastError; }
    /// The server refused the name or password (ERROR:980): retrying stopped.
    bool PasswordRefused() const { return m_policy.PasswordRefused(); }
    /// The account's warning level in percent, as last learnt.
    std::int32_t Warning() const { return m_warning; }
    /// The rooms to be in, as the server named them, with their exchange.
    struct Room {
        std::string name;
        std::int16_t exchange = 4;
        bool operator==(const Room&) const = default;
    };
    std::vector<Room> Rooms() const;
    const Settings& settings() const { return m_settings; }

    /// Called whenever the state or the figures above change.
    std::function<void()> onStateChanged;
    /// An attempt is scheduled after this wait (also while waiting for the network).
    std::function<void(int attempt, Ms delay, const std::string& lastError)> onReconnecting;
    /// A scheduled attempt starts now.
    std::function<void()> onAttempt;
    /// A command that will never be sent, and why.
    std::function<void(const std::string& what, const std::string& why)> onNotSent;
    /// The queue is below its bound again after Full().
    std::function<void()> onRoom;
    /// Drained() has become true.
    std::function<void()> onDrained;
    /// When Tick() is next due; nullopt when nothing is. Called whenever that changes.
    std::function<void(std::optional<Ms> at)> onWakeAt;

private:
    class Wire;
    struct Entry {
        enum class Kind { Command, SignOn, LogOff };
        std::string what;
        std::function<void(OrbTOCSock&)> run;
        Kind kind = Kind::Command;
        bool inPacer = false; // its frame is held by the pacer
        NotSent notSent {};
    };

    Ms now() const { return m_now(); }
    void start(LoginArgs args);
    void attempt();
    void connect();
    void logOffNow();
    void stop(const std::string& why);
    void keepRooms();
    void probe();
    void enqueue(Entry entry);
    void notSent(const Entry& entry, const std::string& why);
    void pump();
    void popFront();
    void settle();
    void setState(State state);
    void reschedule();
    bool sendable() const;
    void restore();
    void initDone();
    void learnWarning(std::int32_t percent);

    Settings m_settings;
    std::function<Ms()> m_now;
    Wire* m_wire; // owned by the control
    std::unique_ptr<OrbTOCSock> m_control;
    Pacer m_pacer;
    ReconnectPolicy m_policy;
    Liveness m_liveness;

    State m_state = State::Off;
    std::optional<LoginArgs> m_login;
    std::deque<std::string> m_newPasswords; // asked for, not yet confirmed
    std::optional<std::string> m_profile;
    std::optional<std::string> m_away;
    std::optional<std::string> m_caps;
    std::optional<std::pair<std::int32_t, Ms>> m_idle; // minutes, and when they were set
    std::map<std::int32_t, Room> m_rooms;              // joined, by this connection's chat ID
    std::deque<Room> m_joining;                        // asked for, not yet joined
    std::vector<Room> m_rejoin;                        // to join again at the next sign-on
    std::int32_t m_warning = 0;

    std::deque<Entry> m_queue;
    NotSent m_asker;
    bool m_wasFull = false;
    bool m_initDone = false;            // toc_init_done has gone out on this connection
    std::optional<Ms> m_statusAskedAt;  // it has been, and its answer is awaited
    int m_statusAsked = 0;              // own-status queries not yet answered
    int m_probesOut = 0;                // liveness probes not yet answered
    bool m_probeNext = false;           // the next frame written is a question: ahead of the queue
    bool m_networkDown = false;
    std::optional<Ms> m_retryAt;
    Ms m_retryDelay { 0 };
    Ms m_signedOnAt { 0 };
    std::string m_lastError;
    std::optional<Ms> m_wakeAt;
    bool m_drained = true;
};

} // namespace toc
