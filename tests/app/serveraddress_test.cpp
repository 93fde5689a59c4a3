#include <gtest/gtest.h>

#include "app/serveraddress.h"

namespace {

struct Case {
    const char* text;
    const char* host; // nullptr: refused
    int port;
};

class ServerAddressParsing : public ::testing::TestWithParam<Case> { };

TEST_P(ServerAddressParsing, ReadsHostAndOptionalPort)
{
    const Case c = GetParam();
    const auto address = ParseServerAddress(QString::fromLatin1(c.text));
    if (!c.host) {
        EXPECT_FALSE(address.has_value()) << c.text;
        return;
    }
    ASSERT_TRUE(address.has_value()) << c.text;
    EXPECT_EQ(address->host, c.host);
    EXPECT_EQ(address->port, c.port);
}

INSTANTIATE_TEST_SUITE_P(Table, ServerAddressParsing,
    ::testing::Values(Case { "127.0.0.1:5190", "127.0.0.1", 5190 }, Case { "toc.example.net", "toc.example.net", 5190 },
        Case { "toc.example.net:9898", "toc.example.net", 9898 }, Case { "[::1]:9898", "::1", 9898 },
        Case { "[::1]", "::1", 5190 }, Case { "h:1", "h", 1 }, Case { "h:65535", "h", 65535 }, Case { "", nullptr, 0 },
        Case { ":5190", nullptr, 0 }, Case { "h:", nullptr, 0 }, Case { "h:0", nullptr, 0 }, Case { "h:65536", nullptr, 0 },
        Case { "h:+80", nullptr, 0 }, Case { "h:80x", nullptr, 0 }, Case { "h:1:2", nullptr, 0 }, Case { "::1", nullptr, 0 },
        Case { "[::1", nullptr, 0 }, Case { "[::1]x", nullptr, 0 }, Case { "[]:80", nullptr, 0 }, Case { "a b:80", nullptr, 0 }));

} // namespace
