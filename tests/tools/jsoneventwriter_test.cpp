#include "tools/jsoneventwriter.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

struct Written {
    std::vector<std::string> lines;
    tocli::JsonEventWriter writer { [this](const std::string& line) { lines.push_back(line); } };
};

} // namespace

TEST(JsonEventWriter, ArgumentsKeepTheEventsParameterOrderAndTypes)
{
    Written w;
    w.writer.LoggedIn("joe", { "[group]Buddies", "ann" }, { "spam" }, {}, { "x:abc" }, "prefs", 3);
    w.writer.BuddyUpdate("ann", true, -5, 1000, 7, " OU");
    w.writer.ChatUserUpdate("bob", false, 0);
    w.writer.RendevousRequest("ann", "uuid", "ck", "1.2.3.4", "5.6.7.8", "9.9.9.9", 4443);
    w.writer.Error(980, "Invalid account or password");
    w.writer.Warned("15", "");
    const std::vector<std::string> expected = {
        R"({"event":"LoggedIn","args":["joe",["[group]Buddies","ann"],["spam"],[],["x:abc"],"prefs",3]})",
        R"({"event":"BuddyUpdate","args":["ann",true,-5,1000,7," OU"]})",
        R"({"event":"ChatUserUpdate","args":["bob",false,0]})",
        R"({"event":"RendevousRequest","args":["ann","uuid","ck","1.2.3.4","5.6.7.8","9.9.9.9",4443]})",
        R"({"event":"Error","args":[980,"Invalid account or password"]})",
        R"({"event":"Warned","args":["15",""]})",
    };
    EXPECT_EQ(w.lines, expected);
}

TEST(JsonEventWriter, SingleAndNoArgumentsAreStillArrays)
{
    Written w;
    w.writer.LeftChat(7);
    w.writer.GroupAdded("Friends");
    w.writer.PasswordChanged();
    w.writer.ScreenNameFormatted();
    const std::vector<std::string> expected = {
        R"({"event":"LeftChat","args":[7]})",
        R"({"event":"GroupAdded","args":["Friends"]})",
        R"({"event":"PasswordChanged","args":[]})",
        R"({"event":"ScreenNameFormatted","args":[]})",
    };
    EXPECT_EQ(w.lines, expected);
}

TEST(JsonEventWriter, ReceivedBytesArePrintedWhateverTheyAre)
{
    Written w;
    w.writer.IncomingPacket(std::string("*\x05\x00\x01\x00\x00", 6));
    w.writer.InstantMessage("ann", "caf\xE9 <b>$1:2</b>\n", false, " O ");
    const std::vector<std::string> expected = {
        R"({"event":"IncomingPacket","args":["*\u0005\u0000\u0001\u0000\u0000"]})",
        "{\"event\":\"InstantMessage\",\"args\":[\"ann\",\"caf\xC3\xA9 <b>$1:2</b>\\n\",false,\" O \"]}",
    };
    EXPECT_EQ(w.lines, expected);
}
