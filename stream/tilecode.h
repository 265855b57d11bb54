// The bytes of one tile: whole (every drawn value, deflated), as a change
// against the tile one tick before (packed, or listed cell by cell when few
// changed), and their decoding into a client's copy of the map. A tile's
// bytes are `u8 kind`, `var length`, `length` bytes.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>

#include "drawn.h"
#include "tiles.h"

enum : uint8_t {
    TILEWHOLE = 0,  // deflated: materials, kelvins down the tile, states
    TILECHANGE = 1, // kelvin changes less the change above, in 4-bit codes; state changes
    TILESPARSE = 2, // the changed cells alone
};

// A change with at most this many changed cells is sent sparse.
enum { SPARSEMAX = 16 };

// A raw deflate stream kept for many whole tiles (made once: setting one
// up costs more than a small tile's encoding).
struct DEFLATER {
    z_stream z{};
    bool ready = false;
    int level = 0, strategy = 0;
    std::string raw, packed; // a whole tile's bytes before and after deflate (encodewhole's scratch)
    DEFLATER(int level = 1, int strategy = Z_DEFAULT_STRATEGY);
    ~DEFLATER();
    DEFLATER(const DEFLATER &) = delete;
    DEFLATER &operator=(const DEFLATER &) = delete;
};
// Sets up d anew with another level and strategy (for measurements).
void tunedeflater(DEFLATER &d, int level, int strategy);
// Appends the raw deflate (RFC 1951) form of in to out.
void deflateinto(DEFLATER &d, const std::string &in, std::string &out);

// A raw inflate stream kept for many tiles.
struct INFLATER {
    z_stream z{};
    bool ready = false;
    std::string raw; // a whole tile's bytes inflated (decodetile's scratch)
    INFLATER();
    ~INFLATER();
    INFLATER(const INFLATER &) = delete;
    INFLATER &operator=(const INFLATER &) = delete;
};
// Inflates len bytes of raw deflate data into out, which may grow to at
// most `limit` bytes; false for data that is not one whole deflate stream
// or inflates to more.
bool inflateinto(INFLATER &f, const unsigned char *data, size_t len, size_t limit, std::string &out);

// The whole tile r of d.
std::string encodewhole(DEFLATER &z, const DRAWN &d, const CELLRECT &r);
// Tile r of cur as a change against prev: sparse when at most SPARSEMAX
// cells changed, else packed. Never deflated: zlib's few microseconds a
// tile would be most of a burning tick's encoding.
std::string encodechange(const DRAWN &prev, const DRAWN &cur, const CELLRECT &r);

// Applies one tile's data (kind and its `length` bytes) to tile r of
// `cells`, which must already hold the tile for a change. Returns "" or
// what is wrong with the data; on error the tile's cells are undefined.
std::string decodetile(INFLATER &f, unsigned kind, const unsigned char *data, size_t len, const CELLRECT &r,
                       DRAWN &cells);
