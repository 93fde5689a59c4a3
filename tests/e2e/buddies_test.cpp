#include <gtest/gtest.h>

#include "tests/e2e/harness.h"

using namespace e2e;

TEST(BuddyList, EditsAreConfirmedAndAppearInTheNextSignOn)
{
    Tocd tocd;
    {
        Cli alice(tocd.Address(), "alice", "pw");
        alice.ExpectOnline();
        alice.Send(Json::array({ "AddGroup", "Friends" }));
        alice.ExpectArgs("GroupAdded", Json::array({ "Friends" }));
        alice.Send(Json::array({ "AddBuddy", "Friends", "bob" }));
        alice.Expect("BuddyAdded", [](const Json& a) { return a[0] == "Friends" && a[1] == "bob"; });
        alice.Send(Json::array({ "AddGroup", "Work" }));
        alice.ExpectArgs("GroupAdded", Json::array({ "Work" }));
        alice.Send(Json::array({ "AddBuddy", "Work", "eve" }));
        alice.Expect("BuddyAdded", [](const Json& a) { return a[0] == "Work" && a[1] == "eve"; });
        alice.Send(Json::array({ "BlockUser", "Carol" }));
        alice.ExpectArgs("BuddyBlocked", Json::array({ "carol" }));
        alice.Send(Json::array({ "AddPrivateUser", "dave" }));
        alice.ExpectArgs("PrivateBuddyAdded", Json::array({ "dave" }));
        alice.Send(Json::array({ "SetPrivacy", 4 }));
        alice.Send(Json::array({ "LogOff" }));
        alice.ExpectArgs("LoggedOut", Json::array({ "alice" }));
        EXPECT_EQ(alice.WaitForExit(), 0);
    }
    {
        Cli alice(tocd.Address(), "alice", "pw");
        alice.ExpectArgs("LoggedIn",
                         Json::parse(R"(["alice",["[group]Friends","bob","[group]Work","eve"],["carol"],["dave"],[],"",4])"));
        alice.Send(Json::array({ "RemoveBuddy", "Work", "eve" }));
        alice.ExpectArgs("BuddyRemoved", Json::array({ "Work", "eve" }));
        alice.Send(Json::array({ "RemoveGroup", "Work" }));
        alice.ExpectArgs("GroupRemoved", Json::array({ "Work" }));
        alice.Send(Json::array({ "UnblockUser", "carol" }));
        alice.ExpectArgs("BuddyUnblocked", Json::array({ "carol" }));
        alice.Send(Json::array({ "RemovePrivateUser", "dave" }));
        alice.ExpectArgs("PrivateBuddyRemoved", Json::array({ "dave" }));
        alice.Send(Json::array({ "LogOff" }));
        EXPECT_EQ(alice.WaitForExit(), 0);
    }
    Cli alice(tocd.Address(), "alice", "pw");
    alice.ExpectArgs("LoggedIn", Json::parse(R"(["alice",["[group]Friends","bob"],[],[],[],"",4])"));
}
