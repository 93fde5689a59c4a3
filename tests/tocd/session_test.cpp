#include <gtest/gtest.h>

#include <functional>

#include "tests/tocd/harness.h"

using namespace tocd_test;
using testing_support::Frame;

namespace {

constexpr std::string_view signonFrame("\x2a\x01\x00\x00\x00\x04\x00\x00\x00\x01", 10);

tocd::Service::Options options()
{
    return { "", [] { return std::int64_t { 1700000000 }; } };
}

const std::string clientSignon = std::string("*\x01\x00\x00\x00\x0d\x00\x00\x00\x01\x00\x01\x00\x05"
                                             "alice",
    19);

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
    std::vector<std::vector<std::string_view>> chunkings;
    chunkings.push_back({ input });
    std::vector<std::string_view> bytes;
    for (std::size_t i = 0; i < input.size(); ++i)
        bytes.push_back(std::string_view(input).substr(i, 1));
    chunkings.push_back(bytes);
    for (std::size_t cut = 1; cut < input.size(); ++cut)
        chunkings.push_back(
            { std::string_view(input).substr(0, cut), std::string_view(input).substr(cut) });

    for (std::size_t c = 0; c < chunkings.size(); ++c) {
        tocd::Service service(options());
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

TEST(SessionGreeting, EitherLineEndingGetsTheSignonFrame)
{
    for (std::string_view greeting :
        { std::string_view("FLAPON\n\n"), std::string_view("FLAPON\r\n\r\n") }) {
        tocd::Service service(options());
        Client client(service);
        client.send(greeting);
        EXPECT_EQ(client.raw(), signonFrame);
        EXPECT_FALSE(client.sink.closed);
    }
}

TEST(SessionGreeting, AnythingElseClosesWithoutAnswer)
{
    for (std::string_view greeting :
        { "FLAPON\n\r", "FLAPON\r\n\n\n", "FLAPONX", "FLAPOFF\n\n", "FLAP\n\n", "FLAPON \n\n" }) {
        tocd::Service service(options());
        Client client(service);
        client.send(greeting);
        EXPECT_EQ(client.raw(), "") << greeting;
        EXPECT_TRUE(client.sink.closed) << greeting;
    }
}

TEST(SessionSignOn, NewAccountGetsSignOnNickAndEmptyConfigInAnyChunking)
{
    const std::string input = "FLAPON\r\n\r\n" + clientSignon + loginFrame(roastedSecret);
    const std::string expected = std::string(signonFrame)
        + std::string("*\x02\x00\x01\x00\x0e"
                      "SIGN_ON:TOC2.0",
            20)
        + std::string("*\x02\x00\x02\x00\x0a"
                      "NICK:alice",
            16)
        + std::string("*\x02\x00\x03\x00\x0e"
                      "CONFIG2:done:\n",
            20);
    expectSameForEveryChunking(input, nullptr, expected, false);
}

TEST(SessionSignOn, WrongPasswordGetsError980AndIsClosed)
{
    const std::string input = "FLAPON\n\n" + clientSignon + loginFrame(roastedWrong);
    const std::string expected = std::string(signonFrame)
        + std::string("*\x02\x00\x01\x00\x09"
                      "ERROR:980",
            15);
    expectSameForEveryChunking(
        input, [](Client& first) { first.login("alice"); }, expected, true);
}

TEST(SessionSignOn, MalformedLoginGetsError913AndIsClosed)
{
    const std::string error = std::string("*\x02\x00\x01\x00\x1f"
                                          "ERROR:913:internal server error",
        37);
    for (std::string_view login : {
             "toc2_login host 5190 alice", // no password
             "toc2_login host 5190 alice 0x270c005d311", // odd number of digits
             "toc2_login host 5190 alice 0x27zz005d311b", // not hex
             "toc2_login host 5190 alice 270c005d311b", // no 0x
             "toc_signon host 5190 alice 0x270c005d311b", // another command
             "toc2_login host 5190 \"alice 0x270c005d311b", // open quote
         }) {
        tocd::Service service(options());
        Client client(service);
        client.send("FLAPON\n\n");
        client.frame(1, clientSignon.substr(6));
        client.command(login);
        EXPECT_EQ(client.raw(), std::string(signonFrame) + error) << login;
        EXPECT_TRUE(client.sink.closed) << login;
    }
}

TEST(SessionSignOn, RefusesBadScreenNamesAndEmptyPasswords)
{
    for (std::string_view login : { "toc2_login h 1 al:ice 0x270c005d311b",
             "toc2_login h 1 \"\" 0x270c005d311b", "toc2_login h 1 alice 0x",
             "toc2_login h 1 abcdefghijklmnopqrstuvwxyz0123456789 0x270c005d311b" }) {
        tocd::Service service(options());
        Client client(service);
        client.send("FLAPON\n\n");
        client.frame(1, clientSignon.substr(6));
        client.command(login);
        EXPECT_EQ(client.messages(), (Lines { std::string("\0\0\0\1", 4), "ERROR:980" })) << login;
        EXPECT_TRUE(client.sink.closed);
    }
}

TEST(SessionSignOn, FirstSignOnFixesTheFormattedName)
{
    tocd::Service service(options());
    Client first(service);
    first.login("Alice Smith");
    first.messages();
    first.session.disconnect();
    Client second(service);
    second.login("alicesmith");
    EXPECT_EQ(second.messages(),
        (Lines {
            std::string("\0\0\0\1", 4), "SIGN_ON:TOC2.0", "NICK:Alice Smith", "CONFIG2:done:\n" }));
}

TEST(SessionSignOn, DataBeforeTheSignonFrameCloses)
{
    tocd::Service service(options());
    Client client(service);
    client.send("FLAPON\n\n");
    client.command("toc2_login h 1 alice 0x270c005d311b");
    EXPECT_TRUE(client.sink.closed);
}

TEST(SessionFrames, OversizedFrameIsRefusedFromItsHeader)
{
    tocd::Service service(options());
    Client client(service);
    client.signOn("alice");
    // Header announcing 2,049 bytes, none of which has come yet.
    client.send(std::string("*\x02\x00\x09\x08\x01", 6));
    EXPECT_TRUE(client.sink.closed);
}

TEST(SessionFrames, FrameOfExactlyTheLimitIsAccepted)
{
    tocd::Service service(options());
    Client client(service);
    client.signOn("alice");
    std::string text = "toc_set_info \"" + std::string(2048 - 16, 'x') + "\"";
    client.command(text);
    EXPECT_FALSE(client.sink.closed);
    EXPECT_EQ(service.profileOf("alice"), std::string(2048 - 16, 'x'));
}

TEST(SessionFrames, CommandsBeforeAnOversizedFrameInTheSameReadStillRun)
{
    tocd::Service service(options());
    Client client(service);
    client.signOn("alice");
    client.send(Frame(2, std::string("toc_set_info \"p\"\0", 17), 9)
        + std::string("*\x02\x00\x0a\xff\xff", 6));
    EXPECT_TRUE(client.sink.closed);
    EXPECT_EQ(service.profileOf("alice"), "p");
}

TEST(SessionFrames, OnlyDataKeepAliveAndSignoffFramesAreAllowedAfterSignOn)
{
    for (int type : { 0, 1, 3, 6, 255 }) {
        tocd::Service service(options());
        Client client(service);
        client.signOn("alice");
        client.frame(type, "");
        EXPECT_TRUE(client.sink.closed) << type;
    }
    tocd::Service service(options());
    Client client(service);
    client.signOn("alice");
    client.frame(5, "");
    EXPECT_FALSE(client.sink.closed);
    EXPECT_EQ(client.messages(), Lines {});
    client.frame(4, "");
    EXPECT_TRUE(client.sink.closed);
}

TEST(SessionFrames, UnknownCommandIsAnsweredAndTheConnectionStays)
{
    tocd::Service service(options());
    Client client(service);
    client.signOn("alice");
    client.command("toc_bogus 1 2");
    client.command("toc_get_status alice");
    EXPECT_EQ(client.messages(),
        (Lines { "ERROR:913:internal server error", "UPDATE_BUDDY2:alice:T:0:1700000000:0: O :" }));
    EXPECT_FALSE(client.sink.closed);
}

TEST(SessionFrames, ServerSequenceStartsAtZeroAndWraps)
{
    tocd::Service service(options());
    Client client(service);
    client.login("alice"); // frames 0 to 3
    for (int i = 0; i < 65536; ++i)
        service.keepAlive(); // frames 4 to 65539: the last three are numbered 1, 2, 3
    const std::string bytes = client.raw();
    EXPECT_EQ(bytes.substr(bytes.size() - 18),
        std::string("*\x05\x00\x01\x00\x00*\x05\x00\x02\x00\x00*\x05\x00\x03\x00\x00", 18));
    EXPECT_EQ(bytes.substr(bytes.size() - 6 * 4, 6), std::string("*\x05\x00\x00\x00\x00", 6));
    EXPECT_EQ(bytes.substr(bytes.size() - 6 * 5, 6), std::string("*\x05\xff\xff\x00\x00", 6));
}

TEST(SessionFrames, KeepAliveGoesOnlyToSignedOnClients)
{
    tocd::Service service(options());
    Client signedOn(service);
    signedOn.login("alice");
    signedOn.raw();
    Client greeted(service);
    greeted.send("FLAPON\n\n");
    greeted.raw();
    service.keepAlive();
    EXPECT_EQ(signedOn.raw(), std::string("*\x05\x00\x04\x00\x00", 6));
    EXPECT_EQ(greeted.raw(), "");
}

TEST(SessionFrames, ServerPayloadsCarryNoNul)
{
    tocd::Service service(options());
    Client alice(service);
    alice.signOn("alice");
    Client bob(service);
    bob.signOn("bob");
    alice.command(std::string("toc_send_im bob \"a\0b\"", 21));
    EXPECT_EQ(bob.messages(), Lines { "IM_IN_ENC2:alice:F:F:T: O :F:L:en:ab" });
}

TEST(SessionHttp, ProfilePageIsServedOnTheSamePort)
{
    tocd::Service service(options());
    Client alice(service);
    alice.signOn("Alice");
    alice.command("toc_set_info \"<b>hi</b> \\$1\"");

    const std::string request = "GET /info?user=A%6cice HTTP/1.1\r\nHost: x\r\n\r\n";
    const std::string expected
        = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 12\r\n"
          "Connection: close\r\n\r\n<b>hi</b> $1";
    for (std::size_t cut = 1; cut < request.size(); ++cut) {
        Client browser(service);
        browser.send(request.substr(0, cut));
        EXPECT_FALSE(browser.sink.closed);
        browser.send(request.substr(cut));
        EXPECT_EQ(browser.raw(), expected);
        EXPECT_TRUE(browser.sink.closed);
    }
}

TEST(SessionHttp, OtherRequestsGetErrorStatuses)
{
    tocd::Service service(options());
    Client alice(service);
    alice.signOn("alice");
    const std::pair<std::string_view, std::string_view> cases[] = {
        { "GET /info?user=nobody HTTP/1.0\n\n", "HTTP/1.1 404 Not Found\r\n" },
        { "GET /other HTTP/1.0\r\n\r\n", "HTTP/1.1 404 Not Found\r\n" },
        { "POST /info?user=alice HTTP/1.0\r\n\r\n", "HTTP/1.1 405 Method Not Allowed\r\n" },
        { "GET /info HTTP/1.0\r\n\r\n", "HTTP/1.1 400 Bad Request\r\n" },
        { "FLAX\r\n\r\n", "HTTP/1.1 400 Bad Request\r\n" },
        { "GET /info?user=%zz HTTP/1.0\r\n\r\n", "HTTP/1.1 400 Bad Request\r\n" },
    };
    for (const auto& [request, status] : cases) {
        Client browser(service);
        browser.send(request);
        EXPECT_TRUE(browser.raw().starts_with(status)) << request;
        EXPECT_TRUE(browser.sink.closed);
    }
}

TEST(SessionHttp, EndlessRequestHeadIsCutOff)
{
    tocd::Service service(options());
    Client browser(service);
    browser.send("GET /info?user=a HTTP/1.1\r\n");
    const std::string header = "X-Filler: " + std::string(100, 'y') + "\r\n";
    for (int i = 0; i < 100 && !browser.sink.closed; ++i)
        browser.send(header);
    EXPECT_TRUE(browser.sink.closed);
    EXPECT_TRUE(browser.raw().starts_with("HTTP/1.1 431 "));
}
