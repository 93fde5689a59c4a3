#include "tools/stdinreader.h"

#include <string>
#include <vector>

#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>
#include <unistd.h>

TEST(StdinReader, LinesThenEndArriveThroughTheEventLoop)
{
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const std::string input = "[\"a\"]\r\n" + std::string(100, 'x') + "\n[\"b\"]\nlast";
    ASSERT_EQ(::write(fds[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
    ::close(fds[1]);

    std::vector<std::string> log;
    QEventLoop loop;
    tocli::StdinReader reader(fds[0], 50,
                              { [&](std::string_view line) { log.emplace_back(line); },
                                [&] { log.emplace_back("<overflow>"); },
                                [&] {
                                    log.emplace_back("<end>");
                                    loop.quit();
                                } });
    QTimer::singleShot(10000, &loop, &QEventLoop::quit); // a bound for a broken reader, not a wait
    loop.exec();
    ::close(fds[0]);
    EXPECT_EQ(log, (std::vector<std::string> { "[\"a\"]", "<overflow>", "[\"b\"]", "last", "<end>" }));
}
