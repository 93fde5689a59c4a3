#include "tools/clisession.h"

#include <cstdlib>
#include <utility>

#include <QMetaObject>

#include "toc/qt/pacedsocket.h"

namespace tocli {

CliSession::CliSession(CliOptions options, std::unique_ptr<toc::Socket> socket, LineSink out,
                       std::function<void(int status)> finished)
    : JsonEventWriter(out)
    , m_options(std::move(options))
    , m_out(std::move(out))
    , m_onFinished(std::move(finished))
    , m_paced(dynamic_cast<toc::PacedSocket*>(socket.get()))
    , m_control(std::move(socket), this)
    , m_dispatcher(m_control)
{
    // A Login from the script starts a new sign-on: no refresh may slip in before its toc2_login.
    m_dispatcher.beforeCall = [this](const std::string& method) {
        if (method == "Login")
            m_profileTimer.stop();
    };
    m_profileTimer.setInterval(ProfileIntervalMs);
    QObject::connect(&m_profileTimer, &QTimer::timeout, [this] {
        if (m_options.profile)
            m_control.SetProfile(*m_options.profile);
    });
}

void CliSession::Start()
{
    m_control.Login(m_options.screenName, m_options.password, m_options.host, m_options.port);
}

void CliSession::HandleLine(std::string_view line)
{
    if (m_finished || line.find_first_not_of(" \t") == std::string_view::npos)
        return;
    if (m_everSignedOn && m_waiting.empty() && !waitsForHeld(line)) {
        run(line);
        return;
    }
    // Sent now, a command would go out before toc2_login (and spoil the sign-on) or be dropped
    // while connecting; a script that writes ahead means it for the signed-on account.
    if (m_waiting.size() >= MaxWaitingLines) {
        Json error = Json::object();
        error["error"] = "too many commands waiting for the sign-on";
        m_out(error.dump());
        return;
    }
    m_waiting.emplace_back(line);
    if (m_everSignedOn && m_waiting.size() == 1)
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

void CliSession::run(std::string_view line)
{
    if (auto reply = m_dispatcher.Execute(line))
        m_out(*reply);
}

void CliSession::runWaiting()
{
    while (!m_waiting.empty() && !m_finished) {
        if (waitsForHeld(m_waiting.front())) {
            m_paced->WhenDrained([this] { runWaiting(); });
            return;
        }
        const std::string line = std::move(m_waiting.front());
        m_waiting.pop_front();
        run(line);
    }
    if (m_inputEnded)
        finish(ExitOk);
}

void CliSession::HandleOverlongLine()
{
    if (m_finished)
        return;
    Json error = Json::object();
    error["error"] = "line too long";
    m_out(error.dump());
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
    JsonEventWriter::LoggedIn(strUserName, BuddyList, BlockList, PrivateList, MiscData, strPreferences,
                              PrivacyMode);
    if (m_options.profile && !m_finished) {
        // Set here, before the control sends toc_init_done, so others never see the account
        // without its profile; then again every minute, counted from this sign-on.
        m_control.SetProfile(*m_options.profile);
        m_profileTimer.start();
    }
    if (!m_everSignedOn) {
        m_everSignedOn = true;
        // After this handler returns and toc_init_done has gone out: the account is visible then.
        QMetaObject::invokeMethod(&m_profileTimer, [this] { runWaiting(); }, Qt::QueuedConnection);
    }
}

void CliSession::LoggedOut(const std::string& strUserName)
{
    JsonEventWriter::LoggedOut(strUserName);
    m_profileTimer.stop();
    finish(ExitOk);
}

void CliSession::Error(std::int16_t intErrorCode, const std::string& strError)
{
    JsonEventWriter::Error(intErrorCode, strError);
    if (intErrorCode == 903 && m_paced)
        m_paced->RateLimited();
}

void CliSession::Warned(const std::string& intWarningLevel, const std::string& strFromUser)
{
    JsonEventWriter::Warned(intWarningLevel, strFromUser);
    if (m_paced)
        m_paced->SetWarning(std::atoi(intWarningLevel.c_str()));
}

void CliSession::WinsockError(const std::string& strError)
{
    JsonEventWriter::WinsockError(strError);
    m_profileTimer.stop();
    // A script starting toc-cli wants to know whether the account came online; once it has, a lost
    // connection is reported and toc-cli stays for the script to decide (it may Login again).
    if (!m_everSignedOn)
        finish(ExitSignOnFailed);
}

void CliSession::finish(int status)
{
    if (m_finished)
        return;
    m_finished = true;
    m_profileTimer.stop();
    m_onFinished(status);
}

} // namespace tocli
