// Byte layout of the wire records and their checksum.
#include <gtest/gtest.h>

#include <cstring>

#include "checksum.h"
#include "support.h"
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
    const FIRSTMAP r{40, 0.2L, 2, 250, 30, 400, 3, 1, {2, 1, 0, NET_RECORD}};
    unsigned char b[FIRSTMAP_SIZE];
    encodefirstmap(&r, b);
    stamprecord(b, FIRSTMAP_SIZE);
    EXPECT_TRUE(recordintact(b, FIRSTMAP_SIZE));
    expectrecordat(b, r);
    FIRSTMAP back;
    decodefirstmap(b, &back);
    EXPECT_EQ(back.cocon, r.cocon);
    EXPECT_EQ(back.neto.checksum, (char)b[88]);
}
