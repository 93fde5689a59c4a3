#include "tools/clisession.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include "tests/support/fakesocket.h"
#include "toc/encoding.h"

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
    // Signs on as the server does, answering the account's own-status question.
    void signOn()
    {
        fake.CompleteConnect();
        fake.Receive(Frame(1, "\0\0\0\1"s));
        sent();
        fake.Receive(Data("SIGN_ON:TOC2.0") + Data("NICK:Me Too") + Data("CONFIG2:m:1\ng:Buddies\nb:ann\ndone:\n"));
        fake.Receive(Data("UPDATE_BUDDY2:Me Too:T:0:0:0: O :"));
        sent();
    }
    void lines(const std::vector<std::string>& input)
    {
        for (const std::string& line : input)
            session.HandleLine(line);
        sent();
    }

    FakeSocket& fake = *new FakeSocket;
    std::string out;
    std::optional<int> status;
    tocli::CliSession session;
};

TEST(CliSession, WhatTheCommandsSetIsSetAgainByTheNextSignOn)
{
    const std::string login = "> toc2_login login.oscar.aol.com 5190 metoo ";
    const struct Row {
        const char* name;
        std::vector<std::string> lines;  // written while signed on
        std::vector<std::string> server; // what the server answered
        std::string next;                // what the next sign-on sends after toc2_login
    } rows[] = {
        { "nothing set", {}, {}, "> toc_init_done\n> toc_get_status \"metoo\"\n" },
        { "the away message, the capabilities, the idle time",
          { R"(["SetAwayMessage", "out"])", R"(["SetCapability", "cap"])", R"(["SetIdleTime", 10])" }, {},
          "> toc_set_away \"out\"\n> toc_set_caps \"cap\"\n> toc_set_idle \"600\"\n> toc_init_done\n> toc_get_status \"metoo\"\n" },
        { "set, then cleared", { R"(["SetAwayMessage", "out"])", R"(["SetAwayMessage", ""])", R"(["SetIdleTime", 0])" },
          {}, "> toc_init_done\n> toc_get_status \"metoo\"\n" },
        { "a room under the server's name, once", { R"(["JoinChat", "  Lob by ", 5])" }, { "CHAT_JOIN:3:Lob by" },
          "> toc_init_done\n> toc_get_status \"metoo\"\n> toc_chat_join \"5\" \"Lob by\"\n" },
        { "a join not yet answered, as asked", { R"(["JoinChat", "Den", 6])" }, {},
          "> toc_init_done\n> toc_get_status \"metoo\"\n> toc_chat_join \"6\" \"Den\"\n" },
        { "an accepted invitation on exchange 4; a room left is not rejoined", { R"(["AcceptChatInvite", 9])" },
          { "CHAT_JOIN:9:Fun", "CHAT_JOIN:2:Old", "CHAT_LEFT:2" },
          "> toc_init_done\n> toc_get_status \"metoo\"\n> toc_chat_join \"4\" \"Fun\"\n" },
        { "a password change the server confirmed", { R"(["ChangePassword", "pw", "new"])" }, { "ADMIN_PASSWD_STATUS:0" },
          "" },
        { "one it did not", { R"(["ChangePassword", "pw", "new"])" }, {}, "" },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Cli cli("<b>$p</b>");
        cli.signOn();
        cli.lines(row.lines);
        for (const std::string& message : row.server)
            cli.fake.Receive(Data(message));
        cli.fake.PeerClose();
        cli.session.Keeper().TryNow();
        cli.out.clear();
        cli.signOn();
        const std::size_t start = cli.out.find(login);
        ASSERT_NE(start, std::string::npos) << cli.out;
        const std::size_t end = cli.out.find('\n', start);
        const std::string password = cli.out.substr(start + login.size(), end - start - login.size());
        EXPECT_EQ(password.substr(0, password.find(' ')),
                  toc::RoastPassword(std::string(row.name).starts_with("a password") ? "new" : "pw"));
        std::string after = cli.out.substr(end + 1);
        after.erase(0, after.find('>'));
        const std::string profile = "> toc_set_info \"<b>\\$p</b>\"\n";
        ASSERT_TRUE(after.starts_with(profile)) << after;
        after.erase(0, profile.size());
        EXPECT_TRUE(row.next.empty() || after.substr(0, after.find("{")) == row.next) << after;
    }
}

TEST(CliSession, WhatIsWrittenAheadWaitsForTheSignOnAndWhatCannotGoIsReportedWhereItCameFrom)
{
    Cli cli(std::nullopt);
    cli.lines({ R"(["SendIM", "bob", "first"])", " \t", R"(["LastChatID"])" });
    cli.session.HandleOverlongLine();
    cli.session.HandleEndOfInput();
    EXPECT_EQ(cli.status, std::nullopt);
    cli.signOn();
    EXPECT_EQ(cli.status, 0);
    EXPECT_EQ(cli.out.substr(cli.out.find("> toc_init_done")), R"(> toc_init_done
> toc_get_status "metoo"
> toc_send_im "bob" "first"
{"result":0}
)");

    // Without retrying, a failed first sign-on reports what was waiting and ends toc-cli.
    Cli once(std::nullopt, false);
    once.lines({ R"(["SendIM", "bob", "never"])" });
    once.fake.Fail("Connection refused");
    EXPECT_EQ(once.out, R"({"event":"WinsockError","args":["Connection refused"]}
{"error":"not sent, the connection was lost first: [\"SendIM\", \"bob\", \"never\"]"}
)");
    EXPECT_EQ(once.status, 1);

    // A stop while reconnecting ends at once, telling only whoever wrote it what is left.
    Cli lost(std::nullopt);
    lost.session.replyTo = [&lost](auto from, const std::string& line) { lost.print(std::to_string(from) + " " + line); };
    lost.signOn();
    lost.fake.Fail("Connection reset");
    lost.out.clear();
    lost.session.HandleLine(R"(["SendIM", "bob", "late"])", 7);
    lost.session.Stop();
    EXPECT_EQ(lost.out, R"(7 {"error":"not sent, signed off first: [\"SendIM\", \"bob\", \"late\"]"}
{"event":"LoggedOut","args":["metoo"]}
)");
    EXPECT_EQ(lost.status, 0);
}

} // namespace
