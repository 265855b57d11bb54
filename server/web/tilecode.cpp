// Encoding and decoding the tiles of the web stream. Inside a tile cells
// run x outer, y inner (tile-local cell c = x * h + y). Kelvins of a whole
// tile are sent as the difference to the cell before; a change tile sends
// each cell's change of kelvins less the change of the cell above it (of
// the first cell of the column before, at the top), which is 0 across a
// front of cells burning alike.
#include "tilecode.h"

#include <cstring>

#include "bytes.h"

DEFLATER::DEFLATER(int lvl, int strat) : level(lvl), strategy(strat)
{
    // Raw deflate with a small window and hash: resetting for every tile
    // then clears little, and a tile's input is under 2.5 KB.
    ready = deflateInit2(&z, level, Z_DEFLATED, -10, 2, strategy) == Z_OK;
}

DEFLATER::~DEFLATER()
{
    if (ready)
        deflateEnd(&z);
}

void deflateinto(DEFLATER &d, const std::string &in, std::string &out)
{
    deflateReset(&d.z);
    const size_t at = out.size();
    out.resize(at + deflateBound(&d.z, in.size()));
    d.z.next_in = (Bytef *)in.data();
    d.z.avail_in = (uInt)in.size();
    d.z.next_out = (Bytef *)out.data() + at;
    d.z.avail_out = (uInt)(out.size() - at);
    deflate(&d.z, Z_FINISH);
    out.resize(out.size() - d.z.avail_out);
}

INFLATER::INFLATER() { ready = inflateInit2(&z, -15) == Z_OK; }

INFLATER::~INFLATER()
{
    if (ready)
        inflateEnd(&z);
}

bool inflateinto(INFLATER &f, const unsigned char *data, size_t len, size_t limit, std::string &out)
{
    inflateReset(&f.z);
    out.resize(limit + 1);
    f.z.next_in = (Bytef *)data;
    f.z.avail_in = (uInt)len;
    f.z.next_out = (Bytef *)out.data();
    f.z.avail_out = (uInt)out.size();
    const int r = inflate(&f.z, Z_FINISH);
    out.resize(out.size() - f.z.avail_out);
    return r == Z_STREAM_END && f.z.avail_in == 0 && out.size() <= limit;
}

// The blob: kind, length, data.
static std::string blob(unsigned kind, const std::string &data)
{
    std::string b;
    b.reserve(data.size() + 6);
    putu8(b, kind);
    putvar(b, (uint32_t)data.size());
    b += data;
    return b;
}

std::string encodewhole(DEFLATER &z, const DRAWN &d, const CELLRECT &r)
{
    thread_local std::string raw, packed;
    raw.clear();
    packed.clear();
    for (long x = r.x0; x < r.x0 + r.w; x++) {
        const size_t base = (size_t)x * (size_t)d.sizey + (size_t)r.y0;
        for (long y = 0; y < r.h; y++)
            putvar(raw, d.material[base + (size_t)y]);
    }
    int32_t before = 0;
    for (long x = r.x0; x < r.x0 + r.w; x++) {
        const size_t base = (size_t)x * (size_t)d.sizey + (size_t)r.y0;
        for (long y = 0; y < r.h; y++) {
            const int32_t k = d.kelvins[base + (size_t)y];
            putzig(raw, (int32_t)((uint32_t)k - (uint32_t)before));
            before = k;
        }
    }
    for (long x = r.x0; x < r.x0 + r.w; x++)
        raw.append((const char *)&d.state[(size_t)x * (size_t)d.sizey + (size_t)r.y0], (size_t)r.h);
    deflateinto(z, raw, packed);
    return blob(TILEWHOLE, packed);
}

std::string encodechange(DEFLATER &z, const DRAWN &prev, const DRAWN &cur, const CELLRECT &r)
{
    // Changes of kelvins (wrapping, as the decoder adds them) and states.
    uint32_t delta[TILESIZE * TILESIZE];
    uint8_t flip[TILESIZE * TILESIZE];
    int changed = 0, c = 0;
    for (long x = r.x0; x < r.x0 + r.w; x++) {
        const size_t base = (size_t)x * (size_t)cur.sizey + (size_t)r.y0;
        for (long y = 0; y < r.h; y++, c++) {
            delta[c] = (uint32_t)cur.kelvins[base + (size_t)y] - (uint32_t)prev.kelvins[base + (size_t)y];
            flip[c] = cur.state[base + (size_t)y] ^ prev.state[base + (size_t)y];
            changed += delta[c] != 0 || flip[c] != 0;
        }
    }
    thread_local std::string raw, packed;
    raw.clear();
    if (changed <= SPARSEMAX) {
        putvar(raw, (uint32_t)changed);
        for (int i = 0; i < c; i++)
            if (delta[i] || flip[i]) {
                putu8(raw, (unsigned)i);
                putzig(raw, (int32_t)delta[i]);
                putu8(raw, flip[i]);
            }
        return blob(TILESPARSE, raw);
    }
    for (int i = 0; i < c; i++) {
        const uint32_t above = i % r.h ? delta[i - 1] : i ? delta[i - r.h] : 0;
        putzig(raw, (int32_t)(delta[i] - above));
    }
    raw.append((const char *)flip, (size_t)c);
    packed.clear();
    deflateinto(z, raw, packed);
    return blob(TILECHANGE, packed);
}

// The cell of `cells` at tile-local cell c of r.
static inline size_t cellat(const DRAWN &cells, const CELLRECT &r, long c)
{
    return (size_t)(r.x0 + c / r.h) * (size_t)cells.sizey + (size_t)(r.y0 + c % r.h);
}

std::string decodetile(INFLATER &f, unsigned kind, const unsigned char *data, size_t len, const CELLRECT &r,
                       DRAWN &cells)
{
    const long n = r.w * r.h;
    if (kind == TILESPARSE) {
        READER in(data, len);
        const uint32_t count = in.var();
        if (count > (uint32_t)n)
            return "sparse tile lists more cells than it has";
        for (uint32_t k = 0; k < count && !in.bad; k++) {
            const long c = in.u8();
            const uint32_t d = (uint32_t)in.zig();
            const uint8_t s = (uint8_t)in.u8();
            if (c >= n)
                return "sparse tile names a cell outside it";
            const size_t i = cellat(cells, r, c);
            cells.kelvins[i] = (int32_t)((uint32_t)cells.kelvins[i] + d);
            cells.state[i] ^= s;
        }
        return in.bad || in.left() ? "sparse tile of the wrong length" : "";
    }
    if (kind != TILEWHOLE && kind != TILECHANGE)
        return "unknown tile kind";
    thread_local std::string raw;
    if (!inflateinto(f, data, len, (size_t)n * 11, raw))
        return "tile data does not inflate";
    READER in(raw.data(), raw.size());
    if (kind == TILEWHOLE) {
        for (long c = 0; c < n; c++) {
            const uint32_t m = in.var();
            if (m > 0xffff)
                return "material out of range";
            cells.material[cellat(cells, r, c)] = (uint16_t)m;
        }
        uint32_t k = 0;
        for (long c = 0; c < n; c++) {
            k += (uint32_t)in.zig();
            cells.kelvins[cellat(cells, r, c)] = (int32_t)k;
        }
    } else {
        uint32_t delta[TILESIZE * TILESIZE];
        for (long c = 0; c < n; c++) {
            const uint32_t above = c % r.h ? delta[c - 1] : c ? delta[c - r.h] : 0;
            delta[c] = (uint32_t)in.zig() + above;
            const size_t i = cellat(cells, r, c);
            cells.kelvins[i] = (int32_t)((uint32_t)cells.kelvins[i] + delta[c]);
        }
    }
    const unsigned char *states = in.bytes((size_t)n);
    if (in.bad || in.left())
        return "tile data of the wrong length";
    for (long c = 0; c < n; c++) {
        uint8_t &s = cells.state[cellat(cells, r, c)];
        s = kind == TILEWHOLE ? states[c] : (uint8_t)(s ^ states[c]);
    }
    return "";
}
