#include "tools/serveraddress.h"

#include <gtest/gtest.h>

TEST(ServerAddress, HostAndPortAreSplitAtTheLastColonAndMalformedOnesRefused)
{
    const auto parsed = [](const char* text) {
        const auto a = tocli::ParseServerAddress(text);
        return a ? a->host + " " + std::to_string(a->port) : "refused";
    };
    EXPECT_EQ(parsed("127.0.0.1:5190"), "127.0.0.1 5190");
    EXPECT_EQ(parsed("[::1]:65535"), "::1 65535");
    for (const char* bad : { "localhost", "localhost:", ":5190", "host:0", "host:65536", "host:51x0", "host:-1",
                             "host:+80", "::1:5190", "[]:5190", "host:0005190" })
        EXPECT_EQ(parsed(bad), "refused") << bad;
}
