#include <gtest/gtest.h>

#include "tocd/arguments.h"

using Words = std::vector<std::string>;

TEST(ParseArguments, SplitsQuotesEscapesAndTrailingNuls)
{
    const std::pair<std::string_view, std::optional<Words>> rows[] = {
        { "toc_send_im bob \"hi there\"", Words { "toc_send_im", "bob", "hi there" } },
        { "  a   b  ", Words { "a", "b" } },
        { "a \"\" b", Words { "a", "", "b" } },
        { "x\"y z\"w", Words { "xy zw" } },
        { "", Words {} },
        { "a\tb", Words { "a\tb" } },
        // A backslash takes the next byte literally.
        { R"(m "a \"q\" \$1 \\ \{\} \(\) \[\]")", Words { "m", R"(a "q" $1 \ {} () [])" } },
        { R"(a\ b c)", Words { "a b", "c" } },
        { "a\\", Words { "a\\" } },
        { "\"multi\nline\"", Words { "multi\nline" } },
        // Trailing NULs are dropped, inner ones kept.
        { std::string_view("toc_init_done\0", 14), Words { "toc_init_done" } },
        { std::string_view("a \"b\"\0\0\0", 8), Words { "a", "b" } },
        { std::string_view("a \"b\0c\"\0", 8), Words { "a", std::string("b\0c", 3) } },
        { std::string_view("\0", 1), Words {} },
        // An open quote is malformed.
        { "a \"b c", std::nullopt },
        { "a \\\"b\" c", std::nullopt },
    };
    for (const auto& [input, words] : rows)
        EXPECT_EQ(tocd::ParseArguments(input), words) << input;
}
