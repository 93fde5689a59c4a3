#include "tools/clisession.h"

#include <cstdio>
#include <utility>

#include "tools/bytejson.h"

namespace tocli {

CliSession::CliSession(CliOptions options, std::unique_ptr<toc::Socket> socket, LineSink out,
                       std::function<void(int status)> finished)
    : JsonEventWriter(out)
    , m_options(std::move(options))
    , m_out(std::move(out))
    , m_onFinished(std::move(finished))
    , m_keeper(std::move(socket), this, { {}, m_options.liveness, m_options.reconnect })
    , m_dispatcher(m_keeper.account())
    , m_autoReply(m_options.autoReplyEvery)
{
    toc::Account& account = m_keeper.account();
    if (m_options.profile)
        account.SetProfile(*m_options.profile);
    if (m_options.away)
        account.SetAwayMessage(*m_options.away);
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
    m_dispatcher.afterCall = [this](const std::string& method, const Json& line) {
        if (method == "SendIM" && m_log)
            m_log->Sent(*JsonToBytes(line[1]), *JsonToBytes(line[2]), line.size() > 3 && line[3] == true);
        // Even the same text again: everyone may be answered afresh.
        if (method == "SetAwayMessage")
            m_autoReply.SetAway(m_keeper.account().AwayMessage());
    };
    m_profileTimer.setInterval(ProfileIntervalMs);
    // Whatever profile the account has by then: the option's, or one a command set since.
    QObject::connect(&m_profileTimer, &QTimer::timeout, [this] {
        toc::Account& kept = m_keeper.account();
        if (kept.Profile())
            kept.SetProfile(*kept.Profile());
    });
    account.onReconnecting = [this](int attempt, toc::Account::Ms delay, const std::string& lastError) {
        Json line = Json::object();
        line["event"] = "Reconnecting";
        line["args"] = Json::array({ attempt, delay.count(), BytesToJson(lastError) });
        m_out(line.dump());
    };
    account.onNotSent = [this](const std::string& what, const std::string& why) {
        Json line = Json::object();
        line["error"] = BytesToJson(why + ": " + what);
        m_out(line.dump());
    };
    account.onRoom = [this] {
        if (onRoom)
            onRoom();
    };
    account.onDrained = [this] { finishIfDone(); };
}

void CliSession::Start()
{
    m_keeper.account().SignOn({ m_options.screenName, m_options.password, m_options.host, m_options.port, std::nullopt });
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
    if (auto result = m_dispatcher.Execute(line, [this, origin](const std::string& late) { reply(origin, late); }))
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
    finishIfDone();
}

void CliSession::Stop()
{
    if (m_finished || std::exchange(m_stopping, true))
        return;
    // Signed on, what is queued goes first, for a while; otherwise at once.
    m_keeper.account().LogOff();
    QTimer::singleShot(StopGraceMs, &m_profileTimer, [this] {
        if (!m_finished)
            m_keeper.account().LogOff(false);
    });
}

void CliSession::finishIfDone()
{
    // Done once the first sign-on has completed and everything written has gone.
    if (m_inputEnded && m_everSignedOn && m_keeper.account().Drained())
        finish(ExitOk);
}

void CliSession::LoggedIn(const std::string& strUserName, const std::vector<std::string>& BuddyList,
                          const std::vector<std::string>& BlockList, const std::vector<std::string>& PrivateList,
                          const std::vector<std::string>& MiscData, const std::string& strPreferences,
                          std::int16_t PrivacyMode)
{
    // The log has each line before the event is printed.
    logNote(m_everSignedOn ? "signed on again" : "signed on");
    JsonEventWriter::LoggedIn(strUserName, BuddyList, BlockList, PrivateList, MiscData, strPreferences,
                              PrivacyMode);
    m_everSignedOn = true;
    m_signedOn = true;
    m_keeper.account().LoggedIn();
    m_profileTimer.start();
}

void CliSession::JoinedChat(const std::string& strChatName, std::int32_t lngChatID)
{
    JsonEventWriter::JoinedChat(strChatName, lngChatID);
    m_keeper.account().JoinedChat(strChatName, lngChatID);
}

void CliSession::LeftChat(std::int32_t lngChatID)
{
    JsonEventWriter::LeftChat(lngChatID);
    m_keeper.account().LeftChat(lngChatID);
}

void CliSession::BuddyUpdate(const std::string& strBuddy, bool blnOnline, std::int16_t intWarningLevel,
                             std::int32_t lngOnlineTime, std::int32_t lngIdleTime, const std::string& strUserClass)
{
    if (m_keeper.account().BuddyUpdate(strBuddy, intWarningLevel))
        JsonEventWriter::BuddyUpdate(strBuddy, blnOnline, intWarningLevel, lngOnlineTime, lngIdleTime, strUserClass);
}

void CliSession::UserProfile(const std::string& strURL)
{
    if (m_keeper.account().UserProfile())
        JsonEventWriter::UserProfile(strURL);
}

void CliSession::IncomingPacket(const std::string& strPacket)
{
    m_keeper.account().IncomingPacket();
    JsonEventWriter::IncomingPacket(strPacket);
}

void CliSession::PasswordChanged()
{
    JsonEventWriter::PasswordChanged();
    m_keeper.account().PasswordChanged();
}

void CliSession::InstantMessage(const std::string& strUserName, const std::string& strMessage,
                                bool blnAutoResponse, const std::string& strUserClass)
{
    if (m_log)
        m_log->Received(strUserName, strMessage);
    JsonEventWriter::InstantMessage(strUserName, strMessage, blnAutoResponse, strUserClass);
    toc::Account& account = m_keeper.account();
    // A full queue takes no answers: a flood of senders must not grow it past its bound.
    if (!m_signedOn || m_stopping || account.Full())
        return;
    // The account keeps the away message; a new one starts the answers afresh.
    if (m_autoReply.Away() != account.AwayMessage())
        m_autoReply.SetAway(account.AwayMessage());
    const auto answer
        = m_autoReply.Answer(account.Name(), strUserName, blnAutoResponse, AutoReply::Clock::now(), localClock());
    if (!answer)
        return;
    if (m_log)
        m_log->Sent(strUserName, *answer, true);
    // Through the queue like any IM, so answers never push the account past the limits.
    account.Submit("automatic answer to " + strUserName,
                   [name = strUserName, text = *answer](toc::OrbTOCSock& c) { c.SendIM(name, text, true); });
    Json line = Json::object();
    line["event"] = "AutoReplied";
    line["args"] = Json::array({ BytesToJson(strUserName), BytesToJson(*answer) });
    m_out(line.dump());
}

void CliSession::ChatMessage(std::int32_t lngChatID, const std::string& strUserName, const std::string& strMessage)
{
    if (m_log)
        m_log->Chat(m_keeper.control().GetChatName(lngChatID), strUserName, strMessage);
    JsonEventWriter::ChatMessage(lngChatID, strUserName, strMessage);
}

void CliSession::LoggedOut(const std::string& strUserName)
{
    logSignedOff();
    JsonEventWriter::LoggedOut(strUserName);
    m_signedOn = false;
    m_keeper.account().LoggedOut();
    m_profileTimer.stop();
    finish(ExitOk);
}

void CliSession::Error(std::int16_t intErrorCode, const std::string& strError)
{
    JsonEventWriter::Error(intErrorCode, strError);
    m_keeper.account().Error(intErrorCode);
}

void CliSession::Warned(const std::string& intWarningLevel, const std::string& strFromUser)
{
    JsonEventWriter::Warned(intWarningLevel, strFromUser);
    m_keeper.account().Warned(intWarningLevel);
}

void CliSession::WinsockError(const std::string& strError)
{
    if (m_signedOn)
        logNote("connection lost");
    JsonEventWriter::WinsockError(strError);
    m_signedOn = false;
    m_profileTimer.stop();
    toc::Account& account = m_keeper.account();
    account.WinsockError(strError);
    if (m_finished)
        return;
    if (m_options.reconnect && account.PasswordRefused()) {
        finish(ExitRefused);
        return;
    }
    // A script starting toc-cli wants to know whether the account came online; once it has, a lost
    // connection is reported and toc-cli stays for the script to decide (it may Login again).
    if (!m_everSignedOn && account.GetState() == toc::Account::State::Off)
        finish(ExitSignOnFailed);
    else
        finishIfDone();
}

void CliSession::finish(int status)
{
    if (m_finished)
        return;
    m_finished = true;
    logSignedOff();
    m_profileTimer.stop();
    m_onFinished(status);
}

} // namespace tocli
