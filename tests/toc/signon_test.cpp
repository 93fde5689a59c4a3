#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/feed.h"

using namespace std::string_literals;
using testing_support::Data;
using testing_support::FakeSocket;
using testing_support::FeedEveryWay;
using testing_support::FeedOptions;
using testing_support::Frame;
using testing_support::Quote;
using testing_support::Session;

namespace {

const std::string initDone = "*\x02\x00\x00\x00\x0e" "toc_init_done\x00"s;

TEST(SignOn, ServerSignOnFrameIsAnsweredWithSignOnFrameAndLogin)
{
    FeedOptions packets;
    packets.logPackets = true;
    const auto result = FeedEveryWay(Frame(1, "\x00\x00\x00\x01"s), packets);
    EXPECT_EQ(result.log, "IncomingPacket(10 bytes)\n");
    EXPECT_EQ(Quote(result.sent),
              Quote("*\x01\x00\x00\x00\x0b" "\x00\x00\x00\x01\x00\x01\x00\x03joe"
                    "*\x02\x00\x01\x00\x7d" "toc2_login login.oscar.aol.com 5190 joe 0x2408105c English  "
                    "\"OrbTOCSock 2.0\" 160 US \"\" \"\" 3 0 30303 -kentucky -utf8 58203917\x00"s));
}

TEST(SignOn, LoginNamesAuthorizerNotTocServerAndTheConnectionsPort)
{
    testing_support::EventRecorder rec;
    auto socket = std::make_unique<FakeSocket>();
    FakeSocket* sock = socket.get();
    toc::OrbTOCSock control(std::move(socket), &rec);
    control.Login("Joe Smith", "secret pw", "toc.test", 443, " auth.test ");
    sock->CompleteConnect();
    sock->ClearSent();
    sock->Receive(Frame(1, "\x00\x00\x00\x01"s));
    EXPECT_EQ(Quote(sock->AllSent()),
              Quote("*\x01\x00\x00\x00\x10" "\x00\x00\x00\x01\x00\x01\x00\x08joesmith"
                    "*\x02\x00\x01\x00\x81" "toc2_login auth.test 443 joesmith 0x270c005d311b43241e English  "
                    "\"OrbTOCSock 2.0\" 160 US \"\" \"\" 3 0 30303 -kentucky -utf8 58203917\x00"s));
}

TEST(SignOn, EverySignOnFrameIsAnsweredAgain)
{
    Session s;
    s.Receive(Frame(1, "") + Frame(1, ""));
    const auto frames = testing_support::ParseFrames(s.sock->AllSent());
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[2].type, 1);
    EXPECT_EQ(frames[2].sequence, 2);
    EXPECT_EQ(frames[3].type, 2);
    EXPECT_EQ(frames[3].payload, frames[1].payload);
}

TEST(SignOn, NickIsReportedWithItsColons)
{
    const auto result = FeedEveryWay(Data("NICK:Joe Smith") + Data("NICK:a:b") + Data("NICK:") + Data("NICK"));
    EXPECT_EQ(result.log, "ScreennameFormat(\"Joe Smith\")\nScreennameFormat(\"a:b\")\nScreennameFormat(\"\")\n");
}

struct ConfigCase {
    const char* name;
    std::vector<std::string> texts; // each sent as "CONFIG2:" + text
    const char* log;
    bool initDone;
};

class Configuration : public testing::TestWithParam<ConfigCase> { };

TEST_P(Configuration, IsParsedIntoLoggedIn)
{
    std::string wire;
    for (const auto& text : GetParam().texts)
        wire += Data("CONFIG2:" + text);
    const auto result = FeedEveryWay(wire);
    EXPECT_EQ(result.log, GetParam().log);
    EXPECT_EQ(Quote(result.sent), Quote(GetParam().initDone ? initDone : ""));
}

const ConfigCase configCases[] = {
    { "SpreadOverTwoMessages", { "m:1\ng:Buddies\n", "b:joe\ndone:\n" },
      "LoggedIn(\"joe\", [\"[group]Buddies\", \"joe\"], [], [], [], \"\", 1)\n", true },
    { "OnlyTheEndMarker", { "done:\n" }, "LoggedIn(\"joe\", [], [], [], [], \"\", 0)\n", true },
    { "EveryKindOfLine",
      { "g:Buddies\nb:joe:Joe:::::x\nd:bad\np:ann\npref:first\nm:12\npref:second\nx:abc\ng:Work\nb:b\xf6" "b\n"
        "done:\nb:after\n" },
      "LoggedIn(\"joe\", [\"[group]Buddies\", \"joe:Joe:x\", \"[group]Work\", \"b\\xf6" "b\"], [\"bad\"], [\"ann\"], "
      "[\"x:abc\"], \"second\", 1)\n",
      true },
    { "BadModeKeepsTheLastGoodOne", { "m:3\nm:\nm:x\n\ndone:\n" }, "LoggedIn(\"joe\", [], [], [], [\"\"], \"\", 3)\n", true },
    { "UpperCaseMarkerIsStoredNotParsed", { "b:joe\nDONE:\n", "done:\n" },
      "LoggedIn(\"joe\", [\"joe\"], [], [], [\"DONE:\"], \"\", 0)\n", true },
    { "MarkerSplitOverTwoMessagesIsNotOne", { "b:joe\ndo", "ne:\n" }, "", false },
    { "StoredHalvesAreUsedByTheNextMarker", { "b:joe\ndo", "ne:\n", "p:ann\ndone:\n" },
      "LoggedIn(\"joe\", [\"joe\"], [], [], [], \"\", 0)\n", true },
    { "MarkerInsideALineEndsWithoutLoggedIn", { "b:xdone:\n" }, "", true },
    { "MarkerInsideALineDropsTheUnendedRest", { "m:1\nb:xdone:\nb:joe" }, "", true },
    { "MarkerInsideALineThenARealOne", { "b:xdone:\ndone:\n" }, "LoggedIn(\"joe\", [\"xdone:\"], [], [], [], \"\", 0)\n", true },
    { "NoTextAtAll", { "" }, "", false },
};

INSTANTIATE_TEST_SUITE_P(Config2, Configuration, testing::ValuesIn(configCases),
                         [](const testing::TestParamInfo<ConfigCase>& row) { return std::string(row.param.name); });

TEST(SignOn, ConfigurationWithoutCommandColonIsIgnored)
{
    Session s;
    s.Receive(Data("CONFIG2") + Data("CONFIG2:done:\n"));
    EXPECT_EQ(s.rec.Joined(), "LoggedIn(\"joe\", [], [], [], [], \"\", 0)\n");
}

TEST(SignOn, UnendedConfigurationIsBoundedAtOneMebibyte)
{
    // Each fragment holds one blocked user and about 64 KB of preferences. Sixteen fit in 1 MiB;
    // the seventeenth would not, so the sixteen stored before it are dropped.
    Session s;
    const std::string padding(64000, 'a');
    for (int i = 1; i <= 17; ++i)
        s.Receive(Data("CONFIG2:d:" + std::to_string(i) + "\npref:" + padding + "\n"));
    EXPECT_EQ(s.rec.Joined(), "");
    s.Receive(Data("CONFIG2:pref:\ndone:\n"));
    EXPECT_EQ(s.rec.Joined(), "LoggedIn(\"joe\", [], [\"17\"], [], [], \"\", 0)\n");

    s.rec.Clear();
    for (int i = 1; i <= 16; ++i)
        s.Receive(Data("CONFIG2:d:" + std::to_string(i) + "\npref:" + padding + "\n"));
    s.Receive(Data("CONFIG2:pref:\ndone:\n"));
    std::string blocked;
    for (int i = 1; i <= 16; ++i)
        blocked += (i > 1 ? ", \"" : "\"") + std::to_string(i) + "\"";
    EXPECT_EQ(s.rec.Joined(), "LoggedIn(\"joe\", [], [" + blocked + "], [], [], \"\", 0)\n");
}

TEST(SignOn, LoggedInHandlersCommandsGoOutBeforeInitDone)
{
    FeedOptions options;
    options.prepare = [](Session& s) {
        s.rec.after = [&s](const std::string& name) {
            if (name == "LoggedIn")
                s.toc->SetProfile("idle");
        };
    };
    const auto result = FeedEveryWay(Data("CONFIG2:done:\n"), options);
    EXPECT_EQ(Quote(result.sent),
              Quote("*\x02\x00\x00\x00\x14" "toc_set_info \"idle\"\x00"
                    "*\x02\x00\x01\x00\x0e" "toc_init_done\x00"s));
}

TEST(SignOn, LoggedInHandlerThatSignsOffEndsTheSignOn)
{
    FeedOptions options;
    options.prepare = [](Session& s) {
        s.rec.after = [&s](const std::string& name) {
            if (name == "LoggedIn")
                s.toc->LogOff();
        };
    };
    const auto result = FeedEveryWay(Data("CONFIG2:done:\n") + Data("NICK:lost"), options);
    EXPECT_EQ(result.log, "LoggedIn(\"joe\", [], [], [], [], \"\", 0)\nLoggedOut(\"joe\")\n");
    EXPECT_EQ(result.sent, "");
}

TEST(SignOn, LoggedInHandlerThatSignsOnAgainKeepsInitDoneOffTheNewConnection)
{
    Session s;
    s.rec.after = [&s](const std::string& name) {
        if (name != "LoggedIn")
            return;
        s.toc->Login("Ann", "pw", "toc.test", 5190);
        s.sock->CompleteConnect();
    };
    s.Receive(Data("CONFIG2:done:\n") + Data("NICK:lost"));
    EXPECT_EQ(s.sock->AllSent(), "FLAPON\n\n");
    EXPECT_EQ(s.rec.Joined(), "LoggedIn(\"joe\", [], [], [], [], \"\", 0)\n");
}

TEST(SignOn, LoggedInArgumentsAreValuesTheHandlerCannotChange)
{
    struct Host : toc::OrbTOCSockEvents {
        toc::OrbTOCSock* control = nullptr;
        std::string seen;
        void LoggedIn(const std::string& strUserName, const std::vector<std::string>&, const std::vector<std::string>&,
                      const std::vector<std::string>&, const std::vector<std::string>&, const std::string&,
                      std::int16_t) override
        {
            control->Login("Somebody Else", "pw", "toc.test", 5190);
            seen = strUserName;
        }
    } host;
    Session s;
    host.control = s.toc.get();
    s.toc->SetHost(&host);
    s.Receive(Data("CONFIG2:done:\n"));
    EXPECT_EQ(host.seen, "joe");
}

} // namespace
