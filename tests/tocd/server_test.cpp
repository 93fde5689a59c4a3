// tocd's TCP side in-process on 127.0.0.1, its clients plain blocking sockets: output that waits
// for a slow reader comes out whole and in order, and a client that stops reading is dropped.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "tests/tocd/harness.h"
#include "tocd/server.h"

using namespace tocd_test;
using namespace std::string_literals;
using testing_support::Frame;
using testing_support::SentFrame;

namespace {

// A client on a blocking socket; a fault that loses output fails its reads after 10 s, not hangs.
class Peer {
public:
    explicit Peer(std::uint16_t port, const std::string& name)
    {
        const timeval limit { 10, 0 };
        const int small = 4096;
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        const sockaddr_in to { AF_INET, htons(port), { htonl(INADDR_LOOPBACK) }, {} };
        EXPECT_EQ(::connect(m_fd, reinterpret_cast<const sockaddr*>(&to), sizeof to), 0);
        send(SignOnBytes(name) + Frame(2, "toc_init_done\0"s, 2));
        until("CONFIG2:");
    }
    ~Peer() { ::close(m_fd); }

    void command(const std::string& text) { send(Frame(2, text + '\0', m_sequence++)); }
    /// Payloads up to the first that starts with `last`, or up to the end of the connection ("").
    std::vector<std::string> until(std::string_view last)
    {
        std::vector<std::string> got;
        for (char buffer[4096];;) {
            for (const SentFrame& f : testing_support::ParseFrames(m_in)) {
                m_in.erase(0, 6 + f.payload.size());
                got.push_back(f.payload);
                if (f.payload.starts_with(last))
                    return got;
            }
            const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                return got.emplace_back(), got;
            m_in.append(buffer, static_cast<std::size_t>(n));
        }
    }

private:
    void send(std::string_view bytes)
    {
        for (ssize_t n = 0; !bytes.empty(); bytes.remove_prefix(static_cast<std::size_t>(n)))
            ASSERT_GT(n = ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), 0);
    }

    int m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
    int m_sequence = 3;
    std::string m_in;
};

class ServerTest : public ::testing::Test {
protected:
    void SetUp() override { m_thread = std::thread([this] { io.run(); }); }
    void TearDown() override
    {
        asio::post(io, [this] { server.shutdown(); });
        m_thread.join();
    }

    tocd::Service service { { "", {}, {}, false } };
    asio::io_context io;
    tocd::Server server { io, service, { asio::ip::make_address("127.0.0.1"), 0 }, std::chrono::milliseconds(0) };
    const std::uint16_t port = server.localEndpoint().port();

private:
    std::thread m_thread;
};

// alice reads slowly, carol not at all; bob, who watches carol, sends both far more than a socket
// holds, a part while alice reads nothing and the rest while she reads.
TEST_F(ServerTest, SlowReaderGetsEveryFrameInOrderAndOneThatStopsReadingIsDropped)
{
    Peer alice(port, "alice"), bob(port, "bob"), carol(port, "carol");
    bob.command("toc2_new_buddies {g:B\nb:carol\n}");
    const std::string text(1900, 'x'), imToAlice = "IM_IN_ENC2:bob:F:F:T: O :F:L:en:";
    const auto flood = [&](int from, int to) {
        for (int i = from; i < to; ++i) {
            for (const char* name : { "alice ", "carol ", "carol ", "carol " })
                bob.command("toc_send_im " + std::string(name) + std::to_string(1000 + i) + text);
        }
        // bob's commands run in turn: once this comes back, the others' share is written or queued.
        bob.command("toc_send_im bob done");
        return bob.until("IM_IN_ENC2:bob:");
    };
    std::vector<std::string> told = flood(0, 100); // writes in flight with more queued behind them
    std::thread more([&] {
        const std::vector<std::string> later = flood(100, 200);
        told.insert(told.end(), later.begin(), later.end());
    });
    const std::vector<std::string> got = alice.until(imToAlice + "1199");
    more.join();
    ASSERT_EQ(got.size(), 200u);
    for (int i = 0; i < 200; ++i)
        ASSERT_EQ(got[static_cast<std::size_t>(i)], imToAlice + std::to_string(1000 + i) + text);
    EXPECT_EQ(std::count(told.begin(), told.end(), "UPDATE_BUDDY2:carol:F:0:0:0:   :"), 1);
    // What the kernel already held still reaches carol, then the end: far less than was sent.
    const std::vector<std::string> left = carol.until("never");
    EXPECT_EQ(left.back(), "");
    EXPECT_LT(left.size(), 300u);
}

} // namespace
