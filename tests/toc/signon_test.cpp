#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/feed.h"

using namespace std::string_literals;
using testing_support::Data;
using testing_support::FeedEveryWay;
using testing_support::OnEvent;
using testing_support::Frame;
using testing_support::Quote;
using testing_support::Session;

namespace {

const std::string initDone = "*\x02\x00\x00\x00\x0e" "toc_init_done\x00"s;

// Every sign-on frame of the server is answered, each time with the next sequence numbers.
TEST(SignOn, ServerSignOnFrameIsAnsweredWithSignOnFrameAndLogin)
{
    const std::string signOn = "\x00\x00\x00\x01\x00\x01\x00\x03joe"s;
    const std::string login = "toc2_login login.oscar.aol.com 5190 joe 0x2408105c English  "
                              "\"OrbTOCSock 2.0\" 160 US \"\" \"\" 3 0 30303 -kentucky -utf8 58203917\x00"s;
    const std::string serverSignOn = Frame(1, "\x00\x00\x00\x01"s);
    const auto result = FeedEveryWay(serverSignOn + serverSignOn, { true, {}, {} });
    EXPECT_EQ(result.log, "IncomingPacket(10 bytes)\nIncomingPacket(10 bytes)\n");
    EXPECT_EQ(Quote(result.sent),
        Quote("*\x01\x00\x00\x00\x0b"s + signOn + "*\x02\x00\x01\x00\x7d"s + login
            + "*\x01\x00\x02\x00\x0b"s + signOn + "*\x02\x00\x03\x00\x7d"s + login));
}

TEST(SignOn, LoginNamesAuthorizerNotTocServerAndTheConnectionsPort)
{
    Session s;
    s.toc->Login("Joe Smith", "secret pw", "toc.test", 443, " auth.test ");
    s.sock->CompleteConnect();
    s.sock->ClearSent();
    s.Receive(Frame(1, "\x00\x00\x00\x01"s));
    EXPECT_EQ(Quote(s.sock->AllSent()),
              Quote("*\x01\x00\x00\x00\x10" "\x00\x00\x00\x01\x00\x01\x00\x08joesmith"
                    "*\x02\x00\x01\x00\x81" "toc2_login auth.test 443 joesmith 0x270c005d311b43241e English  "
                    "\"OrbTOCSock 2.0\" 160 US \"\" \"\" 3 0 30303 -kentucky -utf8 58203917\x00"s));
}

class DefaultAuthorizer : public testing::TestWithParam<std::optional<std::string>> { };

TEST_P(DefaultAuthorizer, IsNamedWhenNoneIsGiven)
{
    Session s;
    s.toc->Login("Joe", "pw", "toc.test", 5190, GetParam());
    s.sock->CompleteConnect();
    s.Receive(Frame(1, "\x00\x00\x00\x01"s));
    const auto frames = testing_support::ParseFrames(s.sock->AllSent());
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[1].payload.substr(0, 48), "toc2_login login.oscar.aol.com 5190 joe 0x241e E");
}

INSTANTIATE_TEST_SUITE_P(Login, DefaultAuthorizer, testing::Values(std::nullopt, "", "   "));

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
    // The halves are no marker when they arrive, but once stored together they end the next parse.
    { "MarkerSplitOverTwoMessagesIsNotOne", { "b:joe\ndo", "ne:\n", "p:ann\ndone:\n" },
      "LoggedIn(\"joe\", [\"joe\"], [], [], [], \"\", 0)\n", true },
    { "MarkerInsideALineEndsWithoutLoggedIn", { "b:xdone:\n" }, "", true },
    { "MarkerInsideALineDropsTheUnendedRest", { "m:1\nb:xdone:\nb:joe" }, "", true },
    { "MarkerInsideALineThenARealOne", { "b:xdone:\ndone:\n" }, "LoggedIn(\"joe\", [\"xdone:\"], [], [], [], \"\", 0)\n", true },
    { "NoTextAtAll", { "" }, "", false },
};

INSTANTIATE_TEST_SUITE_P(Config2, Configuration, testing::ValuesIn(configCases),
                         [](const testing::TestParamInfo<ConfigCase>& row) { return std::string(row.param.name); });

TEST(SignOn, UnendedConfigurationIsBoundedAtOneMebibyte)
{
    // Each fragment holds one blocked user and about 64 KB of preferences. Sixteen fit in 1 MiB;
    // the seventeenth would not, so the sixteen stored before it are dropped.
    Session s;
    auto fragments = [&s](int count) {
        for (int i = 1; i <= count; ++i)
            s.Receive(Data("CONFIG2:d:" + std::to_string(i) + "\npref:" + std::string(64000, 'a') + "\n"));
    };
    fragments(17);
    EXPECT_EQ(s.rec.Joined(), "");
    s.Receive(Data("CONFIG2:pref:\ndone:\n"));
    EXPECT_EQ(s.rec.Joined(), "LoggedIn(\"joe\", [], [\"17\"], [], [], \"\", 0)\n");

    s.rec.Clear();
    fragments(16);
    s.Receive(Data("CONFIG2:pref:\ndone:\n"));
    EXPECT_EQ(s.rec.Joined(),
        "LoggedIn(\"joe\", [], [\"1\", \"2\", \"3\", \"4\", \"5\", \"6\", \"7\", \"8\", \"9\", \"10\", "
        "\"11\", \"12\", \"13\", \"14\", \"15\", \"16\"], [], [], \"\", 0)\n");
}

TEST(SignOn, LoggedInHandlersCommandsGoOutBeforeInitDone)
{
    const auto result = FeedEveryWay(Data("CONFIG2:done:\n"),
        OnEvent("LoggedIn", [](Session& s) { s.toc->SetProfile("idle"); }));
    EXPECT_EQ(Quote(result.sent),
              Quote("*\x02\x00\x00\x00\x14" "toc_set_info \"idle\"\x00"
                    "*\x02\x00\x01\x00\x0e" "toc_init_done\x00"s));
}

TEST(SignOn, LoggedInHandlerThatSignsOffEndsTheSignOn)
{
    const auto result = FeedEveryWay(Data("CONFIG2:done:\n") + Data("NICK:lost"),
        OnEvent("LoggedIn", [](Session& s) { s.toc->LogOff(); }));
    EXPECT_EQ(result.log, "LoggedIn(\"joe\", [], [], [], [], \"\", 0)\nLoggedOut(\"joe\")\n");
    EXPECT_EQ(result.sent, "");
}

TEST(SignOn, LoggedInHandlerThatSignsOnAgainKeepsInitDoneOffTheNewConnection)
{
    Session s;
    s.rec.after = [&s](const std::string& name) {
        if (name == "LoggedIn")
            s.SignOn("Ann");
    };
    s.Receive(Data("CONFIG2:done:\n") + Data("NICK:lost"));
    EXPECT_EQ(s.sock->AllSent(), "");
    EXPECT_EQ(s.rec.Joined(), "LoggedIn(\"joe\", [], [], [], [], \"\", 0)\n");
}

} // namespace
