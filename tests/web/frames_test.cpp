// Which tiles a frame holds and in what form, on a world where nothing
// moves unless a test heats a cell: nothing when nothing changed, only the
// changed tiles, one shared copy of a tile's bytes, whole tiles for
// clients that fell behind or moved their view.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/cells.h"
#include "engine/publish.h"
#include "streamtesting.h"

namespace {

// 64 x 48 cells (4 x 3 tiles) at 20 K that neither conduct nor burn.
void stillworld(WORLD &w)
{
    MAPUNIT u;
    std::memset(&u, 0, sizeof u);
    u.calperc = 1;
    u.totalcal = 20;
    u.ignitionpoint = 500;
    allocworld(w, 64, 48);
    for (size_t i = 0; i < ncells(w); i++)
        setpubcell(w, i, u);
    w.outside = u;
}

void heat(WORLD &w, long x, long y, long double kelvins)
{
    MAPUNIT c = getcell(w, x, y);
    c.totalcal = kelvins * c.calperc;
    putcell(w, x, y, c);
}

std::vector<uint8_t> kinds(const FRAME &f)
{
    std::vector<uint8_t> k;
    for (const BLOB &b : f.tiles)
        k.push_back((uint8_t)(*b)[0]);
    return k;
}

class Frames : public ::testing::Test {
  protected:
    WORLD w;
    TICKSTATE tick;
    STREAMCODEC codec;
    TESTCLIENT whole; // views the whole map
    void SetUp() override
    {
        stillworld(w);
        publish(w, codec);
        whole.view = {0, 0, 64, 48};
        ASSERT_EQ(sendhello(whole, w, codec), "");
    }
};

} // namespace

TEST_F(Frames, TheFirstFrameIsAKeyFrameOfEveryTileOfTheViewWhole)
{
    FRAME f;
    ASSERT_EQ(sendframe(whole, codec, &f), "");
    EXPECT_TRUE(f.key);
    EXPECT_EQ(f.indexes, (std::vector<uint32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
    EXPECT_EQ(kinds(f), std::vector<uint8_t>(12, TILEWHOLE));
    EXPECT_EQ(viewdifference(whole, w), "");
}

TEST_F(Frames, ATickInWhichNothingChangedSendsNoTiles)
{
    ASSERT_EQ(sendframe(whole, codec), "");
    dophys(w, tick); // nothing moves
    publish(w, codec);
    FRAME f;
    ASSERT_EQ(sendframe(whole, codec, &f), "");
    EXPECT_FALSE(f.key);
    EXPECT_TRUE(f.tiles.empty());
    publishquiet(codec);
    ASSERT_EQ(sendframe(whole, codec, &f), "");
    EXPECT_TRUE(f.tiles.empty());
    EXPECT_EQ(f.tick, codec.tick);
}

TEST_F(Frames, AChangeFrameHoldsOnlyTheTilesThatChanged)
{
    ASSERT_EQ(sendframe(whole, codec), "");
    heat(w, 20, 40, 300); // tile (1, 2): one cell
    for (long y = 0; y < 16; y++)
        for (long x = 48; x < 50; x++)
            heat(w, x, y, 100 + (long double)y); // tile (3, 0): 32 cells
    publish(w, codec);
    EXPECT_EQ(codec.changedtiles, (std::vector<uint32_t>{5, 9}));
    FRAME f;
    ASSERT_EQ(sendframe(whole, codec, &f), "");
    EXPECT_FALSE(f.key);
    EXPECT_EQ(f.indexes, (std::vector<uint32_t>{5, 9}));
    EXPECT_EQ(kinds(f), (std::vector<uint8_t>{TILESPARSE, TILECHANGE}));
    EXPECT_EQ(viewdifference(whole, w), "");
}

TEST_F(Frames, ATileWithSixteenChangedCellsGoesSparseAndOneWithSeventeenDoesNot)
{
    ASSERT_EQ(sendframe(whole, codec), "");
    for (long y = 0; y < 16; y++)
        heat(w, 1, y, 100 + (long double)y); // tile 0: 16 cells
    for (long y = 0; y < 16; y++)
        heat(w, 17, y, 100 + (long double)y); // tile 3: 17 cells
    heat(w, 18, 0, 300);
    publish(w, codec);
    FRAME f;
    ASSERT_EQ(sendframe(whole, codec, &f), "");
    EXPECT_EQ(f.indexes, (std::vector<uint32_t>{0, 3}));
    EXPECT_EQ(kinds(f), (std::vector<uint8_t>{TILESPARSE, TILECHANGE}));
    EXPECT_EQ(viewdifference(whole, w), "");
}

TEST_F(Frames, TicksTheStreamSkippedKeepTheGamesNumbersAndTheChangeAgainstTheLastDrawing)
{
    ASSERT_EQ(sendframe(whole, codec), "");
    const uint32_t before = codec.tick;
    heat(w, 20, 40, 300); // tile (1, 2): one cell
    readpublished(w, [&](const WORLD &p) { drawworld(p, nextdrawing(codec)); });
    publishtick(codec, before + 3); // the game ticked three times meanwhile
    FRAME f;
    ASSERT_EQ(sendframe(whole, codec, &f), "");
    EXPECT_EQ(f.tick, before + 3);
    EXPECT_EQ(f.indexes, (std::vector<uint32_t>{5}));
    EXPECT_EQ(kinds(f), (std::vector<uint8_t>{TILESPARSE}));
    EXPECT_EQ(viewdifference(whole, w), "");
    publishquiet(codec, before + 2); // never back
    EXPECT_EQ(codec.tick, before + 4);
}

TEST_F(Frames, TwoClientsAreSentTheSameCopyOfATile)
{
    TESTCLIENT a, b;
    a.view = {10, 10, 10, 10};  // tiles 0, 1, 3, 4
    b.view = {18, 18, 40, 5};   // tiles 4, 7, 10
    ASSERT_EQ(sendhello(a, w, codec), "");
    ASSERT_EQ(sendhello(b, w, codec), "");
    FRAME fa, fb;
    ASSERT_EQ(sendframe(a, codec, &fa), "");
    ASSERT_EQ(sendframe(b, codec, &fb), "");
    ASSERT_EQ(fa.indexes, (std::vector<uint32_t>{0, 1, 3, 4}));
    ASSERT_EQ(fb.indexes, (std::vector<uint32_t>{4, 7, 10}));
    EXPECT_EQ(fa.tiles[3].get(), fb.tiles[0].get());
    EXPECT_EQ(codec.wholemade, 6u);
    for (long y = 18; y < 32; y++)
        heat(w, 19, y, 400 + (long double)y); // tile 4
    publish(w, codec);
    ASSERT_EQ(sendframe(a, codec, &fa), "");
    ASSERT_EQ(sendframe(b, codec, &fb), "");
    ASSERT_EQ(fa.tiles.size(), 1u);
    ASSERT_EQ(fb.tiles.size(), 1u);
    EXPECT_EQ(fa.tiles[0].get(), fb.tiles[0].get());
    EXPECT_EQ(codec.changesmade, 1u);
    EXPECT_EQ(viewdifference(a, w), "");
    EXPECT_EQ(viewdifference(b, w), "");
}

TEST_F(Frames, AClientBehindGetsWholeTheTilesThatChangedBeforeThisTick)
{
    ASSERT_EQ(sendframe(whole, codec), "");
    heat(w, 1, 1, 500);   // tile 0, only now
    heat(w, 17, 1, 500);  // tile 3, now and later
    publish(w, codec);
    heat(w, 33, 1, 500);  // tile 6, only later
    heat(w, 17, 2, 600);  // tile 3 again
    publish(w, codec);
    FRAME f;
    ASSERT_EQ(sendframe(whole, codec, &f), ""); // its frame is two ticks old
    EXPECT_FALSE(f.key);
    EXPECT_EQ(f.indexes, (std::vector<uint32_t>{0, 3, 6}));
    EXPECT_EQ(kinds(f), (std::vector<uint8_t>{TILEWHOLE, TILEWHOLE, TILESPARSE}));
    EXPECT_EQ(viewdifference(whole, w), "");
}

TEST_F(Frames, AMovedViewGetsWholeOnlyTheTilesThatEnteredIt)
{
    TESTCLIENT c;
    c.view = {0, 0, 20, 20}; // tiles 0, 1, 3, 4
    ASSERT_EQ(sendhello(c, w, codec), "");
    ASSERT_EQ(sendframe(c, codec), "");
    c.view = {16, 5, 20, 20}; // tiles 3, 4, 6, 7
    heat(w, 20, 20, 700);     // tile 4 changes as well
    publish(w, codec);
    FRAME f;
    ASSERT_EQ(sendframe(c, codec, &f), "");
    EXPECT_FALSE(f.key);
    EXPECT_EQ(f.indexes, (std::vector<uint32_t>{4, 6, 7}));
    EXPECT_EQ(kinds(f), (std::vector<uint8_t>{TILESPARSE, TILEWHOLE, TILEWHOLE}));
    EXPECT_EQ(viewdifference(c, w), "");
    // The tiles that left the view are forgotten.
    DRAWNCELL cell;
    EXPECT_FALSE(clientcell(c.decoder, 1, 1, cell));
}

TEST_F(Frames, TheDecoderRefusesAChangeForATileItDoesNotHold)
{
    ASSERT_EQ(sendframe(whole, codec), "");
    heat(w, 1, 1, 500);
    publish(w, codec);
    const std::string change = framebytes(buildframe(codec, whole.view, whole.last));
    TESTCLIENT fresh;
    ASSERT_EQ(sendhello(fresh, w, codec), "");
    EXPECT_NE(applymessage(fresh.decoder, change.data(), change.size()), "");
}
