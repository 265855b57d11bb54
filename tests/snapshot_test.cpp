// The engine's copies of a world: a snapshot put back ticks on exactly as
// the world it was taken from, a round's reset gives the world its map
// builds, and a whole copy ticks like its original.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "engine/buildworld.h"
#include "engine/cells.h"
#include "engine/fire.h"
#include "engine/publish.h"
#include "engine/published.h"
#include "engine/snapshot.h"
#include "extended.h"
#include "support.h"

namespace {

// A 10 x 8 meadow of grass.
std::string meadow()
{
    return maptext(OUTSIDETYPE + GRASSTYPE, {"2222222222", "2222222222", "2222222222", "2222222222",
                                             "2222222222", "2222222222", "2222222222", "2222222222"});
}

std::unique_ptr<WORLD> build()
{
    auto w = std::make_unique<WORLD>();
    makemap(readmaptext(meadow()), *w, nullptr);
    return w;
}

// Every published cell of a and b alike, bit for bit: heat, fuel and
// attribution, queued fires included.
void expectsame(WORLD &a, WORLD &b)
{
    ASSERT_EQ(a.mapsizex, b.mapsizex);
    ASSERT_EQ(a.mapsizey, b.mapsizey);
    for (long x = 0; x < a.mapsizex; x++)
        for (long y = 0; y < a.mapsizey; y++) {
            const MAPUNIT p = getcell(a, x, y), q = getcell(b, x, y);
            ASSERT_TRUE(samebits(p.totalcal, q.totalcal) && samebits(p.fuellevel, q.fuellevel)) << x << "," << y;
            for (int s = 0; s < NUMSLOTS; s++)
                ASSERT_TRUE(p.heatsource[s] == q.heatsource[s] && samebits(p.sourcequan[s], q.sourcequan[s]))
                    << x << "," << y << " slot " << s;
        }
}

// A fire of two players, burning for a while.
void burn(WORLD &w, TICKSTATE &t, int ticks)
{
    addfire(w, 3, 4, 1);
    addfire(w, 6, 2, 2);
    for (int i = 0; i < ticks; i++)
        dophys(w, t);
}

} // namespace

TEST(Snapshot, RestoredWorldTicksOnAsTheOriginal)
{
    auto a = build();
    TICKSTATE ta, tb;
    burn(*a, ta, 30);
    WORLDSNAPSHOT s;
    takesnapshot(*a, s);
    ASSERT_GT(s.tagged.size(), 0u);
    auto b = build();
    restoresnapshot(*b, s);
    EXPECT_EQ(publishedticks(*b), publishedticks(*a));
    expectsame(*a, *b);
    for (int i = 0; i < 20; i++) {
        addfire(*a, 1, 1, 3);
        addfire(*b, 1, 1, 3);
        dophys(*a, ta);
        dophys(*b, tb);
    }
    expectsame(*a, *b);
}

TEST(Snapshot, ResetGivesTheMapAsBuiltAndTheTickCountCarriesOn)
{
    auto a = build();
    WORLDSNAPSHOT first;
    takesnapshot(*a, first);
    TICKSTATE ta, tb;
    burn(*a, ta, 30);
    const uint64_t ticks = publishedticks(*a);
    resetworldto(*a, first);
    EXPECT_EQ(publishedticks(*a), ticks);
    auto fresh = build();
    expectsame(*a, *fresh);
    burn(*a, ta, 10);
    burn(*fresh, tb, 10);
    expectsame(*a, *fresh);
}

TEST(Snapshot, WholeCopyTicksAsItsOriginal)
{
    auto a = build();
    TICKSTATE ta, tb;
    burn(*a, ta, 40); // long enough for groups to settle
    WORLD b;
    copyworld(b, *a);
    for (int i = 0; i < 10; i++) {
        dophys(*a, ta);
        dophys(b, tb);
    }
    for (long x = 0; x < a->mapsizex; x++)
        for (long y = 0; y < a->mapsizey; y++)
            ASSERT_TRUE(samebits(getcell(*a, x, y).totalcal, getcell(b, x, y).totalcal));
}
