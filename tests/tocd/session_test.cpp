#include <functional>

#include "tests/tocd/harness.h"

using namespace tocd_test;
using SessionTest = TocdTest;
using testing_support::Frame;
using namespace std::string_literals;

namespace {

const std::string signonFrame = "*\x01\x00\x00\x00\x04\x00\x00\x00\x01"s;
const std::string error980 = "*\x02\x00\x01\x00\x09"s + "ERROR:980";
const std::string clientSignon = "*\x01\x00\x00\x00\x0d\x00\x00\x00\x01\x00\x01\x00\x05"s + "alice";

std::string loginFrame(std::string_view roasted)
{
    const std::string text = "toc2_login login.oscar.aol.com 5190 alice " + std::string(roasted)
        + " English  \"OrbTOCSock 2.0\" 160 US \"\" \"\" 3 0 30303 -kentucky -utf8 58203917";
    return Frame(2, text + '\0', 1);
}

// Feeds `input` whole, byte by byte, and split in two at every offset; every way must give the
// same output and the same open/closed outcome.
void expectSameForEveryChunking(const std::string& input,
    const std::function<void(Client&)>& prepare, const std::string& expected, bool expectClosed)
{
    std::vector<std::vector<std::string_view>> chunkings { { input }, {} };
    for (std::size_t i = 0; i < input.size(); ++i)
        chunkings[1].push_back(std::string_view(input).substr(i, 1));
    for (std::size_t cut = 1; cut < input.size(); ++cut)
        chunkings.push_back(
            { std::string_view(input).substr(0, cut), std::string_view(input).substr(cut) });

    for (std::size_t c = 0; c < chunkings.size(); ++c) {
        tocd::Service service({ "", [] { return std::int64_t { 1700000000 }; } });
        Client setup(service);
        if (prepare)
            prepare(setup);
        Client client(service);
        for (std::string_view chunk : chunkings[c])
            client.send(chunk);
        EXPECT_EQ(client.raw(), expected) << "chunking " << c;
        EXPECT_EQ(client.sink.closed, expectClosed) << "chunking " << c;
        EXPECT_FALSE(client.sink.wroteAfterClose);
    }
}

} // namespace

TEST(SessionSignOn, NewAccountGetsSignOnNickAndEmptyConfigInAnyChunking)
{
    const std::string input = "FLAPON\r\n\r\n" + clientSignon + loginFrame(roastedSecret);
    const std::string expected = signonFrame + "*\x02\x00\x01\x00\x0e"s + "SIGN_ON:TOC2.0"
        + "*\x02\x00\x02\x00\x0a"s + "NICK:alice" + "*\x02\x00\x03\x00\x0e"s + "CONFIG2:done:\n";
    expectSameForEveryChunking(input, nullptr, expected, false);
}

TEST(SessionSignOn, WrongPasswordGetsError980AndIsClosedInAnyChunking)
{
    const std::string input = "FLAPON\n\n" + clientSignon + loginFrame(roastedWrong);
    expectSameForEveryChunking(
        input, [](Client& first) { first.login("alice"); }, signonFrame + error980, true);
}

TEST_F(SessionTest, BadGreetingsAndLoginsAreAnsweredAndClosed)
{
    const std::string error913 = "*\x02\x00\x01\x00\x1f"s + "ERROR:913:internal server error";
    const std::pair<std::string_view, std::string> logins[] = {
        { "toc2_login host 5190 alice", error913 }, // no password
        { "toc2_login host 5190 alice 0x270c005d311", error913 }, // odd number of digits
        { "toc2_login host 5190 alice 0x27zz005d311b", error913 }, // not hex
        { "toc2_login host 5190 alice 270c005d311b", error913 }, // no 0x
        { "toc_login host 5190 alice 0x270c005d311b", error913 }, // another command
        { "toc2_login host 5190 \"alice 0x270c005d311b", error913 }, // open quote
        { "toc2_login h 1 al:ice 0x270c005d311b", error980 },
        { "toc2_login h 1 \"\" 0x270c005d311b", error980 },
        { "toc2_login h 1 alice 0x", error980 }, // empty password
        { "toc2_login h 1 abcdefghijklmnopqrstuvwxyz0123456789 0x270c005d311b", error980 },
    };
    for (const auto& [login, error] : logins) {
        Client& client = connect();
        client.send("FLAPON\n\n");
        client.frame(1, clientSignon.substr(6));
        client.command(login);
        EXPECT_EQ(client.raw(), signonFrame + error) << login;
        EXPECT_TRUE(client.sink.closed) << login;
    }

    for (std::string_view greeting :
        { "FLAPON\n\r", "FLAPON\r\n\n\n", "FLAPONX", "FLAPOFF\n\n", "FLAP\n\n", "FLAPON \n\n" }) {
        Client& client = connect();
        client.send(greeting);
        EXPECT_EQ(client.raw(), "") << greeting;
        EXPECT_TRUE(client.sink.closed) << greeting;
    }

    Client& noSignon = connect();
    noSignon.send("FLAPON\n\n");
    noSignon.command("toc2_login h 1 alice 0x270c005d311b");
    EXPECT_TRUE(noSignon.sink.closed);
}

TEST_F(SessionTest, FrameOfTheLimitIsTakenOneByteMoreIsRefusedFromItsHeader)
{
    Client& client = online("alice");
    client.command("toc_set_info \"" + std::string(2048 - 16, 'x') + "\"");
    EXPECT_FALSE(client.sink.closed);
    EXPECT_EQ(service.profileOf("alice"), std::string(2048 - 16, 'x'));
    // A command, then a header announcing 2,049 bytes, none of which has come yet.
    client.send(Frame(2, "toc_set_info \"p\"\0"s, 9) + "*\x02\x00\x0a\x08\x01"s);
    EXPECT_TRUE(client.sink.closed);
    EXPECT_EQ(service.profileOf("alice"), "p");
}

TEST_F(SessionTest, OnlyDataKeepAliveAndSignoffFramesAreAllowedAfterSignOn)
{
    for (int type : { 0, 1, 3, 4, 5, 6, 255 }) {
        Client& client = online("user" + std::to_string(type));
        client.frame(type, "");
        EXPECT_EQ(client.sink.closed, type != 5) << type;
        EXPECT_EQ(client.messages(), Lines {}) << type;
    }
}

TEST_F(SessionTest, KeepAlivesGoToSignedOnClientsAndTheSequenceWraps)
{
    Client& client = connect();
    client.login("alice"); // frames 0 to 3
    Client& greeted = connect();
    greeted.send("FLAPON\n\n");
    greeted.raw();
    for (int i = 0; i < 65536; ++i)
        service.keepAlive(); // frames 4 to 65539: the last three are numbered 1, 2, 3
    const std::string bytes = client.raw();
    EXPECT_EQ(bytes.substr(bytes.size() - 30),
        "*\x05\xff\xff\x00\x00*\x05\x00\x00\x00\x00*\x05\x00\x01\x00\x00*\x05\x00\x02\x00\x00*\x05\x00\x03\x00\x00"s);
    EXPECT_EQ(greeted.raw(), "");
}

TEST_F(SessionTest, HttpRequestsAreAnsweredInAnySplitAndClosed)
{
    online("Alice").command("toc_set_info \"<b>hi</b> \\$1\"");
    // The page comes whole; for the errors, their status line.
    const std::pair<std::string, std::string> rows[] = {
        { "GET /info?user=A%6cice HTTP/1.1\r\nHost: x\r\n\r\n",
            "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 12\r\n"
            "Connection: close\r\n\r\n<b>hi</b> $1" },
        { "GET /info?user=nobody HTTP/1.0\n\n", "HTTP/1.1 404 Not Found\r\n" },
        { "GET /other HTTP/1.0\r\n\r\n", "HTTP/1.1 404 Not Found\r\n" },
        { "POST /info?user=alice HTTP/1.0\r\n\r\n", "HTTP/1.1 405 Method Not Allowed\r\n" },
        { "GET /info HTTP/1.0\r\n\r\n", "HTTP/1.1 400 Bad Request\r\n" },
        { "FLAX\r\n\r\n", "HTTP/1.1 400 Bad Request\r\n" },
        { "GET /info?user=%zz HTTP/1.0\r\n\r\n", "HTTP/1.1 400 Bad Request\r\n" },
    };
    for (const auto& [request, response] : rows) {
        for (std::size_t cut = 1; cut < request.size(); ++cut) {
            Client& browser = connect();
            browser.send(request.substr(0, cut));
            EXPECT_FALSE(browser.sink.closed) << request << cut;
            browser.send(request.substr(cut));
            const std::string got = browser.raw();
            EXPECT_EQ(response.ends_with("\r\n") ? got.substr(0, response.size()) : got, response)
                << request << cut;
            EXPECT_TRUE(browser.sink.closed);
        }
    }

    Client& endless = connect();
    endless.send("GET /info?user=a HTTP/1.1\r\n");
    const std::string header = "X-Filler: " + std::string(100, 'y') + "\r\n";
    for (int i = 0; i < 100 && !endless.sink.closed; ++i)
        endless.send(header);
    EXPECT_TRUE(endless.sink.closed);
    EXPECT_TRUE(endless.raw().starts_with("HTTP/1.1 431 "));
}
