#include <gtest/gtest.h>

#include "tests/tocd/tocdprocess.h"

using namespace tocd_test;
using namespace std::chrono_literals;

namespace {

std::string tocdPath() { return TOCD_PATH; }

} // namespace

TEST(TocdServer, SignOnOverTcpGivesTheLiteralFrames)
{
    TocdProcess tocd(tocdPath(), {});
    ASSERT_NE(tocd.port, 0);
    TcpClient client(tocd.port);
    ASSERT_TRUE(client.connected());
    client.send("FLAPON\r\n\r\n");
    client.send(std::string("*\x01\x00\x00\x00\x0d\x00\x00\x00\x01\x00\x01\x00\x05"
                            "alice",
        19));
    const std::string login = "toc2_login login.oscar.aol.com 5190 alice 0x270c005d311b English  "
                              "\"x\" 160 US \"\" \"\" 3 0 30303 -kentucky -utf8 58203917";
    client.send(std::string("*\x02\x00\x01\x00", 5) + static_cast<char>(login.size() + 1) + login
        + std::string(1, '\0'));
    EXPECT_EQ(client.readExactly(66),
        std::string("*\x01\x00\x00\x00\x04\x00\x00\x00\x01", 10)
            + std::string("*\x02\x00\x01\x00\x0e"
                          "SIGN_ON:TOC2.0",
                20)
            + std::string("*\x02\x00\x02\x00\x0a"
                          "NICK:alice",
                16)
            + std::string("*\x02\x00\x03\x00\x0e"
                          "CONFIG2:done:\n",
                20));

    TcpClient wrong(tocd.port);
    wrong.send("FLAPON\n\n");
    wrong.frame(1, std::string("\0\0\0\1\0\1\0\5alice", 13));
    wrong.command("toc2_login h 5190 alice 0x231b0c4133"); // roasted "wrong"
    EXPECT_EQ(wrong.readExactly(25),
        std::string("*\x01\x00\x00\x00\x04\x00\x00\x00\x01", 10)
            + std::string("*\x02\x00\x01\x00\x09"
                          "ERROR:980",
                15));
    EXPECT_TRUE(wrong.closedByPeer());
}

TEST(TocdServer, KeepAlivesComeEveryIntervalAndTheBotEchoes)
{
    TocdProcess tocd(tocdPath(), { "--keepalive", "1", "--bot", "Echo Bot" });
    ASSERT_NE(tocd.port, 0);
    TcpClient client(tocd.port);
    ASSERT_TRUE(client.signOn("alice"));
    EXPECT_TRUE(client.readMessage()->starts_with("IM_IN_ENC2:Echo Bot:F:F:T: O :F:L:en:Hi!"));
    EXPECT_EQ(client.readFrame(5s), std::string("*\x05\x00\x05\x00\x00", 6));
    EXPECT_EQ(client.readFrame(5s), std::string("*\x05\x00\x06\x00\x00", 6));
    client.command("toc_send_im echobot \"hi\"");
    EXPECT_EQ(client.readMessage(), "IM_IN_ENC2:Echo Bot:F:F:T: O :F:L:en:echo: hi");
}

TEST(TocdServer, ProfilePageIsServedOverHttpOnTheSamePort)
{
    TocdProcess tocd(tocdPath(), {});
    ASSERT_NE(tocd.port, 0);
    TcpClient alice(tocd.port);
    ASSERT_TRUE(alice.signOn("alice"));
    alice.command("toc_set_info \"<i>me</i>\"");
    alice.command("toc_get_info alice");
    EXPECT_EQ(alice.readMessage(), "GOTO_URL:profile:info?user=alice");

    TcpClient browser(tocd.port);
    browser.send("GET /info?user=alice HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    const std::string expected = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: "
                                 "9\r\nConnection: close\r\n\r\n<i>me</i>";
    EXPECT_EQ(browser.readExactly(expected.size()), expected);
    EXPECT_TRUE(browser.closedByPeer());
}

TEST(TocdServer, BrokenClientIsClosedAndSilentOneBlocksNobody)
{
    TocdProcess tocd(tocdPath(), {});
    ASSERT_NE(tocd.port, 0);
    TcpClient silent(tocd.port);
    TcpClient greetedOnly(tocd.port);
    greetedOnly.send("FLAPON\n\n");
    TcpClient broken(tocd.port);
    ASSERT_TRUE(broken.signOn("broken"));
    broken.send(std::string("*\x02\x00\x09\x09\x00", 6)); // announces 2,304 bytes
    EXPECT_TRUE(broken.closedByPeer());

    TcpClient good(tocd.port);
    ASSERT_TRUE(good.signOn("good"));
    good.command("toc_get_status good");
    EXPECT_TRUE(good.readMessage().value_or("").starts_with("UPDATE_BUDDY2:good:T:0:"));
}

TEST(TocdServer, ClientThatNeverReadsIsDroppedWithoutStallingOthers)
{
    TocdProcess tocd(tocdPath(), { "--no-rate-limits" });
    ASSERT_NE(tocd.port, 0);
    TcpClient sink(tocd.port, 4096);
    ASSERT_TRUE(sink.signOn("sink"));
    TcpClient other(tocd.port);
    ASSERT_TRUE(other.signOn("other"));

    // Each command sends the non-reader about 2 KB; far more than its queue, the kernel buffers and
    // its receive window can hold.
    const std::string im = "toc_send_im sink \"" + std::string(1900, 'z') + "\"";
    int sent = 0;
    while (sent < 20000 && sink.command(im)) {
        ++sent;
        if (sent % 500 == 0) {
            other.command("toc_get_status other");
            ASSERT_TRUE(other.readMessage(5s).has_value()) << "stalled after " << sent;
        }
    }
    EXPECT_LT(sent, 20000) << "the non-reading client was never dropped";
    EXPECT_TRUE(sink.closedByPeer());
    other.command("toc_get_status sink");
    EXPECT_EQ(other.readMessage(), "ERROR:901:sink");
}
