#include "toc/account.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <stdexcept>
#include <utility>

#include "toc/encoding.h"

namespace toc {

namespace {
    constexpr int WrongRate = 903;
    constexpr std::chrono::minutes NetworkDownRetry { 5 };
    // Unanswered questions counted at most: a server that never answers one is given up by the
    // liveness check long before this matters.
    constexpr int MaxQuestions = 8;

    std::string seconds(Account::Ms ms)
    {
        return std::to_string((ms.count() + 999) / 1000) + " s";
    }

    // Idle minutes the control can still send in seconds.
    constexpr std::int64_t MaxIdleMinutes = std::numeric_limits<std::int32_t>::max() / 60;
}

/// The control's socket: passes everything through, except that what the control writes is paced
/// to the server's rate classes, and a connection found dead can be failed from here.
class Account::Wire : public Socket {
public:
    Wire(Account& account, std::unique_ptr<Socket> inner)
        : m_account(account)
        , m_inner(std::move(inner))
    {
        m_inner->onConnected = [this] {
            if (onConnected)
                onConnected();
        };
        m_inner->onDataArrival = [this] {
            if (onDataArrival)
                onDataArrival();
        };
        m_inner->onError = [this](const std::string& description) {
            if (onError)
                onError(description);
        };
        m_inner->onClosedByPeer = [this] {
            if (onClosedByPeer)
                onClosedByPeer();
        };
    }
    ~Wire() override
    {
        m_inner->onConnected = nullptr;
        m_inner->onDataArrival = nullptr;
        m_inner->onError = nullptr;
        m_inner->onClosedByPeer = nullptr;
    }

    void Connect(const std::string& host, std::int32_t port) override
    {
        // Every connection starts at rest, with its own handshake.
        m_account.m_pacer.Reset();
        m_inner->Connect(host, port);
    }
    void Close() override
    {
        m_account.m_pacer.Reset();
        m_inner->Close();
    }
    void SendData(std::string_view bytes) override
    {
        const Pacer::Output out
            = m_account.m_pacer.Write(bytes, m_account.now().count(), std::exchange(m_account.m_probeNext, false));
        if (!out.send.empty()) {
            m_inner->SendData(out.send);
            m_account.settle();
        }
        if (out.initDone)
            m_account.initDone();
        // A frame held here needs a wake-up, whoever wrote it.
        m_account.reschedule();
    }
    std::string GetData() override { return m_inner->GetData(); }
    SocketState State() const override { return m_inner->State(); }

    bool Connected() const { return m_inner->State() == SocketState::Connected; }
    /// Sends the held frames whose time has come.
    void Release(Ms now)
    {
        // A connection failed but not yet reported keeps what is held; its report resets it.
        if (!Connected())
            return;
        const std::string due = m_account.m_pacer.Release(now.count());
        if (!due.empty()) {
            m_inner->SendData(due);
            m_account.settle();
        }
    }
    /// Ends the connection so that the control reports WinsockError with this text.
    void Fail(const std::string& description)
    {
        m_inner->Close();
        if (onError)
            onError(description);
    }

private:
    Account& m_account;
    std::unique_ptr<Socket> m_inner;
};

Account::Account(std::unique_ptr<Socket> socket, OrbTOCSockEvents* host, std::function<Ms()> now, Settings settings,
                 std::function<double()> random)
    : m_settings(settings)
    , m_now(std::move(now))
    , m_policy(std::move(random), settings.reconnect)
    , m_liveness(settings.liveness)
{
    auto wire = std::make_unique<Wire>(*this, std::move(socket));
    m_wire = wire.get();
    m_control = std::make_unique<OrbTOCSock>(std::move(wire), host);
}

Account::~Account()
{
    // The control closes its socket as it goes, and the socket reaches the pacer.
    m_control->SetHost(nullptr);
    m_control.reset();
}

const std::string& Account::Name() const
{
    static const std::string none;
    return m_login ? m_login->UserName : none;
}

std::vector<Account::Room> Account::Rooms() const
{
    std::vector<Room> rooms = m_rejoin;
    for (const auto& [id, room] : m_rooms)
        rooms.push_back(room);
    return rooms;
}

// ---- what the user asks ----

void Account::SignOn(LoginArgs args)
{
    if (m_state == State::SignedOn && (!m_queue.empty() || m_pacer.Held() > 0)) {
        // What was written before goes out on the session it was meant for.
        enqueue({ "Login", [this, args = std::move(args)](OrbTOCSock&) { start(args); }, Entry::Kind::SignOn });
        return;
    }
    start(std::move(args));
    reschedule();
}

void Account::LogOff(bool afterQueued)
{
    if (afterQueued && m_state == State::SignedOn && (!m_queue.empty() || m_pacer.Held() > 0)) {
        enqueue({ "LogOff", [this](OrbTOCSock&) { logOffNow(); }, Entry::Kind::LogOff });
        return;
    }
    logOffNow();
    reschedule();
}

void Account::logOffNow()
{
    stop("not sent, signed off first");
    m_control->LogOff();
}

void Account::SetProfile(std::string profile)
{
    m_profile = profile;
    if (m_state == State::SignedOn)
        enqueue({ "SetProfile", [profile = std::move(profile)](OrbTOCSock& c) { c.SetProfile(profile); } });
}

void Account::SetAwayMessage(std::string message)
{
    if (message.empty())
        m_away.reset();
    else
        m_away = message;
    if (m_state == State::SignedOn)
        enqueue({ "SetAwayMessage", [message = std::move(message)](OrbTOCSock& c) { c.SetAwayMessage(message); } });
}

void Account::SetCapability(std::string caps)
{
    m_caps = caps;
    if (m_state == State::SignedOn)
        enqueue({ "SetCapability", [caps = std::move(caps)](OrbTOCSock& c) { c.SetCapability(caps); } });
}

void Account::SetIdleTime(std::int32_t minutes)
{
    if (minutes > MaxIdleMinutes || minutes < -MaxIdleMinutes)
        throw std::overflow_error("SetIdleTime: " + std::to_string(minutes) + " minutes do not fit in seconds");
    if (minutes > 0)
        m_idle.emplace(minutes, now());
    else
        m_idle.reset();
    if (m_state == State::SignedOn)
        enqueue({ "SetIdleTime", [minutes](OrbTOCSock& c) { c.SetIdleTime(minutes); } });
}

void Account::JoinChat(std::string room, std::int16_t exchange, std::string what)
{
    if (what.empty())
        what = "JoinChat " + room;
    enqueue({ std::move(what), [this, room = std::move(room), exchange](OrbTOCSock& c) {
                 // Remembered as asked until the server names the room.
                 if (m_joining.size() >= OrbTOCSock::ChatSlots)
                     m_joining.pop_front();
                 m_joining.push_back({ room, exchange });
                 c.JoinChat(room, exchange);
             } });
}

void Account::ChangePassword(std::string oldPassword, std::string newPassword, std::string what)
{
    if (what.empty())
        what = "ChangePassword";
    enqueue({ std::move(what), [this, oldPassword = std::move(oldPassword), newPassword](OrbTOCSock& c) {
                 if (m_newPasswords.size() >= MaxQuestions)
                     m_newPasswords.pop_front();
                 m_newPasswords.push_back(newPassword);
                 c.ChangePassword(oldPassword, newPassword);
             } });
}

void Account::Submit(std::string what, std::function<void(OrbTOCSock&)> run)
{
    enqueue({ std::move(what), std::move(run) });
}

void Account::notSent(const Entry& entry, const std::string& why)
{
    if (entry.notSent)
        entry.notSent(entry.what, why);
    else if (onNotSent)
        onNotSent(entry.what, why);
}

void Account::enqueue(Entry entry)
{
    entry.notSent = m_asker;
    if (m_state == State::Off) {
        notSent(entry, "not sent, not signed on");
        return;
    }
    m_queue.push_back(std::move(entry));
    if (Full())
        m_wasFull = true;
    pump();
    reschedule();
}

// ---- what the system says ----

void Account::CheckNow()
{
    if (m_state != State::SignedOn)
        return;
    m_liveness.Probed(now());
    probe();
    reschedule();
}

void Account::TryNow()
{
    if (m_state != State::Waiting && m_state != State::WaitingForNetwork)
        return;
    m_policy.StartAfresh();
    attempt();
    reschedule();
}

void Account::SetNetworkAvailable(bool available)
{
    if (available == !m_networkDown)
        return;
    m_networkDown = !available;
    if (m_networkDown && m_state == State::Waiting) {
        m_retryAt = now() + NetworkDownRetry;
        m_retryDelay = NetworkDownRetry;
        setState(State::WaitingForNetwork);
        if (onReconnecting)
            onReconnecting(Attempt(), m_retryDelay, m_lastError);
    } else if (!m_networkDown && (m_state == State::Waiting || m_state == State::WaitingForNetwork)) {
        attempt();
    }
    reschedule();
}

// ---- the control's events ----

void Account::LoggedIn()
{
    if (!m_login || m_state == State::Off)
        return;
    const Ms t = now();
    m_policy.SignedOn(t);
    m_liveness.SignedOn(t);
    m_signedOnAt = t;
    m_initDone = false;
    setState(State::SignedOn);
    restore();
    reschedule();
}

void Account::restore()
{
    // Before toc_init_done, so that nobody sees the account without them.
    if (m_profile)
        m_control->SetProfile(*m_profile);
    if (m_away)
        m_control->SetAwayMessage(*m_away);
    if (m_caps)
        m_control->SetCapability(*m_caps);
    if (m_idle) {
        // Still idle, and idle for longer now.
        const auto since = std::chrono::duration_cast<std::chrono::minutes>(now() - m_idle->second).count();
        m_control->SetIdleTime(static_cast<std::int32_t>(std::min<std::int64_t>(m_idle->first + since, MaxIdleMinutes)));
    }
}

void Account::initDone()
{
    if (m_state != State::SignedOn || m_initDone)
        return;
    m_initDone = true;
    // The rooms go first, ahead of whatever was written meanwhile.
    for (auto room = m_rejoin.rbegin(); room != m_rejoin.rend(); ++room) {
        m_queue.push_front({ "JoinChat " + room->name, [this, r = *room](OrbTOCSock& c) {
                                if (m_joining.size() >= OrbTOCSock::ChatSlots)
                                    m_joining.pop_front();
                                m_joining.push_back(r);
                                c.JoinChat(r.name, r.exchange);
                            } });
    }
    m_rejoin.clear();
    // The warning decides how fast IMs may go: nothing leaves before the server has told it (or
    // has let the answer time pass). Asked right behind toc_init_done.
    m_statusAskedAt = now();
    m_statusAsked = std::min(m_statusAsked + 1, MaxQuestions);
    m_probeNext = true;
    m_control->GetStatus(NormalizeName(m_login->UserName));
    m_probeNext = false;
    reschedule();
}

void Account::LoggedOut()
{
    if (m_state != State::Off)
        stop("not sent, signed off first");
    reschedule();
}

void Account::Error(std::int16_t intErrorCode)
{
    if (intErrorCode == WrongRate)
        m_pacer.RateLimited();
    else
        m_policy.SignOnRefused(intErrorCode);
}

void Account::Warned(const std::string& intWarningLevel)
{
    learnWarning(std::atoi(intWarningLevel.c_str()));
}

void Account::learnWarning(std::int32_t percent)
{
    m_warning = std::clamp(percent, 0, 100);
    m_pacer.SetWarning(m_warning);
}

bool Account::BuddyUpdate(const std::string& strBuddy, std::int16_t intWarningLevel)
{
    if (!m_login || NormalizeName(strBuddy) != NormalizeName(m_login->UserName))
        return true;
    learnWarning(intWarningLevel);
    if (m_statusAsked == 0)
        return true;
    --m_statusAsked;
    if (m_statusAskedAt) {
        m_statusAskedAt.reset();
        pump();
        reschedule();
    }
    return false;
}

bool Account::UserProfile()
{
    if (m_probesOut == 0)
        return true;
    --m_probesOut;
    return false;
}

void Account::WinsockError(const std::string& strError)
{
    m_lastError = strError;
    m_liveness.Stopped();
    m_pacer.Reset();
    m_initDone = false;
    m_statusAskedAt.reset();
    m_statusAsked = 0;
    m_probesOut = 0;
    m_newPasswords.clear();
    for (Entry& entry : m_queue)
        entry.inPacer = false;
    // Off, or waiting with no attempt under way: nothing was lost that is not already known.
    if (m_state == State::Off || m_state == State::Waiting || m_state == State::WaitingForNetwork)
        return;
    if (m_state == State::SignedOn)
        keepRooms();
    const bool logOffAsked = std::any_of(m_queue.begin(), m_queue.end(),
                                         [](const Entry& e) { return e.kind == Entry::Kind::LogOff; });
    if (logOffAsked) {
        // The user asked to sign off; what was to go before cannot go now.
        stop("not sent, the connection was lost before signing off");
        m_control->LogOff();
        reschedule();
        return;
    }
    if (!m_settings.reconnectEnabled) {
        stop("not sent, the connection was lost first");
        reschedule();
        return;
    }
    const auto delay = m_policy.Lost(now(), !m_networkDown);
    if (!delay) {
        stop(m_policy.PasswordRefused() ? "not sent, the server refused the password" : "not sent, the connection was lost first");
        reschedule();
        return;
    }
    m_retryDelay = m_networkDown ? Ms(NetworkDownRetry) : *delay;
    m_retryAt = now() + m_retryDelay;
    setState(m_networkDown ? State::WaitingForNetwork : State::Waiting);
    if (onReconnecting)
        onReconnecting(Attempt(), m_retryDelay, m_lastError);
    reschedule();
}

void Account::JoinedChat(const std::string& strChatName, std::int32_t lngChatID)
{
    const std::string name = NormalizeName(strChatName);
    const auto asked = std::find_if(m_joining.begin(), m_joining.end(),
                                    [&](const Room& r) { return NormalizeName(r.name) == name; });
    // Joined by accepting an invitation: the exchange is not told; 4 is where rooms live.
    std::int16_t exchange = 4;
    if (asked != m_joining.end()) {
        exchange = asked->exchange;
        m_joining.erase(asked);
    }
    // The control cannot be in more rooms than its table holds; a server that says otherwise
    // does not grow this.
    if (m_rooms.size() < OrbTOCSock::ChatSlots || m_rooms.contains(lngChatID))
        m_rooms[lngChatID] = { strChatName, exchange };
}

void Account::LeftChat(std::int32_t lngChatID)
{
    m_rooms.erase(lngChatID);
}

void Account::PasswordChanged()
{
    if (m_newPasswords.empty() || !m_login)
        return;
    m_login->Password = std::move(m_newPasswords.front());
    m_newPasswords.pop_front();
}

void Account::IncomingPacket()
{
    m_liveness.Arrived(now());
    reschedule();
}

// ---- the timers ----

void Account::Tick()
{
    m_wakeAt.reset();
    const Ms t = now();
    m_wire->Release(t);
    if (m_statusAskedAt && t >= *m_statusAskedAt + m_liveness.settings().answer)
        m_statusAskedAt.reset(); // no answer: go on with the warning known so far
    if (const auto due = m_liveness.Due(); due && *due <= t) {
        const bool signingOn = m_state == State::SigningOn;
        switch (m_liveness.Check(t)) {
        case Liveness::Verdict::Fine:
            break;
        case Liveness::Verdict::Probe:
            probe();
            break;
        case Liveness::Verdict::Dead: {
            const auto& s = m_liveness.settings();
            m_wire->Fail(signingOn ? "The server did not complete the sign-on within " + seconds(s.signOn)
                                   : "No answer from the server for " + seconds(s.quiet + s.answer));
            break;
        }
        }
    }
    if (m_retryAt && *m_retryAt <= now())
        attempt();
    pump();
    reschedule();
}

void Account::reschedule()
{
    const Ms t = now();
    std::optional<Ms> at;
    const auto consider = [&](std::optional<Ms> when) {
        if (when && (!at || *when < *at))
            at = when;
    };
    consider(m_retryAt);
    consider(m_liveness.Due());
    if (m_wire->Connected()) {
        if (const auto next = m_pacer.NextAt(t.count()))
            consider(Ms(*next));
    }
    if (m_statusAskedAt)
        consider(*m_statusAskedAt + m_liveness.settings().answer);
    if (sendable() && !m_queue.empty() && m_pacer.Held() == 0)
        consider(t);
    if (at != m_wakeAt) {
        m_wakeAt = at;
        if (onWakeAt)
            onWakeAt(at);
    }
    const bool drained = Drained();
    if (drained && !std::exchange(m_drained, true)) {
        if (onDrained)
            onDrained();
    }
    m_drained = drained;
}

bool Account::Drained() const
{
    return m_queue.empty() && m_pacer.Held() == 0 && (m_state != State::SignedOn || sendable());
}

// ---- the connection ----

void Account::start(LoginArgs args)
{
    const bool sameAccount = m_login && NormalizeName(m_login->UserName) == NormalizeName(args.UserName);
    if (!sameAccount) {
        m_rooms.clear();
        m_joining.clear();
        m_rejoin.clear();
        learnWarning(0);
    } else if (m_state == State::SignedOn) {
        keepRooms();
    }
    m_login = std::move(args);
    m_newPasswords.clear();
    m_policy.SignOnAsked(now());
    connect();
}

void Account::attempt()
{
    m_retryAt.reset();
    if (!m_login)
        return;
    if (onAttempt)
        onAttempt();
    connect();
}

void Account::connect()
{
    m_retryAt.reset();
    m_initDone = false;
    m_statusAskedAt.reset();
    m_statusAsked = 0;
    m_probesOut = 0;
    m_liveness.SigningOn(now());
    setState(State::SigningOn);
    const LoginArgs args = *m_login;
    m_control->Login(args.UserName, args.Password, args.TOCServer, args.Port, args.AuthServer);
}

void Account::stop(const std::string& why)
{
    m_policy.SignedOff();
    m_retryAt.reset();
    m_liveness.Stopped();
    m_initDone = false;
    m_statusAskedAt.reset();
    m_rooms.clear();
    m_joining.clear();
    m_rejoin.clear();
    setState(State::Off);
    // Reported last: a handler may ask for something new.
    std::deque<Entry> dropped = std::exchange(m_queue, {});
    m_wasFull = false;
    for (const Entry& entry : dropped) {
        if (entry.kind == Entry::Kind::Command)
            notSent(entry, why);
    }
}

void Account::keepRooms()
{
    const auto add = [this](const Room& room) {
        const bool known = std::any_of(m_rejoin.begin(), m_rejoin.end(), [&](const Room& r) {
            return NormalizeName(r.name) == NormalizeName(room.name) && r.exchange == room.exchange;
        });
        if (!known)
            m_rejoin.push_back(room);
    };
    for (const auto& [id, room] : m_rooms)
        add(room);
    for (const Room& room : m_joining)
        add(room);
    m_rooms.clear();
    m_joining.clear();
}

void Account::probe()
{
    if (!m_login)
        return;
    // The account's own profile: every server answers it, it changes nothing, and its class has
    // room for a question every few seconds.
    m_probesOut = std::min(m_probesOut + 1, MaxQuestions);
    m_probeNext = true;
    m_control->GetProfile(NormalizeName(m_login->UserName));
    m_probeNext = false;
}

bool Account::sendable() const
{
    return m_state == State::SignedOn && m_initDone && !m_statusAskedAt;
}

void Account::pump()
{
    while (sendable() && !m_queue.empty() && m_pacer.Held() == 0) {
        if (m_queue.front().inPacer) {
            popFront();
            continue;
        }
        Entry entry = std::move(m_queue.front());
        popFront();
        try {
            entry.run(*m_control);
        } catch (const std::exception& e) {
            notSent(entry, std::string("not sent, ") + e.what());
        }
        if (m_pacer.Held() > 0 && m_wire->Connected()) {
            // Leaves when its class allows; it stays first until then.
            entry.inPacer = true;
            m_queue.push_front(std::move(entry));
        }
    }
}

void Account::settle()
{
    // Whatever wrote last, the command the pacer held has gone once nothing is held: it must not
    // go again after a loss.
    if (m_pacer.Held() == 0 && !m_queue.empty() && m_queue.front().inPacer)
        popFront();
}

void Account::popFront()
{
    m_queue.pop_front();
    if (m_wasFull && !Full()) {
        m_wasFull = false;
        if (onRoom)
            onRoom();
    }
}

void Account::setState(State state)
{
    m_state = state;
    if (onStateChanged)
        onStateChanged();
}

} // namespace toc
