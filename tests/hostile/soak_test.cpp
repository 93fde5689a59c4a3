// toc-cli idling against tocd at its shortest keep-alive period, with the profile refresh running:
// after tens of thousands of keep-alives its memory must be where it was.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "tests/hostile/child.h"
#include "tests/hostile/figures.h"

namespace hostile {
namespace {

    using namespace std::chrono_literals;
    using Clock = std::chrono::steady_clock;

    constexpr std::size_t KeepAlives = 30000;
    // Longer than the 60 s profile refresh, so at least one runs.
    constexpr auto MinimumRun = 65s;

    TEST(Soak, TocCliMemoryDoesNotGrowOverThirtyThousandKeepAlives)
    {
        FigureHeading("soak                       keep-alives   seconds   toc-cli RSS start/end (KiB)   tocd RSS start/end (KiB)");
        Child tocd({ TOCD_PATH, "--listen", "127.0.0.1:0", "--keepalive", "0.001" });
        const auto listening = tocd.WaitForLine("listening on ");
        ASSERT_TRUE(listening);
        const std::string address = tocd.Line(*listening).substr(std::string("listening on ").size());
        Child cli({ TOC_CLI_PATH, "--server", address, "--screen-name", "Soaker", "--password", "pw", "--profile",
                    "<b>idling</b> <a href=\"aim:GoIM?screenname=Soaker\">say hi</a>" });
        ASSERT_TRUE(cli.WaitForLine("\"LoggedIn\""));

        // Warm up first: the first keep-alives grow buffers to their working size.
        ASSERT_TRUE(cli.WaitForCount("\"IncomingPacket\"", 2000, 60000ms));
        const auto start = Clock::now();
        const std::size_t cliStart = cli.RssKiB();
        const std::size_t tocdStart = tocd.RssKiB();
        ASSERT_TRUE(cli.WaitForCount("\"IncomingPacket\"", 2000 + KeepAlives, 600000ms));
        const auto rest = MinimumRun - (Clock::now() - start);
        // The length of the run is the point here, not a guess at timing.
        if (rest > Clock::duration::zero())
            std::this_thread::sleep_for(rest);
        const std::size_t keepAlives = cli.Count("\"IncomingPacket\"") - 2000;
        const std::size_t cliEnd = cli.RssKiB();
        const std::size_t tocdEnd = tocd.RssKiB();
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        ASSERT_TRUE(cli.Ask("[\"LastChatID\"]"));

        char row[200];
        std::snprintf(row, sizeof row, "toc-cli idling           %13zu %9.1f   %12zu / %-12zu   %10zu / %zu", keepAlives,
                      seconds, cliStart, cliEnd, tocdStart, tocdEnd);
        Figure(row);
        EXPECT_GE(keepAlives, KeepAlives);
        // No growth: a few pages of slack for the allocator, nothing per keep-alive.
        EXPECT_LE(cliEnd, cliStart + 1024);
        EXPECT_LE(tocdEnd, tocdStart + 1024);
    }

} // namespace
} // namespace hostile
