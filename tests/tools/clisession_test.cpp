#include "tools/clisession.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include "tests/support/fakesocket.h"

using namespace std::string_literals;
using testing_support::Data;
using testing_support::FakeSocket;
using testing_support::Frame;

namespace {

// toc-cli's session on a fake socket; `out` gets what it prints (IncomingPacket left out) and the
// payloads it sends, as "> payload", in order.
struct Cli {
    explicit Cli(std::optional<std::string> profile, bool reconnect = true)
        : session({ "127.0.0.1", 5190, "Me Too", "pw", std::move(profile), reconnect }, std::unique_ptr<toc::Socket>(&fake),
            [this](const std::string& line) { print(line); }, [this](int s) { status = status ? -1 : s; })
    {
        session.Start();
    }
    void print(const std::string& line)
    {
        sent();
        if (line.find("\"IncomingPacket\"") == std::string::npos)
            out += line + "\n";
    }
    void sent()
    {
        for (const auto& f : testing_support::ParseFrames(fake.AllSent()))
            out += "> " + f.payload.substr(0, f.payload.find('\0')) + "\n";
        fake.ClearSent();
    }
    void signOn()
    {
        fake.CompleteConnect();
        fake.Receive(Frame(1, "\0\0\0\1"s));
        fake.ClearSent();
        fake.Receive(Data("SIGN_ON:TOC2.0") + Data("NICK:Me Too") + Data("CONFIG2:m:1\ng:Buddies\nb:ann\ndone:\n"));
        sent();
    }

    FakeSocket& fake = *new FakeSocket;
    std::string out;
    std::optional<int> status;
    tocli::CliSession session;
};

TEST(CliSession, CommandsWrittenAheadRunAfterTheSignOnAndTheProfileIsKeptSet)
{
    Cli cli("<b>$hi</b>");
    cli.session.HandleLine(R"(["SendIM", "bob", "first"])");
    cli.session.HandleLine(" \t");
    cli.session.HandleOverlongLine();
    cli.signOn();
    cli.session.HandleLine(R"(["LastChatID"])");
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(cli.session.ProfileTimer().interval(), 60000);
    QMetaObject::invokeMethod(&cli.session.ProfileTimer(), "timeout");
    cli.fake.PeerClose(); // reported, and toc-cli goes on to sign on again
    EXPECT_FALSE(cli.session.ProfileTimer().isActive());
    const std::size_t reconnecting = cli.out.rfind(R"({"event":"Reconnecting","args":[1,)");
    ASSERT_NE(reconnecting, std::string::npos);
    cli.out.erase(reconnecting);
    cli.session.HandleEndOfInput();
    EXPECT_EQ(cli.status, 0);
    EXPECT_EQ(cli.out, R"({"error":"line too long"}
{"event":"ScreennameFormat","args":["Me Too"]}
{"event":"LoggedIn","args":["metoo",["[group]Buddies","ann"],[],[],[],"",1]}
> toc_set_info "<b>\$hi</b>"
> toc_init_done
> toc_send_im "bob" "first"
{"result":0}
> toc_set_info "<b>\$hi</b>"
{"event":"WinsockError","args":["Connection closed by server"]}
)");
    // A new sign-on from the script: no profile may go out ahead of its toc2_login.
    Cli again("idle");
    again.signOn();
    again.session.HandleLine(R"(["Login", "other", "pw", "127.0.0.1", 5190])");
    EXPECT_FALSE(again.session.ProfileTimer().isActive());
}

TEST(CliSession, FailedSignOnDropsWaitingCommandsAndExits)
{
    Cli cli(std::nullopt, false);
    cli.session.HandleLine(R"(["SendIM", "bob", "never"])");
    cli.fake.Fail("Connection refused");
    QCoreApplication::sendPostedEvents();
    cli.sent();
    EXPECT_EQ(cli.out, "{\"event\":\"WinsockError\",\"args\":[\"Connection refused\"]}\n");
    EXPECT_EQ(cli.status, 1);
}

} // namespace
