#include "tools/clisession.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QMetaObject>

#include <gtest/gtest.h>

#include "tests/support/fakesocket.h"

using testing_support::Data;
using testing_support::FakeSocket;
using testing_support::Frame;
using testing_support::ParseFrames;

namespace {

struct Harness {
    FakeSocket* fake = nullptr;
    std::vector<std::string> out;
    std::optional<int> status;
    std::unique_ptr<tocli::CliSession> session;

    explicit Harness(std::optional<std::string> profile, bool reconnect = true)
    {
        auto socket = std::make_unique<FakeSocket>();
        fake = socket.get();
        tocli::CliOptions options { "127.0.0.1", 5190, "Me Too", "pw", std::move(profile), reconnect };
        session = std::make_unique<tocli::CliSession>(
            std::move(options), std::move(socket), [this](const std::string& line) { out.push_back(line); },
            [this](int s) {
                EXPECT_FALSE(status.has_value()) << "finished twice";
                status = s;
            });
        session->Start();
    }

    void connectAndGreet()
    {
        fake->CompleteConnect();
        fake->Receive(Frame(1, std::string("\0\0\0\x01", 4)));
    }

    void signOn()
    {
        connectAndGreet();
        fake->ClearSent();
        fake->Receive(Data("SIGN_ON:TOC2.0") + Data("NICK:Me Too", 1) + Data("CONFIG2:m:1\ng:Buddies\nb:ann\ndone:\n", 2));
    }

    std::vector<std::string> sent()
    {
        std::vector<std::string> payloads;
        for (const auto& f : ParseFrames(fake->AllSent()))
            payloads.push_back(f.payload);
        fake->ClearSent();
        return payloads;
    }

    // Event lines without the IncomingPacket ones.
    std::vector<std::string> events() const
    {
        std::vector<std::string> lines;
        for (const auto& l : out)
            if (l.find("\"IncomingPacket\"") == std::string::npos)
                lines.push_back(l);
        return lines;
    }
};

std::string nul(const std::string& text) { return text + '\0'; }

} // namespace

TEST(CliSession, SignOnPrintsEventsAndSetsTheProfileBeforeInitDone)
{
    Harness h("<a href=\"x\">$hi</a>");
    h.signOn();
    const std::vector<std::string> events = {
        R"({"event":"ScreennameFormat","args":["Me Too"]})",
        R"({"event":"LoggedIn","args":["metoo",["[group]Buddies","ann"],[],[],[],"",1]})",
    };
    EXPECT_EQ(h.events(), events);
    EXPECT_EQ(h.out.front(), R"({"event":"IncomingPacket","args":["*\u0001\u0000\u0000\u0000\u0004\u0000\u0000\u0000\u0001"]})");
    const std::vector<std::string> sent = {
        nul("toc_set_info \"<a href=\\\"x\\\">\\$hi</a>\""),
        nul("toc_init_done"),
    };
    EXPECT_EQ(h.sent(), sent);
    EXPECT_FALSE(h.status);
}

TEST(CliSession, ProfileIsSetAgainEveryMinuteUntilTheSessionEnds)
{
    Harness h("idle");
    h.signOn();
    h.sent();
    ASSERT_TRUE(h.session->ProfileTimer().isActive());
    EXPECT_EQ(h.session->ProfileTimer().interval(), 60000);
    QMetaObject::invokeMethod(&h.session->ProfileTimer(), "timeout");
    EXPECT_EQ(h.sent(), std::vector<std::string> { nul("toc_set_info \"idle\"") });

    // A lost connection is reported and toc-cli keeps running, to sign on again.
    h.fake->PeerClose();
    EXPECT_FALSE(h.session->ProfileTimer().isActive());
    EXPECT_EQ(h.events().back().rfind(R"({"event":"Reconnecting","args":[1,)", 0), 0u);
    EXPECT_FALSE(h.status);

    // A new sign-on from the script: no profile may go out ahead of its toc2_login.
    Harness again("idle");
    again.signOn();
    again.session->HandleLine(R"(["Login", "other", "pw", "127.0.0.1", 5190])");
    EXPECT_FALSE(again.session->ProfileTimer().isActive());
}

TEST(CliSession, BlankLinesAreSkippedAndOverlongOnesAnswered)
{
    Harness h(std::nullopt);
    h.signOn();
    h.out.clear();
    h.session->HandleLine("");
    h.session->HandleLine("  \t");
    h.session->HandleOverlongLine();
    EXPECT_EQ(h.out, std::vector<std::string> { R"({"error":"line too long"})" });
    EXPECT_FALSE(h.status);
}

TEST(CliSession, CommandsWrittenAheadOfTheSignOnRunAfterIt)
{
    Harness h(std::nullopt);
    h.session->HandleLine(R"(["SendIM", "bob", "first"])");
    h.session->HandleLine(R"(["LastChatID"])");
    h.session->HandleEndOfInput();
    EXPECT_FALSE(h.status);

    // Nothing may come between the client's SIGNON frame and toc2_login.
    h.connectAndGreet();
    const auto signOn = ParseFrames(h.fake->AllSent());
    ASSERT_EQ(signOn.size(), 2u);
    EXPECT_EQ(signOn[1].payload.rfind("toc2_login ", 0), 0u);
    h.fake->ClearSent();

    h.fake->Receive(Data("SIGN_ON:TOC2.0") + Data("NICK:me", 1) + Data("CONFIG2:done:\n", 2));
    h.session->HandleLine(R"(["SendIM", "bob", "second"])");
    EXPECT_EQ(h.sent(), std::vector<std::string> { nul("toc_init_done") });
    EXPECT_FALSE(h.status);

    QCoreApplication::sendPostedEvents();
    const std::vector<std::string> ims = { nul("toc_send_im \"bob\" \"first\""), nul("toc_send_im \"bob\" \"second\"") };
    EXPECT_EQ(h.sent(), ims);
    EXPECT_EQ(h.out.back(), R"({"result":0})");
    EXPECT_EQ(h.status, 0);
}

TEST(CliSession, CommandsWaitingForAFailedSignOnAreDropped)
{
    Harness h(std::nullopt, false);
    h.session->HandleLine(R"(["SendIM", "bob", "never"])");
    h.session->HandleEndOfInput();
    h.fake->Fail("Connection refused");
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(h.status, 1);
    EXPECT_TRUE(h.fake->AllSent().empty());
}
