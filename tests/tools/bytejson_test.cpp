#include "tools/bytejson.h"

#include <gtest/gtest.h>

using tocli::BytesToJson;
using tocli::Json;
using tocli::JsonToBytes;

TEST(ByteJson, EveryByteSurvivesPrintingAndParsing)
{
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    const std::string printed = BytesToJson(all).dump();
    const auto back = JsonToBytes(Json::parse(printed));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, all);
}

TEST(ByteJson, BytesPrintAsTheirLatin1CodePoints)
{
    // NUL and other controls escaped, 0x80..0xFF as two-byte UTF-8, invalid UTF-8 input no problem.
    EXPECT_EQ(BytesToJson(std::string("a\0\x01\"\\", 5)).dump(), "\"a\\u0000\\u0001\\\"\\\\\"");
    EXPECT_EQ(BytesToJson("\x80\xE9\xFF").dump(), "\"\xC2\x80\xC3\xA9\xC3\xBF\"");
    EXPECT_EQ(BytesToJson("\xC3\xA9").dump(), "\"\xC3\x83\xC2\xA9\""); // UTF-8 é arrives as two bytes
    EXPECT_EQ(BytesToJson("").dump(), "\"\"");
}

TEST(ByteJson, ParsedTextBecomesOneBytePerCodePoint)
{
    EXPECT_EQ(JsonToBytes(Json::parse(R"("\u00e9\u0000x\u00ff")")), std::string("\xE9\0x\xFF", 4));
    EXPECT_EQ(JsonToBytes(Json::parse("\"\xC3\xA9\"")), std::string("\xE9"));
}

TEST(ByteJson, CodePointsAboveFFAndNonStringsAreRefused)
{
    EXPECT_FALSE(JsonToBytes(Json::parse(R"("\u0100")")));
    EXPECT_FALSE(JsonToBytes(Json::parse(R"("ok\u20acok")")));
    EXPECT_FALSE(JsonToBytes(Json::parse(R"("\ud83d\ude00")")));
    EXPECT_FALSE(JsonToBytes(Json::parse("\"\xE2\x82\xAC\"")));
    EXPECT_FALSE(JsonToBytes(Json(5)));
    EXPECT_FALSE(JsonToBytes(Json(nullptr)));
    EXPECT_FALSE(JsonToBytes(Json::array({ "a" })));
}
