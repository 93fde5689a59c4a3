#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "toc/flap.h"

using namespace std::string_literals;

namespace {

// Written out by hand: a keep-alive, a data frame, an empty frame, a frame without the "*"
// marker (framing trusts the length alone) and a frame whose header holds ':' and '*' bytes.
const std::string keepAlive = "*\x05\x00\x07\x00\x00"s;
const std::string data = "*\x02\x00\x08\x00\x09IM_IN:a:b"s;
const std::string noMarker = "#\x02\x00\x09\x00\x02hi"s;
const std::string oddHeader = "*\x02\x3a\x2a\x00\x01:"s;
const std::string stream = keepAlive + data + noMarker + oddHeader;

std::vector<std::string> feed(toc::FlapReader& reader, const std::vector<std::string>& reads)
{
    std::vector<std::string> frames;
    for (const auto& r : reads) {
        EXPECT_TRUE(reader.Feed(r, [&](std::string_view f) {
            frames.emplace_back(f);
            return true;
        }));
    }
    return frames;
}

std::vector<std::string> expectedFrames() { return { keepAlive, data, noMarker, oddHeader }; }

// Every way of cutting the stream into three reads, empty ones included, and byte by byte.
TEST(FlapReader, AnySplitOfTheStreamGivesTheSameFramesInOrder)
{
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        for (std::size_t cut2 = cut; cut2 <= stream.size(); ++cut2) {
            toc::FlapReader reader;
            const auto frames = feed(reader,
                { stream.substr(0, cut), stream.substr(cut, cut2 - cut), stream.substr(cut2) });
            ASSERT_EQ(frames, expectedFrames()) << "cut at " << cut << " and " << cut2;
            ASSERT_EQ(reader.Buffered(), 0u);
        }
    }
    toc::FlapReader reader;
    std::vector<std::string> bytes;
    for (const char c : stream)
        bytes.emplace_back(1, c);
    EXPECT_EQ(feed(reader, bytes), expectedFrames());
}

TEST(FlapReader, LargestFrameIsReassembledAndNeverOverBuffered)
{
    std::string big = "*\x02\x12\x34\xff\xff"s + std::string(65535, 'x');
    big[100] = '\0';
    big[65540] = '\xff';
    toc::FlapReader reader;
    std::vector<std::string> frames;
    std::size_t most = 0;
    for (std::size_t at = 0; at < big.size(); at += 1000) {
        reader.Feed(std::string_view(big).substr(at, 1000), [&](std::string_view f) {
            frames.emplace_back(f);
            return true;
        });
        most = std::max(most, reader.Buffered());
    }
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], big);
    EXPECT_LE(most, toc::FlapMaxFrameSize - 1);
    EXPECT_EQ(reader.Buffered(), 0u);
}

TEST(FlapReader, StoppingDropsTheRestAndHoldsNothing)
{
    // Stop at the second frame of a read that also holds the start of a fourth; then at a frame
    // completed from bytes held over from the read before.
    toc::FlapReader reader;
    std::vector<std::string> frames;
    auto stopAtSecond = [&](std::string_view f) {
        frames.emplace_back(f);
        return frames.size() < 2;
    };
    EXPECT_FALSE(reader.Feed(keepAlive + data + keepAlive + data.substr(0, 4), stopAtSecond));
    EXPECT_EQ(frames, (std::vector<std::string> { keepAlive, data }));
    EXPECT_EQ(reader.Buffered(), 0u);

    frames = { keepAlive };
    feed(reader, { data.substr(0, 8) });
    EXPECT_FALSE(reader.Feed(data.substr(8) + keepAlive, stopAtSecond));
    EXPECT_EQ(frames, (std::vector<std::string> { keepAlive, data }));
    EXPECT_EQ(reader.Buffered(), 0u);
    EXPECT_EQ(feed(reader, { noMarker }), std::vector<std::string> { noMarker });
}

TEST(FlapReader, ClearInsideTheCallbackLeavesTheHandedFrameIntact)
{
    toc::FlapReader reader;
    feed(reader, { data.substr(0, 9) });
    std::vector<std::string> frames;
    reader.Feed(data.substr(9) + keepAlive, [&](std::string_view f) {
        reader.Clear();
        frames.emplace_back(f);
        return true;
    });
    EXPECT_EQ(frames, (std::vector<std::string> { data, keepAlive }));
}

TEST(BuildFlapFrame, WritesHeaderHighByteFirstAndPayloadUntouched)
{
    EXPECT_EQ(toc::BuildFlapFrame(5, 0, ""), "*\x05\x00\x00\x00\x00"s);
    EXPECT_EQ(toc::BuildFlapFrame(2, 0x1234, "\0"s), "*\x02\x12\x34\x00\x01\x00"s);
    EXPECT_EQ(toc::BuildFlapFrame(255, 65535, "a:\xff"s),
        "*\xff\xff\xff\x00\x03"
        "a:\xff"s);
    EXPECT_EQ(toc::BuildFlapFrame(1, 256, std::string(258, 'z')),
        "*\x01\x01\x00\x01\x02"s + std::string(258, 'z'));
}

} // namespace
