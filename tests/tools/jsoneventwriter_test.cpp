#include "tools/jsoneventwriter.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

TEST(JsonEventWriter, EachEventIsOneObjectWithItsArgumentsInParameterOrder)
{
    std::vector<std::string> lines;
    tocli::JsonEventWriter w([&](const std::string& line) { lines.push_back(line); });
    w.LoggedIn("joe", { "[group]Buddies", "ann" }, { "spam" }, {}, { "x:abc" }, "prefs", 3);
    w.BuddyUpdate("ann", true, -5, 1000, 7, " OU");
    w.ChatUserUpdate("bob", false, 0);
    w.RendevousRequest("ann", "uuid", "ck", "1.2.3.4", "5.6.7.8", "9.9.9.9", 4443);
    w.Error(980, "Invalid account or password");
    w.Warned("15", "");
    w.LeftChat(7);
    w.PasswordChanged();
    // Received bytes print as their Latin-1 code points, whatever they are.
    w.IncomingPacket(std::string("*\x05\x00\x01\x00\x00", 6));
    w.InstantMessage("ann", "caf\xE9 <b>\"$1:2\\\x80\xFF</b>\n", false, " O ");
    const std::vector<std::string> expected = {
        R"({"event":"LoggedIn","args":["joe",["[group]Buddies","ann"],["spam"],[],["x:abc"],"prefs",3]})",
        R"({"event":"BuddyUpdate","args":["ann",true,-5,1000,7," OU"]})",
        R"({"event":"ChatUserUpdate","args":["bob",false,0]})",
        R"({"event":"RendevousRequest","args":["ann","uuid","ck","1.2.3.4","5.6.7.8","9.9.9.9",4443]})",
        R"({"event":"Error","args":[980,"Invalid account or password"]})",
        R"({"event":"Warned","args":["15",""]})",
        R"({"event":"LeftChat","args":[7]})",
        R"({"event":"PasswordChanged","args":[]})",
        R"({"event":"IncomingPacket","args":["*\u0005\u0000\u0001\u0000\u0000"]})",
        "{\"event\":\"InstantMessage\",\"args\":[\"ann\",\"caf\xC3\xA9 <b>\\\"$1:2\\\\\xC2\x80\xC3\xBF</b>\\n\",false,\" O \"]}",
    };
    EXPECT_EQ(lines, expected);
}
