// Resume tokens through a checkpoint: the tokens round-trip through the
// store, and a game restored from it gives a web player back by its token
// for the keep time, after which the players not resumed leave.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "actions.h"
#include "store/store.h"
#include "support.h"

namespace {

void smallgame(GAME &g)
{
    uniformworld(g.world, 20, 20, plaincell(0, 0, 1));
    g.players.s_points = {{1, 1}, {5, 5}};
}

} // namespace

TEST(ResumeRestore, ARestoredGameResumesItsWebPlayersByTokenUntilTheKeepTimeEnds)
{
    const std::string path = std::filesystem::temp_directory_path() / ("kindler-resume-" + std::to_string(getpid()));
    const MAPID map = mapidentityof("small.map", "small", 5);
    GAME a;
    smallgame(a);
    ACTOR ann, bob;
    ann.policy = bob.policy = FAIR;
    ASSERT_EQ(joingame(a, ann, "ann"), 0);
    ASSERT_EQ(joingame(a, bob, "bob"), 1);
    ASSERT_EQ(moveplayer(a, ann, 0, 1, 0, true), ACTDONE); // to (2, 1)
    CHECKPOINT saved, loaded;
    takecheckpoint(a, saved);
    ASSERT_EQ(saved.tokens.size(), 2u);
    std::string error;
    {
        auto s = openstore(path, map, error);
        ASSERT_TRUE(s) << error;
        SAVEREPORT r;
        ASSERT_TRUE(savecheckpoint(*s, saved, r, error)) << error;
    }
    auto s = openstore(path, map, error);
    ASSERT_TRUE(s) << error;
    ASSERT_EQ(loadcheckpoint(*s, loaded, error), 1) << error;
    ASSERT_EQ(loaded.tokens.size(), 2u);
    for (size_t i = 0; i < 2; i++)
        EXPECT_TRUE(std::memcmp(loaded.tokens[i].hash, saved.tokens[i].hash, 32) == 0 &&
                    loaded.tokens[i].num == saved.tokens[i].num && loaded.tokens[i].issued == saved.tokens[i].issued);

    GAME b;
    smallgame(b);
    b.resumes.keep = 60;
    const auto restored = RESUMECLOCK::now();
    ASSERT_EQ(restorecheckpoint(*s, b, error), 1) << error;
    ACTOR again;
    again.policy = FAIR;
    EXPECT_EQ(resumegame(b, again, std::string(32, 'f')), -1);
    EXPECT_EQ(resumegame(b, again, ann.token), 0);
    EXPECT_EQ(again.token, ann.token);
    EXPECT_EQ(moveplayer(b, again, 0, 0, 1, true), ACTDONE); // from (2, 1)
    expirekept(b, restored + std::chrono::seconds(59));
    EXPECT_EQ(b.players.playerlist[1].num, 1) << "bob is kept";
    expirekept(b, restored + std::chrono::seconds(61));
    EXPECT_EQ(b.players.playerlist[1].num, -1) << "bob, not resumed, left";
    EXPECT_EQ(b.players.playerlist[0].num, 0) << "ann, resumed, plays on";
    EXPECT_EQ(b.players.playerlist[0].y, 2);
    EXPECT_EQ(resumegame(b, again, bob.token), -1);
    EXPECT_EQ(webplayernumbers(b), std::vector<int>{});
    closestore(s);
    std::filesystem::remove(path);
    std::filesystem::remove(path + "-wal");
    std::filesystem::remove(path + "-shm");
}
