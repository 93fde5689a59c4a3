#include "tools/serveraddress.h"

#include <gtest/gtest.h>

TEST(ServerAddress, HostAndPortAreSplitAtTheLastColon)
{
    const auto plain = tocli::ParseServerAddress("127.0.0.1:5190");
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->host, "127.0.0.1");
    EXPECT_EQ(plain->port, 5190);
    const auto v6 = tocli::ParseServerAddress("[::1]:65535");
    ASSERT_TRUE(v6);
    EXPECT_EQ(v6->host, "::1");
    EXPECT_EQ(v6->port, 65535);
}

TEST(ServerAddress, MalformedAddressesAreRefused)
{
    for (const char* bad : { "localhost", "localhost:", ":5190", "host:0", "host:65536", "host:51x0", "host:-1",
                             "host:+80", "::1:5190", "[]:5190", "host:0005190" }) {
        EXPECT_FALSE(tocli::ParseServerAddress(bad)) << bad;
    }
}
