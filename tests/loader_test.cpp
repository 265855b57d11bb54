// The map reader, driven in-process through readmap: which tokens it
// recognises and what follows for map writers, the grid's column-major
// index and the outside rule, how cells are built from unit types, and
// every file it refuses, with the exact line it refuses it with.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "loadmap.h"
#include "player.h"
#include "publish.h"
#include "support.h"
#include "world.h"

namespace {

// The published cell with index i, taken under serverworld.oldmap_lock.
MAPUNIT cellno(size_t i) { return getcell(serverworld, (long)(i / (size_t)serverworld.mapsizey), (long)(i % (size_t)serverworld.mapsizey)); }

const std::string OUTSIDE =
    "<type name=outside num=0>\n"
    "  temp=20 cocon=0.1 calperc=1 ignitionpoint=900 fuellevel=0 burnspeed=0 calperf=0\n"
    "</type>\n";
const std::string ROCK =
    "<type name=rock num=1>\n"
    "  temp=20 cocon=0.05 calperc=3 ignitionpoint=900 fuellevel=0 burnspeed=0 calperf=0 block\n"
    "</type>\n";
const std::string GRASS =
    "<type name=grass num=2>\n"
    "  temp=20 cocon=0.2 calperc=2 ignitionpoint=250 fuellevel=30 burnspeed=3 calperf=400\n"
    "</type>\n";

// A whole file around `body`: root element with version 0.2.
std::string wrap(const std::string &body)
{
    return "<kindler version=\"0.2\">\n" + body + "\n</kindler>\n";
}

// The unit-type section holding `types`.
std::string section(const std::string &types)
{
    return "<unittypes>\n" + types + "</unittypes>\n";
}

// What the last file read said, as far as it was read.
MAPFILE loaded;

// Reads `text` into `loaded` and builds the server's world from it, as
// the server does; throws MAPERROR.
void loadtext(const std::string &text)
{
    resetall();
    loaded = MAPFILE();
    std::istringstream in(text);
    readmapfile(in, loaded);
    makemap(loaded, serverworld, nullptr);
    serverplayers.s_points = loaded.s_points;
}

// The message a refused file is refused with, or "(loaded)".
std::string refusal(const std::string &text)
{
    try {
        loadtext(text);
    } catch (const MAPERROR &e) {
        return e.what();
    }
    return "(loaded)";
}

// The first declared unit type numbered num, or null.
const UNITTYPE *typenum(int num)
{
    long i = findunittype(loaded, num);
    return i < 0 ? nullptr : &loaded.unittypelist[(size_t)i];
}

// Index of the last unit type read, -1 for none.
long numtypes() { return (long)loaded.unittypelist.size() - 1; }
// The map's name as read, or null when no map element named one.
const char *mapname() { return loaded.hasmapname ? loaded.mapname.c_str() : nullptr; }
// The start positions read.
int s_pointsnum() { return (int)loaded.s_points.size(); }

const std::string NOOUTSIDE = "Error! No outside type defined in map. Quiting.\n";

class Loader : public ::testing::Test {
protected:
    void TearDown() override { resetall(); }
};

} // namespace

// ---------------------------------------------------------------------------
// The root element and its version.

using Version = Loader;

TEST_F(Version, TrailingZeroAndAttachedBracketAreAccepted)
{
    EXPECT_EQ("(loaded)", refusal("<kindler version=\"0.20\">\n" + section(OUTSIDE) +
                                  "<map name=\"v\" xsize=1 ysize=1> 0 </map>\n</kindler>\n"));
    EXPECT_EQ(1, serverworld.mapsizex);
}

TEST_F(Version, LeadingPointIsAccepted)
{
    EXPECT_EQ("(loaded)", refusal("<kindler version=\".2\"\n" + section(OUTSIDE) +
                                  "<map name=\"v\" xsize=1 ysize=1> 0 </map>\n</kindler>\n"));
    EXPECT_EQ(1, serverworld.mapsizey);
}

TEST_F(Version, OtherVersionFailsAtOnceBeforeAnythingIsBuilt)
{
    // The token after the version is too long and the grid is invalid: the
    // version is refused first, and nothing of the world exists.
    std::string text = "<kindler version=\"0.21\">\n"
                       "abcdefghijklmnopqrstuvwxyz0123\n" +
                       section(OUTSIDE) + "<map name=\"v\" xsize=1 ysize=1> 7 </map>\n</kindler>\n";
    EXPECT_EQ("Error! File is version 0.210000 but we want 0.200000.\n", refusal(text));
    EXPECT_EQ(0, serverworld.mapsizex);
    EXPECT_TRUE(serverworld.oldmap->heat.empty());
    EXPECT_EQ(-1, numtypes());
}

TEST_F(Version, VersionOnePrintsBothNumbersWithSixDecimals)
{
    EXPECT_EQ("Error! File is version 0.100000 but we want 0.200000.\n",
              refusal("<kindler version=\"0.1\">\n" + section(OUTSIDE) + "</kindler>\n"));
}

TEST_F(Version, VersionWithoutQuoteIsNotRecognisedSoNothingIsRead)
{
    std::string text = "<kindler version=0.2>\n" + section(OUTSIDE + GRASS) +
                       "<map name=\"v\" xsize=1 ysize=1> 2 </map>\n<start> 0,0 </start>\n</kindler>\n";
    EXPECT_EQ(NOOUTSIDE, refusal(text));
    EXPECT_EQ(-1, numtypes());
    EXPECT_EQ(nullptr, mapname());
    EXPECT_EQ(0, s_pointsnum());
}

TEST_F(Version, RootTagWithAttachedBracketOpensNothing)
{
    EXPECT_EQ(NOOUTSIDE, refusal("<kindler> version=\"0.2\">\n" + section(OUTSIDE) + "</kindler>\n"));
    EXPECT_EQ(-1, numtypes());
}

TEST_F(Version, FileWithoutRootTagEndsWithMissingOutsideType)
{
    EXPECT_EQ(NOOUTSIDE, refusal(section(OUTSIDE) + "<map name=\"v\" xsize=1 ysize=1> 0 </map>\n"));
    EXPECT_EQ(0, serverworld.mapsizex);
}

TEST_F(Version, VersionTokenCountsOnlyRightAfterTheRootTag)
{
    // A version token with the root not waiting for one is ignored, even a
    // wrong one.
    std::string text = "version=\"0.5\"\n" + wrap(section(OUTSIDE) + "version=\"0.7\"\n" +
                                                  "<map name=\"v\" xsize=1 ysize=1> 0 </map>");
    EXPECT_EQ("(loaded)", refusal(text));
}

TEST_F(Version, TokensOutsideTheRootElementAreIgnored)
{
    std::string text = section(GRASS) + "<kindler version=\"0.2\">\n" + section(OUTSIDE) +
                       "<map name=\"v\" xsize=1 ysize=1> 0 </map>\n</kindler>\n" + section(ROCK) +
                       "<map name=\"late\" xsize=2 ysize=2> 1 1 <r> 1 1 </map>\n";
    EXPECT_EQ("(loaded)", refusal(text));
    EXPECT_EQ(0, numtypes());
    EXPECT_STREQ("v\"", mapname());
    EXPECT_EQ(1, serverworld.mapsizex);
}

// ---------------------------------------------------------------------------
// Numbers go through the digit filter; names are taken verbatim.

using Values = Loader;

TEST_F(Values, DigitFilterBlanksEverythingButDigitsAndPoints)
{
    char token[] = "temp=-5.5e3\">";
    EXPECT_EQ(token, stripndec(token, ' '));
    EXPECT_STREQ("      5.5 3  ", token);
}

TEST_F(Values, QuotedSizeWithAttachedBracketGivesItsNumber)
{
    std::string text = wrap(section(OUTSIDE) + "<map name=\"q\" xsize=\"12\"> ysize=1>\n"
                                               "0 0 0 0 0 0 0 0 0 0 0 0 <r>\n</map>");
    EXPECT_EQ("(loaded)", refusal(text));
    EXPECT_EQ(12, serverworld.mapsizex);
    EXPECT_EQ(1, serverworld.mapsizey);
}

TEST_F(Values, MinusSignIsDroppedSoTempMinusFiveIsFive)
{
    std::string types = OUTSIDE + "<type name=cold num=3> temp=-5 calperc=2 </type>\n";
    EXPECT_EQ("(loaded)", refusal(wrap(section(types) + "<map name=\"t\" xsize=1 ysize=1> 3 </map>")));
    EXPECT_EQ(5, typenum(3)->temp);
    EXPECT_EQ(10.0L, cellno(0).totalcal);
}

TEST_F(Values, ExponentHasNoMeaningSoOneEMinusThreeIsOne)
{
    std::string types = OUTSIDE + "<type name=e num=3> cocon=1e-3 calperc=1 </type>\n";
    EXPECT_EQ("(loaded)", refusal(wrap(section(types) + "<map name=\"t\" xsize=1 ysize=1> 3 </map>")));
    EXPECT_EQ(1.0L, typenum(3)->cocon);
    EXPECT_EQ(1.0L, cellno(0).cocon);
}

TEST_F(Values, IntegerEndsAtThePointSoNumThreePointSevenIsThree)
{
    std::string types = OUTSIDE + "<type name=frac num=3.7> calperc=1 </type>\n";
    EXPECT_EQ("(loaded)", refusal(wrap(section(types) + "<map name=\"t\" xsize=1 ysize=1> 3 </map>")));
    ASSERT_NE(nullptr, typenum(3));
    EXPECT_STREQ("frac", typenum(3)->name.c_str());
}

TEST_F(Values, RealsAreReadInDoublePrecisionThenWidened)
{
    std::string types = OUTSIDE + "<type name=g num=3> cocon=0.2 calperc=2.5 burnspeed=0.3 </type>\n";
    EXPECT_EQ("(loaded)", refusal(wrap(section(types) + "<map name=\"t\" xsize=1 ysize=1> 3 </map>")));
    EXPECT_EQ((long double)0.2, typenum(3)->cocon);
    EXPECT_NE(0.2L, typenum(3)->cocon);
    EXPECT_EQ(2.5L, typenum(3)->calperc);
    EXPECT_EQ((long double)0.3, typenum(3)->burnspeed);
}

TEST_F(Values, IntegersBeyond32BitsSaturate)
{
    // temp 3000000000 is 2147483647 kelvins, not a wrapped negative one;
    // type 4294967298 is no type 2.
    EXPECT_EQ("(loaded)", refusal(wrap(section(OUTSIDE +
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
    std::string types = OUTSIDE + "<type name=z num=3> temp=warm calperc=1 ignitionpoint=high </type>\n";
    EXPECT_EQ("(loaded)", refusal(wrap(section(types) + "<map name=\"t\" xsize=1 ysize=1> 3 </map>")));
    EXPECT_EQ(0, typenum(3)->temp);
    EXPECT_EQ(0, typenum(3)->ignitionpoint);
}

TEST_F(Values, MapNameKeepsItsClosingQuote)
{
    EXPECT_EQ("(loaded)", refusal(wrap(section(OUTSIDE) + "<map name=\"meadow\" xsize=1 ysize=1> 0 </map>")));
    EXPECT_STREQ("meadow\"", mapname());
}

TEST_F(Values, MapNameWithoutQuoteIsNotRecognisedSoTheMapHasNoBlock)
{
    // The header waits for its name: sizes and values are all ignored.
    EXPECT_EQ("(loaded)", refusal(wrap(section(OUTSIDE) + "<map name=meadow xsize=1 ysize=1> 5 </map>")));
    EXPECT_EQ(nullptr, mapname());
    EXPECT_EQ(0, serverworld.mapsizex);
    EXPECT_EQ(0, serverworld.mapsizey);
}

TEST_F(Values, TypeNameIsVerbatim)
{
    std::string types = OUTSIDE + "<type name=grass num=2> calperc=1 </type>\n" +
                        "<type name=\"sand\"> num=3> calperc=1 </type>\n";
    EXPECT_EQ("(loaded)", refusal(wrap(section(types) + "<map name=\"t\" xsize=1 ysize=1> 3 </map>")));
    EXPECT_STREQ("grass", typenum(2)->name.c_str());
    EXPECT_STREQ("\"sand\">", typenum(3)->name.c_str());
    EXPECT_STREQ("outside", typenum(0)->name.c_str());
}

TEST_F(Values, SecondNameTokenReplacesTheFirst)
{
    std::string types = OUTSIDE + "<type name=first name=second num=3> calperc=1 </type>\n";
    EXPECT_EQ("(loaded)", refusal(wrap(section(types) + "<map name=\"t\" xsize=1 ysize=1> 3 </map>")));
    EXPECT_STREQ("second", typenum(3)->name.c_str());
}

TEST_F(Values, LongestTokenOfTwentyFourCharactersIsAccepted)
{
    // name= and 19 characters: the longest type name.
    std::string types = OUTSIDE + "<type name=abcdefghijklmnopqrs num=3> calperc=1 </type>\n";
    EXPECT_EQ("(loaded)", refusal(wrap(section(types) + "<map name=\"t\" xsize=1 ysize=1> 3 </map>")));
    EXPECT_STREQ("abcdefghijklmnopqrs", typenum(3)->name.c_str());
}

// ---------------------------------------------------------------------------
// Unit types: header, body, and where they count.

using UnitTypes = Loader;

TEST_F(UnitTypes, AnyTokenBeginningWithBlockSetsTheFlag)
{
    std::string types = OUTSIDE + "<type name=wall num=3> calperc=1 blocked </type>\n" +
                        "<type name=open num=4> calperc=1 </type>\n";
    EXPECT_EQ("(loaded)", refusal(wrap(section(types) + "<map name=\"t\" xsize=2 ysize=1> 3 4 </map>")));
    EXPECT_EQ(1, typenum(3)->block);
    EXPECT_EQ(0, typenum(4)->block);
    EXPECT_EQ(1, getcell(serverworld, 0, 0).block);
    EXPECT_EQ(0, getcell(serverworld, 1, 0).block);
}

TEST_F(UnitTypes, NumBeforeNameEndsTheHeaderAndTheNameIsIgnored)
{
    std::string types = OUTSIDE + "<type num=4 name=late> temp=7 calperc=1 </type>\n";
    EXPECT_EQ("(loaded)", refusal(wrap(section(types) + "<map name=\"t\" xsize=1 ysize=1> 4 </map>")));
    ASSERT_NE(nullptr, typenum(4));
    EXPECT_FALSE(typenum(4)->named);
    EXPECT_EQ(7, typenum(4)->temp);
}

TEST_F(UnitTypes, PropertiesInAnyOrderLaterOneWinsMissingOnesAreZero)
{
    std::string types = OUTSIDE + "<type name=p num=3>\n"
                                  "  calperf=400 temp=10 colour=red calperc=2 temp=30 fuellevel=9\n"
                                  "</type>\n";
    EXPECT_EQ("(loaded)", refusal(wrap(section(types) + "<map name=\"t\" xsize=1 ysize=1> 3 </map>")));
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
    std::string types = OUTSIDE + "<type> name=x num=3> calperc=1 </type>\n";
    EXPECT_EQ("(loaded)", refusal(wrap(section(types) + "<map name=\"t\" xsize=1 ysize=1> 0 </map>")));
    EXPECT_EQ(0, numtypes());
    EXPECT_EQ(nullptr, typenum(3));
}

TEST_F(UnitTypes, TwoTypesNumberedZeroTheFirstIsOutsideAndServesCells)
{
    std::string types = "<type name=first num=0> temp=20 calperc=1 cocon=0.1 </type>\n"
                        "<type name=second num=0> temp=90 calperc=3 cocon=0.5 </type>\n";
    EXPECT_EQ("(loaded)", refusal(wrap(section(types) + "<map name=\"t\" xsize=1 ysize=1> 0 </map>")));
    EXPECT_EQ(1, numtypes());
    EXPECT_EQ(0, findunittype(loaded, 0));
    EXPECT_EQ(20.0L, serverworld.outside.totalcal);
    EXPECT_EQ(20.0L, cellno(0).totalcal);
    EXPECT_EQ((long double)0.1, cellno(0).cocon);
}

TEST_F(UnitTypes, TypeAfterTheMapBlockGetsNameAndNumberButNoProperties)
{
    std::string text = wrap(section(OUTSIDE) + "<map name=\"t\" xsize=1 ysize=1> 0 </map>\n" +
                            "<type name=late num=7> temp=50 calperc=3 block </type>");
    EXPECT_EQ("(loaded)", refusal(text));
    const UNITTYPE *t = typenum(7);
    ASSERT_NE(nullptr, t);
    EXPECT_STREQ("late", t->name.c_str());
    EXPECT_EQ(0, t->temp);
    EXPECT_EQ(0.0L, t->calperc);
    EXPECT_EQ(0, t->block);
}

TEST_F(UnitTypes, TypeBeforeTheMapOutsideTheSectionIsIgnored)
{
    std::string text = wrap(section(OUTSIDE) + "<type name=stray num=9> temp=5 calperc=1 </type>\n" +
                            "<map name=\"t\" xsize=1 ysize=1> 9 </map>");
    EXPECT_EQ("Error! Invalid unittype in map! unittype = 9\n", refusal(text));
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

using MapBlock = Loader;

TEST_F(MapBlock, MapTagWithAttachedBracketOpensNothing)
{
    std::string text = wrap(section(OUTSIDE) + "<map> name=\"t\" xsize=2 ysize=1> 0 0 <r> </map>");
    EXPECT_EQ("(loaded)", refusal(text));
    EXPECT_EQ(nullptr, mapname());
    EXPECT_EQ(0, serverworld.mapsizex);
    EXPECT_EQ(0, serverworld.mapsizey);
}

TEST_F(MapBlock, HeaderTokensOutOfOrderAreIgnored)
{
    // ysize before xsize: the header never completes, so no block is read
    // and the values are ignored.
    std::string text = wrap(section(OUTSIDE) + "<map name=\"t\" ysize=1 xsize=2> 0 0 </map>");
    EXPECT_EQ("(loaded)", refusal(text));
    EXPECT_EQ(2, serverworld.mapsizex);
    EXPECT_EQ(0, serverworld.mapsizey);
}

TEST_F(MapBlock, CellValueXIsZeroTheOutsideType)
{
    EXPECT_EQ("(loaded)", refusal(wrap(section(OUTSIDE + GRASS) + "<map name=\"t\" xsize=2 ysize=1> x 2 </map>")));
    EXPECT_EQ(20.0L, cellno(0).totalcal);
    EXPECT_EQ(1.0L, cellno(0).calperc);
    EXPECT_EQ(2.0L, cellno(1).calperc);
}

TEST_F(MapBlock, CellValueMinusThreeIsNoType)
{
    EXPECT_EQ("Error! Invalid unittype in map! unittype = -3\n",
              refusal(wrap(section(OUTSIDE) + "<map name=\"t\" xsize=2 ysize=1> 0 -3 </map>")));
}

TEST_F(MapBlock, CellValuesBeyond32BitsSaturate)
{
    EXPECT_EQ("Error! Invalid unittype in map! unittype = 2147483647\n",
              refusal(wrap(section(OUTSIDE) + "<map name=\"t\" xsize=2 ysize=1> 0 4294967296 </map>")));
    EXPECT_EQ("Error! Invalid unittype in map! unittype = -2147483648\n",
              refusal(wrap(section(OUTSIDE) + "<map name=\"t\" xsize=2 ysize=1> 0 -4294967295 </map>")));
}

TEST_F(MapBlock, CellValueTakesLeadingDigitsOnly)
{
    // 2x and 2,1 are both 2; a tag inside the block is a value of 0.
    EXPECT_EQ("(loaded)",
              refusal(wrap(section(OUTSIDE + GRASS) + "<map name=\"t\" xsize=3 ysize=1> 2x 2,1 <start> </map>")));
    EXPECT_EQ(2.0L, getcell(serverworld, 0, 0).calperc);
    EXPECT_EQ(2.0L, getcell(serverworld, 1, 0).calperc);
    EXPECT_EQ(1.0L, getcell(serverworld, 2, 0).calperc);
    EXPECT_EQ(0, s_pointsnum());
}

TEST_F(MapBlock, ValuesLandColumnMajorFirstRowIsYZero)
{
    std::string types = OUTSIDE;
    for (int n = 1; n <= 6; n++)
        types += "<type name=t num=" + std::to_string(n) + "> temp=" + std::to_string(10 * n) +
                 " calperc=1 </type>\n";
    std::string text = wrap(section(types) + "<map name=\"t\" xsize=3 ysize=2>\n"
                                             "1 2 3 <r>\n"
                                             "4 5 6 <r>\n"
                                             "</map>");
    EXPECT_EQ("(loaded)", refusal(text));
    ASSERT_EQ(3, serverworld.mapsizex);
    ASSERT_EQ(2, serverworld.mapsizey);
    // Element x * serverworld.mapsizey + y holds column x of row y.
    const long double want[6] = {10, 40, 20, 50, 30, 60};
    for (int i = 0; i < 6; i++)
        EXPECT_EQ(want[i], cellno(i).totalcal) << "element " << i;
    EXPECT_EQ(20.0L, getcell(serverworld, 1, 0).totalcal);
    EXPECT_EQ(60.0L, getcell(serverworld, 2, 1).totalcal);
}

TEST_F(MapBlock, LastRowTerminatorMayBeLeftOut)
{
    EXPECT_EQ("(loaded)", refusal(wrap(section(OUTSIDE + GRASS) + "<map name=\"t\" xsize=2 ysize=2> 2 2 <r> 2 0 </map>")));
    EXPECT_EQ(1.0L, getcell(serverworld, 1, 1).calperc);
}

TEST_F(MapBlock, CompleteBlockEndedByTheEndOfTheFileCounts)
{
    std::string text = "<kindler version=\"0.2\">\n" + section(OUTSIDE + GRASS) +
                       "<map name=\"t\" xsize=2 ysize=2> 2 2 <r> 0 2";
    EXPECT_EQ("(loaded)", refusal(text));
    EXPECT_EQ(1.0L, getcell(serverworld, 0, 1).calperc);
    EXPECT_EQ(2.0L, getcell(serverworld, 1, 1).calperc);
}

TEST_F(MapBlock, SecondMapElementReplacesTheFirst)
{
    std::string text = wrap(section(OUTSIDE + GRASS) + "<map name=\"one\" xsize=3 ysize=1> 2 2 2 </map>\n" +
                            "<map name=\"two\" xsize=1 ysize=2> 0 <r> 2 <r> </map>");
    EXPECT_EQ("(loaded)", refusal(text));
    EXPECT_STREQ("two\"", mapname());
    EXPECT_EQ(1, serverworld.mapsizex);
    EXPECT_EQ(2, serverworld.mapsizey);
    EXPECT_EQ(1.0L, getcell(serverworld, 0, 0).calperc);
    EXPECT_EQ(2.0L, getcell(serverworld, 0, 1).calperc);
}

TEST_F(MapBlock, StrayTokenAfterTheBlockStartsANewBlock)
{
    EXPECT_EQ("(loaded)", refusal(wrap(section(OUTSIDE + GRASS) + "<map name=\"t\" xsize=1 ysize=1> 0 </map>\n2 </map>")));
    EXPECT_EQ(2.0L, cellno(0).calperc);
}

TEST_F(MapBlock, ZeroByZeroGridIsValid)
{
    EXPECT_EQ("(loaded)", refusal(wrap(section(OUTSIDE) + "<map name=\"e\" xsize=0 ysize=0>\n</map>")));
    EXPECT_EQ(0, serverworld.mapsizex);
    EXPECT_EQ(0, serverworld.mapsizey);
    EXPECT_EQ(0u, ncells(serverworld));
    EXPECT_EQ(20.0L, serverworld.outside.totalcal);
    EXPECT_STREQ("e\"", mapname());
}

TEST_F(MapBlock, GridWithOneSideZeroIsValidAndHasNoCells)
{
    EXPECT_EQ("(loaded)", refusal(wrap(section(OUTSIDE) + "<map name=\"e\" xsize=3 ysize=0>\n</map>")));
    EXPECT_EQ(3, serverworld.mapsizex);
    EXPECT_EQ(0u, ncells(serverworld));
    EXPECT_FALSE(onmap(serverworld, 0, 0));
    EXPECT_EQ(-1, cellindex(serverworld, 1, 0));
}

// ---------------------------------------------------------------------------
// Start positions.

using StartPositions = Loader;

namespace {
// A 3 x 3 grass map whose start section holds `tokens`.
std::string startmap(const std::string &tokens)
{
    return wrap(section(OUTSIDE + GRASS) + "<map name=\"s\" xsize=3 ysize=3> 2 2 2 <r> 2 2 2 <r> 2 2 2 <r> </map>\n" +
                "<start> " + tokens + " </start>");
}
} // namespace

TEST_F(StartPositions, PositionsKeepFileOrderAnySeparatorAndSign)
{
    EXPECT_EQ("(loaded)", refusal(startmap("2,3 -1;2 0x9")));
    ASSERT_EQ(3, s_pointsnum());
    EXPECT_EQ(2, loaded.s_points[0].x);
    EXPECT_EQ(3, loaded.s_points[0].y);
    EXPECT_EQ(-1, loaded.s_points[1].x);
    EXPECT_EQ(2, loaded.s_points[1].y);
    EXPECT_EQ(0, loaded.s_points[2].x);
    EXPECT_EQ(9, loaded.s_points[2].y);
}

TEST_F(StartPositions, SingleNumberEndsTheSection)
{
    // Nothing but </start> follows the 5: a position there would be read
    // as the first value of a new map block.
    EXPECT_EQ("(loaded)", refusal(startmap("1,2 5")));
    ASSERT_EQ(1, s_pointsnum());
    EXPECT_EQ(1, loaded.s_points[0].x);
    EXPECT_EQ(2, loaded.s_points[0].y);
}

TEST_F(StartPositions, DoubleSeparatorEndsTheSection)
{
    EXPECT_EQ("(loaded)", refusal(startmap("1,1 2,,3")));
    EXPECT_EQ(1, s_pointsnum());
}

TEST_F(StartPositions, PositionAfterTheSectionEndedStartsANewMapBlock)
{
    // "stop" ends the section; "2,1" then opens a new 3 x 3 block in which
    // </start> and </kindler> are values too, and the file ends after 3.
    EXPECT_EQ("Error! Map block ends at row 0, column 3, before all 3 x 3 cells were given.\n",
              refusal(startmap("1,1 stop 2,1")));
}

TEST_F(StartPositions, SectionBetweenUnitTypesAndMapIsSkipped)
{
    std::string text = wrap(section(OUTSIDE + GRASS) + "<start> 1,1 2,2 </start>\n" +
                            "<map name=\"s\" xsize=1 ysize=1> 2 </map>");
    EXPECT_EQ("(loaded)", refusal(text));
    EXPECT_EQ(0, s_pointsnum());
}

TEST_F(StartPositions, SectionInsideTheUnitTypeSectionIsRead)
{
    std::string text = wrap(section(OUTSIDE + "<start> 0,0 </start>\n" + GRASS) +
                            "<map name=\"s\" xsize=1 ysize=1> 2 </map>");
    EXPECT_EQ("(loaded)", refusal(text));
    ASSERT_EQ(1, s_pointsnum());
    EXPECT_EQ(0, loaded.s_points[0].x);
}

TEST_F(StartPositions, PositionsAreNotComparedWithTheGrid)
{
    EXPECT_EQ("(loaded)", refusal(startmap("40,50")));
    ASSERT_EQ(1, s_pointsnum());
    EXPECT_EQ(40, loaded.s_points[0].x);
    EXPECT_EQ(50, loaded.s_points[0].y);
}

// ---------------------------------------------------------------------------
// The column-major index and the outside rule.

using Positions = Loader;

TEST_F(Positions, EmptyWorldHasNoCellsAndEverythingIsOutside)
{
    resetall();
    EXPECT_EQ(0, serverworld.mapsizex);
    EXPECT_EQ(0, serverworld.mapsizey);
    EXPECT_FALSE(onmap(serverworld, 0, 0));
    EXPECT_EQ(-1, cellindex(serverworld, 0, 0));
    EXPECT_EQ(0.0L, serverworld.outside.totalcal);
}

TEST_F(Positions, RowBeyondTheHeightIsOutsideNotTheNextColumn)
{
    // serverworld.mapsizey 4: (0, 4) would have index 4, the cell (1, 0).
    loadtext(maptext(OUTSIDE + GRASS, {"222", "222", "222", "222"}));
    ASSERT_EQ(3, serverworld.mapsizex);
    ASSERT_EQ(4, serverworld.mapsizey);
    EXPECT_FALSE(onmap(serverworld, 0, 4));
    EXPECT_EQ(-1, cellindex(serverworld, 0, 4));
    EXPECT_EQ(4, cellindex(serverworld, 1, 0));
    EXPECT_EQ(2 * 4 + 3, cellindex(serverworld, 2, 3));
    EXPECT_EQ(1 * 4 + 2, cellindex(serverworld, 1, 2));
}

TEST_F(Positions, EachCoordinateIsTestedAgainstItsOwnSize)
{
    loadtext(maptext(OUTSIDE + GRASS, {"2222", "2222"})); // 4 wide, 2 high
    EXPECT_TRUE(onmap(serverworld, 3, 1));
    EXPECT_TRUE(onmap(serverworld, 0, 0));
    EXPECT_FALSE(onmap(serverworld, 4, 0)); // (serverworld.mapsizex, 0)
    EXPECT_FALSE(onmap(serverworld, 0, 2));
    EXPECT_FALSE(onmap(serverworld, 1, 3));
    EXPECT_FALSE(onmap(serverworld, -1, 2));
    EXPECT_FALSE(onmap(serverworld, 0, -1));
    EXPECT_FALSE(onmap(serverworld, -1, -1));
    EXPECT_FALSE(onmap(serverworld, 1000000, 1));
    EXPECT_EQ(-1, cellindex(serverworld, 4, 0));
    EXPECT_EQ(-1, cellindex(serverworld, -1, 2));
    EXPECT_EQ(-1, cellindex(serverworld, 0, -1));
}

TEST_F(Positions, AllNeighboursOfTheOnlyCellAreOutside)
{
    loadtext(maptext(OUTSIDE + GRASS, {"2"}));
    EXPECT_EQ(0, cellindex(serverworld, 0, 0));
    for (int dx = -1; dx <= 1; dx++)
        for (int dy = -1; dy <= 1; dy++) {
            if (dx || dy) {
                EXPECT_EQ(-1, cellindex(serverworld, dx, dy)) << dx << "," << dy;
            }
        }
}

// ---------------------------------------------------------------------------
// Cells built from their unit types.

using Cells = Loader;

TEST_F(Cells, TotalcalIsTempTimesCalpercInExtendedPrecision)
{
    std::string types = OUTSIDE + GRASS + "<type name=light num=3> temp=3 calperc=0.1 </type>\n";
    loadtext(maptext(types, {"23"}));
    EXPECT_EQ(40.0L, getcell(serverworld, 0, 0).totalcal);
    // 3 x 0.1 taken in long double, not rounded to double.
    long double want = 3.0L * (long double)0.1;
    EXPECT_EQ(want, getcell(serverworld, 1, 0).totalcal);
    EXPECT_NE((long double)(3.0 * 0.1), getcell(serverworld, 1, 0).totalcal);
}

TEST_F(Cells, EveryPropertyComesFromItsTypeByName)
{
    loadtext(maptext(OUTSIDE + ROCK + GRASS, {"21"}));
    const MAPUNIT gcell = getcell(serverworld, 0, 0), *g = &gcell;
    EXPECT_EQ(40.0L, g->totalcal);
    EXPECT_EQ((long double)0.2, g->cocon);
    EXPECT_EQ(2.0L, g->calperc);
    EXPECT_EQ(250, g->ignitionpoint);
    EXPECT_EQ(30.0L, g->fuellevel);
    EXPECT_EQ(400.0L, g->calperf);
    EXPECT_EQ(3.0L, g->burnspeed);
    EXPECT_EQ(0, g->block);
    const MAPUNIT rcell = getcell(serverworld, 1, 0), *r = &rcell;
    EXPECT_EQ(60.0L, r->totalcal);
    EXPECT_EQ((long double)0.05, r->cocon);
    EXPECT_EQ(900, r->ignitionpoint);
    EXPECT_EQ(1, r->block);
}

TEST_F(Cells, EveryAttributionSlotStartsEmpty)
{
    loadtext(maptext(OUTSIDE + ROCK + GRASS, {"212", "121", "000"}));
    for (size_t i = 0; i < ncells(serverworld); i++)
        for (int s = 0; s < NUMSLOTS; s++) {
            EXPECT_EQ(0, cellno(i).heatsource[s]) << "cell " << i << " slot " << s;
            EXPECT_EQ(0.0L, cellno(i).sourcequan[s]) << "cell " << i << " slot " << s;
        }
}

TEST_F(Cells, OutsideTakesTypeZeroButNeverBlocksNorHoldsTags)
{
    std::string types = "<type name=hot num=0> temp=30 cocon=0.4 calperc=2 ignitionpoint=77 "
                        "fuellevel=5 burnspeed=1.5 calperf=9 block </type>\n" +
                        GRASS;
    loadtext(maptext(types, {"2"}));
    EXPECT_EQ(60.0L, serverworld.outside.totalcal);
    EXPECT_EQ((long double)0.4, serverworld.outside.cocon);
    EXPECT_EQ(2.0L, serverworld.outside.calperc);
    EXPECT_EQ(77, serverworld.outside.ignitionpoint);
    EXPECT_EQ(5.0L, serverworld.outside.fuellevel);
    EXPECT_EQ(1.5L, serverworld.outside.burnspeed);
    EXPECT_EQ(9.0L, serverworld.outside.calperf);
    EXPECT_EQ(0, serverworld.outside.block);
    for (int s = 0; s < NUMSLOTS; s++) {
        EXPECT_EQ(0, serverworld.outside.heatsource[s]);
        EXPECT_EQ(0.0L, serverworld.outside.sourcequan[s]);
    }
}

TEST_F(Cells, BothGridsHaveOneCellPerPosition)
{
    loadtext(maptext(OUTSIDE + GRASS, {"22222", "22222", "22222"}));
    EXPECT_EQ(15u, ncells(serverworld));
    EXPECT_EQ(15u, serverworld.curmap->heat.size());
    EXPECT_EQ(15u, serverworld.oldmap->heat.size());
    EXPECT_NE(serverworld.curmap, serverworld.oldmap);
}

// ---------------------------------------------------------------------------
// Files refused, each with its one "Error! " line.

using Refusals = Loader;

TEST_F(Refusals, TokenLongerThanTwentyFourCharactersShowsItsFirstTwentyFour)
{
    EXPECT_EQ("Error! Token longer than 24 characters: \"abcdefghijklmnopqrstuvwx...\"\n",
              refusal(wrap(section(OUTSIDE) + "abcdefghijklmnopqrstuvwxy")));
    // Anywhere in the file, even outside the root element.
    EXPECT_EQ("Error! Token longer than 24 characters: \"<type-name=outside-num=0...\"\n",
              refusal("<type-name=outside-num=0>\n" + wrap(section(OUTSIDE))));
    // A map name that does not fit.
    EXPECT_EQ("Error! Token longer than 24 characters: \"name=\"averyveryverylongn...\"\n",
              refusal(wrap(section(OUTSIDE) + "<map name=\"averyveryverylongname\" xsize=0 ysize=0> </map>")));
}

TEST_F(Refusals, TokenWithNulBytesShowsThemAsQuestionMarks)
{
    std::string token = std::string("ab") + '\0' + "cdefghijklmnopqrstuvwxyz";
    EXPECT_EQ("Error! Token longer than 24 characters: \"ab?cdefghijklmnopqrstuvw...\"\n",
              refusal(wrap(section(OUTSIDE) + token)));
}

TEST_F(Refusals, RowShorterThanXsize)
{
    EXPECT_EQ("Error! Map row 1 has 3 values but xsize is 4.\n",
              refusal(wrap(section(OUTSIDE) + "<map name=\"r\" xsize=4 ysize=2> 0 0 0 0 <r> 0 0 0 <r> </map>")));
}

TEST_F(Refusals, RowLongerThanXsize)
{
    EXPECT_EQ("Error! Map row 0 has more than 2 values: value at column 2.\n",
              refusal(wrap(section(OUTSIDE) + "<map name=\"r\" xsize=2 ysize=2> 0 0 0 <r> 0 0 <r> </map>")));
}

TEST_F(Refusals, MoreRowsThanYsize)
{
    EXPECT_EQ("Error! Map block has more than 1 rows: value at row 1, column 0.\n",
              refusal(wrap(section(OUTSIDE) + "<map name=\"r\" xsize=2 ysize=1> 0 0 <r> 0 0 <r> </map>")));
    EXPECT_EQ("Error! Map block has more than 1 rows: extra \"<r>\" after row 0.\n",
              refusal(wrap(section(OUTSIDE) + "<map name=\"r\" xsize=2 ysize=1> 0 0 <r> <r> </map>")));
}

TEST_F(Refusals, FewerRowsThanYsize)
{
    EXPECT_EQ("Error! Map block ends at row 2, column 0, before all 2 x 3 cells were given.\n",
              refusal(wrap(section(OUTSIDE) + "<map name=\"r\" xsize=2 ysize=3> 0 0 <r> 0 0 <r> </map>")));
}

TEST_F(Refusals, LastRowShortAtTheEndOfTheBlockOrOfTheFile)
{
    EXPECT_EQ("Error! Map block ends at row 1, column 1, before all 2 x 2 cells were given.\n",
              refusal(wrap(section(OUTSIDE) + "<map name=\"r\" xsize=2 ysize=2> 0 0 <r> 0 </map>")));
    EXPECT_EQ("Error! Map block ends at row 1, column 1, before all 2 x 2 cells were given.\n",
              refusal("<kindler version=\"0.2\">\n" + section(OUTSIDE) +
                      "<map name=\"r\" xsize=2 ysize=2> 0 0 <r> 0"));
}

TEST_F(Refusals, HeaderWithCellsButNoBlock)
{
    EXPECT_EQ("Error! The map header declares 2 x 3 cells but the file has no map block.\n",
              refusal(wrap(section(OUTSIDE) + "<map name=\"r\" xsize=2 ysize=3>\n</map>")));
}

TEST_F(Refusals, LaterHeaderWithoutBlockOfItsOwnDoesNotReuseTheEarlierBlock)
{
    // The first block holds one cell; the second header declares 2500 and
    // has no block: the old block must not stand in for it.
    EXPECT_EQ("Error! The map header declares 50 x 50 cells but the file has no map block.\n",
              refusal(wrap(section(OUTSIDE) + "<map name=\"a\" xsize=1 ysize=1> 0 </map>\n" +
                           "<map name=\"b\" xsize=50 ysize=50>\n</map>")));
    // A header that only changes the width, its height token missing.
    EXPECT_EQ("Error! The map header declares 40 x 1 cells but the file has no map block.\n",
              refusal(wrap(section(OUTSIDE) + "<map name=\"a\" xsize=1 ysize=1> 0 </map>\n" +
                           "<map name=\"b\" xsize=40>\n</map>")));
}

TEST_F(Refusals, CalpercZeroOfAUsedType)
{
    std::string types = OUTSIDE + "<type name=void num=4> temp=20 cocon=0.1 </type>\n";
    EXPECT_EQ("Error! Unit type 4 has calperc 0: its cells would have no temperature.\n",
              refusal(wrap(section(types) + "<map name=\"c\" xsize=2 ysize=1> 0 4 </map>")));
    std::string given = OUTSIDE + "<type name=void num=4> temp=20 calperc=0 </type>\n";
    EXPECT_EQ("Error! Unit type 4 has calperc 0: its cells would have no temperature.\n",
              refusal(wrap(section(given) + "<map name=\"c\" xsize=1 ysize=1> 4 </map>")));
}

TEST_F(Refusals, OtherFaultsOfTheFileAreReportedBeforeCalpercZero)
{
    std::string types = OUTSIDE + "<type name=void num=4> temp=20 </type>\n";
    // An invalid cell after one of the type without heat capacity.
    EXPECT_EQ("Error! Invalid unittype in map! unittype = 7\n",
              refusal(wrap(section(types) + "<map name=\"c\" xsize=2 ysize=1> 4 7 </map>")));
    // No outside type at all.
    EXPECT_EQ(NOOUTSIDE, refusal(wrap(section("<type name=void num=4> temp=20 </type>\n") +
                                      "<map name=\"c\" xsize=1 ysize=1> 4 </map>")));
}

TEST_F(Refusals, CalpercZeroOfTheOutsideTypeIsAcceptedWithoutCells)
{
    std::string types = "<type name=outside num=0> temp=20 cocon=0.1 </type>\n";
    EXPECT_EQ("(loaded)", refusal(wrap(section(types) + "<map name=\"c\" xsize=0 ysize=0>\n</map>")));
    EXPECT_EQ(0L, serverworld.mapsizex);
}

TEST_F(Refusals, CalpercZeroOfAnUnusedTypeIsAccepted)
{
    std::string types = OUTSIDE + GRASS + "<type name=void num=4> temp=20 </type>\n";
    EXPECT_EQ("(loaded)", refusal(wrap(section(types) + "<map name=\"c\" xsize=1 ysize=1> 2 </map>")));
}

TEST_F(Refusals, CalpercZeroOfTheOutsideType)
{
    std::string types = "<type name=outside num=0> temp=20 cocon=0.1 </type>\n" + GRASS;
    EXPECT_EQ("Error! Unit type 0 (outside) has calperc 0: the surroundings would have no temperature.\n",
              refusal(wrap(section(types) + "<map name=\"c\" xsize=1 ysize=1> 2 </map>")));
}

TEST_F(Refusals, InvalidUnittypeFirstInColumnOrder)
{
    // 9 comes first in the file, but column 0 is filled before column 1.
    std::string text = wrap(section(OUTSIDE) + "<map name=\"c\" xsize=2 ysize=2> 0 9 <r> 8 0 </map>");
    EXPECT_EQ("Error! Invalid unittype in map! unittype = 8\n", refusal(text));
}

TEST_F(Refusals, InvalidUnittypeBeforeMissingOutsideType)
{
    EXPECT_EQ("Error! Invalid unittype in map! unittype = 5\n",
              refusal(wrap(section(GRASS) + "<map name=\"c\" xsize=2 ysize=1> 2 5 </map>")));
}

TEST_F(Refusals, NoOutsideType)
{
    EXPECT_EQ(NOOUTSIDE, refusal(wrap(section(GRASS) + "<map name=\"c\" xsize=2 ysize=1> 2 2 </map>")));
    EXPECT_EQ(NOOUTSIDE, refusal(""));
}

// ---------------------------------------------------------------------------
// The shipped maps.

using ShippedMaps = Loader;

TEST_F(ShippedMaps, MeadowIsTheFourByThreeExample)
{
    loadtext(readfile(mapspath("meadow.map")));
    EXPECT_EQ(4, serverworld.mapsizex);
    EXPECT_EQ(3, serverworld.mapsizey);
    EXPECT_STREQ("meadow\"", mapname());
    EXPECT_EQ(1, getcell(serverworld, 0, 1).block);
    EXPECT_EQ(-1, cellindex(serverworld, 4, 0));
    EXPECT_EQ(20.0L, getcell(serverworld, 2, 2).totalcal); // outside type inside the grid
    ASSERT_EQ(2, s_pointsnum());
    EXPECT_EQ(1, loaded.s_points[0].x);
    EXPECT_EQ(2, loaded.s_points[1].x);
}

namespace {
// Cells that have caught fire: at or past their ignition point with fuel
// left, or with less fuel than they were loaded with.
int cellsafire(const std::vector<long double> &loadedfuel)
{
    int n = 0;
    for (size_t i = 0; i < ncells(serverworld); i++) {
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
    for (size_t i = 0; i < ncells(serverworld); i++)
        fuel.push_back(cellno(i).fuellevel);
    return fuel;
}
} // namespace

TEST_F(ShippedMaps, ValleyIsALargerPlayableMap)
{
    loadtext(readfile(mapspath("valley.map")));
    EXPECT_EQ(64, serverworld.mapsizex);
    EXPECT_EQ(40, serverworld.mapsizey);
    EXPECT_STREQ("valley\"", mapname());
    ASSERT_NE(nullptr, typenum(0));
    EXPECT_GT(serverworld.outside.calperc, 0.0L);
    // Grass, forest, dry brush, rock that blocks, water that does not burn.
    int blocking = 0, water = 0, fuelled = 0;
    for (long i = 1; i <= numtypes(); i++) {
        const UNITTYPE *t = &loaded.unittypelist[i];
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
        ASSERT_TRUE(onmap(serverworld, loaded.s_points[i].x, loaded.s_points[i].y)) << "start " << i;
        EXPECT_EQ(0, getcell(serverworld, loaded.s_points[i].x, loaded.s_points[i].y).block) << "start " << i;
        for (int j = 0; j < i; j++) {
            long dx = loaded.s_points[i].x - loaded.s_points[j].x, dy = loaded.s_points[i].y - loaded.s_points[j].y;
            EXPECT_GE(dx * dx + dy * dy, 100) << "starts " << j << " and " << i;
        }
    }
}

TEST_F(ShippedMaps, ValleyGrassCatchesFromTwoFiresAndSpreadsOverSeconds)
{
    std::string text = readfile(mapspath("valley.map"));
    loadtext(text);
    long g = -1;
    for (long i = 0; i <= numtypes(); i++)
        if (loaded.unittypelist[(size_t)i].named && loaded.unittypelist[(size_t)i].name == "grass")
            g = i;
    ASSERT_GE(g, 0);
    const UNITTYPE grass = loaded.unittypelist[g];
    const std::vector<long double> atstart = fuelnow();
    // A grass cell in the middle of grass.
    long fx = -1, fy = -1;
    for (long x = 2; x < serverworld.mapsizex - 2 && fx < 0; x++)
        for (long y = 2; y < serverworld.mapsizey - 2 && fx < 0; y++) {
            bool all = true;
            for (int dx = -2; dx <= 2; dx++)
                for (int dy = -2; dy <= 2; dy++)
                    all = all && getcell(serverworld, x + dx, y + dy).calperc == grass.calperc &&
                          getcell(serverworld, x + dx, y + dy).fuellevel == grass.fuellevel;
            if (all) {
                fx = x;
                fy = y;
            }
        }
    ASSERT_GE(fx, 0);

    // One fire alone does not light grass.
    addfire(serverworld, fx, fy, 1);
    for (int t = 0; t < 50; t++)
        dophys(serverworld);
    EXPECT_EQ(0, cellsafire(atstart));

    // Two fires do, and the fire stays in its cell for the first tick...
    loadtext(text);
    addfire(serverworld, fx, fy, 1);
    addfire(serverworld, fx, fy, 1);
    dophys(serverworld);
    EXPECT_EQ(1, cellsafire(atstart));
    // ...still burns a second later without having jumped yet...
    for (int t = 1; t < 10; t++)
        dophys(serverworld);
    EXPECT_EQ(1, cellsafire(atstart));
    // ...and has spread well beyond its neighbours within 20 s.
    for (int t = 10; t < 200; t++)
        dophys(serverworld);
    EXPECT_GT(cellsafire(atstart), 25);
}
