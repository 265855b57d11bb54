// The web port's room in-process: the key each client address is counted
// under (IPv4, IPv4 mapped into IPv6, the /64 of IPv6) and the JOIN
// buckets' refill over a minute.
#include <gtest/gtest.h>

#include "web/admission.h"

namespace {

std::string key(const char *address) { return addresskey({boost::asio::ip::make_address(address), 80}); }

} // namespace

TEST(WebAdmission, AnIPv6AddressCountsByItsSlash64AndAMappedIPv4AsTheIPv4)
{
    EXPECT_EQ(key("127.0.0.2"), std::string("\x7f\x00\x00\x02", 4));
    EXPECT_EQ(key("::ffff:127.0.0.2"), key("127.0.0.2"));
    EXPECT_NE(key("127.0.0.1"), key("127.0.0.2"));
    EXPECT_EQ(key("2001:db8:1:2::1"), key("2001:db8:1:2:ffff:ffff:ffff:ffff"));
    EXPECT_EQ(key("2001:db8:1:2::1"), std::string("\x20\x01\x0d\xb8\x00\x01\x00\x02/64", 11));
    EXPECT_NE(key("2001:db8:1:2::1"), key("2001:db8:1:3::1"));
    EXPECT_NE(key("::1"), key("0.0.0.1"));
}

TEST(WebAdmission, JoinBucketsGiveTheirDepthAtOnceThenRefillOverAMinute)
{
    for (int perminute : {6, 20}) {
        TOKENBUCKET b = joinbucket(perminute);
        const double t = 1000, every = 60.0 / perminute;
        for (int i = 0; i < perminute; i++)
            EXPECT_TRUE(taketoken(b, t)) << perminute << " " << i;
        EXPECT_FALSE(taketoken(b, t)) << perminute;
        EXPECT_FALSE(taketoken(b, t + every * 0.9)) << perminute;
        EXPECT_TRUE(taketoken(b, t + every * 1.01)) << perminute << ": refilled one";
        EXPECT_FALSE(taketoken(b, t + every * 1.01)) << perminute;
        int later = 0;
        while (taketoken(b, t + 61 + every))
            later++;
        EXPECT_EQ(later, perminute) << "a minute refills the whole bucket, no more";
    }
}
