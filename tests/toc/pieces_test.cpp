// The control's pieces where a table of messages cannot reach every case.

#include <gtest/gtest.h>

#include <random>

#include "toc/encoding.h"
#include "toc/fields.h"
#include "toc/flap.h"

using namespace std::string_literals;

namespace {

// Sixteen bytes at a time: every length around those steps, colon layout and piece count must cut
// as a plain left-to-right reading does.
TEST(Fields, CutLikeAPlainReadingAtEveryLengthAndPieceCount)
{
    std::mt19937 random(7);
    for (std::size_t length = 0; length <= 40; ++length) {
        for (int layout = 0; layout < 16; ++layout) {
            std::string text;
            for (std::size_t i = 0; i < length; ++i)
                text += random() % 3 == 0 ? ':' : static_cast<char>('a' + i % 26);
            for (std::size_t pieces = 0; pieces <= 16; ++pieces) {
                std::string plain = "[", cut = "";
                std::size_t n = 1;
                for (const char c : text)
                    plain += c == ':' && (pieces == 0 || n < pieces) ? (++n, "][") : std::string(1, c);
                const toc::FieldList f = toc::splitFields(text, pieces);
                for (std::size_t k = 0; k < f.size(); ++k)
                    cut += (k ? "][" : "[") + std::string(f[k]);
                ASSERT_EQ(cut + "]", plain + "]") << text << " in " << pieces;
            }
        }
    }
}

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
