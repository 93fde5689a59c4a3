#include "tools/commanddispatcher.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/fakesocket.h"
#include "toc/orbtocsock.h"

using testing_support::FakeSocket;
using testing_support::ParseFrames;

namespace {

// A control connected to a fake server, ready to send commands.
struct Connected {
    FakeSocket* fake = nullptr;
    std::unique_ptr<toc::OrbTOCSock> control;
    std::unique_ptr<tocli::CommandDispatcher> dispatcher;

    Connected()
    {
        auto socket = std::make_unique<FakeSocket>();
        fake = socket.get();
        control = std::make_unique<toc::OrbTOCSock>(std::move(socket));
        dispatcher = std::make_unique<tocli::CommandDispatcher>(*control);
        control->Login("me", "pw", "127.0.0.1", 5190);
        fake->CompleteConnect();
        fake->ClearSent();
    }

    // Payloads of the frames sent since the last call, trailing NULs included.
    std::vector<std::string> sent()
    {
        std::vector<std::string> payloads;
        for (const auto& f : ParseFrames(fake->AllSent()))
            payloads.push_back(f.payload);
        fake->ClearSent();
        return payloads;
    }
};

std::string nul(const char* text) { return std::string(text) + '\0'; }

} // namespace

TEST(CommandDispatcher, BadLinesGetOneErrorAndCallNothing)
{
    const char* const notJson = "not valid JSON; expected an array [\"MethodName\", arguments...]";
    const char* const notArray = "expected an array [\"MethodName\", arguments...]";
    const char* const notInt16 = "JoinChat: argument 2 (intExchange) must be an integer from -32768 to 32767";
    const char* const notInt32
        = "AcceptChatInvite: argument 1 (lngChatID) must be an integer from -2147483648 to 2147483647";
    const std::pair<const char*, const char*> rows[] = {
        { "SendIM bob hi", notJson },
        { "[\"SendIM\", \"bob\"", notJson },
        { "{\"SendIM\": 1}", notArray },
        { "[]", notArray },
        { "[5, \"x\"]", notArray },
        { "[\"Sendim\", \"bob\", \"hi\"]", "unknown method: Sendim" },
        { "[\"SetHost\"]", "unknown method: SetHost" },
        { "[\"SendIM\", \"bob\"]", "SendIM: argument 2 (strMessage) is missing" },
        { "[\"SendIM\", null, \"hi\"]", "SendIM: argument 1 (strUserName) is missing" },
        { "[\"SendIM\", \"bob\", \"hi\", false, 1]", "SendIM takes at most 3 arguments, got 4" },
        { "[\"SendIM\", \"bob\", 5]", "SendIM: argument 2 (strMessage) must be a string" },
        { "[\"SendIM\", \"bob\", \"hi\", \"true\"]", "SendIM: argument 3 (AutoResponse) must be true or false" },
        { "[\"SendIM\", \"bob\", \"\\u20ac\"]",
          "SendIM: argument 2 (strMessage) has a character above U+00FF; text is one byte per character" },
        { "[\"SendIM\", [\"bob\"], \"hi\"]", "arguments are strings, integers or booleans, not arrays or objects" },
        { "[\"JoinChat\", \"room\", 32768]", notInt16 },
        { "[\"JoinChat\", \"room\", -32769]", notInt16 },
        { "[\"JoinChat\", \"room\", 4.5]", notInt16 },
        { "[\"JoinChat\", \"room\", \"4\"]", notInt16 },
        { "[\"AcceptChatInvite\", 2147483648]", notInt32 },
        { "[\"AcceptChatInvite\", 18446744073709551615]", notInt32 },
        { "[\"SetIdleTime\", 35791395]", nullptr }, // the control's own overflow error, passed on
    };
    Connected c;
    for (const auto& [line, error] : rows) {
        SCOPED_TRACE(line);
        const auto reply = c.dispatcher->Execute(line);
        ASSERT_TRUE(reply.has_value());
        const auto parsed = tocli::Json::parse(*reply);
        ASSERT_TRUE(parsed.is_object() && parsed.size() == 1 && parsed.contains("error"));
        if (error) {
            EXPECT_EQ(parsed["error"], error);
        }
        EXPECT_TRUE(c.sent().empty());
    }
}

TEST(CommandDispatcher, HostileLinesAreRefusedWithoutHarm)
{
    Connected c;
    const std::string deep(200000, '[');
    EXPECT_TRUE(c.dispatcher->Execute(deep).has_value());
    EXPECT_TRUE(c.dispatcher->Execute("[\"SendIM\", \"a\", " + deep + "]").has_value());
    const std::string notUtf8 = "[\"SendIM\", \"a\", \"\xFF\xFE\"]";
    const auto reply = c.dispatcher->Execute(notUtf8);
    ASSERT_TRUE(reply.has_value());
    EXPECT_TRUE(tocli::Json::parse(*reply).contains("error"));
    EXPECT_TRUE(c.sent().empty());
}

TEST(CommandDispatcher, ArgumentsReachTheControlAsBytesAndOptionalOnesMayBeLeftOut)
{
    Connected c;
    for (const char* line : {
             R"(["SendIM", "Bob Smith", "<b>\"$5:\"</b> \u00e9", true])",
             R"(["SendIM", "bob", "hi"])",
             R"(["SendIM", "bob", "hi", null])",
             R"(["JoinChat", "  room  ", -32768])",
             R"(["WarnUser", "ann", false])",
             R"(["SetPrivacy", 4])",
             R"(["RemoveBuddy", "Friends", "ann"])",
             R"(["SetIdleTime", 10])",
             R"(["SendChat", "", "hi", 9])",
             R"(["LeaveChat", "", 9])",
             R"(["LeaveChat", "nowhere"])", // no such room in the chat table: nothing goes out
             R"(["SendPacket", 5, ""])",
             "[\"SendPacket\", 2, \"raw\\u0000\\u00ff\"]",
         })
        EXPECT_FALSE(c.dispatcher->Execute(line)) << line;
    const std::vector<std::string> expected = {
        nul("toc_send_im \"bobsmith\" \"<b>\\\"\\$5:\\\"</b> \xE9\" auto"),
        nul("toc_send_im \"bob\" \"hi\""),
        nul("toc_send_im \"bob\" \"hi\""),
        nul("toc_chat_join \"-32768\" \"room\""),
        nul("toc_evil \"ann\" \"norm\""),
        nul("toc2_set_pdmode 4"),
        nul("toc2_remove_buddy \"ann\" \"Friends\""),
        nul("toc_set_idle \"600\""),
        nul("toc_chat_send \"9\" \"hi\""),
        nul("toc_chat_leave \"9\""),
        "",
        std::string("raw\0\xFF\0", 6),
    };
    EXPECT_EQ(c.sent(), expected);
}

TEST(CommandDispatcher, ValueMethodsPrintTheirResult)
{
    Connected c;
    c.fake->Receive(testing_support::Data("CHAT_JOIN:12:Caf\xE9"));
    EXPECT_EQ(c.dispatcher->Execute(R"(["LastChatID"])"), R"({"result":12})");
    EXPECT_EQ(c.dispatcher->Execute(R"(["GetChatName", 12])"), "{\"result\":\"Caf\xC3\xA9\"}");
    EXPECT_EQ(c.dispatcher->Execute(R"(["RemoveHtml", "<b>bold</b> \u00ff"])"), "{\"result\":\"bold \xC3\xBF\"}");
    EXPECT_FALSE(c.dispatcher->Execute(R"(["SetLastChatID", -3])"));
    EXPECT_EQ(c.dispatcher->Execute(R"(["LastChatID"])"), R"({"result":-3})");
}
