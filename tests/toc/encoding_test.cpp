#include <gtest/gtest.h>

#include <string>

#include "toc/encoding.h"

using namespace std::string_literals;

namespace {

TEST(RoastPassword, XorsWithTheSevenByteKeyAndWritesTwoLowerCaseDigitsPerByte)
{
    EXPECT_EQ(toc::RoastPassword(""), "0x");
    // The eighth byte is combined with the first key byte again.
    EXPECT_EQ(toc::RoastPassword("password"), "0x2408105c23001130");
    // "^" XOR 'T' is 10: a leading zero and a lower-case letter.
    EXPECT_EQ(toc::RoastPassword("^"), "0x0a");
    EXPECT_EQ(toc::RoastPassword("\xff\x00"s), "0xab69");
}

TEST(NormalizeName, LowerCasesAsciiAndDropsEverySpace)
{
    EXPECT_EQ(toc::NormalizeName("  Joe  Q Bloggs "), "joeqbloggs");
    // Other white space, digits, punctuation and high bytes stay as they are.
    EXPECT_EQ(toc::NormalizeName("A\tB_9.\xc3\x89Z"), "a\tb_9.\xc3\x89z");
    EXPECT_EQ(toc::NormalizeName(""), "");
}

TEST(EscapeText, EscapesEachSpecialCharacterOnce)
{
    EXPECT_EQ(toc::EscapeText("\\"), "\\\\");
    EXPECT_EQ(toc::EscapeText("$"), "\\$");
    EXPECT_EQ(toc::EscapeText("a\\$\"()[]{}b"), "a\\\\\\$\\\"\\(\\)\\[\\]\\{\\}b");
    // Apostrophes, line breaks, control and high bytes pass.
    const std::string plain = "it's\r\nfine\x01\xfe"s;
    EXPECT_EQ(toc::EscapeText(plain), plain);
}

TEST(Words, AreTwoBytesHighFirstAndMissingBytesCountAsZero)
{
    EXPECT_EQ(toc::WordToBytes(0), "\x00\x00"s);
    EXPECT_EQ(toc::WordToBytes(0x1234), "\x12\x34"s);
    EXPECT_EQ(toc::WordToBytes(65535), "\xff\xff"s);
    EXPECT_EQ(toc::BytesToWord("\xff\xfe"s), 65534);
    EXPECT_EQ(toc::BytesToWord("\x02"), 512);
    EXPECT_EQ(toc::BytesToWord(""), 0);
    EXPECT_EQ(toc::BytesToWord("\x00\x05zzz"s), 5);
}

struct HtmlCase {
    const char* name;
    std::string in;
    std::string out;
};

class RemoveHtmlTable : public testing::TestWithParam<HtmlCase> { };

TEST_P(RemoveHtmlTable, StripsTagsLeftToRight)
{
    EXPECT_EQ(toc::RemoveHtml(GetParam().in), GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(RemoveHtml, RemoveHtmlTable,
    testing::Values(
        HtmlCase { "BoldAndFont", "<b>hi</b> <font color=\"#ff0000\">there</font>", "hi there" },
        HtmlCase { "LoneOpening", "a < b and c", "a < b and c" },
        HtmlCase { "TwoOpenTwoClose", "<<>>", ">" },
        HtmlCase { "ClosingBeforeOpening", "1 > 0 <i>ok</i>", "1 > 0 ok" },
        HtmlCase { "UnclosedAfterATag", "<b>x</b> y <z", "x y <z" },
        HtmlCase { "EntitiesStay", "&lt;b&gt;", "&lt;b&gt;" },
        HtmlCase { "AdjacentTags", "<><>a<>", "a" }, HtmlCase { "Empty", "", "" }),
    [](const testing::TestParamInfo<HtmlCase>& row) { return std::string(row.param.name); });

// A quadratic stripper needs minutes here; a linear one a few milliseconds, even unoptimised.
TEST(RemoveHtml, HostileInputIsHandledInOnePass)
{
    const std::size_t n = 2'000'000;
    EXPECT_EQ(toc::RemoveHtml(std::string(n, '<')), std::string(n, '<'));
    std::string pairs;
    for (std::size_t i = 0; i < n / 2; ++i)
        pairs += "<>";
    EXPECT_EQ(toc::RemoveHtml(pairs + "end"), "end");
    EXPECT_EQ(toc::RemoveHtml(std::string(n, '<') + ">tail"), "tail");
}

} // namespace
