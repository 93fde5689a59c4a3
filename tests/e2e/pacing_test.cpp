// A burst of IMs through toc-cli and tocd with its rate limits on: every one arrives, in order,
// and the server never has to drop one or throw the sender off.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>

#include <nlohmann/json.hpp>

#include <string>

namespace {

using Json = nlohmann::json;

class Process {
public:
    Process(const char* program, const QStringList& args)
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QString::fromUtf8(program), args);
    }
    ~Process()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    /// The next line that contains `text`, or "" when none comes before the deadline.
    std::string LineWith(const std::string& text, QDeadlineTimer deadline = QDeadlineTimer(20000))
    {
        for (;;) {
            while (m_process.canReadLine()) {
                std::string line = m_process.readLine().trimmed().toStdString();
                if (line.find(text) != std::string::npos)
                    return line;
            }
            if (deadline.hasExpired() || !m_process.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
                return {};
        }
    }
    QProcess m_process;
};

QStringList cli(const std::string& server, const char* name)
{
    return { QStringLiteral("--server"), QString::fromStdString(server), QStringLiteral("--screen-name"),
             QString::fromUtf8(name), QStringLiteral("--password"), QStringLiteral("pw") };
}

TEST(Pacing, ThirtyImsWrittenAtOnceAllArriveInOrderWithoutADropOrADisconnect)
{
    Process tocd(TOCD_PATH, { QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0") });
    const std::string listening = tocd.LineWith("listening on ");
    ASSERT_FALSE(listening.empty());
    const std::string server = listening.substr(listening.rfind(' ') + 1);
    Process bob(TOC_CLI_PATH, cli(server, "bob"));
    ASSERT_FALSE(bob.LineWith("\"LoggedIn\"").empty());
    Process alice(TOC_CLI_PATH, cli(server, "alice"));
    ASSERT_FALSE(alice.LineWith("\"LoggedIn\"").empty());

    for (int i = 1; i <= 30; ++i)
        alice.m_process.write(Json::array({ "SendIM", "bob", "m" + std::to_string(i) }).dump().append("\n").c_str());
    alice.m_process.closeWriteChannel();
    alice.m_process.waitForBytesWritten();

    // The server's model lets 7 go at once and then about one every 4 s.
    const QDeadlineTimer deadline(180000);
    for (int i = 1; i <= 30; ++i) {
        const std::string line = bob.LineWith("\"InstantMessage\"", deadline);
        ASSERT_FALSE(line.empty()) << "IM " << i << " did not arrive";
        EXPECT_EQ(Json::parse(line)["args"][1], "m" + std::to_string(i));
    }
    // toc-cli ends once everything it held has gone, having printed no error.
    ASSERT_TRUE(alice.m_process.waitForFinished(20000));
    EXPECT_EQ(alice.m_process.exitCode(), 0);
    const std::string rest = alice.m_process.readAll().toStdString();
    for (const char* error : { "\"Error\"", "\"WinsockError\"", "{\"error\"" })
        EXPECT_EQ(rest.find(error), std::string::npos) << rest;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
