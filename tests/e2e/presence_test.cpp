#include <gtest/gtest.h>

#include "tests/e2e/harness.h"

using namespace e2e;

namespace {

// BuddyUpdate for `name` online with this class, warning level and idle minutes (sign-on time
// is the server's clock: only checked to be set).
std::function<bool(const Json&)> online(const char* name, const char* userClass, int warning, int idle)
{
    return [=](const Json& a) {
        return a.size() == 6 && a[0] == name && a[1] == true && a[2] == warning && a[3].is_number_integer()
            && a[3].get<long long>() > 0 && a[4] == idle && a[5] == userClass;
    };
}

} // namespace

TEST(Presence, ArrivalAwayIdleCapabilitiesWarningsAndDepartureReachWatchers)
{
    Tocd tocd;
    Cli alice(tocd.Address(), "alice", "pw");
    alice.ExpectOnline();
    alice.Send(Json::array({ "AddBuddy", "Friends", "bob" }));
    alice.Expect("BuddyAdded");
    {
        Cli bob(tocd.Address(), "bob", "pw");
        bob.ExpectOnline();
        alice.Expect("BuddyUpdate", online("bob", " O ", 0, 0));

        bob.Send(Json::array({ "SetAwayMessage", "Out: back at 1:30 \"maybe\"" }));
        alice.Expect("BuddyUpdate", online("bob", " OU", 0, 0));
        bob.Send(Json::array({ "SetAwayMessage", "" }));
        alice.Expect("BuddyUpdate", online("bob", " O ", 0, 0));
        bob.Send(Json::array({ "SetIdleTime", 5 }));
        alice.Expect("BuddyUpdate", online("bob", " O ", 0, 5));

        const char* caps = "09461343-4C7F-11D1-8222-444553540000";
        bob.Send(Json::array({ "SetCapability", caps }));
        alice.ExpectArgs("BuddyCapabilities", Json::array({ "bob", caps }));

        alice.Send(Json::array({ "GetStatus", "bob" }));
        alice.Expect("BuddyUpdate", online("bob", " O ", 0, 5));

        // Only someone who sent you IMs may be warned, once per IM.
        for (const char* text : { "one", "two" }) {
            bob.Send(Json::array({ "SendIM", "alice", text }));
            alice.ExpectArgs("InstantMessage", Json::array({ "bob", text, false, " O " }));
        }
        alice.Send(Json::array({ "WarnUser", "B ob", false }));
        const Json first = bob.Expect("Warned", [](const Json& a) { return a[1] == "alice"; });
        ASSERT_TRUE(first.is_array());
        const int level = std::stoi(first[0].get<std::string>());
        EXPECT_GT(level, 0);
        alice.Expect("BuddyUpdate", online("bob", " O ", level, 5));
        alice.Send(Json::array({ "WarnUser", "bob", true }));
        const Json second = bob.Expect("Warned", [](const Json& a) { return a[1] == ""; });
        ASSERT_TRUE(second.is_array());
        EXPECT_GT(std::stoi(second[0].get<std::string>()), level);

        bob.CloseInput();
        EXPECT_EQ(bob.WaitForExit(), 0);
    }
    alice.ExpectArgs("BuddyUpdate", Json::array({ "bob", false, 0, 0, 0, "   " }));
}

TEST(Presence, FormattedNameAndPasswordChange)
{
    Tocd tocd;
    {
        Cli bob(tocd.Address(), "bob", "old");
        bob.ExpectOnline();
        bob.Send(Json::array({ "FormatUserName", "B Ob" }));
        bob.Expect("ScreenNameFormatted");
        bob.ExpectArgs("ScreennameFormat", Json::array({ "B Ob" }));
        bob.Send(Json::array({ "ChangePassword", "wrong", "x" }));
        bob.ExpectArgs("Error", Json::array({ 980, "Invalid account or password" }));
        bob.Send(Json::array({ "ChangePassword", "old", "n$w \"pw\"" }));
        bob.Expect("PasswordChanged");
        bob.Send(Json::array({ "LogOff" }));
        EXPECT_EQ(bob.WaitForExit(), 0);
    }
    Cli fresh(tocd.Address(), "bob", "n$w \"pw\"");
    fresh.ExpectArgs("ScreennameFormat", Json::array({ "B Ob" }));
    fresh.Expect("LoggedIn");
}
