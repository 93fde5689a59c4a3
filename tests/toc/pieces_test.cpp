// The control's pieces where a table of messages cannot reach every case.

#include <gtest/gtest.h>

#include "toc/encoding.h"
#include "toc/flap.h"

using namespace std::string_literals;

namespace {

TEST(FlapReader, LargestFrameIsReassembledAndNeverOverBuffered)
{
    const std::string big = "*\x02\x12\x34\xff\xff"s + std::string(65534, 'x') + '\xff';
    toc::FlapReader reader;
    std::string frames;
    for (std::size_t at = 0; at < big.size(); at += 1000) {
        reader.Feed(std::string_view(big).substr(at, 1000), [&](std::string_view f) { return frames += f, true; });
        EXPECT_LT(reader.Buffered(), toc::FlapMaxFrameSize);
    }
    EXPECT_EQ(frames, big);
    EXPECT_EQ(reader.Buffered(), 0u);
}

TEST(Encoding, WordsAndLinearTagStripping)
{
    EXPECT_EQ(toc::BytesToWord("\xff\xfe"s), 65534);
    EXPECT_EQ(toc::BytesToWord("\x02"), 512);
    EXPECT_EQ(toc::BytesToWord(""), 0);
    std::string pairs;
    for (int i = 0; i < 1'000'000; ++i)
        pairs += "<>";
    EXPECT_EQ(toc::RemoveHtml(pairs + "end"), "end"); // minutes if quadratic
}

} // namespace
