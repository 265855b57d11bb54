// The token bucket that limits a player's moves and fires: twenty at once,
// then twenty a second, never more than twenty saved up; and the buckets
// kept by client address.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>

#include <string>

#include "game/addresses.h"
#include "game/tokenbucket.h"

TEST(TokenBucket, TwentyAtOnceThenTwentyASecond)
{
    TOKENBUCKET b;
    int taken = 0;
    for (int i = 0; i < 30; i++)
        taken += taketoken(b, 100.0);
    EXPECT_EQ(taken, 20);
    EXPECT_FALSE(taketoken(b, 100.01));
    EXPECT_TRUE(taketoken(b, 100.06)); // 1.2 tokens came back
    EXPECT_FALSE(taketoken(b, 100.06));
    taken = 0;
    for (int i = 0; i < 30; i++)
        taken += taketoken(b, 200.0); // a long pause fills it to 20, no more
    EXPECT_EQ(taken, 20);
}

TEST(AddressBuckets, EachAddressHasItsAllowanceAMinuteMappedIPv4IsIPv4AndIPv6CountsBy64)
{
    sockaddr_in v4 = {};
    v4.sin_family = AF_INET;
    inet_pton(AF_INET, "127.0.0.1", &v4.sin_addr);
    sockaddr_in6 mapped = {}, a6 = {}, b6 = {};
    mapped.sin6_family = a6.sin6_family = b6.sin6_family = AF_INET6;
    inet_pton(AF_INET6, "::ffff:127.0.0.1", &mapped.sin6_addr);
    inet_pton(AF_INET6, "2001:db8:1:2::1", &a6.sin6_addr);
    inet_pton(AF_INET6, "2001:db8:1:2:ffff::9", &b6.sin6_addr);
    const std::string k4 = addresskey((sockaddr *)&v4), k6 = addresskey((sockaddr *)&a6);
    EXPECT_EQ(addresskey((sockaddr *)&mapped), k4);
    EXPECT_EQ(addresskey((sockaddr *)&b6), k6);
    EXPECT_NE(k4, k6);

    ADDRESSBUCKETS a;
    a.perminute = 3;
    int taken = 0;
    for (int i = 0; i < 10; i++)
        taken += takeaddresstoken(a, k4, 50.0);
    EXPECT_EQ(taken, 3);
    EXPECT_TRUE(takeaddresstoken(a, k6, 50.0)); // another address plays on
    EXPECT_FALSE(takeaddresstoken(a, k4, 69.0));
    EXPECT_TRUE(takeaddresstoken(a, k4, 70.0)); // one back every 20 s
    a.perminute = 0;                           // no limit
    EXPECT_TRUE(takeaddresstoken(a, k4, 70.0));
}
