// tocd against clients that misbehave, while two well-behaved clients keep signing on and
// exchanging IMs. tocd must go on serving them promptly and keep its memory bounded; each case
// reports tocd's resident memory and the slowest IM round trip.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "tests/hostile/child.h"
#include "tests/hostile/figures.h"
#include "tests/hostile/net.h"

namespace hostile {
namespace {

    using namespace std::chrono_literals;
    using Clock = std::chrono::steady_clock;

    // An IM from one good client to the other must arrive within this, whatever else goes on.
    constexpr auto MaxLatency = 2000ms;
    constexpr std::size_t HeadroomKiB = 32 * 1024;

    std::string command(std::string_view text, int sequence)
    {
        std::string payload(text);
        payload += '\0';
        return Frame(2, payload, sequence);
    }

    // Roasted "secret", written out by hand.
    constexpr std::string_view RoastedSecret = "0x270c005d311b";

    class Client {
    public:
        /// Connects and signs on as `name`; check ok() afterwards.
        Client(int port, const std::string& name, int receiveBuffer = 0)
        {
            auto c = Conn::Connect(port, receiveBuffer);
            if (!c)
                return;
            conn = std::move(*c);
            std::string signon("\0\0\0\1\0\1\0", 7);
            signon += static_cast<char>(name.size());
            signon += name;
            if (!conn.Send("FLAPON\n\n") || !conn.ReadFrame() || !conn.Send(Frame(1, signon, m_seq++)))
                return;
            if (!conn.Send(command("toc2_login login.oscar.aol.com 5190 " + name + " " + std::string(RoastedSecret)
                                       + " English  \"OrbTOCSock 2.0\" 160 US \"\" \"\" 3 0 30303 -kentucky -utf8 58203917",
                                   m_seq++)))
                return;
            if (!conn.ReadUntil("CONFIG2:") || !conn.Send(command("toc_init_done", m_seq++)))
                return;
            m_ok = true;
        }
        bool ok() const { return m_ok; }
        bool send(std::string_view text) { return conn.Send(command(text, m_seq++)); }

        Conn conn;

    private:
        int m_seq = 0;
        bool m_ok = false;
    };

    class TocdUnderAttack : public testing::Test {
    protected:
        void SetUp() override
        {
            FigureHeading(
                "scenario                                 tocd RSS before/after/peak (KiB)  slowest IM (ms)  detail");
            tocd = std::make_unique<Child>(
                std::vector<std::string> { TOCD_PATH, "--listen", "127.0.0.1:0", "--keepalive", "3600", "--no-rate-limits" });
            const auto line = tocd->WaitForLine("listening on ");
            ASSERT_TRUE(line);
            const std::string text = tocd->Line(*line);
            port = std::stoi(text.substr(text.rfind(':') + 1));
            alice = std::make_unique<Client>(port, "alice");
            bob = std::make_unique<Client>(port, "bob");
            ASSERT_TRUE(alice->ok() && bob->ok());
            ASSERT_TRUE(exchange());
            rssBefore = tocd->RssKiB();
            slowest = Clock::duration::zero();
        }

        // alice writes to bob and bob answers; both must arrive in time.
        bool exchange()
        {
            const auto start = Clock::now();
            const std::string text = "ping " + std::to_string(++m_pings);
            if (!alice->send("toc2_send_im bob \"" + text + "\""))
                return false;
            const auto in = bob->conn.ReadUntil("IM_IN_ENC2:alice:", MaxLatency);
            if (!in || in->payload.find(text) == std::string::npos)
                return false;
            if (!bob->send("toc2_send_im alice \"re " + text + "\""))
                return false;
            const auto back = alice->conn.ReadUntil("IM_IN_ENC2:bob:", MaxLatency);
            if (!back)
                return false;
            slowest = std::max(slowest, Clock::now() - start);
            return true;
        }

        void report(const std::string& scenario, const std::string& detail)
        {
            char row[200];
            std::snprintf(row, sizeof row, "%-40s %8zu / %8zu / %8zu  %15.1f  %s", scenario.c_str(), rssBefore,
                          tocd->RssKiB(), tocd->PeakRssKiB(),
                          std::chrono::duration<double, std::milli>(slowest).count(), detail.c_str());
            Figure(row);
            EXPECT_LE(tocd->PeakRssKiB(), rssBefore + HeadroomKiB) << scenario;
            // And it still signs new clients on.
            Client late(port, "latecomer");
            EXPECT_TRUE(late.ok());
        }

        std::unique_ptr<Child> tocd;
        int port = 0;
        std::unique_ptr<Client> alice;
        std::unique_ptr<Client> bob;
        std::size_t rssBefore = 0;
        Clock::duration slowest {};

    private:
        int m_pings = 0;
    };

    TEST_F(TocdUnderAttack, SlowClientDoesNotHoldUpOthers)
    {
        // A few bytes with pauses between them, the good clients talking in each pause.
        auto slow = Conn::Connect(port);
        ASSERT_TRUE(slow);
        const std::string greeting = "FLAPON\n\n";
        for (std::size_t i = 0; i < greeting.size(); ++i) {
            ASSERT_TRUE(slow->Send(greeting.substr(i, 1)));
            for (int k = 0; k < 3; ++k)
                ASSERT_TRUE(exchange());
            // Nothing comes back before the greeting is complete.
            if (i + 1 < greeting.size()) {
                EXPECT_FALSE(slow->Read(1, 150ms));
            }
        }
        const auto signon = slow->ReadFrame();
        ASSERT_TRUE(signon);
        EXPECT_EQ(signon->type, 1);
        // Then the SIGNON frame a byte at a time.
        const std::string frame = Frame(1, std::string("\0\0\0\1\0\1\0\4slow", 12));
        for (const char c : frame) {
            ASSERT_TRUE(slow->Send(std::string_view(&c, 1)));
            ASSERT_TRUE(exchange());
        }
        report("one byte at a time, with pauses", "greeting completed");
    }

    TEST_F(TocdUnderAttack, TenThousandConnectionsOpenedAndDroppedLeaveNothingBehind)
    {
        const std::size_t filesBefore = tocd->OpenFiles();
        const auto start = Clock::now();
        constexpr int Count = 10000;
        for (int i = 0; i < Count; ++i) {
            auto c = Conn::Connect(port);
            ASSERT_TRUE(c) << "connection " << i;
            switch (i % 4) {
            case 0:
                break;
            case 1:
                c->Send("FLAPON\n\n");
                break;
            case 2:
                c->Send("FLAPON\n\n" + Frame(1, std::string("\0\0\0\1\0\1\0\4ch", 10)));
                break;
            default:
                c->Send("FLAP");
                c->Abort();
                break;
            }
            if (i % 500 == 0) {
                ASSERT_TRUE(exchange()) << "after " << i << " connections";
            }
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        EXPECT_LT(seconds, 120.0);
        ASSERT_TRUE(exchange());
        // Every dropped connection's descriptor is given back (closes may trail by a moment).
        std::size_t files = tocd->OpenFiles();
        for (int i = 0; i < 100 && files > filesBefore + 2; ++i) {
            ASSERT_TRUE(exchange());
            files = tocd->OpenFiles();
        }
        EXPECT_LE(files, filesBefore + 2);
        char detail[120];
        std::snprintf(detail, sizeof detail, "%d connections in %.1f s (%.0f/s), descriptors %zu -> %zu", Count, seconds,
                      Count / seconds, filesBefore, files);
        report("10,000 connections opened and dropped", detail);
    }

    TEST_F(TocdUnderAttack, OversizedFramesEndOnlyTheirOwnConnection)
    {
        Client carol(port, "carol");
        ASSERT_TRUE(carol.ok());
        // The largest acceptable payload is served: toc_set_info with a long profile.
        // 14 bytes of command and quote, the profile, a quote, the NUL.
        const auto setInfo = [](std::size_t n) { return "toc_set_info \"" + std::string(n, 'p') + "\""; };
        const std::string longest = setInfo(2048 - 16);
        ASSERT_EQ(longest.size() + 1, 2048u);
        ASSERT_TRUE(carol.send(longest));
        ASSERT_TRUE(carol.send("toc_get_status carol"));
        EXPECT_TRUE(carol.conn.ReadUntil("UPDATE_BUDDY2:carol:", MaxLatency));
        // One byte more and the client is refused, from the header alone.
        ASSERT_TRUE(carol.send(setInfo(2048 - 15)));
        EXPECT_TRUE(carol.conn.WaitClosed(5000ms));
        ASSERT_TRUE(exchange());

        Client dave(port, "dave");
        ASSERT_TRUE(dave.ok());
        ASSERT_TRUE(dave.conn.Send(std::string("*\x02\x00\x09\xff\xff", 6) + std::string(1000, 'x')));
        EXPECT_TRUE(dave.conn.WaitClosed(5000ms));
        ASSERT_TRUE(exchange());
        report("data frames over 2,048 bytes", "refused at 2,049 and 65,535");
    }

    TEST_F(TocdUnderAttack, GarbageInsteadOfGreetingIsTurnedAway)
    {
        auto wrong = Conn::Connect(port);
        ASSERT_TRUE(wrong);
        ASSERT_TRUE(wrong->Send("FLAPOFF\n\n"));
        EXPECT_TRUE(wrong->WaitClosed(5000ms));

        // Binary noise is no HTTP request either: answered once, then closed.
        auto noise = Conn::Connect(port);
        ASSERT_TRUE(noise);
        std::string bytes;
        for (int i = 0; i < 20000; ++i)
            bytes += static_cast<char>((i * 7919) & 0xff);
        noise->Send(bytes, 2000ms);
        EXPECT_TRUE(noise->WaitClosed(5000ms));

        auto nuls = Conn::Connect(port);
        ASSERT_TRUE(nuls);
        nuls->Send(std::string(10000, '\0'), 2000ms);
        EXPECT_TRUE(nuls->WaitClosed(5000ms));
        ASSERT_TRUE(exchange());
        report("garbage instead of FLAPON", "closed: FLAPOFF, noise, NULs");
    }

    TEST_F(TocdUnderAttack, ClientThatNeverReadsIsDroppedWithoutHurtingOthers)
    {
        Client lazy(port, "lazy", 4096);
        ASSERT_TRUE(lazy.ok());
        const std::string im = "toc2_send_im lazy \"" + std::string(1900, 'z') + "\"";
        int sent = 0;
        bool dropped = false;
        // 4 MB towards a client that reads nothing, far beyond what tocd queues for one client.
        for (; sent < 2000 && !dropped; ++sent) {
            ASSERT_TRUE(alice->send(im));
            if (sent % 100 == 0) {
                ASSERT_TRUE(exchange()) << "after " << sent << " IMs to the client that does not read";
                ASSERT_TRUE(alice->send("toc_get_status lazy"));
                const auto status = alice->conn.ReadUntil("", MaxLatency);
                ASSERT_TRUE(status);
                // Replies arrive in order, so the first reply to this status query tells.
                auto reply = status;
                while (reply && reply->payload.rfind("UPDATE_BUDDY2:lazy:", 0) != 0
                       && reply->payload.rfind("ERROR:901:lazy", 0) != 0)
                    reply = alice->conn.ReadFrame(MaxLatency);
                ASSERT_TRUE(reply);
                dropped = reply->payload.rfind("ERROR:901", 0) == 0;
            }
        }
        EXPECT_TRUE(dropped) << "tocd still holds a client that read nothing of " << sent << " IMs";
        ASSERT_TRUE(exchange());
        report("never reads while others message it", "dropped after " + std::to_string(sent) + " IMs of 1,900 bytes");
    }

} // namespace
} // namespace hostile
