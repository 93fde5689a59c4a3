#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "tocd/session.h"

namespace tocd {

struct Buddy {
    std::string name; // as the client wrote it
    std::string alias;
    std::string key; // normalised name
};

struct Group {
    std::string name;
    std::vector<Buddy> buddies;
};

/// What one account heard from another in the last hour, and how often it warned it since: a
/// warning needs more of the first than of the second. Times in milliseconds, oldest first.
struct Heard {
    std::deque<std::int64_t> ims;
    std::deque<std::int64_t> warnings;
};

/// A registered screen name and everything stored for it. Lives as long as the service.
struct Account {
    std::string name; // normalised
    std::string formatted; // as first registered, or as reformatted since
    std::string password; // plain text
    std::string profile;
    std::vector<Group> groups;
    std::vector<std::string> deny; // normalised
    std::vector<std::string> permit; // normalised
    int pdmode = 0; // 0: never set, behaves as "deny some"
    int warning = 0; // percent, as raised at warnedAt; it decays from there
    std::int64_t warnedAt = 0; // milliseconds
    std::optional<std::string> config; // the first version's configuration text, as last stored
    std::unordered_map<std::string, Heard> heard; // by sender's normalised name
    std::size_t heardSweepAt = 64; // heard is swept of stale senders when it grows to this
    std::vector<std::string> watching; // normalised buddy names, sorted, no repeats
    std::int64_t signonsDueAt = 0; // milliseconds; the sign-on limiter's schedule
    bool bot = false;
    Session* online = nullptr;
};

/// A chat room; it lives while someone is in it or holds an ID for it.
struct Room {
    std::string key;
    std::string name;
    std::vector<Session*> members; // in joining order
    std::size_t references = 0; // chat-table entries naming it
};

/// The service behind all sessions: accounts, who is online and visible, chat rooms, and every
/// client command. Single-threaded; sessions call in while handling their own bytes. Every session
/// must be destroyed before the service.
class Service {
public:
    struct Options {
        /// Screen name of an always-online account that echoes IMs and accepts chat invitations;
        /// empty for none.
        std::string botName;
        /// Unix time in seconds; the system clock when empty.
        std::function<std::int64_t()> clock;
        /// Milliseconds for the rate limits and warnings. When empty: `clock` in milliseconds if
        /// that is given (a test's clock), else the steady clock.
        std::function<std::int64_t()> clockMs {};
        /// Meter commands with today's servers' rate classes; off for load tests and benchmarks.
        bool rateLimits = true;
        /// Sign-ons one screen name may make in a burst, and per minute after it; 0: no limit.
        unsigned signonBurst = 0;
        unsigned signonsPerMinute = 0;
    };

    explicit Service(Options options);
    ~Service();
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;

    /// Sends an empty keep-alive frame to every signed-on client.
    void keepAlive();
    /// Number of signed-on sessions, the bot included.
    std::size_t signedOnCount() const { return m_online.size(); }
    /// The stored profile of an account, nothing when the name is not registered.
    std::optional<std::string> profileOf(std::string_view name) const;

    /// True when `name` is acceptable as a screen name (letters, digits, spaces and . _ @ -).
    static bool validScreenName(std::string_view name);

    // Called by sessions.
    enum class LoginResult { Ok, Refused, TooSoon };
    /// Checks the password, or registers the name at its first sign-on (TooSoon: the name has
    /// signed on more often than the limiter allows, whatever the password); on success the session
    /// takes the account over from any older one and gets SIGN_ON, NICK and CONFIG2.
    LoginResult login(Session& session, std::string_view name, std::string_view password);
    /// The warning level of an account now, its decay included.
    int warningOf(const Account& a) const;
    /// Runs one client command, `words[0]` being the command word; answers go out as messages.
    void command(Session& session, std::vector<std::string>& words);
    /// Takes a signed-on session off the service: it leaves its rooms and its watchers see it go.
    void signOff(Session& session);

private:
    using Words = std::vector<std::string>;

    std::int64_t now() const;
    std::int64_t nowMs() const;
    /// Counts a sign-on attempt against the limiter; false when it comes too soon.
    bool signonAllowed(Account& a);
    /// Counts a command against its rate class; false when it must not run (ERROR:903 sent, or the
    /// session closed at the disconnect level).
    bool meter(Session& s, const Words& w);
    Account* find(std::string_view name);
    const Account* find(std::string_view name) const;

    // Presence.
    /// Whether `target`'s privacy settings let `viewer` see it.
    static bool mayView(const Account& target, const Account& viewer);
    /// Whether `viewer` sees `target` online and may message it: blocking hides both ways.
    static bool sees(const Account& viewer, const Account& target);
    /// The visible session behind `name` that `viewer` may reach; one's own session always.
    Session* reachable(const Account& viewer, std::string_view name);
    static std::string userClass(const Session& s);
    /// Presence of `s` as `viewer`'s dialect writes it.
    std::string buddyUpdate(const Session& s, const Session& viewer) const;
    static std::string capsUpdate(const Session& s);
    static std::string departure(const Account& a, const Session& viewer);
    /// Sends the same message to every viewer, built once per dialect.
    void tellAll(const std::vector<Session*>& to, const std::function<std::string(const Session&)>& make);
    /// Visible sessions that list `a` as a buddy and may see it.
    std::vector<Session*> viewers(const Account& a) const;
    void tellWatchers(Session& s, bool withCaps);
    void tellAboutBuddies(Session& s, const std::vector<std::string>& names);
    /// Visible sessions of `a`'s buddies that `a` sees.
    std::vector<Session*> shown(const Account& a) const;
    /// Who sees `a`, and whom `a` sees, before a change to its lists.
    struct Sight {
        std::vector<Session*> viewers;
        std::optional<std::vector<Session*>> shown; // only where the change can hide buddies
    };
    Sight sight(const Account& a, bool withShown) const;
    /// Tells arrival or departure to whoever gained or lost sight of `s` since `before`, and to `s`
    /// of the buddies it gained or lost sight of.
    void privacyChanged(Session& s, Sight before);
    /// Brings the watcher index up to date with a's buddy list; returns the names newly watched.
    std::vector<std::string> rewatch(Account& a);

    // Commands.
    void initDone(Session& s, Words& w);
    void setInfo(Session& s, Words& w);
    void getInfo(Session& s, Words& w);
    void sendIm(Session& s, Words& w);
    void getStatus(Session& s, Words& w);
    void setAway(Session& s, Words& w);
    void setIdle(Session& s, Words& w);
    void setCaps(Session& s, Words& w);
    void evil(Session& s, Words& w);
    void formatNickname(Session& s, Words& w);
    void changePassword(Session& s, Words& w);
    void clientEvent(Session& s, Words& w);
    void newBuddies(Session& s, Words& w);
    void removeBuddy(Session& s, Words& w);
    void newGroup(Session& s, Words& w);
    void deleteGroup(Session& s, Words& w);
    void addDeny(Session& s, Words& w);
    void removeDeny(Session& s, Words& w);
    void addPermit(Session& s, Words& w);
    void removePermit(Session& s, Words& w);
    void setPdmode(Session& s, Words& w);
    void chatJoin(Session& s, Words& w);
    void chatSend(Session& s, Words& w);
    void chatLeave(Session& s, Words& w);
    void chatInvite(Session& s, Words& w);
    void chatAccept(Session& s, Words& w);
    void chatWhisper(Session& s, Words& w);
    // The first version's commands.
    void addBuddyOld(Session& s, Words& w);
    void removeBuddyOld(Session& s, Words& w);
    void addPermitOld(Session& s, Words& w);
    void addDenyOld(Session& s, Words& w);
    void setConfig(Session& s, Words& w);

    // Shared steps.
    void deliverIm(Session& from, std::string_view to, std::string_view text, bool autoResponse);
    /// `a`'s tally of what `sender` sent and what `a` warned it, pruned to the last hour.
    Heard& heardFrom(Account& a, const std::string& sender, std::int64_t at);
    /// Adds and removes buddies of the first group (made if there is none) without confirmations,
    /// as the first version did; watchers and the session see the presence that changes.
    void editBuddiesOld(Session& s, Words& w, bool add);
    /// Turns the privacy mode to permit some or deny some and adds the names, unconfirmed.
    void editPrivacyOld(Session& s, Words& w, bool deny);
    std::string chatLine(const Session& to, std::int32_t id, const Session& from, bool whisper,
        std::string_view text) const;
    void editPrivacyList(Session& s, Words& w, bool deny, bool add);
    Group* findGroup(Account& a, std::string_view name);
    /// The group, created if needed; nothing when the name or the group count is refused.
    Group* ensureGroup(Account& a, std::string_view name);

    // Chats.
    Session::ChatEntry* chatById(Session& s, std::int32_t id);
    /// The entry a command's chat ID argument names; nothing when it is not a number or unknown.
    Session::ChatEntry* chatByArgument(Session& s, std::string_view idArgument);
    /// As chatByArgument, but only a room the session is in.
    Session::ChatEntry* joinedChat(Session& s, std::string_view idArgument);
    /// The session's entry for the room, made if needed (the oldest room it has left makes way
    /// when its table is full); nothing when there is no room for one.
    Session::ChatEntry* chatEntryFor(Session& s, Room& room);
    void joinRoom(Session& s, Session::ChatEntry& entry);
    void leaveRoom(Session& s, Session::ChatEntry& entry, bool tellLeaver);
    void releaseRoom(Room& room);

    Options m_options;
    std::unordered_map<std::string, std::unique_ptr<Account>> m_accounts;
    // Buddy name -> accounts that list it.
    std::unordered_map<std::string, std::vector<Account*>> m_watchers;
    std::unordered_map<std::string, std::unique_ptr<Room>> m_rooms;
    std::vector<Session*> m_online;
    std::unique_ptr<Session> m_bot;
};

} // namespace tocd
