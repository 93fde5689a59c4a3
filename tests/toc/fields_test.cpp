#include <random>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "toc/fields.h"

using toc::AllPieces;
using toc::readInt16;
using toc::readInt32;
using toc::splitFields;

namespace {

std::string joined(const toc::FieldList& f)
{
    std::string out;
    for (std::size_t k = 0; k < f.size(); ++k)
        out += "[" + std::string(f[k]) + "]";
    return out;
}

TEST(Fields, LastPieceKeepsItsColonsAndMissingPiecesAreEmpty)
{
    const struct {
        std::string_view text;
        std::size_t maxPieces;
        const char* pieces;
    } rows[] = { { "NICK:a:b:c", 2, "[NICK][a:b:c]" }, { "A:b:c", 3, "[A][b][c]" }, { "A:b", 5, "[A][b]" },
        { "A::", 2, "[A][:]" }, { "A:b", 1, "[A:b]" }, { ":a::b:", AllPieces, "[][a][][b][]" }, { "", 3, "[]" } };
    for (const auto& row : rows)
        EXPECT_EQ(joined(splitFields(row.text, row.maxPieces)), row.pieces) << row.text;

    std::string many = "W";
    for (int i = 0; i < 40; ++i)
        many += ":" + std::to_string(i);
    const auto f = splitFields(many, AllPieces);
    ASSERT_EQ(f.size(), 41u);
    EXPECT_EQ(f[12], "11");
    EXPECT_EQ(f[40], "39");
    EXPECT_FALSE(f.has(41));
    EXPECT_EQ(f[100], "");
}

// The cutter reads sixteen bytes at a time; every length around those steps, every colon layout
// and every piece count must cut as a plain left-to-right reading would.
TEST(Fields, CutsLikeAPlainReadingAtEveryLengthAndPieceCount)
{
    auto plain = [](const std::string& text, std::size_t maxPieces) {
        std::string out = "[";
        std::size_t pieces = 1;
        for (const char c : text) {
            if (c == ':' && (maxPieces == AllPieces || pieces < maxPieces)) {
                out += "][";
                ++pieces;
            } else {
                out += c;
            }
        }
        return out + "]";
    };
    std::mt19937 random(7);
    for (std::size_t length = 0; length <= 40; ++length) {
        for (int layout = 0; layout < 16; ++layout) {
            std::string text;
            for (std::size_t i = 0; i < length; ++i)
                text += random() % 3 == 0 ? ':' : static_cast<char>('a' + i % 26);
            for (std::size_t maxPieces = 0; maxPieces <= 16; ++maxPieces)
                ASSERT_EQ(joined(splitFields(text, maxPieces)), plain(text, maxPieces))
                    << "text " << text << " pieces " << maxPieces;
        }
    }
}

TEST(Fields, CommandWordEndsAtTheFirstColon)
{
    for (const auto& [text, word] : { std::pair { "IM_IN_ENC2:joe", "IM_IN_ENC2" },
             { "ADMIN_PASSWD_STATUS", "ADMIN_PASSWD_STATUS" }, { "ADMIN_PASSWD_STATUS:0", "ADMIN_PASSWD_STATUS" },
             { "ABCDEFGHIJKLMNOP:x", "ABCDEFGHIJKLMNOP" }, { ":x", "" }, { "", "" } })
        EXPECT_EQ(toc::commandWord(text), word) << text;
}

TEST(Fields, IntegersAreStrictDecimal)
{
    EXPECT_EQ(readInt16("015"), 15);
    EXPECT_EQ(readInt16("-0"), 0);
    EXPECT_EQ(readInt16("32767"), 32767);
    EXPECT_EQ(readInt16("-32768"), -32768);
    EXPECT_EQ(readInt32("2147483647"), 2147483647);
    EXPECT_EQ(readInt32("-2147483648"), -2147483647 - 1);
    EXPECT_EQ(readInt32("000000000000000000000042"), 42);

    for (const std::string_view bad : { "", "-", "+1", " 1", "1 ", "1x", "0x10", "1.0", "--1", "1-", "\xd9\xa1" })
        EXPECT_FALSE(readInt32(bad)) << bad;
    EXPECT_FALSE(readInt16("32768"));
    EXPECT_FALSE(readInt16("-32769"));
    EXPECT_FALSE(readInt32("2147483648"));
    EXPECT_FALSE(readInt32("-2147483649"));
    EXPECT_FALSE(readInt32("99999999999999999999999"));
}

} // namespace
