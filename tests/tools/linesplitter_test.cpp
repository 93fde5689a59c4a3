#include "tools/linesplitter.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

// Feeds `input` in the given pieces and logs lines and overflows, then the end.
std::vector<std::string> split(const std::vector<std::string>& pieces, std::size_t maxLine = 16)
{
    tocli::LineSplitter splitter(maxLine);
    std::vector<std::string> log;
    for (const auto& piece : pieces)
        splitter.Feed(
            piece,
            [&](std::string_view line) {
                log.emplace_back(line);
                return true;
            },
            [&] {
                log.emplace_back("<overflow>");
                return true;
            });
    if (auto last = splitter.Finish())
        log.push_back("<last>" + *last);
    return log;
}

// The same input whole, byte by byte, and cut in two at every offset must give the same log.
void expectAtEveryCut(const std::string& input, const std::vector<std::string>& expected, std::size_t maxLine = 16)
{
    EXPECT_EQ(split({ input }, maxLine), expected) << "whole";
    std::vector<std::string> bytes;
    for (char c : input)
        bytes.emplace_back(1, c);
    EXPECT_EQ(split(bytes, maxLine), expected) << "byte by byte";
    for (std::size_t cut = 1; cut < input.size(); ++cut)
        EXPECT_EQ(split({ input.substr(0, cut), input.substr(cut) }, maxLine), expected) << "cut at " << cut;
}

} // namespace

TEST(LineSplitter, LinesEndAtLfWithOptionalCr)
{
    expectAtEveryCut("one\ntwo\r\n\nlast", { "one", "two", "", "<last>last" });
    expectAtEveryCut("a\r\n", { "a" });
}

TEST(LineSplitter, OverlongLineIsReportedOnceAndTheNextLineIsIntact)
{
    expectAtEveryCut("short\n" + std::string(40, 'x') + "\nafter\n", { "short", "<overflow>", "after" });
    expectAtEveryCut(std::string(16, 'y') + "\n", { std::string(16, 'y') });
    // An overlong last line without LF is dropped, not handed over at the end.
    expectAtEveryCut("ok\n" + std::string(20, 'z'), { "ok", "<overflow>" });
}

TEST(LineSplitter, StoppingDropsTheRestOfThePiece)
{
    tocli::LineSplitter splitter(64);
    std::vector<std::string> seen;
    const bool finished = splitter.Feed(
        "a\nstop\nb\n",
        [&](std::string_view line) {
            seen.emplace_back(line);
            return line != "stop";
        },
        [] { return true; });
    EXPECT_FALSE(finished);
    EXPECT_EQ(seen, (std::vector<std::string> { "a", "stop" }));
}
