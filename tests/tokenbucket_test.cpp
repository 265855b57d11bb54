// The token bucket that limits a player's moves and fires: twenty at once,
// then twenty a second, never more than twenty saved up.
#include <gtest/gtest.h>

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
