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

namespace {

// A signed-on client with a small receive buffer; a fault that loses output fails its reads after
// 10 s instead of hanging them.
class Peer {
public:
    Peer(std::uint16_t port, const std::string& name)
    {
        const timeval limit { 10, 0 };
        const int small = 4096;
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        const sockaddr_in to { AF_INET, htons(port), { htonl(INADDR_LOOPBACK) }, {} };
        EXPECT_EQ(::connect(m_fd, reinterpret_cast<const sockaddr*>(&to), sizeof to), 0);
        send(SignOnBytes(name) + testing_support::Frame(2, "toc_init_done\0"s, 2));
        until("CONFIG2:");
    }
    ~Peer() { ::close(m_fd); }

    void command(const std::string& text) { send(testing_support::Frame(2, text + '\0', m_sequence++)); }
    /// Payloads up to the first that starts with `last`, or up to the end of the connection ("").
    std::vector<std::string> until(std::string_view last)
    {
        std::vector<std::string> got;
        for (char buffer[4096];;) {
            for (const testing_support::SentFrame& f : testing_support::ParseFrames(m_in)) {
                m_in.erase(0, 6 + f.payload.size());
                if (got.push_back(f.payload); f.payload.starts_with(last))
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

// alice reads slowly, carol not at all; bob, who watches carol, sends both far more than a socket
// holds, a part while alice reads nothing and the rest while she reads.
TEST(Server, SlowReaderGetsEveryFrameInOrderAndOneThatStopsReadingIsDropped)
{
    tocd::Service service({ "", {}, {}, false });
    asio::io_context io;
    tocd::Server server(io, service, { asio::ip::make_address("127.0.0.1"), 0 }, std::chrono::milliseconds(0));
    std::thread loop([&] { io.run(); });
    {
        const std::uint16_t port = server.localEndpoint().port();
        Peer alice(port, "alice"), bob(port, "bob"), carol(port, "carol");
        bob.command("toc2_new_buddies {g:B\nb:carol\n}");
        const std::string text(1900, 'x'), im = "IM_IN_ENC2:bob:F:F:T: O :F:L:en:";
        std::vector<std::string> expected, told;
        const auto flood = [&](int from, int to) {
            for (int i = from; i < to; ++i) {
                for (const char* name : { "alice ", "carol ", "carol ", "carol " })
                    bob.command("toc_send_im " + std::string(name) + std::to_string(1000 + i) + text);
                expected.push_back(im + std::to_string(1000 + i) + text);
            }
            // bob's commands run in turn: once this comes back, the others' share is written or queued.
            bob.command("toc_send_im bob done");
            const std::vector<std::string> back = bob.until("IM_IN_ENC2:bob:");
            told.insert(told.end(), back.begin(), back.end());
        };
        flood(0, 100); // writes in flight with more queued behind them
        std::thread more([&] { flood(100, 200); });
        const std::vector<std::string> got = alice.until(im + "1199");
        more.join();
        EXPECT_TRUE(got == expected) << got.size() << " IMs, or not all whole and in order";
        EXPECT_EQ(std::count(told.begin(), told.end(), "UPDATE_BUDDY2:carol:F:0:0:0:   :"), 1);
        // What the kernel already held still reaches carol, then the end: far less than was sent.
        const std::vector<std::string> left = carol.until("never");
        EXPECT_TRUE(left.back().empty() && left.size() < 300) << left.size() << " frames";
    }
    asio::post(io, [&] { server.shutdown(); });
    loop.join();
}

} // namespace
