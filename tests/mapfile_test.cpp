// The map reader, driven in-process: which tokens it recognises and what
// follows for map writers (the root element and its version, numbers and
// names, unit types, the map block, start positions), and every file it
// refuses, with the exact line it refuses it with. Files are read and then
// built, as the server does, so that what was read shows in the world too.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/mapfile.h"
#include "support.h"
#include "engine/world.h"

namespace {

// The line a file of the outside type and `rest` is refused with, or "(loaded)".
std::string refusedwith(const std::string &rest) { return maprefusal(wrapmap(unittypes(OUTSIDETYPE) + rest)); }

} // namespace

// ---------------------------------------------------------------------------
// The root element and its version.

using Version = WorldTest;

TEST_F(Version, TrailingZeroAndAttachedBracketAreAccepted)
{
    EXPECT_EQ("(loaded)", maprefusal("<kindler version=\"0.20\">\n" + unittypes(OUTSIDETYPE) +
                                  "<map name=\"v\" xsize=1 ysize=1> 0 </map>\n</kindler>\n"));
    EXPECT_EQ(1, testgame.world.mapsizex);
}

TEST_F(Version, LeadingPointIsAccepted)
{
    EXPECT_EQ("(loaded)", maprefusal("<kindler version=\".2\"\n" + unittypes(OUTSIDETYPE) +
                                  "<map name=\"v\" xsize=1 ysize=1> 0 </map>\n</kindler>\n"));
    EXPECT_EQ(1, testgame.world.mapsizey);
}

TEST_F(Version, OtherVersionFailsAtOnceBeforeAnythingIsBuilt)
{
    // The token after the version is too long and the grid is invalid: the
    // version is refused first, and nothing of the world exists.
    std::string text = "<kindler version=\"0.21\">\n"
                       "abcdefghijklmnopqrstuvwxyz0123\n" +
                       unittypes(OUTSIDETYPE) + "<map name=\"v\" xsize=1 ysize=1> 7 </map>\n</kindler>\n";
    EXPECT_EQ("Error! File is version 0.210000 but we want 0.200000.\n", maprefusal(text));
    EXPECT_EQ(0, testgame.world.mapsizex);
    EXPECT_TRUE(testgame.world.oldmap->heat.empty());
    EXPECT_EQ(-1, numtypes());
}

TEST_F(Version, VersionOnePrintsBothNumbersWithSixDecimals)
{
    EXPECT_EQ("Error! File is version 0.100000 but we want 0.200000.\n",
              maprefusal("<kindler version=\"0.1\">\n" + unittypes(OUTSIDETYPE) + "</kindler>\n"));
}

TEST_F(Version, VersionWithoutQuoteIsNotRecognisedSoNothingIsRead)
{
    std::string text = "<kindler version=0.2>\n" + unittypes(OUTSIDETYPE + GRASSTYPE) +
                       "<map name=\"v\" xsize=1 ysize=1> 2 </map>\n<start> 0,0 </start>\n</kindler>\n";
    EXPECT_EQ(NOOUTSIDE, maprefusal(text));
    EXPECT_EQ(-1, numtypes());
    EXPECT_EQ(nullptr, mapname());
    EXPECT_EQ(0, s_pointsnum());
}

TEST_F(Version, RootTagWithAttachedBracketOpensNothing)
{
    EXPECT_EQ(NOOUTSIDE, maprefusal("<kindler> version=\"0.2\">\n" + unittypes(OUTSIDETYPE) + "</kindler>\n"));
    EXPECT_EQ(-1, numtypes());
}

TEST_F(Version, FileWithoutRootTagEndsWithMissingOutsideType)
{
    EXPECT_EQ(NOOUTSIDE, maprefusal(unittypes(OUTSIDETYPE) + "<map name=\"v\" xsize=1 ysize=1> 0 </map>\n"));
    EXPECT_EQ(0, testgame.world.mapsizex);
}

TEST_F(Version, VersionTokenCountsOnlyRightAfterTheRootTag)
{
    // A version token with the root not waiting for one is ignored, even a
    // wrong one.
    std::string text = "version=\"0.5\"\n" + wrapmap(unittypes(OUTSIDETYPE) + "version=\"0.7\"\n" +
                                                  "<map name=\"v\" xsize=1 ysize=1> 0 </map>");
    EXPECT_EQ("(loaded)", maprefusal(text));
}

TEST_F(Version, TokensOutsideTheRootElementAreIgnored)
{
    std::string text = unittypes(GRASSTYPE) + "<kindler version=\"0.2\">\n" + unittypes(OUTSIDETYPE) +
                       "<map name=\"v\" xsize=1 ysize=1> 0 </map>\n</kindler>\n" + unittypes(ROCKTYPE) +
                       "<map name=\"late\" xsize=2 ysize=2> 1 1 <r> 1 1 </map>\n";
    EXPECT_EQ("(loaded)", maprefusal(text));
    EXPECT_EQ(0, numtypes());
    EXPECT_STREQ("v\"", mapname());
    EXPECT_EQ(1, testgame.world.mapsizex);
}

// ---------------------------------------------------------------------------
// Numbers go through the digit filter; names are taken verbatim.

using Values = WorldTest;

TEST_F(Values, DigitFilterBlanksEverythingButDigitsAndPoints)
{
    char token[] = "temp=-5.5e3\">";
    EXPECT_EQ(token, stripndec(token, ' '));
    EXPECT_STREQ("      5.5 3  ", token);
}

TEST_F(Values, QuotedSizeWithAttachedBracketGivesItsNumber)
{
    std::string text = wrapmap(unittypes(OUTSIDETYPE) + "<map name=\"q\" xsize=\"12\"> ysize=1>\n"
                                               "0 0 0 0 0 0 0 0 0 0 0 0 <r>\n</map>");
    EXPECT_EQ("(loaded)", maprefusal(text));
    EXPECT_EQ(12, testgame.world.mapsizex);
    EXPECT_EQ(1, testgame.world.mapsizey);
}

TEST_F(Values, MinusSignIsDroppedSoTempMinusFiveIsFive)
{
    std::string types = OUTSIDETYPE + "<type name=cold num=3> temp=-5 calperc=2 </type>\n";
    EXPECT_EQ("(loaded)", maprefusal(wrapmap(unittypes(types) + "<map name=\"t\" xsize=1 ysize=1> 3 </map>")));
    EXPECT_EQ(5, typenum(3)->temp);
    EXPECT_EQ(10.0L, cellno(0).totalcal);
}

TEST_F(Values, ExponentHasNoMeaningSoOneEMinusThreeIsOne)
{
    std::string types = OUTSIDETYPE + "<type name=e num=3> cocon=1e-3 calperc=1 </type>\n";
    EXPECT_EQ("(loaded)", maprefusal(wrapmap(unittypes(types) + "<map name=\"t\" xsize=1 ysize=1> 3 </map>")));
    EXPECT_EQ(1.0L, typenum(3)->cocon);
    EXPECT_EQ(1.0L, cellno(0).cocon);
}

TEST_F(Values, IntegerEndsAtThePointSoNumThreePointSevenIsThree)
{
    std::string types = OUTSIDETYPE + "<type name=frac num=3.7> calperc=1 </type>\n";
    EXPECT_EQ("(loaded)", maprefusal(wrapmap(unittypes(types) + "<map name=\"t\" xsize=1 ysize=1> 3 </map>")));
    ASSERT_NE(nullptr, typenum(3));
    EXPECT_STREQ("frac", typenum(3)->name.c_str());
}

TEST_F(Values, RealsAreReadInDoublePrecisionThenWidened)
{
    std::string types = OUTSIDETYPE + "<type name=g num=3> cocon=0.2 calperc=2.5 burnspeed=0.3 </type>\n";
    EXPECT_EQ("(loaded)", maprefusal(wrapmap(unittypes(types) + "<map name=\"t\" xsize=1 ysize=1> 3 </map>")));
    EXPECT_EQ((long double)0.2, typenum(3)->cocon);
    EXPECT_NE(0.2L, typenum(3)->cocon);
    EXPECT_EQ(2.5L, typenum(3)->calperc);
    EXPECT_EQ((long double)0.3, typenum(3)->burnspeed);
}

TEST_F(Values, IntegersBeyond32BitsSaturate)
{
    // temp 3000000000 is 2147483647 kelvins, not a wrapped negative one;
    // type 4294967298 is no type 2.
    EXPECT_EQ("(loaded)", maprefusal(wrapmap(unittypes(OUTSIDETYPE +
                                               "<type name=hot num=4294967298>\n"
                                               "  temp=3000000000 calperc=1 ignitionpoint=9999999999\n"
                                               "</type>\n") +
                                       "<map name=\"t\" xsize=1 ysize=1> 0 </map>")));
    const UNITTYPE *hot = typenum(2147483647);
    ASSERT_NE(hot, nullptr);
    EXPECT_EQ(hot->temp, 2147483647);
    EXPECT_EQ(hot->ignitionpoint, 2147483647);
    EXPECT_EQ(typenum(2), nullptr);
}

TEST_F(Values, NumberWithoutDigitsIsZero)
{
    std::string types = OUTSIDETYPE + "<type name=z num=3> temp=warm calperc=1 ignitionpoint=high </type>\n";
    EXPECT_EQ("(loaded)", maprefusal(wrapmap(unittypes(types) + "<map name=\"t\" xsize=1 ysize=1> 3 </map>")));
    EXPECT_EQ(0, typenum(3)->temp);
    EXPECT_EQ(0, typenum(3)->ignitionpoint);
}

TEST_F(Values, MapNameKeepsItsClosingQuote)
{
    EXPECT_EQ("(loaded)", refusedwith("<map name=\"meadow\" xsize=1 ysize=1> 0 </map>"));
    EXPECT_STREQ("meadow\"", mapname());
}

TEST_F(Values, MapNameWithoutQuoteIsNotRecognisedSoTheMapHasNoBlock)
{
    // The header waits for its name: sizes and values are all ignored.
    EXPECT_EQ("(loaded)", refusedwith("<map name=meadow xsize=1 ysize=1> 5 </map>"));
    EXPECT_EQ(nullptr, mapname());
    EXPECT_EQ(0, testgame.world.mapsizex);
    EXPECT_EQ(0, testgame.world.mapsizey);
}

TEST_F(Values, TypeNameIsVerbatim)
{
    std::string types = OUTSIDETYPE + "<type name=grass num=2> calperc=1 </type>\n" +
                        "<type name=\"sand\"> num=3> calperc=1 </type>\n";
    EXPECT_EQ("(loaded)", maprefusal(wrapmap(unittypes(types) + "<map name=\"t\" xsize=1 ysize=1> 3 </map>")));
    EXPECT_STREQ("grass", typenum(2)->name.c_str());
    EXPECT_STREQ("\"sand\">", typenum(3)->name.c_str());
    EXPECT_STREQ("outside", typenum(0)->name.c_str());
}

TEST_F(Values, SecondNameTokenReplacesTheFirst)
{
    std::string types = OUTSIDETYPE + "<type name=first name=second num=3> calperc=1 </type>\n";
    EXPECT_EQ("(loaded)", maprefusal(wrapmap(unittypes(types) + "<map name=\"t\" xsize=1 ysize=1> 3 </map>")));
    EXPECT_STREQ("second", typenum(3)->name.c_str());
}

TEST_F(Values, LongestTokenOfTwentyFourCharactersIsAccepted)
{
    // name= and 19 characters: the longest type name.
    std::string types = OUTSIDETYPE + "<type name=abcdefghijklmnopqrs num=3> calperc=1 </type>\n";
    EXPECT_EQ("(loaded)", maprefusal(wrapmap(unittypes(types) + "<map name=\"t\" xsize=1 ysize=1> 3 </map>")));
    EXPECT_STREQ("abcdefghijklmnopqrs", typenum(3)->name.c_str());
}

// ---------------------------------------------------------------------------
// Unit types: header, body, and where they count.

using UnitTypes = WorldTest;

TEST_F(UnitTypes, AnyTokenBeginningWithBlockSetsTheFlag)
{
    std::string types = OUTSIDETYPE + "<type name=wall num=3> calperc=1 blocked </type>\n" +
                        "<type name=open num=4> calperc=1 </type>\n";
    EXPECT_EQ("(loaded)", maprefusal(wrapmap(unittypes(types) + "<map name=\"t\" xsize=2 ysize=1> 3 4 </map>")));
    EXPECT_EQ(1, typenum(3)->block);
    EXPECT_EQ(0, typenum(4)->block);
    EXPECT_EQ(1, getcell(testgame.world, 0, 0).block);
    EXPECT_EQ(0, getcell(testgame.world, 1, 0).block);
}

TEST_F(UnitTypes, NumBeforeNameEndsTheHeaderAndTheNameIsIgnored)
{
    std::string types = OUTSIDETYPE + "<type num=4 name=late> temp=7 calperc=1 </type>\n";
    EXPECT_EQ("(loaded)", maprefusal(wrapmap(unittypes(types) + "<map name=\"t\" xsize=1 ysize=1> 4 </map>")));
    ASSERT_NE(nullptr, typenum(4));
    EXPECT_FALSE(typenum(4)->named);
    EXPECT_EQ(7, typenum(4)->temp);
}

TEST_F(UnitTypes, PropertiesInAnyOrderLaterOneWinsMissingOnesAreZero)
{
    std::string types = OUTSIDETYPE + "<type name=p num=3>\n"
                                  "  calperf=400 temp=10 colour=red calperc=2 temp=30 fuellevel=9\n"
                                  "</type>\n";
    EXPECT_EQ("(loaded)", maprefusal(wrapmap(unittypes(types) + "<map name=\"t\" xsize=1 ysize=1> 3 </map>")));
    const UNITTYPE *t = typenum(3);
    EXPECT_EQ(30, t->temp);
    EXPECT_EQ(400.0L, t->calperf);
    EXPECT_EQ(9.0L, t->fuellevel);
    EXPECT_EQ(0.0L, t->cocon);
    EXPECT_EQ(0, t->ignitionpoint);
    EXPECT_EQ(0.0L, t->burnspeed);
    EXPECT_EQ(0, t->block);
}

TEST_F(UnitTypes, TypeTagWithAttachedBracketOpensNoType)
{
    std::string types = OUTSIDETYPE + "<type> name=x num=3> calperc=1 </type>\n";
    EXPECT_EQ("(loaded)", maprefusal(wrapmap(unittypes(types) + "<map name=\"t\" xsize=1 ysize=1> 0 </map>")));
    EXPECT_EQ(0, numtypes());
    EXPECT_EQ(nullptr, typenum(3));
}

TEST_F(UnitTypes, TwoTypesNumberedZeroTheFirstIsOutsideAndServesCells)
{
    std::string types = "<type name=first num=0> temp=20 calperc=1 cocon=0.1 </type>\n"
                        "<type name=second num=0> temp=90 calperc=3 cocon=0.5 </type>\n";
    EXPECT_EQ("(loaded)", maprefusal(wrapmap(unittypes(types) + "<map name=\"t\" xsize=1 ysize=1> 0 </map>")));
    EXPECT_EQ(1, numtypes());
    EXPECT_EQ(0, findunittype(loadedmap, 0));
    EXPECT_EQ(20.0L, testgame.world.outside.totalcal);
    EXPECT_EQ(20.0L, cellno(0).totalcal);
    EXPECT_EQ((long double)0.1, cellno(0).cocon);
}

TEST_F(UnitTypes, TypeAfterTheMapBlockGetsNameAndNumberButNoProperties)
{
    std::string text = wrapmap(unittypes(OUTSIDETYPE) + "<map name=\"t\" xsize=1 ysize=1> 0 </map>\n" +
                            "<type name=late num=7> temp=50 calperc=3 block </type>");
    EXPECT_EQ("(loaded)", maprefusal(text));
    const UNITTYPE *t = typenum(7);
    ASSERT_NE(nullptr, t);
    EXPECT_STREQ("late", t->name.c_str());
    EXPECT_EQ(0, t->temp);
    EXPECT_EQ(0.0L, t->calperc);
    EXPECT_EQ(0, t->block);
}

TEST_F(UnitTypes, TypeBeforeTheMapOutsideTheSectionIsIgnored)
{
    std::string text = wrapmap(unittypes(OUTSIDETYPE) + "<type name=stray num=9> temp=5 calperc=1 </type>\n" +
                            "<map name=\"t\" xsize=1 ysize=1> 9 </map>");
    EXPECT_EQ("Error! Invalid unittype in map! unittype = 9\n", maprefusal(text));
    EXPECT_EQ(nullptr, typenum(9));
}

TEST_F(UnitTypes, FindUnitTypeIsMinusOneWithNoTypes)
{
    EXPECT_EQ(-1, findunittype(MAPFILE(), 0));
}

TEST_F(UnitTypes, DecodeTypeReturnsZeroOnlyForTheClosingTag)
{
    UNITTYPE t = {};
    char close[] = "</type>";
    char closelike[] = "</type>>";
    char unknown[] = "colour=red";
    char burn[] = "burnspeed=2.5";
    EXPECT_EQ(0, decodetype(close, &t));
    EXPECT_EQ(1, decodetype(closelike, &t));
    EXPECT_EQ(1, decodetype(unknown, &t));
    EXPECT_EQ(1, decodetype(burn, &t));
    EXPECT_EQ(2.5L, t.burnspeed);
}

// ---------------------------------------------------------------------------
// The map element and its block.

using MapBlock = WorldTest;

TEST_F(MapBlock, MapTagWithAttachedBracketOpensNothing)
{
    std::string text = wrapmap(unittypes(OUTSIDETYPE) + "<map> name=\"t\" xsize=2 ysize=1> 0 0 <r> </map>");
    EXPECT_EQ("(loaded)", maprefusal(text));
    EXPECT_EQ(nullptr, mapname());
    EXPECT_EQ(0, testgame.world.mapsizex);
    EXPECT_EQ(0, testgame.world.mapsizey);
}

TEST_F(MapBlock, HeaderTokensOutOfOrderAreIgnored)
{
    // ysize before xsize: the header never completes, so no block is read
    // and the values are ignored.
    std::string text = wrapmap(unittypes(OUTSIDETYPE) + "<map name=\"t\" ysize=1 xsize=2> 0 0 </map>");
    EXPECT_EQ("(loaded)", maprefusal(text));
    EXPECT_EQ(2, testgame.world.mapsizex);
    EXPECT_EQ(0, testgame.world.mapsizey);
}

TEST_F(MapBlock, CellValueXIsZeroTheOutsideType)
{
    EXPECT_EQ("(loaded)", maprefusal(wrapmap(unittypes(OUTSIDETYPE + GRASSTYPE) + "<map name=\"t\" xsize=2 ysize=1> x 2 </map>")));
    EXPECT_EQ(20.0L, cellno(0).totalcal);
    EXPECT_EQ(1.0L, cellno(0).calperc);
    EXPECT_EQ(2.0L, cellno(1).calperc);
}

TEST_F(MapBlock, CellValueMinusThreeIsNoType)
{
    EXPECT_EQ("Error! Invalid unittype in map! unittype = -3\n",
              refusedwith("<map name=\"t\" xsize=2 ysize=1> 0 -3 </map>"));
}

TEST_F(MapBlock, CellValuesBeyond32BitsSaturate)
{
    EXPECT_EQ("Error! Invalid unittype in map! unittype = 2147483647\n",
              refusedwith("<map name=\"t\" xsize=2 ysize=1> 0 4294967296 </map>"));
    EXPECT_EQ("Error! Invalid unittype in map! unittype = -2147483648\n",
              refusedwith("<map name=\"t\" xsize=2 ysize=1> 0 -4294967295 </map>"));
}

TEST_F(MapBlock, CellValueTakesLeadingDigitsOnly)
{
    // 2x and 2,1 are both 2; a tag inside the block is a value of 0.
    EXPECT_EQ("(loaded)",
              maprefusal(wrapmap(unittypes(OUTSIDETYPE + GRASSTYPE) + "<map name=\"t\" xsize=3 ysize=1> 2x 2,1 <start> </map>")));
    EXPECT_EQ(2.0L, getcell(testgame.world, 0, 0).calperc);
    EXPECT_EQ(2.0L, getcell(testgame.world, 1, 0).calperc);
    EXPECT_EQ(1.0L, getcell(testgame.world, 2, 0).calperc);
    EXPECT_EQ(0, s_pointsnum());
}

TEST_F(MapBlock, ValuesLandColumnMajorFirstRowIsYZero)
{
    std::string types = OUTSIDETYPE;
    for (int n = 1; n <= 6; n++)
        types += "<type name=t num=" + std::to_string(n) + "> temp=" + std::to_string(10 * n) +
                 " calperc=1 </type>\n";
    std::string text = wrapmap(unittypes(types) + "<map name=\"t\" xsize=3 ysize=2>\n"
                                             "1 2 3 <r>\n"
                                             "4 5 6 <r>\n"
                                             "</map>");
    EXPECT_EQ("(loaded)", maprefusal(text));
    ASSERT_EQ(3, testgame.world.mapsizex);
    ASSERT_EQ(2, testgame.world.mapsizey);
    // Element x * testgame.world.mapsizey + y holds column x of row y.
    const long double want[6] = {10, 40, 20, 50, 30, 60};
    for (int i = 0; i < 6; i++)
        EXPECT_EQ(want[i], cellno(i).totalcal) << "element " << i;
    EXPECT_EQ(20.0L, getcell(testgame.world, 1, 0).totalcal);
    EXPECT_EQ(60.0L, getcell(testgame.world, 2, 1).totalcal);
}

TEST_F(MapBlock, LastRowTerminatorMayBeLeftOut)
{
    EXPECT_EQ("(loaded)", maprefusal(wrapmap(unittypes(OUTSIDETYPE + GRASSTYPE) + "<map name=\"t\" xsize=2 ysize=2> 2 2 <r> 2 0 </map>")));
    EXPECT_EQ(1.0L, getcell(testgame.world, 1, 1).calperc);
}

TEST_F(MapBlock, CompleteBlockEndedByTheEndOfTheFileCounts)
{
    std::string text = "<kindler version=\"0.2\">\n" + unittypes(OUTSIDETYPE + GRASSTYPE) +
                       "<map name=\"t\" xsize=2 ysize=2> 2 2 <r> 0 2";
    EXPECT_EQ("(loaded)", maprefusal(text));
    EXPECT_EQ(1.0L, getcell(testgame.world, 0, 1).calperc);
    EXPECT_EQ(2.0L, getcell(testgame.world, 1, 1).calperc);
}

TEST_F(MapBlock, SecondMapElementReplacesTheFirst)
{
    std::string text = wrapmap(unittypes(OUTSIDETYPE + GRASSTYPE) + "<map name=\"one\" xsize=3 ysize=1> 2 2 2 </map>\n" +
                            "<map name=\"two\" xsize=1 ysize=2> 0 <r> 2 <r> </map>");
    EXPECT_EQ("(loaded)", maprefusal(text));
    EXPECT_STREQ("two\"", mapname());
    EXPECT_EQ(1, testgame.world.mapsizex);
    EXPECT_EQ(2, testgame.world.mapsizey);
    EXPECT_EQ(1.0L, getcell(testgame.world, 0, 0).calperc);
    EXPECT_EQ(2.0L, getcell(testgame.world, 0, 1).calperc);
}

TEST_F(MapBlock, StrayTokenAfterTheBlockStartsANewBlock)
{
    EXPECT_EQ("(loaded)", maprefusal(wrapmap(unittypes(OUTSIDETYPE + GRASSTYPE) + "<map name=\"t\" xsize=1 ysize=1> 0 </map>\n2 </map>")));
    EXPECT_EQ(2.0L, cellno(0).calperc);
}

TEST_F(MapBlock, ZeroByZeroGridIsValid)
{
    EXPECT_EQ("(loaded)", refusedwith("<map name=\"e\" xsize=0 ysize=0>\n</map>"));
    EXPECT_EQ(0, testgame.world.mapsizex);
    EXPECT_EQ(0, testgame.world.mapsizey);
    EXPECT_EQ(0u, ncells(testgame.world));
    EXPECT_EQ(20.0L, testgame.world.outside.totalcal);
    EXPECT_STREQ("e\"", mapname());
}

TEST_F(MapBlock, GridWithOneSideZeroIsValidAndHasNoCells)
{
    EXPECT_EQ("(loaded)", refusedwith("<map name=\"e\" xsize=3 ysize=0>\n</map>"));
    EXPECT_EQ(3, testgame.world.mapsizex);
    EXPECT_EQ(0u, ncells(testgame.world));
    EXPECT_FALSE(onmap(testgame.world, 0, 0));
    EXPECT_EQ(-1, cellindex(testgame.world, 1, 0));
}

// ---------------------------------------------------------------------------
// Start positions.

using StartPositions = WorldTest;

namespace {
// A 3 x 3 grass map whose start section holds `tokens`.
std::string startmap(const std::string &tokens)
{
    return wrapmap(unittypes(OUTSIDETYPE + GRASSTYPE) + "<map name=\"s\" xsize=3 ysize=3> 2 2 2 <r> 2 2 2 <r> 2 2 2 <r> </map>\n" +
                "<start> " + tokens + " </start>");
}
} // namespace

namespace {
using POSITIONS = std::vector<std::pair<int, int>>;
// The start positions read from `text`, which must load.
POSITIONS startsof(const std::string &text)
{
    EXPECT_EQ("(loaded)", maprefusal(text));
    POSITIONS p;
    for (const MAP_VERTEX &v : loadedmap.s_points)
        p.push_back({v.x, v.y});
    return p;
}
} // namespace

TEST_F(StartPositions, PositionsKeepFileOrderAnySeparatorAndSign)
{
    EXPECT_EQ((POSITIONS{{2, 3}, {-1, 2}, {0, 9}}), startsof(startmap("2,3 -1;2 0x9")));
}

TEST_F(StartPositions, SingleNumberEndsTheSection)
{
    // Nothing but </start> follows the 5: a position there would be read
    // as the first value of a new map block.
    EXPECT_EQ((POSITIONS{{1, 2}}), startsof(startmap("1,2 5")));
}

TEST_F(StartPositions, DoubleSeparatorEndsTheSection) { EXPECT_EQ((POSITIONS{{1, 1}}), startsof(startmap("1,1 2,,3"))); }

TEST_F(StartPositions, PositionAfterTheSectionEndedStartsANewMapBlock)
{
    // "stop" ends the section; "2,1" then opens a new 3 x 3 block in which
    // </start> and </kindler> are values too, and the file ends after 3.
    EXPECT_EQ("Error! Map block ends at row 0, column 3, before all 3 x 3 cells were given.\n",
              maprefusal(startmap("1,1 stop 2,1")));
}

TEST_F(StartPositions, SectionBetweenUnitTypesAndMapIsSkipped)
{
    EXPECT_EQ(POSITIONS{}, startsof(wrapmap(unittypes(OUTSIDETYPE + GRASSTYPE) + "<start> 1,1 2,2 </start>\n" +
                                            "<map name=\"s\" xsize=1 ysize=1> 2 </map>")));
}

TEST_F(StartPositions, SectionInsideTheUnitTypeSectionIsRead)
{
    EXPECT_EQ((POSITIONS{{0, 0}}), startsof(wrapmap(unittypes(OUTSIDETYPE + "<start> 0,0 </start>\n" + GRASSTYPE) +
                                                    "<map name=\"s\" xsize=1 ysize=1> 2 </map>")));
}

TEST_F(StartPositions, PositionsAreNotComparedWithTheGrid) { EXPECT_EQ((POSITIONS{{40, 50}}), startsof(startmap("40,50"))); }

// ---------------------------------------------------------------------------
// Files the reader refuses, each with its one "Error! " line.

using Refusals = WorldTest;

TEST_F(Refusals, TokenLongerThanTwentyFourCharactersShowsItsFirstTwentyFour)
{
    EXPECT_EQ("Error! Token longer than 24 characters: \"abcdefghijklmnopqrstuvwx...\"\n",
              refusedwith("abcdefghijklmnopqrstuvwxy"));
    // Anywhere in the file, even outside the root element.
    EXPECT_EQ("Error! Token longer than 24 characters: \"<type-name=outside-num=0...\"\n",
              maprefusal("<type-name=outside-num=0>\n" + wrapmap(unittypes(OUTSIDETYPE))));
    // A map name that does not fit.
    EXPECT_EQ("Error! Token longer than 24 characters: \"name=\"averyveryverylongn...\"\n",
              refusedwith("<map name=\"averyveryverylongname\" xsize=0 ysize=0> </map>"));
    // NUL bytes show as question marks.
    EXPECT_EQ("Error! Token longer than 24 characters: \"ab?cdefghijklmnopqrstuvw...\"\n",
              refusedwith(std::string("ab") + '\0' + "cdefghijklmnopqrstuvwxyz"));
}

TEST_F(Refusals, MalformedMapBlockIsNamedByRowAndColumn)
{
    const struct {
        const char *behaviour, *map, *line;
    } cases[] = {
        {"row shorter than xsize", "<map name=\"r\" xsize=4 ysize=2> 0 0 0 0 <r> 0 0 0 <r> </map>",
         "Error! Map row 1 has 3 values but xsize is 4.\n"},
        {"row longer than xsize", "<map name=\"r\" xsize=2 ysize=2> 0 0 0 <r> 0 0 <r> </map>",
         "Error! Map row 0 has more than 2 values: value at column 2.\n"},
        {"more rows than ysize", "<map name=\"r\" xsize=2 ysize=1> 0 0 <r> 0 0 <r> </map>",
         "Error! Map block has more than 1 rows: value at row 1, column 0.\n"},
        {"an extra row end", "<map name=\"r\" xsize=2 ysize=1> 0 0 <r> <r> </map>",
         "Error! Map block has more than 1 rows: extra \"<r>\" after row 0.\n"},
        {"fewer rows than ysize", "<map name=\"r\" xsize=2 ysize=3> 0 0 <r> 0 0 <r> </map>",
         "Error! Map block ends at row 2, column 0, before all 2 x 3 cells were given.\n"},
        {"last row short at the end of the block", "<map name=\"r\" xsize=2 ysize=2> 0 0 <r> 0 </map>",
         "Error! Map block ends at row 1, column 1, before all 2 x 2 cells were given.\n"},
        {"header with cells but no block", "<map name=\"r\" xsize=2 ysize=3>\n</map>",
         "Error! The map header declares 2 x 3 cells but the file has no map block.\n"},
        // The first block holds one cell; the second header declares 2500
        // and has no block: the old block must not stand in for it.
        {"later header without a block of its own",
         "<map name=\"a\" xsize=1 ysize=1> 0 </map>\n<map name=\"b\" xsize=50 ysize=50>\n</map>",
         "Error! The map header declares 50 x 50 cells but the file has no map block.\n"},
        {"later header that only changes the width",
         "<map name=\"a\" xsize=1 ysize=1> 0 </map>\n<map name=\"b\" xsize=40>\n</map>",
         "Error! The map header declares 40 x 1 cells but the file has no map block.\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.behaviour);
        EXPECT_EQ(c.line, refusedwith(c.map));
    }
    // The last row short at the end of the file.
    EXPECT_EQ("Error! Map block ends at row 1, column 1, before all 2 x 2 cells were given.\n",
              maprefusal("<kindler version=\"0.2\">\n" + unittypes(OUTSIDETYPE) + "<map name=\"r\" xsize=2 ysize=2> 0 0 <r> 0"));
}
