#include "tests/e2e/harness.h"

#include <fstream>

#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

namespace e2e {

namespace {

QEventLoop* g_wait = nullptr;

std::vector<std::string> takeLines(std::string& partial, const QByteArray& bytes)
{
    partial.append(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t lf; (lf = partial.find('\n', start)) != std::string::npos; start = lf + 1)
        lines.push_back(partial.substr(start, lf - start));
    partial.erase(0, start);
    return lines;
}

} // namespace

void Progress()
{
    if (g_wait)
        g_wait->quit();
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        const qint64 left = deadline.remainingTime();
        if (left <= 0)
            return false;
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        timer.start(static_cast<int>(left));
        QEventLoop* const outer = g_wait;
        g_wait = &loop;
        loop.exec();
        g_wait = outer;
    }
    return true;
}

void RecordEvents(const std::set<std::string>& names)
{
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    if (!test || names.empty())
        return;
    QDir().mkpath(QStringLiteral(E2E_EVENTS_DIR));
    std::ofstream out(std::string(E2E_EVENTS_DIR) + "/" + test->test_suite_name() + "." + test->name() + ".events",
                      std::ios::app);
    for (const auto& name : names)
        out << name << '\n';
}

Tocd::Tocd(const QStringList& extraArguments)
{
    std::string partial;
    std::string firstLine;
    QObject::connect(&m_process, &QProcess::readyReadStandardOutput, [&] {
        const auto lines = takeLines(partial, m_process.readAllStandardOutput());
        if (firstLine.empty() && !lines.empty())
            firstLine = lines.front();
        Progress();
    });
    QObject::connect(&m_process, &QProcess::finished, [] { Progress(); });
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral(TOCD_PATH), QStringList { QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0") }
                                                   + extraArguments);
    const bool up = WaitUntil([&] { return !firstLine.empty() || m_process.state() == QProcess::NotRunning; });
    // Output after the first line is of no interest; keep the pipe drained.
    m_process.disconnect();
    QObject::connect(&m_process, &QProcess::readyReadStandardOutput, [this] { m_process.readAllStandardOutput(); });
    const std::string prefix = "listening on 127.0.0.1:";
    if (!up || firstLine.rfind(prefix, 0) != 0) {
        ADD_FAILURE() << "tocd did not start listening; its first line: '" << firstLine << "'";
        return;
    }
    m_port = std::stoi(firstLine.substr(prefix.size()));
    m_address = "127.0.0.1:" + std::to_string(m_port);
}

Tocd::~Tocd()
{
    m_process.disconnect();
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

Cli::Cli(const std::string& server, const std::string& name, const std::string& password,
         const std::optional<std::string>& profile)
    : m_name(name)
{
    QStringList args { QStringLiteral("--server"), QString::fromStdString(server), QStringLiteral("--screen-name"),
                       QString::fromStdString(name), QStringLiteral("--password"), QString::fromStdString(password) };
    if (profile)
        args << QStringLiteral("--profile") << QString::fromStdString(*profile);
    QObject::connect(&m_process, &QProcess::readyReadStandardOutput, [this] { readOutput(); });
    QObject::connect(&m_process, &QProcess::finished, [] { Progress(); });
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral(TOC_CLI_PATH), args);
}

Cli::~Cli()
{
    m_process.disconnect();
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    RecordEvents(m_seen);
}

void Cli::readOutput()
{
    for (const auto& line : takeLines(m_partial, m_process.readAllStandardOutput())) {
        Json parsed = Json::parse(line, nullptr, false);
        if (parsed.is_discarded() || !parsed.is_object()) {
            ADD_FAILURE() << m_name << " printed a line that is not a JSON object: " << line;
            continue;
        }
        if (parsed.contains("event"))
            m_seen.insert(parsed["event"].get<std::string>());
        m_lines.push_back(std::move(parsed));
    }
    Progress();
}

void Cli::Send(const Json& command) { SendRaw(command.dump()); }

void Cli::SendRaw(const std::string& line)
{
    const std::string withLf = line + "\n";
    m_process.write(withLf.data(), static_cast<qint64>(withLf.size()));
}

void Cli::CloseInput() { m_process.closeWriteChannel(); }

std::optional<std::size_t> Cli::find(const std::function<bool(const Json&)>& match, std::size_t from) const
{
    for (std::size_t i = from; i < m_lines.size(); ++i)
        if (match(m_lines[i]))
            return i;
    return std::nullopt;
}

std::string Cli::tail() const
{
    std::string out;
    const std::size_t first = m_lines.size() > 30 ? m_lines.size() - 30 : 0;
    for (std::size_t i = first; i < m_lines.size(); ++i)
        out += "\n  " + std::to_string(i) + (i < m_cursor ? "   " : " > ") + m_lines[i].dump();
    return out;
}

Json Cli::Expect(const std::string& name, const std::function<bool(const Json& args)>& match)
{
    const auto matches = [&](const Json& line) {
        return line.contains("event") && line["event"] == name && (!match || match(line["args"]));
    };
    std::optional<std::size_t> at;
    WaitUntil([&] { return (at = find(matches, m_cursor)).has_value(); });
    if (!at) {
        ADD_FAILURE() << m_name << ": no " << name << " event came; lines after the cursor are marked >" << tail();
        return nullptr;
    }
    m_cursor = *at + 1;
    return m_lines[*at]["args"];
}

Json Cli::ExpectArgs(const std::string& name, const Json& args)
{
    const Json got = Expect(name, [&](const Json& a) { return a == args; });
    return got;
}

Json Cli::ExpectReply()
{
    const auto isReply = [](const Json& line) { return !line.contains("event"); };
    std::optional<std::size_t> at;
    WaitUntil([&] { return (at = find(isReply, m_cursor)).has_value(); });
    if (!at) {
        ADD_FAILURE() << m_name << ": no reply line came" << tail();
        return nullptr;
    }
    m_cursor = *at + 1;
    return m_lines[*at];
}

Json Cli::ExpectSignOn()
{
    Expect("ScreennameFormat");
    return Expect("LoggedIn");
}

Json Cli::ExpectOnline()
{
    const Json loggedIn = ExpectSignOn();
    if (!loggedIn.is_array() || loggedIn.empty())
        return loggedIn;
    // The answer to our own status request comes after the server has handled toc_init_done.
    const Json self = loggedIn[0];
    Send(Json::array({ "GetStatus", self }));
    Expect("BuddyUpdate", [&](const Json& a) { return a[0] == self && a[1] == true; });
    return loggedIn;
}

std::vector<std::string> Cli::EventNames(std::size_t from) const
{
    std::vector<std::string> names;
    for (std::size_t i = from; i < m_lines.size(); ++i)
        if (m_lines[i].contains("event") && m_lines[i]["event"] != "IncomingPacket")
            names.push_back(m_lines[i]["event"].get<std::string>());
    return names;
}

std::optional<int> Cli::WaitForExit(int timeoutMs)
{
    if (!WaitUntil([this] { return m_process.state() == QProcess::NotRunning; }, timeoutMs))
        return std::nullopt;
    if (m_process.exitStatus() != QProcess::NormalExit)
        return -1;
    return m_process.exitCode();
}

} // namespace e2e
