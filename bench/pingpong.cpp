// The floor for a round trip: two processes bounce fixed-size messages over loopback TCP with
// blocking reads and writes and nothing else in the way.
//
//   pingpong ROUNDS REQUEST_BYTES REPLY_BYTES

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/latency.h"

namespace {

constexpr int warmUpRounds = 1000;

bool readFully(int fd, char* to, std::size_t n)
{
    while (n > 0) {
        const ssize_t got = read(fd, to, n);
        if (got <= 0)
            return false;
        to += got;
        n -= static_cast<std::size_t>(got);
    }
    return true;
}

bool writeFully(int fd, const char* from, std::size_t n)
{
    while (n > 0) {
        const ssize_t put = write(fd, from, n);
        if (put <= 0)
            return false;
        from += put;
        n -= static_cast<std::size_t>(put);
    }
    return true;
}

void noDelay(int fd)
{
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

int echo(int fd, std::size_t requestBytes, std::size_t replyBytes)
{
    std::vector<char> request(requestBytes), reply(replyBytes, 'r');
    while (readFully(fd, request.data(), requestBytes)) {
        if (!writeFully(fd, reply.data(), replyBytes))
            return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: pingpong ROUNDS REQUEST_BYTES REPLY_BYTES\n");
        return 2;
    }
    const int rounds = std::atoi(argv[1]);
    const auto requestBytes = static_cast<std::size_t>(std::atol(argv[2]));
    const auto replyBytes = static_cast<std::size_t>(std::atol(argv[3]));
    if (rounds <= 0 || requestBytes == 0 || replyBytes == 0) {
        std::fprintf(stderr, "pingpong: rounds and sizes must be positive\n");
        return 2;
    }

    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || listen(listener, 1) != 0
        || getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::perror("pingpong: listen");
        return 1;
    }

    const pid_t child = fork();
    if (child < 0) {
        std::perror("pingpong: fork");
        return 1;
    }
    if (child == 0) {
        const int fd = accept(listener, nullptr, nullptr);
        close(listener);
        if (fd < 0)
            _exit(1);
        noDelay(fd);
        const int code = echo(fd, requestBytes, replyBytes);
        close(fd);
        _exit(code);
    }
    close(listener);

    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        std::perror("pingpong: connect");
        kill(child, SIGTERM);
        waitpid(child, nullptr, 0);
        return 1;
    }
    noDelay(fd);
    std::vector<char> request(requestBytes, 'q'), reply(replyBytes);
    std::vector<double> micros;
    micros.reserve(static_cast<std::size_t>(rounds));
    bool ok = true;
    for (int i = 0; ok && i < warmUpRounds + rounds; ++i) {
        const auto sent = std::chrono::steady_clock::now();
        ok = writeFully(fd, request.data(), requestBytes) && readFully(fd, reply.data(), replyBytes);
        if (i >= warmUpRounds)
            micros.push_back(
                std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - sent)
                    .count());
    }
    close(fd);
    int status = 0;
    waitpid(child, &status, 0);
    if (!ok) {
        std::fprintf(stderr, "pingpong: the connection broke\n");
        return 1;
    }
    bench::printLatency(micros);
    return 0;
}
