// HELLO, PLAYERS and YOU as a client decodes them (each unit type of a map
// its own material), and the colours a page draws against the terminal
// client's.
#include <gtest/gtest.h>

#include <cstring>

#include "colours.h"
#include "decoder.h"
#include "messages.h"
#include "streamtesting.h"
#include "support.h"

namespace {

MATERIAL material(int ignition, long double calperc, int block)
{
    MATERIAL m;
    std::memset(&m, 0, sizeof m);
    m.calperc = calperc;
    m.ignitionpoint = ignition;
    m.block = block;
    m.cocon = 0.5L;
    return m;
}

// A 3 x 2 world of grass, rock and an unnamed fuel.
void namedworld(WORLD &w)
{
    allocworld(w, 3, 2);
    w.mapname = "valley\"";
    addmaterial(w, material(250, 2, 0), "grass", 30);
    addmaterial(w, material(900, 1, 1), "rock", 0);
    addmaterial(w, material(330, 3, 0), "", 70);
}

void hello(DECODEDSTREAM &c, const WORLD &w, uint32_t tick)
{
    const std::string m = hellofor(w, tick);
    EXPECT_EQ(applymessage(c, m.data(), m.size()), "");
}

PLAYERINFO player(int num, const char *name, int x, int y)
{
    PLAYERINFO p;
    std::memset(&p, 0, sizeof p);
    p.num = num;
    std::strncpy(p.name, name, sizeof p.name);
    p.x = x;
    p.y = y;
    p.health = 100 - num;
    p.score = 7 * num;
    return p;
}

} // namespace

TEST(Hello, CarriesTheMapTheMaterialsWithTheirColoursAndTheRamp)
{
    WORLD w;
    namedworld(w);
    DECODEDSTREAM c;
    hello(c, w, 77);
    EXPECT_EQ(c.grid.sizex, 3);
    EXPECT_EQ(c.grid.sizey, 2);
    EXPECT_EQ(c.tick, 77u);
    EXPECT_EQ(c.mapname, "valley\"");
    EXPECT_EQ(c.coldlimit, 320);
    EXPECT_EQ(c.hurt, 383);
    ASSERT_EQ(c.materials.size(), 3u);
    for (size_t m = 0; m < 3; m++) {
        const RGB want = materialcolour(w.materials[m], (double)w.materialfuel[m], w.materialnames[m].c_str());
        EXPECT_EQ(c.materials[m].colour.r, want.r);
        EXPECT_EQ(c.materials[m].colour.g, want.g);
        EXPECT_EQ(c.materials[m].colour.b, want.b);
        EXPECT_EQ(c.materials[m].name, w.materialnames[m]);
        EXPECT_EQ(c.materials[m].ignitionpoint, w.materials[m].ignitionpoint);
        EXPECT_EQ(c.materials[m].fuel, (float)w.materialfuel[m]);
    }
    EXPECT_TRUE(c.materials[1].block);
    EXPECT_FALSE(c.materials[0].block);
    ASSERT_EQ(c.ramp.size(), (size_t)(RAMPLAST - RAMPFIRST + 1));
    for (int k = RAMPFIRST; k <= RAMPLAST; k += 7) {
        const RGB want = heatramp(k);
        const RGB got = c.ramp[(size_t)(k - RAMPFIRST)];
        EXPECT_TRUE(got.r == want.r && got.g == want.g && got.b == want.b) << k;
    }
}

TEST(Hello, UnitTypesThatDifferOnlyInFuelOrNameKeepTheirOwnMaterial)
{
    // Grass, a tuft (grass with less fuel) and a meadow (grass by another
    // name), one cell each.
    const std::string grass = "temp=20 cocon=0.5 calperc=2 ignitionpoint=900 burnspeed=3 calperf=400";
    loadmaptext(maptext("<type name=outside num=0> temp=20 cocon=0 calperc=1 </type>\n"
                        "<type name=grass num=1> " + grass + " fuellevel=100 </type>\n"
                        "<type name=tuft num=2> " + grass + " fuellevel=30 </type>\n"
                        "<type name=meadow num=3> " + grass + " fuellevel=100 </type>\n",
                        {"123"}));
    WORLD &w = testgame.world;
    DECODEDSTREAM c;
    hello(c, w, 0);
    ASSERT_EQ(c.materials.size(), 3u);
    EXPECT_EQ(c.materials[1].name, "tuft");
    EXPECT_EQ(c.materials[1].fuel, 30.0f);
    EXPECT_EQ(c.materials[2].name, "meadow");
    // The tuft with 2.5% of its own fuel left is not burnt.
    pthread_mutex_lock(&w.oldmap_lock);
    store80(w.fuellevel[1], 0.75L);
    DRAWN d;
    drawworld(w, d);
    pthread_mutex_unlock(&w.oldmap_lock);
    EXPECT_EQ(d.material[1], 1);
    EXPECT_EQ(d.state[1], CELLPLAIN);
}

TEST(Players, ListsThePresentPlayersWithTheirNumbersAndWebFlags)
{
    std::vector<STREAMPLAYER> list(4);
    list[0].info = player(0, "alice", 1, 2);
    list[1].info = player(-1, "gone", 0, 0);
    list[2].info = player(2, "bob", 5, 6);
    list[2].web = true;
    list[3].info = player(3, "", 0, 1);
    std::memset(list[3].info.name, 'z', sizeof list[3].info.name); // no NUL at all
    DECODEDSTREAM c;
    const std::string m = encodeplayers(9, list);
    ASSERT_EQ(applymessage(c, m.data(), m.size()), "");
    EXPECT_EQ(c.everplayers, 4u);
    ASSERT_EQ(c.players.size(), 3u);
    EXPECT_EQ(c.players[0], (CLIENTPLAYER{0, 1, 2, 100, 0, false, "alice"}));
    EXPECT_EQ(c.players[1], (CLIENTPLAYER{2, 5, 6, 98, 14, true, "bob"}));
    EXPECT_EQ(c.players[2].name, std::string(30, 'z'));
}

TEST(You, CarriesTheNumberAndTokenOrMinusOneAndNoTokenButAReason)
{
    DECODEDSTREAM c;
    std::string m = encodeyou(41, std::string(32, 'a'));
    ASSERT_EQ(applymessage(c, m.data(), m.size()), "");
    EXPECT_TRUE(c.answered);
    EXPECT_EQ(c.you, 41);
    EXPECT_EQ(c.token, std::string(32, 'a'));
    EXPECT_EQ(c.reason, "");
    m = encodeyou(-1, "stale", "the game is full");
    ASSERT_EQ(applymessage(c, m.data(), m.size()), "");
    EXPECT_EQ(c.you, -1);
    EXPECT_EQ(c.token, "");
    EXPECT_EQ(c.reason, "the game is full");
}

TEST(You, ARefusalCarriesItsReasonAfterTheEmptyToken)
{
    DECODEDSTREAM c;
    const std::string reason = "that name belongs to another player";
    std::string m = {4, '\xff', '\xff', '\xff', '\xff', 0, (char)reason.size()};
    m += reason;
    ASSERT_EQ(applymessage(c, m.data(), m.size()), "");
    EXPECT_EQ(c.you, -1);
    EXPECT_EQ(c.reason, reason);
    m += 'x';
    EXPECT_EQ(applymessage(c, m.data(), m.size()), "YOU of the wrong length");
}

TEST(Colour, APageDrawsACellAsTheTerminalClientDoes)
{
    WORLD w;
    namedworld(w);
    DECODEDSTREAM c;
    hello(c, w, 1);
    const RGB grass = c.materials[0].colour;
    const double start = 30, ignition = 250;
    for (int k : {-40, 0, 200, 319, 320, 321, 340, 383, 700, 1499, 1500, 1501, 90000})
        for (int frame : {0, 3}) {
            const long x = 2, y = 1;
            const unsigned phase = (unsigned)frame + (unsigned)(x * 2 + y) * 7919u;
            // Plain: fuel as it started, under its ignition point or not.
            const bool burns = k >= ignition;
            const RGB want = cellcolour(grass, k, burns ? 0.0 : start, start, (int)ignition, phase);
            const DRAWNCELL cell{0, k, (uint8_t)(burns ? CELLBURNT : CELLPLAIN)};
            RGB got = streamcolour(c, cell, x, y, (unsigned)frame);
            EXPECT_TRUE(got.r == want.r && got.g == want.g && got.b == want.b) << k;
            // Burning.
            const RGB flames = cellcolour(grass, 900, start, start, (int)ignition, phase);
            got = streamcolour(c, DRAWNCELL{0, 900, CELLBURNING}, x, y, (unsigned)frame);
            EXPECT_TRUE(got.r == flames.r && got.g == flames.g && got.b == flames.b) << k;
            // Burnt: ash, warmed like any other.
            const RGB ash = cellcolour(grass, k, 0, start, 1 << 30, phase);
            got = streamcolour(c, DRAWNCELL{0, k, CELLBURNT}, x, y, (unsigned)frame);
            EXPECT_TRUE(got.r == ash.r && got.g == ash.g && got.b == ash.b) << k;
        }
}
