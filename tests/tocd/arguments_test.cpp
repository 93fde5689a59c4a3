#include <gtest/gtest.h>

#include "tocd/arguments.h"

using tocd::ParseArguments;
using Words = std::vector<std::string>;

TEST(ParseArguments, SplitsOnSpacesAndKeepsQuotedSpaces)
{
    EXPECT_EQ(ParseArguments("toc_send_im bob \"hi there\""),
        (Words { "toc_send_im", "bob", "hi there" }));
    EXPECT_EQ(ParseArguments("  a   b  "), (Words { "a", "b" }));
    EXPECT_EQ(ParseArguments("a \"\" b"), (Words { "a", "", "b" }));
    EXPECT_EQ(ParseArguments("x\"y z\"w"), (Words { "xy zw" }));
    EXPECT_EQ(ParseArguments(""), Words {});
    EXPECT_EQ(ParseArguments("a\tb"), Words { "a\tb" });
}

TEST(ParseArguments, BackslashTakesTheNextByteLiterally)
{
    EXPECT_EQ(ParseArguments(R"(m "a \"q\" \$1 \\ \{\} \(\) \[\]")"),
        (Words { "m", R"(a "q" $1 \ {} () [])" }));
    EXPECT_EQ(ParseArguments(R"(a\ b c)"), (Words { "a b", "c" }));
    EXPECT_EQ(ParseArguments("a\\"), Words { "a\\" });
    EXPECT_EQ(ParseArguments("\"multi\nline\""), Words { "multi\nline" });
}

TEST(ParseArguments, TrailingNulsAreDroppedInnerOnesKept)
{
    EXPECT_EQ(ParseArguments(std::string_view("toc_init_done\0", 14)), Words { "toc_init_done" });
    EXPECT_EQ(ParseArguments(std::string_view("a \"b\"\0\0\0", 8)), (Words { "a", "b" }));
    EXPECT_EQ(ParseArguments(std::string_view("a \"b\0c\"\0", 8)),
        (Words { "a", std::string("b\0c", 3) }));
    EXPECT_EQ(ParseArguments(std::string_view("\0", 1)), Words {});
}

TEST(ParseArguments, OpenQuoteIsMalformed)
{
    EXPECT_EQ(ParseArguments("a \"b c"), std::nullopt);
    EXPECT_EQ(ParseArguments("a \\\"b\" c"), std::nullopt);
}
