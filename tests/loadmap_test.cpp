// Building the world from what a map file said: cells from their unit
// types, the outside cell, the files the builder refuses (a cell of no
// type, no outside type, a type without heat capacity, in that order), and
// the shipped maps.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/digest.h"
#include "game/game.h"
#include "game/loadmap.h"
#include "engine/fire.h"
#include "engine/publish.h"
#include "support.h"
#include "engine/world.h"

// ---------------------------------------------------------------------------
// Cells built from their unit types.

using Cells = WorldTest;

TEST_F(Cells, TotalcalIsTempTimesCalpercInExtendedPrecision)
{
    std::string types = OUTSIDETYPE + GRASSTYPE + "<type name=light num=3> temp=3 calperc=0.1 </type>\n";
    loadmaptext(maptext(types, {"23"}));
    EXPECT_EQ(40.0L, getcell(testgame.world, 0, 0).totalcal);
    // 3 x 0.1 taken in long double, not rounded to double.
    long double want = 3.0L * (long double)0.1;
    EXPECT_EQ(want, getcell(testgame.world, 1, 0).totalcal);
    EXPECT_NE((long double)(3.0 * 0.1), getcell(testgame.world, 1, 0).totalcal);
}

TEST_F(Cells, EveryPropertyComesFromItsTypeByName)
{
    loadmaptext(maptext(OUTSIDETYPE + ROCKTYPE + GRASSTYPE, {"21"}));
    const MAPUNIT gcell = getcell(testgame.world, 0, 0), *g = &gcell;
    EXPECT_EQ(40.0L, g->totalcal);
    EXPECT_EQ((long double)0.2, g->cocon);
    EXPECT_EQ(2.0L, g->calperc);
    EXPECT_EQ(250, g->ignitionpoint);
    EXPECT_EQ(30.0L, g->fuellevel);
    EXPECT_EQ(400.0L, g->calperf);
    EXPECT_EQ(3.0L, g->burnspeed);
    EXPECT_EQ(0, g->block);
    const MAPUNIT rcell = getcell(testgame.world, 1, 0), *r = &rcell;
    EXPECT_EQ(60.0L, r->totalcal);
    EXPECT_EQ((long double)0.05, r->cocon);
    EXPECT_EQ(900, r->ignitionpoint);
    EXPECT_EQ(1, r->block);
}

TEST_F(Cells, EveryAttributionSlotStartsEmpty)
{
    loadmaptext(maptext(OUTSIDETYPE + ROCKTYPE + GRASSTYPE, {"212", "121", "000"}));
    for (size_t i = 0; i < ncells(testgame.world); i++)
        for (int s = 0; s < NUMSLOTS; s++) {
            EXPECT_EQ(0, cellno(i).heatsource[s]) << "cell " << i << " slot " << s;
            EXPECT_EQ(0.0L, cellno(i).sourcequan[s]) << "cell " << i << " slot " << s;
        }
}

TEST_F(Cells, OutsideTakesTypeZeroButNeverBlocksNorHoldsTags)
{
    std::string types = "<type name=hot num=0> temp=30 cocon=0.4 calperc=2 ignitionpoint=77 "
                        "fuellevel=5 burnspeed=1.5 calperf=9 block </type>\n" +
                        GRASSTYPE;
    loadmaptext(maptext(types, {"2"}));
    EXPECT_EQ(60.0L, testgame.world.outside.totalcal);
    EXPECT_EQ((long double)0.4, testgame.world.outside.cocon);
    EXPECT_EQ(2.0L, testgame.world.outside.calperc);
    EXPECT_EQ(77, testgame.world.outside.ignitionpoint);
    EXPECT_EQ(5.0L, testgame.world.outside.fuellevel);
    EXPECT_EQ(1.5L, testgame.world.outside.burnspeed);
    EXPECT_EQ(9.0L, testgame.world.outside.calperf);
    EXPECT_EQ(0, testgame.world.outside.block);
    for (int s = 0; s < NUMSLOTS; s++) {
        EXPECT_EQ(0, testgame.world.outside.heatsource[s]);
        EXPECT_EQ(0.0L, testgame.world.outside.sourcequan[s]);
    }
}

TEST_F(Cells, BothGridsHaveOneCellPerPosition)
{
    loadmaptext(maptext(OUTSIDETYPE + GRASSTYPE, {"22222", "22222", "22222"}));
    EXPECT_EQ(15u, ncells(testgame.world));
    EXPECT_EQ(15u, testgame.world.curmap->heat.size());
    EXPECT_EQ(15u, testgame.world.oldmap->heat.size());
    EXPECT_NE(testgame.world.curmap, testgame.world.oldmap);
}

// ---------------------------------------------------------------------------
// Files the builder refuses, each with its one "Error! " line.

using Refusals = WorldTest;

TEST_F(Refusals, CalpercZeroOfAUsedType)
{
    std::string types = OUTSIDETYPE + "<type name=void num=4> temp=20 cocon=0.1 </type>\n";
    EXPECT_EQ("Error! Unit type 4 has calperc 0: its cells would have no temperature.\n",
              maprefusal(wrapmap(unittypes(types) + "<map name=\"c\" xsize=2 ysize=1> 0 4 </map>")));
    std::string given = OUTSIDETYPE + "<type name=void num=4> temp=20 calperc=0 </type>\n";
    EXPECT_EQ("Error! Unit type 4 has calperc 0: its cells would have no temperature.\n",
              maprefusal(wrapmap(unittypes(given) + "<map name=\"c\" xsize=1 ysize=1> 4 </map>")));
}

TEST_F(Refusals, OtherFaultsOfTheFileAreReportedBeforeCalpercZero)
{
    std::string types = OUTSIDETYPE + "<type name=void num=4> temp=20 </type>\n";
    // An invalid cell after one of the type without heat capacity.
    EXPECT_EQ("Error! Invalid unittype in map! unittype = 7\n",
              maprefusal(wrapmap(unittypes(types) + "<map name=\"c\" xsize=2 ysize=1> 4 7 </map>")));
    // No outside type at all.
    EXPECT_EQ(NOOUTSIDE, maprefusal(wrapmap(unittypes("<type name=void num=4> temp=20 </type>\n") +
                                      "<map name=\"c\" xsize=1 ysize=1> 4 </map>")));
}

TEST_F(Refusals, CalpercZeroOfTheOutsideTypeIsAcceptedWithoutCells)
{
    std::string types = "<type name=outside num=0> temp=20 cocon=0.1 </type>\n";
    EXPECT_EQ("(loaded)", maprefusal(wrapmap(unittypes(types) + "<map name=\"c\" xsize=0 ysize=0>\n</map>")));
    EXPECT_EQ(0L, testgame.world.mapsizex);
}

TEST_F(Refusals, CalpercZeroOfAnUnusedTypeIsAccepted)
{
    std::string types = OUTSIDETYPE + GRASSTYPE + "<type name=void num=4> temp=20 </type>\n";
    EXPECT_EQ("(loaded)", maprefusal(wrapmap(unittypes(types) + "<map name=\"c\" xsize=1 ysize=1> 2 </map>")));
}

TEST_F(Refusals, CalpercZeroOfTheOutsideType)
{
    std::string types = "<type name=outside num=0> temp=20 cocon=0.1 </type>\n" + GRASSTYPE;
    EXPECT_EQ("Error! Unit type 0 (outside) has calperc 0: the surroundings would have no temperature.\n",
              maprefusal(wrapmap(unittypes(types) + "<map name=\"c\" xsize=1 ysize=1> 2 </map>")));
}

TEST_F(Refusals, InvalidUnittypeFirstInColumnOrder)
{
    // 9 comes first in the file, but column 0 is filled before column 1.
    std::string text = wrapmap(unittypes(OUTSIDETYPE) + "<map name=\"c\" xsize=2 ysize=2> 0 9 <r> 8 0 </map>");
    EXPECT_EQ("Error! Invalid unittype in map! unittype = 8\n", maprefusal(text));
}

TEST_F(Refusals, InvalidUnittypeBeforeMissingOutsideType)
{
    EXPECT_EQ("Error! Invalid unittype in map! unittype = 5\n",
              maprefusal(wrapmap(unittypes(GRASSTYPE) + "<map name=\"c\" xsize=2 ysize=1> 2 5 </map>")));
}

TEST_F(Refusals, NoOutsideType)
{
    EXPECT_EQ(NOOUTSIDE, maprefusal(wrapmap(unittypes(GRASSTYPE) + "<map name=\"c\" xsize=2 ysize=1> 2 2 </map>")));
    EXPECT_EQ(NOOUTSIDE, maprefusal(""));
}

// ---------------------------------------------------------------------------
// The shipped maps.

using ShippedMaps = WorldTest;

TEST_F(ShippedMaps, MeadowIsTheFourByThreeExample)
{
    loadmaptext(readfile(mapspath("meadow.map")));
    EXPECT_EQ(4, testgame.world.mapsizex);
    EXPECT_EQ(3, testgame.world.mapsizey);
    EXPECT_STREQ("meadow\"", mapname());
    EXPECT_EQ(1, getcell(testgame.world, 0, 1).block);
    EXPECT_EQ(-1, cellindex(testgame.world, 4, 0));
    EXPECT_EQ(20.0L, getcell(testgame.world, 2, 2).totalcal); // outside type inside the grid
    ASSERT_EQ(2, s_pointsnum());
    EXPECT_EQ(1, loadedmap.s_points[0].x);
    EXPECT_EQ(2, loadedmap.s_points[1].x);
}

namespace {
// Cells that have caught fire: at or past their ignition point with fuel
// left, or with less fuel than they were loadedmap with.
int cellsafire(const std::vector<long double> &loadedfuel)
{
    int n = 0;
    for (size_t i = 0; i < ncells(testgame.world); i++) {
        const MAPUNIT cc = cellno(i), *c = &cc;
        bool burning = c->fuellevel > 0 && truncatetemp(c->totalcal / c->calperc) >= c->ignitionpoint;
        if (burning || c->fuellevel < loadedfuel[i])
            n++;
    }
    return n;
}

std::vector<long double> fuelnow()
{
    std::vector<long double> fuel;
    for (size_t i = 0; i < ncells(testgame.world); i++)
        fuel.push_back(cellno(i).fuellevel);
    return fuel;
}
} // namespace

TEST_F(ShippedMaps, ValleyIsALargerPlayableMap)
{
    loadmaptext(readfile(mapspath("valley.map")));
    EXPECT_EQ(64, testgame.world.mapsizex);
    EXPECT_EQ(40, testgame.world.mapsizey);
    EXPECT_STREQ("valley\"", mapname());
    ASSERT_NE(nullptr, typenum(0));
    EXPECT_GT(testgame.world.outside.calperc, 0.0L);
    // Grass, forest, dry brush, rock that blocks, water that does not burn.
    int blocking = 0, water = 0, fuelled = 0;
    for (long i = 1; i <= numtypes(); i++) {
        const UNITTYPE *t = &loadedmap.unittypelist[i];
        blocking += t->block;
        water += t->calperc >= 8 && t->fuellevel == 0 && !t->block;
        fuelled += t->fuellevel > 0;
    }
    EXPECT_GE(blocking, 1);
    EXPECT_GE(water, 1);
    EXPECT_GE(fuelled, 3);
    // At least four start positions, on the map, on cells that do not block,
    // and no two closer than 10 cells.
    ASSERT_GE(s_pointsnum(), 4);
    for (int i = 0; i < s_pointsnum(); i++) {
        ASSERT_TRUE(onmap(testgame.world, loadedmap.s_points[i].x, loadedmap.s_points[i].y)) << "start " << i;
        EXPECT_EQ(0, getcell(testgame.world, loadedmap.s_points[i].x, loadedmap.s_points[i].y).block) << "start " << i;
        for (int j = 0; j < i; j++) {
            long dx = loadedmap.s_points[i].x - loadedmap.s_points[j].x, dy = loadedmap.s_points[i].y - loadedmap.s_points[j].y;
            EXPECT_GE(dx * dx + dy * dy, 100) << "starts " << j << " and " << i;
        }
    }
}

TEST_F(ShippedMaps, ValleyGrassCatchesFromTwoFiresAndSpreadsOverSeconds)
{
    std::string text = readfile(mapspath("valley.map"));
    loadmaptext(text);
    long g = -1;
    for (long i = 0; i <= numtypes(); i++)
        if (loadedmap.unittypelist[(size_t)i].named && loadedmap.unittypelist[(size_t)i].name == "grass")
            g = i;
    ASSERT_GE(g, 0);
    const UNITTYPE grass = loadedmap.unittypelist[g];
    const std::vector<long double> atstart = fuelnow();
    // A grass cell in the middle of grass.
    long fx = -1, fy = -1;
    for (long x = 2; x < testgame.world.mapsizex - 2 && fx < 0; x++)
        for (long y = 2; y < testgame.world.mapsizey - 2 && fx < 0; y++) {
            bool all = true;
            for (int dx = -2; dx <= 2; dx++)
                for (int dy = -2; dy <= 2; dy++)
                    all = all && getcell(testgame.world, x + dx, y + dy).calperc == grass.calperc &&
                          getcell(testgame.world, x + dx, y + dy).fuellevel == grass.fuellevel;
            if (all) {
                fx = x;
                fy = y;
            }
        }
    ASSERT_GE(fx, 0);

    // One fire alone does not light grass.
    addfire(testgame.world, fx, fy, 1);
    for (int t = 0; t < 50; t++)
        dophys(testgame.world, testgame.tick);
    EXPECT_EQ(0, cellsafire(atstart));

    // Two fires do, and the fire stays in its cell for the first tick...
    loadmaptext(text);
    addfire(testgame.world, fx, fy, 1);
    addfire(testgame.world, fx, fy, 1);
    dophys(testgame.world, testgame.tick);
    EXPECT_EQ(1, cellsafire(atstart));
    // ...still burns a second later without having jumped yet...
    for (int t = 1; t < 10; t++)
        dophys(testgame.world, testgame.tick);
    EXPECT_EQ(1, cellsafire(atstart));
    // ...and has spread well beyond its neighbours within 20 s.
    for (int t = 10; t < 200; t++)
        dophys(testgame.world, testgame.tick);
    EXPECT_GT(cellsafire(atstart), 25);
}

// ---------------------------------------------------------------------------
// A map file's identity: its SHA-256, read in pieces or at once.

TEST(MapDigest, KnownDigestsAndAFileReadInPiecesMatchesOneCall)
{
    auto hex = [](const unsigned char d[32]) {
        std::string s;
        for (int i = 0; i < 32; i++)
            s += "0123456789abcdef"[d[i] >> 4], s += "0123456789abcdef"[d[i] & 15];
        return s;
    };
    unsigned char d[32], f[32];
    sha256("abc", 3, d);
    EXPECT_EQ("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", hex(d));
    sha256("", 0, d);
    EXPECT_EQ("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855", hex(d));

    std::string text(200000, 'x'); // more than one piece
    for (size_t i = 0; i < text.size(); i += 7)
        text[i] = (char)('a' + i % 26);
    uint64_t size = 0;
    ASSERT_TRUE(sha256file(tempfile(text), size, f));
    sha256(text.data(), text.size(), d);
    EXPECT_EQ(text.size(), size);
    EXPECT_EQ(hex(d), hex(f));
    EXPECT_FALSE(sha256file("/nonexistent/kindler.map", size, f));
}

TEST(ShippedMapFiles, EveryShippedMapLoadsWithStartPositions)
{
    int maps = 0;
    for (const auto &f : std::filesystem::directory_iterator(mapspath(""))) {
        if (f.path().extension() != ".map")
            continue;
        GAME g;
        ASSERT_EQ(loadmap(g, f.path().c_str()), 0) << f.path();
        EXPECT_GT(g.world.mapsizex * g.world.mapsizey, 0) << f.path();
        EXPECT_FALSE(g.players.s_points.empty()) << f.path();
        maps++;
    }
    EXPECT_GE(maps, 8); // meadow, valley and the six generated ones
}
