// The store's byte layout, the same whatever backend keeps the bytes:
// little-endian integers, 80-bit values as their 10 bytes (significand,
// then sign and exponent), never a struct's memory. The world is cut into
// tiles of TILESIZE x TILESIZE cells, each encoded on its own, so that a
// checkpoint rewrites only the tiles that changed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "store/store.h"

enum { TILESIZE = 64, OUTSIDE_SIZE = 6 * 10 + 4 + NUMSLOTS * 14 + 4, FIRE_SIZE = 12 };

// Appending and reading explicit little-endian values.
struct BYTES {
    std::vector<unsigned char> b;
    void u8(unsigned v) { b.push_back((unsigned char)v); }
    void u16(unsigned v);
    void u32(uint32_t v);
    void u64(uint64_t v);
    void ext(const long double &v); // 10 bytes
};
struct READER {
    const unsigned char *p;
    size_t left;
    bool ok = true; // false once a read ran past the end
    READER(const void *data, size_t n) : p((const unsigned char *)data), left(n) {}
    unsigned u8();
    unsigned u16();
    uint32_t u32();
    uint64_t u64();
    long double ext();
};

// The tiles of a sizex x sizey world: tile t covers the columns from
// (t / tilesy) * TILESIZE and the rows from (t % tilesy) * TILESIZE.
struct TILES {
    long sizex, sizey, tilesx, tilesy;
    TILES(long x, long y);
    size_t count() const { return (size_t)(tilesx * tilesy); }
};

// Appends tile t of c to out. `column` holds, per column x, the first
// entry of c.tagged in the column (sizex + 1 entries: tagcolumns).
void encodetile(const CHECKPOINT &c, const TILES &t, size_t tile, const std::vector<size_t> &column, BYTES &out);
std::vector<size_t> tagcolumns(const CHECKPOINT &c);
// Decodes tile t into c's heat and fuel (sized) and attrindex/pool (per
// cell, -1 for none); false when the bytes do not form such a tile.
bool decodetile(const void *data, size_t n, const TILES &t, size_t tile, CHECKPOINT &c,
                std::vector<int32_t> &attrindex, std::vector<ATTR> &pool);

void encodeoutside(const MAPUNIT &m, BYTES &out);
bool decodeoutside(const void *data, size_t n, MAPUNIT &m);
void encodefires(const std::vector<QUEUEDFIRE> &f, BYTES &out);
bool decodefires(const void *data, size_t n, size_t ncells, std::vector<QUEUEDFIRE> &f);

// A 64-bit hash of a tile's bytes: a change of a single 8-byte word always
// changes it, any other change misses with odds of about 2^-64.
uint64_t tilehash(const unsigned char *p, size_t n);
