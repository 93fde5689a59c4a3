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
    const auto back = JsonToBytes(Json::parse(BytesToJson(all).dump()));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, all);
}

TEST(ByteJson, CodePointsAboveFFAndNonStringsAreRefused)
{
    for (const char* text :
         { R"("\u0100")", R"("ok\u20acok")", R"("\ud83d\ude00")", "\"\xE2\x82\xAC\"", "5", "null", R"(["a"])" })
        EXPECT_FALSE(JsonToBytes(Json::parse(text))) << text;
}
