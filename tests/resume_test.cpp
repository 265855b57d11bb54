// Resume tokens through a checkpoint: they round-trip through the store,
// and the restored game gives a web player back by its token for the keep
// time, after which the players not resumed leave.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "game/actions.h"
#include "store/store.h"
#include "support.h"

TEST(ResumeRestore, ARestoredGameResumesItsWebPlayersByTokenUntilTheKeepTimeEnds)
{
    const std::string path = std::filesystem::temp_directory_path() / ("kindler-resume-" + std::to_string(getpid()));
    const MAPID map = mapidentityof("small.map", "small", 5);
    GAME a, b;
    for (GAME *g : {&a, &b}) {
        uniformworld(g->world, 20, 20, plaincell(0, 0, 1));
        g->players.s_points = {{1, 1}, {5, 5}};
    }
    ACTOR ann, bob, again;
    ann.policy = bob.policy = again.policy = FAIR;
    ASSERT_EQ(joingame(a, ann, "ann"), 0);
    ASSERT_EQ(joingame(a, bob, "bob"), 1);
    CHECKPOINT saved, loaded;
    takecheckpoint(a, saved);
    std::string error;
    auto s = openstore(path, map, error);
    ASSERT_TRUE(s) << error;
    SAVEREPORT r;
    ASSERT_TRUE(savecheckpoint(*s, saved, r, error)) << error;
    ASSERT_EQ(loadcheckpoint(*s, loaded, error), 1) << error;
    ASSERT_EQ(loaded.tokens.size(), 2u);
    for (size_t i = 0; i < 2; i++)
        EXPECT_TRUE(std::memcmp(loaded.tokens[i].hash, saved.tokens[i].hash, 32) == 0 &&
                    loaded.tokens[i].num == saved.tokens[i].num && loaded.tokens[i].issued == saved.tokens[i].issued);

    const auto restored = RESUMECLOCK::now();
    ASSERT_EQ(restorecheckpoint(*s, b, error), 1) << error;
    EXPECT_EQ(resumegame(b, again, std::string(32, 'f')), -1);
    EXPECT_EQ(resumegame(b, again, ann.token), 0);
    EXPECT_EQ(moveplayer(b, again, 0, 0, 1, true), ACTDONE);
    expirekept(b, restored + std::chrono::seconds(59));
    EXPECT_EQ(b.players.playerlist[1].num, 1) << "bob is kept";
    expirekept(b, restored + std::chrono::seconds(61));
    EXPECT_EQ(b.players.playerlist[1].num, -1) << "bob, not resumed, left";
    EXPECT_EQ(b.players.playerlist[0].num, 0) << "ann, resumed, plays on";
    EXPECT_EQ(resumegame(b, again, bob.token), -1);
    closestore(s);
    for (const char *end : {"", "-wal", "-shm"})
        std::filesystem::remove(path + end);
}
