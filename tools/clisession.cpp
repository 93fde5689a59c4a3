#include "tools/clisession.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <utility>

#include <QMetaObject>

#include "toc/qt/pacedsocket.h"
#include "tools/bytejson.h"

namespace tocli {

namespace {

constexpr std::size_t MaxJoinsAwaited = 32;

bool sameRoom(const std::string& a, const std::string& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](unsigned char x, unsigned char y) {
        return std::tolower(x) == std::tolower(y);
    });
}

} // namespace

CliSession::CliSession(CliOptions options, std::unique_ptr<toc::Socket> socket, LineSink out,
                       std::function<void(int status)> finished, toc::ConnectionKeeper::FailConnection fail)
    : JsonEventWriter(out)
    , m_options(std::move(options))
    , m_out(std::move(out))
    , m_onFinished(std::move(finished))
    , m_paced(dynamic_cast<toc::PacedSocket*>(socket.get()))
    , m_control(std::move(socket), this)
    , m_keeper(m_control, std::move(fail), { {}, m_options.liveness, m_options.reconnect })
    , m_dispatcher(m_control)
    , m_autoReply(m_options.autoReplyEvery)
    , m_profile(m_options.profile)
{
    if (m_options.away && !m_options.away->empty())
        m_away = m_options.away;
    m_autoReply.SetAway(m_away);
    if (m_options.logDir) {
        m_log.emplace(*m_options.logDir, [this] { return localClock(); });
        m_log->onFailure = [this](const std::string& why) {
            // The account stays online; the next line tries again.
            std::fprintf(stderr, "toc-cli: cannot write the log: %s\n", why.c_str());
            Json error = Json::object();
            error["error"] = BytesToJson("log: " + why);
            m_out(error.dump());
        };
    }
    // A Login from the script starts a new sign-on: no refresh may slip in before its toc2_login.
    m_dispatcher.beforeCall = [this](const std::string& method) {
        if (method == "Login")
            m_profileTimer.stop();
    };
    m_dispatcher.afterCall = [this](const std::string& method, const Json& line) { remember(method, line); };
    m_profileTimer.setInterval(ProfileIntervalMs);
    QObject::connect(&m_profileTimer, &QTimer::timeout, [this] {
        if (m_profile)
            m_control.SetProfile(*m_profile);
    });
    m_keeper.outgoingHeld = [this] { return m_paced && m_paced->Held() > 0; };
    m_keeper.onReconnecting = [this](int attempt, toc::ConnectionKeeper::Ms delay, const std::string& lastError) {
        Json line = Json::object();
        line["event"] = "Reconnecting";
        line["args"] = Json::array({ attempt, delay.count(), BytesToJson(lastError) });
        m_out(line.dump());
    };
}

void CliSession::Start()
{
    m_keeper.SignOn({ m_options.screenName, m_options.password, m_options.host, m_options.port, std::nullopt });
}

bool CliSession::holdCommands() const
{
    if (!m_everSignedOn || !m_waiting.empty())
        return true;
    // While reconnecting they wait for the new session rather than vanish on a closed socket.
    return !m_signedOn && m_options.reconnect && m_keeper.Reconnecting();
}

void CliSession::HandleLine(std::string_view line, Origin origin)
{
    if (m_finished || line.find_first_not_of(" \t") == std::string_view::npos)
        return;
    if (m_stopping) {
        Json error = Json::object();
        error["error"] = "toc-cli is ending";
        reply(origin, error.dump());
        return;
    }
    if (!holdCommands() && !waitsForHeld(line)) {
        run(line, origin);
        return;
    }
    // Sent now, a command would go out before toc2_login (and spoil the sign-on) or be dropped
    // while connecting; a script that writes ahead means it for the signed-on account.
    if (m_waiting.size() >= MaxWaitingLines) {
        Json error = Json::object();
        error["error"] = "too many commands waiting for the sign-on";
        reply(origin, error.dump());
        return;
    }
    m_waiting.emplace_back(line, origin);
    // Held behind paced commands (not for a sign-on): runs once they have gone.
    if (m_signedOn && m_waiting.size() == 1 && m_paced)
        m_paced->WhenDrained([this] { runWaiting(); });
}

bool CliSession::waitsForHeld(std::string_view line) const
{
    // Ending the connection would throw away what the script sent before; let that go first.
    if (!m_paced || m_paced->Held() == 0)
        return false;
    const Json command = Json::parse(line, nullptr, false);
    return command.is_array() && !command.empty()
        && (command[0] == "LogOff" || command[0] == "Login");
}

void CliSession::run(std::string_view line, Origin origin)
{
    if (auto result = m_dispatcher.Execute(line))
        reply(origin, *result);
}

void CliSession::reply(Origin origin, const std::string& line)
{
    if (replyTo)
        replyTo(origin, line);
    else
        m_out(line);
}

void CliSession::logNote(std::string_view what)
{
    if (m_log)
        m_log->Note(what);
}

void CliSession::logSignedOff()
{
    if (m_everSignedOn && !std::exchange(m_signOffLogged, true))
        logNote("signed off");
}

void CliSession::runWaiting()
{
    while (!m_waiting.empty() && !m_finished && (m_signedOn || !m_options.reconnect)) {
        if (waitsForHeld(m_waiting.front().first)) {
            m_paced->WhenDrained([this] { runWaiting(); });
            return;
        }
        const auto [line, origin] = std::move(m_waiting.front());
        m_waiting.pop_front();
        run(line, origin);
    }
    if (m_inputEnded && m_waiting.empty())
        finish(ExitOk);
}

void CliSession::remember(const std::string& method, const Json& line)
{
    const auto textArg = [&](std::size_t i) { return i < line.size() ? JsonToBytes(line[i]) : std::nullopt; };
    const auto intArg = [&](std::size_t i) {
        return i < line.size() && line[i].is_number_integer() ? std::optional<std::int32_t>(line[i].get<std::int32_t>())
                                                              : std::nullopt;
    };
    if (method == "Login") {
        // The script's own sign-on: the one to repeat from now on. Its arguments were checked.
        std::optional<std::string> auth;
        if (line.size() > 5 && !line[5].is_null())
            auth = JsonToBytes(line[5]);
        m_keeper.LoginCalled({ *textArg(1), *textArg(2), *textArg(3), *intArg(4), auth });
    } else if (method == "SetProfile") {
        m_profile = textArg(1);
    } else if (method == "SetAwayMessage") {
        m_away = textArg(1);
        if (m_away && m_away->empty())
            m_away.reset();
        m_autoReply.SetAway(m_away);
    } else if (method == "SendIM") {
        if (m_log)
            m_log->Sent(*textArg(1), *textArg(2), line.size() > 3 && line[3] == true);
    } else if (method == "SetCapability") {
        m_caps = textArg(1);
    } else if (method == "SetIdleTime") {
        const auto minutes = intArg(1);
        if (minutes && *minutes > 0)
            m_idle.emplace(*minutes, std::chrono::steady_clock::now());
        else
            m_idle.reset();
    } else if (method == "JoinChat") {
        // Joins the server refused never leave this list; a few are enough to match answers.
        if (m_joining.size() >= MaxJoinsAwaited)
            m_joining.pop_front();
        if (const auto name = textArg(1))
            m_joining.push_back({ *name, static_cast<std::int16_t>(intArg(2).value_or(4)) });
    }
}

void CliSession::HandleOverlongLine(Origin origin)
{
    if (m_finished)
        return;
    Json error = Json::object();
    error["error"] = "line too long";
    reply(origin, error.dump());
}

void CliSession::HandleEndOfInput()
{
    m_inputEnded = true;
    if (m_everSignedOn && m_waiting.empty())
        finish(ExitOk);
}

void CliSession::LoggedIn(const std::string& strUserName, const std::vector<std::string>& BuddyList,
                          const std::vector<std::string>& BlockList, const std::vector<std::string>& PrivateList,
                          const std::vector<std::string>& MiscData, const std::string& strPreferences,
                          std::int16_t PrivacyMode)
{
    logNote(m_everSignedOn ? "signed on again" : "signed on");
    m_self = strUserName;
    JsonEventWriter::LoggedIn(strUserName, BuddyList, BlockList, PrivateList, MiscData, strPreferences,
                              PrivacyMode);
    m_keeper.LoggedIn();
    m_signedOn = true;
    if (m_finished)
        return;
    // Set here, before the control sends toc_init_done, so others never see the account without
    // them; then the profile again every minute, counted from this sign-on.
    if (m_profile) {
        m_control.SetProfile(*m_profile);
        m_profileTimer.start();
    }
    if (m_everSignedOn)
        restoreBeforeInitDone();
    else if (m_away)
        m_control.SetAwayMessage(*m_away);
    m_everSignedOn = true;
    // After this handler returns and toc_init_done has gone out: the account is visible then.
    QMetaObject::invokeMethod(&m_profileTimer, [this] {
        if (!m_signedOn)
            return;
        rejoinRooms();
        runWaiting();
    }, Qt::QueuedConnection);
}

void CliSession::restoreBeforeInitDone()
{
    if (m_away)
        m_control.SetAwayMessage(*m_away);
    if (m_caps)
        m_control.SetCapability(*m_caps);
    if (m_idle) {
        // Still idle, and idle for longer now.
        const auto since = std::chrono::duration_cast<std::chrono::minutes>(std::chrono::steady_clock::now()
                                                                            - m_idle->second);
        const long long minutes = std::min<long long>(m_idle->first + since.count(), 35791394);
        try {
            m_control.SetIdleTime(static_cast<std::int32_t>(minutes));
        } catch (const std::overflow_error&) {
        }
    }
}

void CliSession::rejoinRooms()
{
    for (Room& room : std::exchange(m_roomsToRejoin, {})) {
        m_joining.push_back(room);
        m_control.JoinChat(room.name, room.exchange);
    }
}

void CliSession::JoinedChat(const std::string& strChatName, std::int32_t lngChatID)
{
    JsonEventWriter::JoinedChat(strChatName, lngChatID);
    const auto asked = std::find_if(m_joining.begin(), m_joining.end(),
                                    [&](const Room& r) { return sameRoom(r.name, strChatName); });
    if (asked != m_joining.end()) {
        m_rooms[lngChatID] = *asked;
        m_joining.erase(asked);
    } else {
        // Joined by accepting an invitation: the exchange is not told; 4 is where rooms live.
        m_rooms[lngChatID] = { strChatName, 4 };
    }
}

void CliSession::LeftChat(std::int32_t lngChatID)
{
    JsonEventWriter::LeftChat(lngChatID);
    m_rooms.erase(lngChatID);
}

void CliSession::BuddyUpdate(const std::string& strBuddy, bool blnOnline, std::int16_t intWarningLevel,
                             std::int32_t lngOnlineTime, std::int32_t lngIdleTime, const std::string& strUserClass)
{
    // The answer to the liveness probe is no news.
    if (m_keeper.IsProbeAnswer(strBuddy))
        return;
    JsonEventWriter::BuddyUpdate(strBuddy, blnOnline, intWarningLevel, lngOnlineTime, lngIdleTime, strUserClass);
}

void CliSession::IncomingPacket(const std::string& strPacket)
{
    m_keeper.IncomingPacket();
    JsonEventWriter::IncomingPacket(strPacket);
}

void CliSession::InstantMessage(const std::string& strUserName, const std::string& strMessage,
                                bool blnAutoResponse, const std::string& strUserClass)
{
    if (m_log)
        m_log->Received(strUserName, strMessage);
    JsonEventWriter::InstantMessage(strUserName, strMessage, blnAutoResponse, strUserClass);
    if (!m_signedOn || m_stopping)
        return;
    const auto answer = m_autoReply.Answer(m_self, strUserName, blnAutoResponse, AutoReply::Clock::now(), localClock());
    if (!answer)
        return;
    if (m_log)
        m_log->Sent(strUserName, *answer, true);
    // Through the pacing like any IM, so answers never push the account past the limits.
    m_control.SendIM(strUserName, *answer, true);
    Json line = Json::object();
    line["event"] = "AutoReplied";
    line["args"] = Json::array({ BytesToJson(strUserName), BytesToJson(*answer) });
    m_out(line.dump());
}

void CliSession::ChatMessage(std::int32_t lngChatID, const std::string& strUserName, const std::string& strMessage)
{
    if (m_log)
        m_log->Chat(m_control.GetChatName(lngChatID), strUserName, strMessage);
    JsonEventWriter::ChatMessage(lngChatID, strUserName, strMessage);
}

void CliSession::LoggedOut(const std::string& strUserName)
{
    logSignedOff();
    JsonEventWriter::LoggedOut(strUserName);
    m_keeper.LoggedOut();
    m_signedOn = false;
    m_profileTimer.stop();
    finish(ExitOk);
}

void CliSession::Error(std::int16_t intErrorCode, const std::string& strError)
{
    JsonEventWriter::Error(intErrorCode, strError);
    if (intErrorCode == 903 && m_paced)
        m_paced->RateLimited();
    m_keeper.Error(intErrorCode);
}

void CliSession::Warned(const std::string& intWarningLevel, const std::string& strFromUser)
{
    JsonEventWriter::Warned(intWarningLevel, strFromUser);
    if (m_paced)
        m_paced->SetWarning(std::atoi(intWarningLevel.c_str()));
}

void CliSession::WinsockError(const std::string& strError)
{
    if (m_signedOn)
        logNote("connection lost");
    JsonEventWriter::WinsockError(strError);
    m_profileTimer.stop();
    if (m_signedOn) {
        // The rooms this session was in, and those it had asked for and not yet got (rejoins
        // after an earlier drop among them).
        for (const auto& [id, room] : m_rooms)
            m_roomsToRejoin.push_back(room);
        m_roomsToRejoin.insert(m_roomsToRejoin.end(), m_joining.begin(), m_joining.end());
        m_rooms.clear();
    }
    m_joining.clear();
    m_signedOn = false;
    m_keeper.WinsockError(strError);
    if (m_options.reconnect && m_keeper.GaveUp()) {
        finish(ExitRefused);
        return;
    }
    // A script starting toc-cli wants to know whether the account came online; once it has, a lost
    // connection is reported and toc-cli stays for the script to decide (it may Login again).
    if (!m_everSignedOn && !m_keeper.Reconnecting())
        finish(ExitSignOnFailed);
}

void CliSession::finish(int status)
{
    if (m_finished)
        return;
    logSignedOff();
    m_finished = true;
    m_profileTimer.stop();
    m_keeper.SignOff();
    m_onFinished(status);
}

void CliSession::Stop()
{
    if (m_finished || std::exchange(m_stopping, true))
        return;
    for (const auto& [line, origin] : std::exchange(m_waiting, {})) {
        Json error = Json::object();
        error["error"] = BytesToJson("not sent, toc-cli is ending: " + line);
        reply(origin, error.dump());
    }
    if (!m_signedOn) {
        finish(ExitOk);
        return;
    }
    // What is still held when the connection closes is reported unsent by the pacing.
    const auto logOff = [this] {
        if (!m_finished && !std::exchange(m_loggingOff, true))
            m_control.LogOff();
    };
    if (m_paced && m_paced->Held() > 0) {
        m_paced->WhenDrained(logOff);
        QTimer::singleShot(StopGraceMs, &m_profileTimer, logOff);
    } else {
        logOff();
    }
}

} // namespace tocli
