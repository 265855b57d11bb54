// Byte layout of the wire records and their checksum.
#include <gtest/gtest.h>

#include <cstring>

#include "checksum.h"
#include "wire.h"

TEST(Checksum, XorOfAllBytes)
{
    EXPECT_EQ(checksum("abc", 3), 0x60);
    EXPECT_EQ(checksum("", 0), 0);
}

TEST(Extended, HundredIsTheX87Bytes)
{
    unsigned char slot[12];
    memset(slot, 0xAA, sizeof slot);
    putext(slot, 100.0L);
    const unsigned char want[12] = {0, 0, 0, 0, 0, 0, 0, 0xC8, 0x05, 0x40, 0, 0};
    EXPECT_EQ(0, memcmp(slot, want, 12));
    EXPECT_EQ(getext(slot), 100.0L);
}

TEST(Records, FirstMapFieldsAtTheirOffsets)
{
    FIRSTMAP r = {};
    r.totalcal = 40;
    r.cocon = 0.2L;
    r.calperc = 2;
    r.ignitionpoint = 250;
    r.fuellevel = 30;
    r.calperf = 400;
    r.burnspeed = 3;
    r.block = 1;
    r.neto.x = 2;
    r.neto.y = 1;
    r.neto.type = NET_RECORD;
    unsigned char b[FIRSTMAP_SIZE];
    encodefirstmap(&r, b);
    stamprecord(b, FIRSTMAP_SIZE);
    EXPECT_TRUE(recordintact(b, FIRSTMAP_SIZE));
    EXPECT_EQ(getext(b + 0), 40.0L);
    EXPECT_EQ(getext(b + 12), 0.2L);
    EXPECT_EQ(getext(b + 24), 2.0L);
    EXPECT_EQ(get32(b + 36), 250);
    EXPECT_EQ(getext(b + 40), 30.0L);
    EXPECT_EQ(getext(b + 52), 400.0L);
    EXPECT_EQ(getext(b + 64), 3.0L);
    EXPECT_EQ(get32(b + 76), 1);
    EXPECT_EQ(get32(b + 80), 2);
    EXPECT_EQ(get32(b + 84), 1);
    EXPECT_EQ(get32(b + 92), NET_RECORD);
    FIRSTMAP back;
    decodefirstmap(b, &back);
    EXPECT_EQ(back.cocon, r.cocon);
    EXPECT_EQ(back.neto.checksum, (char)b[88]);
}
