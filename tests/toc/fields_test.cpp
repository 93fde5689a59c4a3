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

TEST(Fields, LastPieceKeepsItsColons)
{
    EXPECT_EQ(joined(splitFields("NICK:a:b:c", 2)), "[NICK][a:b:c]");
    EXPECT_EQ(joined(splitFields("A:b:c", 3)), "[A][b][c]");
    EXPECT_EQ(joined(splitFields("A:b", 5)), "[A][b]");
    EXPECT_EQ(joined(splitFields("A::", 2)), "[A][:]");
    EXPECT_EQ(joined(splitFields("A", 1)), "[A]");
    EXPECT_EQ(joined(splitFields("A:b", 1)), "[A:b]");
}

TEST(Fields, UnlimitedSplitsAtEveryColon)
{
    EXPECT_EQ(joined(splitFields(":a::b:", AllPieces)), "[][a][][b][]");
    std::string many = "W";
    for (int i = 0; i < 40; ++i)
        many += ":" + std::to_string(i);
    const auto f = splitFields(many, AllPieces);
    ASSERT_EQ(f.size(), 41u);
    EXPECT_EQ(f[12], "11");
    EXPECT_EQ(f[40], "39");
}

TEST(Fields, EmptyTextIsOneEmptyPieceAndMissingPiecesAreEmpty)
{
    const auto f = splitFields("", 3);
    EXPECT_EQ(f.size(), 1u);
    EXPECT_FALSE(f.has(1));
    EXPECT_EQ(f[1], "");
    EXPECT_EQ(f[100], "");
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
