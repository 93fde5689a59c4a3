#include <gtest/gtest.h>

#include "tests/e2e/harness.h"

using namespace e2e;

TEST(InstantMessages, HtmlColonsQuotesDollarsAndHighBytesCrossBothWaysIntact)
{
    TwoOnline t({ QStringLiteral("--bot"), QStringLiteral("echobot") });
    const std::string toBob = R"(<font color="#ff0000">Re: 10:30 "quoted" costs $5 \ (a) [b] {c}</font>)";
    t.alice.Send(Json::array({ "SendIM", "B ob", toBob }));
    t.bob.ExpectArgs("InstantMessage", Json::array({ "alice", toBob, false, " O " }));

    const std::string toAlice = "<i>auto:</i> $HOME is \"away\": 1:2:3";
    t.bob.Send(Json::array({ "SendIM", "alice", toAlice, true }));
    t.alice.ExpectArgs("InstantMessage", Json::array({ "bob", toAlice, true, " O " }));

    // A Latin-1 byte and the two bytes of UTF-8 "é".
    t.alice.SendRaw(R"(["SendIM", "bob", "caf\u00e9 caf\u00c3\u00a9"])");
    t.bob.ExpectArgs("InstantMessage", Json::parse(R"(["alice", "caf\u00e9 caf\u00c3\u00a9", false, " O "])"));

    t.alice.Send(Json::array({ "SendIM", "Echo Bot", toAlice }));
    t.alice.ExpectArgs("InstantMessage", Json::array({ "echobot", "echo: " + toAlice, false, " O " }));

    t.alice.Send(Json::array({ "SendIM", "nobody", "hello?" }));
    t.alice.ExpectArgs("Error", Json::array({ 901, "nobody is not available" }));
}

TEST(InstantMessages, BadCommandLinesAreAnsweredAndChangeNothing)
{
    TwoOnline t;
    t.alice.SendRaw("not json");
    EXPECT_TRUE(t.alice.ExpectReply().contains("error"));
    t.alice.Send(Json::array({ "SendIM", "bob" }));
    EXPECT_TRUE(t.alice.ExpectReply().contains("error"));
    t.alice.Send(Json::array({ "RemoveHtml", "<b>x</b>: y" }));
    EXPECT_EQ(t.alice.ExpectReply(), Json::parse(R"({"result":"x: y"})"));
    // Still signed on and working.
    t.alice.Send(Json::array({ "SendIM", "bob", "ok" }));
    t.bob.ExpectArgs("InstantMessage", Json::array({ "alice", "ok", false, " O " }));
}

TEST(InstantMessages, AScriptMayWriteBeforeTheSignOnAndEndItsInputAtOnce)
{
    Tocd tocd;
    Cli bob(tocd.Address(), "bob", "pw");
    bob.ExpectOnline();
    Cli alice(tocd.Address(), "alice", "pw");
    alice.Send(Json::array({ "SendIM", "bob", "written ahead" }));
    alice.CloseInput();
    bob.ExpectArgs("InstantMessage", Json::array({ "alice", "written ahead", false, " O " }));
    EXPECT_EQ(alice.WaitForExit(), 0);
    EXPECT_EQ(alice.EventNames(), (std::vector<std::string> { "ScreennameFormat", "LoggedIn" }));
}
