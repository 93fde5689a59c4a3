#include "tests/e2e/harness.h"

#include <QDeadlineTimer>

#include <gtest/gtest.h>

namespace e2e {

void Stop(QProcess& process)
{
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(WaitMs);
    }
}

Tocd::Tocd(const QStringList& extraArguments)
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral(TOCD_PATH),
                    QStringList { QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0") } + extraArguments);
    while (!m_process.canReadLine() && m_process.waitForReadyRead(WaitMs)) { }
    const std::string line = m_process.readLine().trimmed().toStdString();
    const std::string prefix = "listening on 127.0.0.1:";
    if (line.rfind(prefix, 0) == 0)
        m_port = std::stoi(line.substr(prefix.size()));
    else
        ADD_FAILURE() << "tocd did not start listening; its first line: '" << line << "'";
}

Cli::Cli(const std::string& server, const std::string& name, const std::string& password,
         const std::optional<std::string>& profile)
    : m_name(name)
{
    QStringList args { QStringLiteral("--server"), QString::fromStdString(server), QStringLiteral("--screen-name"),
                       QString::fromStdString(name), QStringLiteral("--password"), QString::fromStdString(password) };
    if (profile)
        args << QStringLiteral("--profile") << QString::fromStdString(*profile);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral(TOC_CLI_PATH), args);
}

void Cli::SendRaw(const std::string& line)
{
    const std::string withLf = line + "\n";
    m_process.write(withLf.data(), static_cast<qint64>(withLf.size()));
    m_process.waitForBytesWritten(WaitMs);
}

void Cli::readOutput()
{
    const QByteArray bytes = m_process.readAllStandardOutput();
    m_partial.append(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    std::size_t start = 0;
    for (std::size_t lf; (lf = m_partial.find('\n', start)) != std::string::npos; start = lf + 1) {
        const std::string text = m_partial.substr(start, lf - start);
        Json line = Json::parse(text, nullptr, false);
        if (!line.is_object()) {
            ADD_FAILURE() << m_name << " printed a line that is not a JSON object: " << text;
            continue;
        }
        m_lines.push_back(std::move(line));
    }
    m_partial.erase(0, start);
}

Json Cli::take(const std::function<bool(const Json&)>& match, const std::string& what)
{
    const QDeadlineTimer deadline(WaitMs);
    for (std::size_t at = m_cursor;; ++at) {
        while (at == m_lines.size()) {
            if (m_process.bytesAvailable() == 0
                && !m_process.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
                std::string rest;
                for (std::size_t i = m_cursor; i < m_lines.size(); ++i)
                    rest += "\n  " + m_lines[i].dump();
                ADD_FAILURE() << m_name << ": no " << what << " came; the lines after the last match:" << rest;
                return nullptr;
            }
            readOutput();
        }
        if (match(m_lines[at])) {
            m_cursor = at + 1;
            return m_lines[at];
        }
    }
}

Json Cli::Expect(const std::string& name, const std::function<bool(const Json& args)>& match)
{
    const Json line = take(
        [&](const Json& l) { return l.contains("event") && l["event"] == name && (!match || match(l["args"])); },
        name + " event");
    return line.is_object() ? line["args"] : Json();
}

Json Cli::ExpectReply()
{
    return take([](const Json& l) { return !l.contains("event"); }, "reply line");
}

Json Cli::ExpectOnline()
{
    Expect("ScreennameFormat");
    const Json loggedIn = Expect("LoggedIn");
    if (!loggedIn.is_array() || loggedIn.empty())
        return loggedIn;
    // The answer to our own status request comes after the server has handled toc_init_done.
    const Json self = loggedIn[0];
    Send(Json::array({ "GetStatus", self }));
    Expect("BuddyUpdate", [&](const Json& a) { return a[0] == self && a[1] == true; });
    return loggedIn;
}

std::vector<std::string> Cli::EventNames()
{
    readOutput();
    std::vector<std::string> names;
    for (const auto& line : m_lines)
        if (line.contains("event") && line["event"] != "IncomingPacket")
            names.push_back(line["event"].get<std::string>());
    return names;
}

std::optional<int> Cli::WaitForExit()
{
    if (!m_process.waitForFinished(WaitMs))
        return std::nullopt;
    readOutput();
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

} // namespace e2e
