#include <QTcpSocket>

#include <gtest/gtest.h>

#include "tests/e2e/harness.h"

using namespace e2e;

namespace {

Json J(const char* text) { return Json::parse(text); }

// The profile page tocd serves over HTTP on its TOC port.
std::string fetch(int port, const std::string& path)
{
    QTcpSocket http;
    http.connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(port));
    http.waitForConnected(WaitMs);
    const std::string request = "GET /" + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
    http.write(request.data(), static_cast<qint64>(request.size()));
    std::string response;
    while (http.waitForReadyRead(WaitMs))
        response += http.readAll().toStdString();
    return response + http.readAll().toStdString();
}

} // namespace

TEST(SignOn, FramesEventsAndProfileArriveInOrderAndKeepAlivesAreAnswered)
{
    Tocd tocd({ QStringLiteral("--keepalive"), QStringLiteral("1") });
    const std::string profile = "<b>Idle</b> since 10:30, \"back\" soon; $0 \\o/";
    Cli alice(tocd.Address(), "Alice", "secret", profile);
    // Every frame of the sign-on, byte for byte, as the control reported it.
    alice.ExpectArgs("IncomingPacket", J(R"(["*\u0001\u0000\u0000\u0000\u0004\u0000\u0000\u0000\u0001"])"));
    alice.ExpectArgs("IncomingPacket", J(R"(["*\u0002\u0000\u0001\u0000\u000eSIGN_ON:TOC2.0"])"));
    alice.ExpectArgs("IncomingPacket", J(R"(["*\u0002\u0000\u0002\u0000\u000aNICK:alice"])"));
    alice.ExpectArgs("ScreennameFormat", J(R"(["alice"])"));
    alice.ExpectArgs("IncomingPacket", J(R"(["*\u0002\u0000\u0003\u0000\u000eCONFIG2:done:\n"])"));
    alice.ExpectArgs("LoggedIn", J(R"(["alice",[],[],[],[],"",0])"));
    EXPECT_EQ(alice.EventNames(), (std::vector<std::string> { "ScreennameFormat", "LoggedIn" }));

    // toc_init_done went out: the account answers for itself, and others see it.
    alice.Send(Json::array({ "GetStatus", "alice" }));
    alice.Expect("BuddyUpdate", [](const Json& a) { return a[0] == "alice" && a[1] == true; });
    Cli bob(tocd.Address(), "bob", "pw");
    bob.ExpectOnline();
    bob.Send(Json::array({ "GetStatus", "Alice" }));
    bob.Expect("BuddyUpdate", [](const Json& a) { return a[0] == "alice" && a[1] == true && a[5] == " O "; });
    // The profile set at sign-on, for others to read.
    bob.Send(Json::array({ "GetProfile", "Alice" }));
    const Json url = bob.Expect("UserProfile");
    ASSERT_TRUE(url.is_array() && url[0].is_string());
    const std::string page = fetch(tocd.Port(), url[0].get<std::string>());
    EXPECT_NE(page.find(profile), std::string::npos) << page;

    const auto keepAlive = [](const Json& a) {
        const std::string frame = a[0].get<std::string>();
        return frame.size() == 6 && frame.compare(0, 2, "*\x05") == 0 && frame.compare(4, 2, std::string(2, '\0')) == 0;
    };
    alice.Expect("IncomingPacket", keepAlive);
    alice.Expect("IncomingPacket", keepAlive);
    // tocd closes a client whose frames are malformed; the answers were fine if the IM still flows.
    bob.Send(Json::array({ "SendIM", "alice", "still there?" }));
    alice.ExpectArgs("InstantMessage", Json::array({ "bob", "still there?", false, " O " }));
    EXPECT_EQ(alice.EventNames().back(), "InstantMessage");

    alice.CloseInput();
    EXPECT_EQ(alice.WaitForExit(), 0);
}

TEST(SignOn, WrongPasswordEndsWithStatusThreeAndNoServerIsRetried)
{
    int freePort = 0;
    {
        Tocd tocd;
        freePort = tocd.Port();
        Cli(tocd.Address(), "carol", "right").ExpectOnline();
        Cli wrong(tocd.Address(), "carol", "wrong");
        wrong.ExpectArgs("Error", J(R"([980,"Invalid account or password"])"));
        wrong.Expect("WinsockError");
        EXPECT_EQ(wrong.WaitForExit(), 3);
        EXPECT_EQ(wrong.EventNames(), (std::vector<std::string> { "Error", "WinsockError" }));
        Cli(tocd.Address(), "Carol", "right").ExpectArgs("LoggedIn", J(R"(["carol",[],[],[],[],"",0])"));
    }
    Cli nobody("127.0.0.1:" + std::to_string(freePort), "dan", "pw");
    nobody.Expect("WinsockError");
    nobody.Expect("Reconnecting", [](const Json& a) { return a[0] == 1 && a[2] == "Connection refused"; });
}
