// The stream end to end on random worlds: clients with random views that
// move, clients that skip ticks, and after every tick each client that was
// sent a frame holds exactly the drawn world of its view.
#include <gtest/gtest.h>

#include <random>

#include "engine/publish.h"
#include "streamtesting.h"
#include "streamworld.h"

namespace {

// A random view around a sizex x sizey map: mostly on it, now and then
// hanging over its edges or off it altogether.
CELLRECT randomview(std::mt19937_64 &rng, long sizex, long sizey)
{
    CELLRECT v;
    v.x0 = (long)(rng() % (unsigned long)(sizex + 12)) - 6;
    v.y0 = (long)(rng() % (unsigned long)(sizey + 12)) - 6;
    v.w = 1 + (long)(rng() % (unsigned long)(sizex + 8));
    v.h = 1 + (long)(rng() % (unsigned long)(sizey + 8));
    return v;
}

// How each client of a round behaves.
struct BEHAVIOUR {
    int movesper100;  // chance per tick of a new view
    int skipsper100;  // chance per tick of being sent nothing
    bool sendsempty;  // sent frames without tiles too
};

} // namespace

TEST(Stream, EveryClientHoldsTheDrawnWorldOfItsViewAfterEveryTick)
{
    std::mt19937_64 rng(2024);
    const BEHAVIOUR behaviours[] = {{0, 0, true}, {4, 0, false}, {3, 40, true}, {10, 70, false}, {2, 10, false}};
    size_t changes = 0, sparse = 0, wholes = 0;
    for (int round = 0; round < 10; round++) {
        WORLD w;
        TICKSTATE tick;
        long sx, sy;
        streamsize(rng, round, 70, 70, sx, sy);
        streamworld(rng, w, sx, sy);
        STREAMCODEC codec;
        publish(w, codec);
        std::vector<TESTCLIENT> clients(std::size(behaviours));
        for (size_t k = 0; k < clients.size(); k++) {
            clients[k].view = k == 0 ? CELLRECT{0, 0, sx, sy} : randomview(rng, sx, sy);
            ASSERT_EQ(sendhello(clients[k], w, codec), "");
        }
        for (int t = 0; t < 200; t++) {
            stirworld(rng, w);
            dophys(w, tick);
            publish(w, codec);
            for (size_t k = 0; k < clients.size(); k++) {
                TESTCLIENT &c = clients[k];
                const BEHAVIOUR &b = behaviours[k];
                if ((int)(rng() % 100) < b.movesper100)
                    c.view = randomview(rng, sx, sy);
                if ((int)(rng() % 100) < b.skipsper100)
                    continue;
                FRAME f = buildframe(codec, c.view, c.last);
                if (f.tiles.empty() && !f.key && !b.sendsempty)
                    continue; // as an endpoint that sends no empty frames
                for (const BLOB &blob : f.tiles) {
                    const uint8_t kind = (uint8_t)(*blob)[0];
                    changes += kind == TILECHANGE;
                    sparse += kind == TILESPARSE;
                    wholes += kind == TILEWHOLE;
                }
                const std::string m = framebytes(f);
                c.last = sentframe(f);
                ASSERT_EQ(applymessage(c.decoder, m.data(), m.size()), "")
                    << "round " << round << " tick " << t << " client " << k;
                ASSERT_EQ(viewdifference(c, w), "") << "round " << round << " tick " << t << " client " << k
                                                    << " map " << sx << " x " << sy;
            }
        }
    }
    // Every kind of tile was exercised.
    EXPECT_GT(changes, 100u);
    EXPECT_GT(sparse, 100u);
    EXPECT_GT(wholes, 100u);
}

TEST(Stream, AMapOfAnotherSizeStartsAfresh)
{
    std::mt19937_64 rng(3);
    WORLD w;
    TICKSTATE tick;
    streamworld(rng, w, 40, 20);
    STREAMCODEC codec;
    publish(w, codec);
    TESTCLIENT c;
    c.view = {0, 0, 100, 100};
    ASSERT_EQ(sendhello(c, w, codec), "");
    ASSERT_EQ(sendframe(c, codec), "");
    streamworld(rng, w, 20, 45);
    publish(w, codec);
    TESTCLIENT fresh;
    fresh.view = c.view;
    fresh.last = c.last; // the endpoint's record of the old map's client
    ASSERT_EQ(sendhello(fresh, w, codec), "");
    FRAME f;
    ASSERT_EQ(sendframe(fresh, codec, &f), "");
    for (const BLOB &b : f.tiles)
        EXPECT_EQ((*b)[0], TILEWHOLE);
    EXPECT_EQ(viewdifference(fresh, w), "");
}
