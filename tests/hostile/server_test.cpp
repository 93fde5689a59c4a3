// toc-cli against a scripted server that sends what no honest server would. Whatever arrives, the
// control must neither crash nor block (once signed on, it keeps answering commands on stdin; toc-cli
// holds commands until the first sign-on), must answer what it should, and must keep its memory
// within bounds; each case reports toc-cli's peak RSS.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>

#include "tests/hostile/child.h"
#include "tests/hostile/figures.h"
#include "tests/hostile/net.h"

namespace hostile {
namespace {

    using namespace std::chrono_literals;
    using Clock = std::chrono::steady_clock;

    // Generous: what toc-cli needs idle, plus room for a full frame, its JSON line and buffers,
    // but far less than the tens of megabytes the bad servers below try to make it hold.
    constexpr std::size_t HeadroomKiB = 48 * 1024;

    std::string dataFrame(std::string_view payload, int sequence = 1) { return Frame(2, payload, sequence); }

    class ScriptedServer {
    public:
        explicit ScriptedServer(const std::string& name = "Hostile")
        {
            FigureHeading("scenario                                  toc-cli peak RSS (KiB)   time (ms)");
            cli = std::make_unique<Child>(std::vector<std::string> { TOC_CLI_PATH, "--server",
                "127.0.0.1:" + std::to_string(listener.Port()), "--screen-name", name, "--password", "pw", "--no-reconnect" });
            auto accepted = listener.Accept();
            if (!accepted)
                throw std::runtime_error("toc-cli did not connect");
            conn = std::move(*accepted);
            started = Clock::now();
        }

        // The server's SIGNON frame, and the client's SIGNON frame and login command in answer.
        void handshake(bool greeted = false)
        {
            if (!greeted) {
                ASSERT_EQ(conn.Read(8), std::string("FLAPON\n\n"));
            }
            ASSERT_TRUE(conn.Send(Frame(1, std::string("\0\0\0\1", 4))));
            const auto signon = conn.ReadFrame();
            ASSERT_TRUE(signon);
            EXPECT_EQ(signon->type, 1);
            const auto login = conn.ReadFrame();
            ASSERT_TRUE(login);
            EXPECT_EQ(login->payload.rfind("toc2_login ", 0), 0u);
        }

        void signOn(bool greeted = false)
        {
            handshake(greeted);
            ASSERT_TRUE(conn.Send(dataFrame("SIGN_ON:TOC2.0") + dataFrame("NICK:Hostile") + dataFrame("CONFIG2:g:Buddies\ndone:\n")));
            ASSERT_TRUE(conn.ReadUntil("toc_init_done"));
            ASSERT_TRUE(cli->WaitForLine("\"LoggedIn\""));
        }

        // A command on stdin is answered: the event loop is not stuck.
        void expectResponsive()
        {
            const auto reply = cli->Ask("[\"GetChatName\", 424242]");
            ASSERT_TRUE(reply) << "toc-cli stopped answering commands";
            EXPECT_EQ(*reply, "{\"result\":\"[No Chat Name Found for ID]\"}");
        }

        std::size_t report(const std::string& scenario)
        {
            const std::size_t peak = cli->PeakRssKiB();
            const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count();
            char row[160];
            std::snprintf(row, sizeof row, "%-42s %22zu %11lld", scenario.c_str(), peak, static_cast<long long>(ms));
            Figure(row);
            return peak;
        }

        Listener listener;
        std::unique_ptr<Child> cli;
        Conn conn;
        Clock::time_point started;
    };

    // Peak RSS of a toc-cli that signed on and was told nothing else.
    std::size_t idlePeakKiB()
    {
        static std::size_t peak = [] {
            ScriptedServer s;
            s.signOn();
            s.expectResponsive();
            return s.cli->PeakRssKiB();
        }();
        return peak;
    }

    void expectBounded(ScriptedServer& s, const std::string& scenario)
    {
        const std::size_t peak = s.report(scenario);
        EXPECT_LE(peak, idlePeakKiB() + HeadroomKiB) << scenario;
    }

    TEST(HostileServer, SilentServerCostsNoCpuAndLeavesTocCliResponsive)
    {
        ScriptedServer s;
        ASSERT_EQ(s.conn.Read(8), std::string("FLAPON\n\n"));
        const double before = s.cli->CpuSeconds();
        // Nothing arrives for two seconds; a waiting client must not spin.
        EXPECT_FALSE(s.conn.Read(1, 2000ms));
        EXPECT_LT(s.cli->CpuSeconds() - before, 0.2);
        EXPECT_EQ(s.cli->Count("\"event\""), 0u);
        // It was waiting, not stuck: when the server does speak, the sign-on goes ahead at once.
        s.signOn(true);
        s.expectResponsive();
        expectBounded(s, "accepts and never speaks");
        s.cli->CloseInput();
        EXPECT_EQ(s.cli->WaitForExit(), 0);
    }

    TEST(HostileServer, StreamNotStartingWithMarkerIsNeverTakenForASignOn)
    {
        ScriptedServer s;
        ASSERT_EQ(s.conn.Read(8), std::string("FLAPON\n\n"));
        ASSERT_TRUE(s.conn.Send("HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n" + std::string(40000, 'x')));
        // Cut by its length field ("/1"), the text makes one bogus frame of type "T"; the rest is held.
        ASSERT_TRUE(s.cli->WaitForLine("{\"event\":\"Error\",\"args\":[0,\"Unknown Channel Detected: T\"]}"));
        EXPECT_EQ(s.cli->Count("\"IncomingPacket\""), 1u);
        EXPECT_EQ(s.cli->Count("\"LoggedIn\""), 0u);
        expectBounded(s, "first byte not \"*\"");
        s.conn.Close();
        // Closed before any sign-on: toc-cli reports it and ends with its sign-on failure status.
        ASSERT_TRUE(s.cli->WaitForLine("\"WinsockError\""));
        EXPECT_EQ(s.cli->WaitForExit(), 1);
    }

    TEST(HostileServer, LongestFrameTrickledOneByteAtATimeArrivesWhole)
    {
        ScriptedServer s;
        s.signOn();
        std::string payload = "IM_IN_ENC2:bob:F:F:T: O :F:L:en:";
        payload += std::string(65535 - payload.size() - 4, 'x') + "TAIL";
        ASSERT_EQ(payload.size(), 65535u);
        const std::string frame = dataFrame(payload, 9);
        for (const char c : frame)
            ASSERT_TRUE(s.conn.Send(std::string_view(&c, 1)));
        const auto im = s.cli->WaitForLine("\"InstantMessage\"");
        ASSERT_TRUE(im);
        EXPECT_NE(s.cli->Line(*im).find("xxxxTAIL\""), std::string::npos);
        // Still in step: a keep-alive after it is answered.
        ASSERT_TRUE(s.conn.Send(Frame(5, "", 10)));
        const auto answer = s.conn.ReadFrame();
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->type, 5);
        EXPECT_EQ(answer->payload, "");
        expectBounded(s, "65,535-byte frame, one byte per write");
    }

    TEST(HostileServer, HundredThousandKeepAlivesInOneWriteAreEachAnswered)
    {
        ScriptedServer s;
        s.signOn();
        constexpr int Count = 100000;
        std::string burst;
        burst.reserve(Count * 6);
        for (int i = 0; i < Count; ++i)
            burst += Frame(5, "", i & 0xffff);
        ASSERT_TRUE(s.conn.Send(burst));
        // toc_init_done was frame 2 of this connection (SIGNON 0, login 1).
        const auto answers = s.conn.Read(Count * 6, 60000ms);
        ASSERT_TRUE(answers) << "fewer than 100,000 keep-alive answers";
        int wrong = 0;
        for (int i = 0; i < Count; ++i) {
            const std::string_view f = std::string_view(*answers).substr(static_cast<std::size_t>(i) * 6, 6);
            const int seq = (static_cast<unsigned char>(f[2]) << 8 | static_cast<unsigned char>(f[3]));
            wrong += f[0] != '*' || f[1] != 5 || f[4] != 0 || f[5] != 0 || seq != ((3 + i) & 0xffff);
        }
        EXPECT_EQ(wrong, 0);
        EXPECT_FALSE(s.conn.Read(1, 300ms)) << "more than one answer per keep-alive";
        EXPECT_TRUE(s.cli->WaitForCount("\"IncomingPacket\"", Count + 4));
        s.expectResponsive();
        expectBounded(s, "100,000 keep-alives in one write");
    }

    TEST(HostileServer, ConfigurationWithoutEndMarkerIsNotHeldWithoutBound)
    {
        ScriptedServer s;
        s.handshake();
        ASSERT_TRUE(s.conn.Send(dataFrame("SIGN_ON:TOC2.0") + dataFrame("NICK:Hostile")));
        // 64 MiB of buddy lines and never "done:".
        std::string payload = "CONFIG2:";
        while (payload.size() + 16 <= 65535)
            payload += "b:buddy" + std::to_string(payload.size() % 100000) + "\n";
        const std::string frame = dataFrame(payload);
        const std::size_t frames = (64u << 20) / payload.size();
        // Paced so that the kernel's receive buffer (up to 32 MiB here, read by Qt in one go) does
        // not hide what the control itself keeps.
        for (std::size_t i = 0; i < frames; ++i) {
            ASSERT_TRUE(s.conn.Send(frame));
            if (i % 16 == 15) {
                ASSERT_TRUE(s.cli->WaitForCount("\"IncomingPacket\"", i - 16 + 3));
            }
        }
        EXPECT_TRUE(s.cli->WaitForCount("\"IncomingPacket\"", frames + 3, 60000ms));
        EXPECT_EQ(s.cli->Count("\"LoggedIn\""), 0u);
        // The end marker still completes a sign-on afterwards.
        ASSERT_TRUE(s.conn.Send(dataFrame("CONFIG2:done:\n")));
        EXPECT_TRUE(s.conn.ReadUntil("toc_init_done"));
        EXPECT_TRUE(s.cli->WaitForLine("\"LoggedIn\""));
        s.expectResponsive();
        expectBounded(s, "64 MiB of CONFIG2 without \"done:\"");
    }

    TEST(HostileServer, ErrorWithEveryCodeAndWithMissingFields)
    {
        ScriptedServer s;
        s.signOn();
        std::string burst;
        for (int code = 0; code < 1000; ++code)
            burst += dataFrame("ERROR:" + std::to_string(code) + ":7");
        // Malformed: no code, an empty one, not a number, out of range, a missing argument.
        for (const char* bad : { "ERROR", "ERROR:", "ERROR::", "ERROR:x", "ERROR:70000", "ERROR:901", "ERROR:902",
                 "ERROR:951", "ERROR:989", "ERROR:989:x", "ERROR: 980" })
            burst += dataFrame(bad);
        // Fields that may be left out.
        burst += dataFrame("ERROR:980") + dataFrame("ERROR:-5");
        ASSERT_TRUE(s.conn.Send(burst));
        EXPECT_TRUE(s.cli->WaitForCount("\"IncomingPacket\"", 1000 + 11 + 2 + 3));
        s.expectResponsive();
        EXPECT_EQ(s.cli->Count("\"event\":\"Error\""), 1002u);
        EXPECT_TRUE(s.cli->WaitForLine("{\"event\":\"Error\",\"args\":[-5,\"Error code: -5\"]}"));
        EXPECT_TRUE(s.cli->WaitForLine("{\"event\":\"Error\",\"args\":[980,\"Invalid account or password\"]}"));
        expectBounded(s, "ERROR: every code, missing fields");
    }

    TEST(HostileServer, TwelveChatJoinsFillElevenSlotsAndAllAreReported)
    {
        ScriptedServer s;
        s.signOn();
        std::string burst;
        for (int id = 1; id <= 12; ++id)
            burst += dataFrame("CHAT_JOIN:" + std::to_string(id) + ":Room " + std::to_string(id));
        ASSERT_TRUE(s.conn.Send(burst));
        ASSERT_TRUE(s.cli->WaitForCount("\"JoinedChat\"", 12));
        EXPECT_EQ(s.cli->Ask("[\"GetChatName\", 11]"), "{\"result\":\"Room 11\"}");
        EXPECT_EQ(s.cli->Ask("[\"GetChatName\", 12]"), "{\"result\":\"[No Chat Name Found for ID]\"}");
        EXPECT_EQ(s.cli->Ask("[\"LastChatID\"]"), "{\"result\":12}");
        // Leaving one frees its slot for the next room.
        ASSERT_TRUE(s.conn.Send(dataFrame("CHAT_LEFT:3") + dataFrame("CHAT_JOIN:13:Late")));
        ASSERT_TRUE(s.cli->WaitForCount("\"JoinedChat\"", 13));
        EXPECT_EQ(s.cli->Ask("[\"GetChatName\", 13]"), "{\"result\":\"Late\"}");
        expectBounded(s, "twelve CHAT_JOINs");
    }

    TEST(HostileServer, NulFilledFramesAreReportedAndTheStreamStaysInStep)
    {
        ScriptedServer s;
        s.signOn();
        // 60,000 NULs are 10,000 empty frames of type 0; then a data frame of NULs.
        ASSERT_TRUE(s.conn.Send(std::string(60000, '\0') + dataFrame(std::string(4000, '\0'))));
        ASSERT_TRUE(s.cli->WaitForCount("\"event\":\"Error\"", 10000));
        EXPECT_TRUE(s.cli->WaitForLine("{\"event\":\"Error\",\"args\":[0,\"Unknown Channel Detected: \\u0000\"]}"));
        ASSERT_TRUE(s.conn.Send(Frame(5, "")));
        const auto answer = s.conn.ReadFrame();
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->type, 5);
        EXPECT_EQ(s.cli->Count("\"event\":\"Error\""), 10000u);
        s.expectResponsive();
        expectBounded(s, "NUL-filled frames");
    }

    TEST(HostileServer, CloseInTheMiddleOfAFrameIsReportedAndTocCliCarriesOn)
    {
        ScriptedServer s;
        s.signOn();
        const std::string frame = dataFrame("IM_IN_ENC2:bob:F:F:T: O :F:L:en:cut short");
        ASSERT_TRUE(s.conn.Send(frame.substr(0, frame.size() / 2)));
        s.conn.Close();
        ASSERT_TRUE(s.cli->WaitForLine("\"WinsockError\""));
        EXPECT_EQ(s.cli->Count("\"InstantMessage\""), 0u);
        // Signed on before, so toc-cli stays for the script to decide.
        s.expectResponsive();
        expectBounded(s, "close in the middle of a frame");
        s.cli->CloseInput();
        EXPECT_EQ(s.cli->WaitForExit(), 0);
    }

} // namespace
} // namespace hostile
