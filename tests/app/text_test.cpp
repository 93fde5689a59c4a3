#include <gtest/gtest.h>

#include "app/text.h"

namespace {

TEST(Text, ValidUtf8IsReadAsUtf8AndAnythingElseByteForByteAsLatin1)
{
    EXPECT_EQ(DecodeReceived("plain"), QStringLiteral("plain"));
    EXPECT_EQ(DecodeReceived("\xe2\x82\xac 5"), QString::fromUtf8("\xe2\x82\xac 5"));
    // One stray byte makes the whole text Latin-1: nothing is replaced or dropped.
    const QString mixed = DecodeReceived("\xe2\x82\xac \xe9");
    EXPECT_EQ(mixed.size(), 5);
    EXPECT_EQ(mixed, QString::fromLatin1("\xe2\x82\xac \xe9"));
    // Truncated and overlong sequences are not UTF-8.
    EXPECT_EQ(DecodeReceived("\xc3"), QString(QChar(0xC3)));
    EXPECT_EQ(DecodeReceived("\xc0\xaf"), QString::fromLatin1("\xc0\xaf"));
    EXPECT_EQ(DecodeReceived(std::string("a\0b", 3)).size(), 3);
}

TEST(Text, TypedTextGoesOutAsUtf8)
{
    EXPECT_EQ(EncodeTyped(QString::fromUtf8("caf\xc3\xa9 \xe2\x82\xac")), "caf\xc3\xa9 \xe2\x82\xac");
    EXPECT_EQ(EncodeTyped(QString()), "");
}

} // namespace
