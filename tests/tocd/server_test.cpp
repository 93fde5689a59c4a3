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

class Peer {
public:
    Peer(std::uint16_t port, const std::string& name, int receiveBuffer = 0)
        : m_fd(::socket(AF_INET, SOCK_STREAM, 0))
    {
        // A fault that loses output fails the test instead of hanging it.
        const timeval limit { 10, 0 };
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        if (receiveBuffer > 0)
            ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        sockaddr_in to {};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(::connect(m_fd, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
        send("FLAPON\n\n" + Frame(1, "\0\0\0\1\0\1\0"s + static_cast<char>(name.size()) + name)
            + Frame(2, "toc2_login h 1 " + name + " " + std::string(roastedSecret) + '\0', 1)
            + Frame(2, "toc_init_done\0"s, 2));
        until("CONFIG2:");
    }
    ~Peer() { ::close(m_fd); }

    void command(const std::string& text) { send(Frame(2, text + '\0', m_sequence++)); }

    /// Frames received up to the first whose payload starts with `last`, or up to the end of the
    /// connection, shown as a last frame of type 0. Every frame must start with the marker and
    /// carry the next sequence number.
    std::vector<SentFrame> until(std::string_view last)
    {
        std::vector<SentFrame> got;
        for (;;) {
            while (m_in.size() >= 6 && m_in.size() >= 6 + length()) {
                const auto at = [&](std::size_t i) { return static_cast<unsigned char>(m_in[i]); };
                EXPECT_EQ(m_in[0], '*');
                EXPECT_EQ(at(2) * 256 + at(3), m_next++ & 0xffff);
                got.push_back({ at(1), at(2) * 256 + at(3), m_in.substr(6, length()) });
                m_in.erase(0, 6 + length());
                if (got.back().payload.starts_with(last))
                    return got;
            }
            char buffer[4096];
            const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                got.push_back({ 0, 0, "" });
                return got;
            }
            m_in.append(buffer, static_cast<std::size_t>(n));
        }
    }

private:
    std::size_t length() const { return static_cast<unsigned char>(m_in[4]) * 256u + static_cast<unsigned char>(m_in[5]); }
    void send(std::string_view bytes)
    {
        while (!bytes.empty()) {
            const ssize_t n = ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            ASSERT_GT(n, 0);
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
    }

    int m_fd;
    int m_sequence = 0;
    int m_next = 0;
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

const std::string imToAlice = "IM_IN_ENC2:bob:F:F:T: O :F:L:en:";

TEST_F(ServerTest, SlowReaderGetsEveryFrameWholeAndInOrder)
{
    Peer alice(port, "alice", 4096), bob(port, "bob");
    const auto flood = [&](int from, int to) {
        for (int i = from; i < to; ++i)
            bob.command("toc_send_im alice " + std::to_string(1000 + i) + std::string(1900, 'x'));
        // bob's commands run in turn: once this comes back, alice's share is written or queued.
        bob.command("toc_send_im bob done");
        bob.until("IM_IN_ENC2:bob:");
    };
    flood(0, 100); // unread: the socket fills and a write stays in flight with more queued behind it
    std::thread more([&] { flood(100, 200); }); // output arriving while the queue drains
    const std::vector<SentFrame> got = alice.until(imToAlice + "1199");
    more.join();
    ASSERT_EQ(got.size(), 200u);
    for (int i = 0; i < 200; ++i)
        ASSERT_EQ(got[static_cast<std::size_t>(i)].payload, imToAlice + std::to_string(1000 + i) + std::string(1900, 'x'));
}

TEST_F(ServerTest, ClientThatStopsReadingIsDroppedAndItsWatchersSeeItGo)
{
    Peer alice(port, "alice", 4096), bob(port, "bob");
    bob.command("toc2_new_buddies {g:B\nb:alice\n}");
    for (int i = 0; i < 600; ++i) // 1.2 MB for alice, who reads none of it
        bob.command("toc_send_im alice " + std::string(1900, 'x'));
    bob.command("toc_send_im bob done");
    const std::vector<SentFrame> told = bob.until("IM_IN_ENC2:bob:");
    EXPECT_EQ(std::count_if(told.begin(), told.end(), [](const SentFrame& f) { return f.payload == "UPDATE_BUDDY2:alice:F:0:0:0:   :"; }), 1);
    // What the kernel already held still arrives, then the end: far less than was sent.
    const std::vector<SentFrame> left = alice.until("never");
    EXPECT_EQ(left.back().type, 0);
    EXPECT_LT(left.size(), 300u);
}

} // namespace
