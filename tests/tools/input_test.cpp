// What toc-cli reads: its command lines, fed whole, byte by byte and cut in two at every offset,
// and the server address it is given.

#include <gtest/gtest.h>

#include <QEventLoop>
#include <QTimer>

#include <unistd.h>

#include "tools/serveraddress.h"
#include "tools/stdinreader.h"

namespace {

std::string split(const std::vector<std::string>& pieces)
{
    tocli::LineSplitter splitter(16);
    std::string log;
    for (const auto& piece : pieces) {
        if (!splitter.Feed(
                piece, [&](std::string_view line) { return log += std::string(line) + "|", line != "stop"; },
                [&] { return log += "<overflow>|", true; }))
            break;
    }
    if (auto last = splitter.Finish())
        log += "<last>" + *last;
    return log;
}

TEST(LineSplitter, LinesEndAtLfWithOptionalCrAndOverlongOnesAreReportedOnce)
{
    const std::pair<std::string, std::string> rows[] = {
        { "one\ntwo\r\n\nlast", "one|two||<last>last" },
        { "short\n" + std::string(40, 'x') + "\nafter\n", "short|<overflow>|after|" },
        { std::string(16, 'y') + "\n", std::string(16, 'y') + "|" },
        { "ok\n" + std::string(20, 'z'), "ok|<overflow>|" }, // an overlong last line is not handed over
        { "a\nstop\nb\n", "a|stop|" }, // stopping drops the rest
    };
    for (const auto& [in, out] : rows) {
        EXPECT_EQ(split({ in }), out) << in;
        std::vector<std::string> bytes;
        for (const char c : in)
            bytes.emplace_back(1, c);
        EXPECT_EQ(split(bytes), out) << in;
        for (std::size_t cut = 1; cut < in.size(); ++cut)
            EXPECT_EQ(split({ in.substr(0, cut), in.substr(cut) }), out) << in << " cut " << cut;
    }
}

TEST(StdinReader, LinesThenEndArriveThroughTheEventLoop)
{
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const std::string input = "[\"a\"]\r\n" + std::string(100, 'x') + "\n[\"b\"]\nlast";
    ASSERT_EQ(::write(fds[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
    ::close(fds[1]);
    std::string log;
    QEventLoop loop;
    // Full after the first line: the rest of that read waits for room.
    bool full = false;
    tocli::StdinReader* reader = nullptr;
    tocli::StdinReader r(fds[0], 50,
        { [&](std::string_view line) {
             log += std::string(line) + "|";
             if ((full = log.size() < 8))
                 QTimer::singleShot(0, [&] { log += "<room>|", full = false, reader->Resume(); });
         },
            [&] { log += "<overflow>|"; }, [&] { log += "<end>", loop.quit(); }, [&] { return full; } });
    reader = &r;
    QTimer::singleShot(10000, &loop, &QEventLoop::quit); // a bound for a broken reader, not a wait
    loop.exec();
    ::close(fds[0]);
    EXPECT_EQ(log, "[\"a\"]|<room>|<overflow>|[\"b\"]|last|<end>");
}

TEST(ServerAddress, HostAndPortAreSplitAtTheLastColonAndMalformedOnesRefused)
{
    const auto parsed = [](const char* text) {
        const auto a = tocli::ParseServerAddress(text);
        return a ? a->host + " " + std::to_string(a->port) : "refused";
    };
    EXPECT_EQ(parsed("127.0.0.1:5190"), "127.0.0.1 5190");
    EXPECT_EQ(parsed("[::1]:65535"), "::1 65535");
    for (const char* bad : { "localhost", "localhost:", ":5190", "host:0", "host:65536", "host:51x0", "host:-1",
             "host:+80", "::1:5190", "[]:5190", "host:0005190" })
        EXPECT_EQ(parsed(bad), "refused") << bad;
}

} // namespace
