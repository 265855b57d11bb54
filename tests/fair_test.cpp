// The fair policy in-process: one player per client, taken over by a
// RESUME of its token (the old client then holds nothing), a resume of the
// client's own token, and the players kept after a drop, who leave when
// their keep time is up however the table got there.
#include <gtest/gtest.h>

#include <vector>

#include "game/actions.h"
#include "support.h"

namespace {

using std::chrono::seconds;
using V = std::vector<int>;

// A 20 x 20 game with two start positions, its players kept 60 s.
struct FairGame : ::testing::Test {
    GAME g;
    const RESUMECLOCK::time_point t0 = RESUMECLOCK::now();
    void SetUp() override
    {
        uniformworld(g.world, 20, 20, plaincell(0, 0, 1));
        g.players.s_points = {{1, 1}, {5, 5}};
        g.resumes.keep = 60;
    }
    static ACTOR fair()
    {
        ACTOR a;
        a.policy = FAIR;
        return a;
    }
    // Whether player num is in the game (not left).
    bool present(int num)
    {
        PLAYERINFO p;
        return readplayer(g.players, num, p) && p.num == num;
    }
};

} // namespace

TEST_F(FairGame, AResumeTakesThePlayerOverAndTheFirstClientHoldsNothingFromThen)
{
    ACTOR ann = fair(), thief = fair();
    ASSERT_EQ(joingame(g, ann, "ann"), 0);
    const std::string token = ann.token;
    ASSERT_EQ(token.size(), 2u * TOKENBYTES);
    EXPECT_EQ(resumegame(g, thief, token), 0);
    EXPECT_EQ(moveplayer(g, thief, 0, 1, 0, true), ACTDONE);

    EXPECT_EQ(moveplayer(g, ann, 0, 1, 0, true), ACTREFUSED);
    EXPECT_EQ(ann.num, -1) << "the old client forgets the player";
    EXPECT_EQ(setfire(g, ann), ACTREFUSED);
    leavegame(g, ann);
    dropgame(g, ann, t0);
    EXPECT_TRUE(present(0)) << "the old client's leave or drop does not end the player taken from it";
    EXPECT_EQ(webplayernumbers(g), V{0});
    expirekept(g, t0 + seconds(3600));
    EXPECT_TRUE(present(0)) << "played, so not kept";

    EXPECT_EQ(ann.token, "");
    EXPECT_EQ(resumegame(g, ann, token), 0) << "taken back";
    EXPECT_EQ(moveplayer(g, thief, 0, 1, 0, true), ACTREFUSED);
    EXPECT_EQ(moveplayer(g, ann, 0, -1, 0, true), ACTDONE);
}

TEST_F(FairGame, ResumingItsOwnTokenKeepsThePlayerAndAJoinLeavesTheOldOne)
{
    ACTOR ann = fair();
    ASSERT_EQ(joingame(g, ann, "ann"), 0);
    const std::string token = ann.token;
    EXPECT_EQ(resumegame(g, ann, token), 0);
    EXPECT_TRUE(present(0));
    EXPECT_EQ(ann.token, token);
    EXPECT_EQ(moveplayer(g, ann, 0, 1, 0, true), ACTDONE);
    EXPECT_EQ(moveplayer(g, ann, 0, 3, 3), ACTREFUSED) << "not a step";

    EXPECT_EQ(joingame(g, ann, "ann2"), 1);
    EXPECT_FALSE(present(0));
    EXPECT_EQ(webplayernumbers(g), V{1});
    EXPECT_EQ(moveplayer(g, ann, 0, 1, 0, true), ACTREFUSED) << "only its own player";
    EXPECT_EQ(resumegame(g, ann, token), -1) << "the old player's token is gone with it";
    EXPECT_EQ(ann.num, -1);
}

TEST_F(FairGame, ATokenWhoseHashEndsAlikeIsNoMatch)
{
    ACTOR ann = fair(), stranger = fair();
    ASSERT_EQ(joingame(g, ann, "ann"), 0);
    unsigned char want[32], got[32];
    hashtoken(ann.token, want);
    std::string guess;
    for (int i = 0;; i++) {
        guess = std::to_string(i);
        hashtoken(guess, got);
        if (got[31] == want[31] && got[0] != want[0])
            break;
    }
    EXPECT_EQ(resumegame(g, stranger, guess), -1);
    EXPECT_EQ(stranger.num, -1);
    EXPECT_EQ(moveplayer(g, ann, 0, 1, 0, true), ACTDONE);
}

TEST_F(FairGame, KeptPlayersLeaveWhenTheirTimeIsUpAfterEveryWayThroughTheTable)
{
    ACTOR ann = fair(), bob = fair(), cy = fair(), dee = fair();
    ASSERT_EQ(joingame(g, ann, "ann"), 0);
    dropgame(g, ann, t0); // kept until t0 + 60
    ASSERT_EQ(joingame(g, bob, "bob"), 1);
    leavegame(g, bob);    // a held player leaving
    ASSERT_EQ(joingame(g, cy, "cy"), 2);
    const std::string cytoken = cy.token;
    dropgame(g, cy, t0);
    EXPECT_EQ(resumegame(g, dee, cytoken), 2); // kept, then played again
    dropgame(g, dee, t0 + seconds(30));        // kept until t0 + 90
    EXPECT_EQ(webplayernumbers(g), (V{0, 2}));

    expirekept(g, t0 + seconds(59));
    EXPECT_TRUE(present(0) && present(2));
    expirekept(g, t0 + seconds(60));
    EXPECT_FALSE(present(0)) << "ann's time is up";
    EXPECT_TRUE(present(2));
    expirekept(g, t0 + seconds(90));
    EXPECT_FALSE(present(2)) << "cy's time, from the second drop, is up";
    EXPECT_TRUE(webplayernumbers(g).empty());

    // The table empty again, the count too: a new drop still expires.
    ACTOR eve = fair();
    const int e = joingame(g, eve, "eve");
    ASSERT_GE(e, 0);
    dropgame(g, eve, t0 + seconds(100));
    expirekept(g, t0 + seconds(160));
    EXPECT_FALSE(present(e));
    EXPECT_EQ(resumegame(g, eve, cytoken), -1);
}

TEST_F(FairGame, AKeepTimeOfZeroEndsADroppedPlayerAtOnce)
{
    g.resumes.keep = 0;
    ACTOR ann = fair();
    ASSERT_EQ(joingame(g, ann, "ann"), 0);
    const std::string token = ann.token;
    dropgame(g, ann, t0);
    EXPECT_FALSE(present(0));
    EXPECT_EQ(resumegame(g, ann, token), -1);
}
