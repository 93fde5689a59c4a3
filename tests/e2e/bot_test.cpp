#include <QString>

#include <gtest/gtest.h>

#include "tests/e2e/harness.h"

using e2e::Cli;
using e2e::Json;
using e2e::Tocd;

TEST(Bot, EchoesInstantMessagesAndAcceptsInvitations)
{
    Tocd tocd({ QStringLiteral("--bot"), QStringLiteral("echobot") });
    Cli alice(tocd.Address(), "alice", "pw");
    alice.ExpectOnline();

    const std::string text = "<i>ping</i>: \"$1\"";
    alice.Send(Json::array({ "SendIM", "Echo Bot", text }));
    alice.Expect("InstantMessage", [&](const Json& a) { return a[0] == "echobot" && a[1] == "echo: " + text; });

    alice.Send(Json::array({ "JoinChat", "botroom", 4 }));
    alice.ExpectArgs("JoinedChat", Json::array({ "botroom", 0 }));
    alice.Send(Json::array({ "InviteUsers", "botroom", "join us", "echobot" }));
    alice.ExpectArgs("ChatUserUpdate", Json::array({ "echobot", true, 0 }));
}
