#include "tools/controlserver.h"

#include <filesystem>

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

using tocli::ControlServer;

struct Server {
    Server()
        : path(dir + "/run/c.sock")
        , server(1024, { [this](ControlServer::ClientId id, std::string_view line) {
                            server.Send(id, "re " + std::string(line));
                        },
                         [](ControlServer::ClientId) {} })
    {
    }
    ~Server() { std::filesystem::remove_all(dir); }
    ControlServer::Outcome listen()
    {
        std::string error;
        return server.Listen(path, error);
    }
    int client() const
    {
        sockaddr_un address { AF_UNIX, {} };
        path.copy(address.sun_path, path.size());
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        return fd;
    }
    // What has arrived for `fd`; "<end>" once the server has closed it.
    static std::string received(int fd)
    {
        QCoreApplication::processEvents();
        std::string text;
        char buffer[65536];
        ssize_t n;
        while ((n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT)) > 0)
            text.append(buffer, static_cast<std::size_t>(n));
        return n == 0 ? text + "<end>" : text;
    }

    std::string dir = std::filesystem::temp_directory_path() / ("ctl-" + std::to_string(::getpid()));
    std::string path;
    ControlServer server;
};

TEST(ControlServer, EveryClientGetsTheEventsAndOnlyItsOwnReplies)
{
    Server s;
    ASSERT_EQ(s.listen(), ControlServer::Outcome::Listening);
    struct stat st {};
    ::stat(s.path.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    const int a = s.client(), b = s.client(), done = s.client();
    ::send(a, "one\ntw", 6, 0);
    ::send(done, "bye", 3, 0);
    ::shutdown(done, SHUT_WR);
    QCoreApplication::processEvents();
    ::send(a, "o\n", 2, 0);
    ::send(b, "three\n", 6, 0);
    for (int i = 0; i < 3; ++i) // each wake-up reads once: the lines, then the end
        QCoreApplication::processEvents();
    s.server.Broadcast("event");
    EXPECT_EQ(Server::received(a), "re one\nre two\nevent\n");
    EXPECT_EQ(Server::received(b), "re three\nevent\n");
    EXPECT_EQ(Server::received(done), "re bye\n<end>");
    EXPECT_EQ(s.server.Clients(), 2u);
}

TEST(ControlServer, AClientThatStopsReadingIsDroppedAndTheOthersKeepUp)
{
    Server s;
    ASSERT_EQ(s.listen(), ControlServer::Outcome::Listening);
    const int reader = s.client(), sleeper = s.client();
    QCoreApplication::processEvents();
    const std::string event(64 * 1024 - 1, 'x');
    std::size_t got = 0;
    for (int i = 0; i < 32; ++i) {
        s.server.Broadcast(event);
        got += Server::received(reader).size();
    }
    EXPECT_EQ(got, 32u * 64 * 1024);
    EXPECT_EQ(s.server.Clients(), 1u);
    EXPECT_TRUE(Server::received(sleeper).ends_with("<end>"));
}

TEST(ControlServer, ASocketLeftByADeadInstanceIsReplacedALiveOneIsNotAndOursGoesAtTheEnd)
{
    Server s;
    std::filesystem::create_directories(s.dir + "/run");
    // Bound and closed without listening: what a killed toc-cli leaves.
    sockaddr_un address { AF_UNIX, {} };
    s.path.copy(address.sun_path, s.path.size());
    const int stale = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(::bind(stale, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(stale);
    std::string error;
    {
        ControlServer first(1024, {}), second(1024, {});
        ASSERT_EQ(first.Listen(s.path, error), ControlServer::Outcome::Listening);
        EXPECT_EQ(second.Listen(s.path, error), ControlServer::Outcome::InUse);
        EXPECT_EQ(second.Listen(s.dir, error), ControlServer::Outcome::Failed) << "not a socket";
        EXPECT_TRUE(std::filesystem::exists(s.path)) << "the second one left it alone";
    }
    EXPECT_FALSE(std::filesystem::exists(s.path));
}

} // namespace
