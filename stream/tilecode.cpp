// Encoding and decoding the tiles of the web stream, cells x outer, y
// inner (tile-local cell c = x * h + y). A change tile sends each cell's
// change of kelvins less the change of the cell above it, 0 across a front
// of cells burning alike: masks of where it is not, and 4-bit codes.
#include "tilecode.h"

#include <cstring>

#include "bytes.h"

// Sets up raw deflate at the level and strategy given.
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

void tunedeflater(DEFLATER &d, int level, int strategy)
{
    if (d.ready)
        deflateEnd(&d.z);
    d.z = z_stream{};
    d.level = level;
    d.strategy = strategy;
    d.ready = deflateInit2(&d.z, level, Z_DEFLATED, -10, 2, strategy) == Z_OK;
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

// Sets up raw inflate for any window size.
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
    std::string &raw = z.raw, &packed = z.packed;
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

// Appends v as a varint at p; returns the end.
static inline unsigned char *putvarat(unsigned char *p, uint32_t v)
{
    while (v >= 0x80) {
        *p++ = (unsigned char)(v | 0x80);
        v >>= 7;
    }
    *p++ = (unsigned char)v;
    return p;
}

std::string encodechange(const DRAWN &prev, const DRAWN &cur, const CELLRECT &r)
{
    // Changes of kelvins (wrapping, as the decoder adds them) and states.
    uint32_t delta[TILESIZE * TILESIZE];
    uint8_t flip[TILESIZE * TILESIZE];
    int changed = 0, flips = 0, c = 0;
    for (long x = r.x0; x < r.x0 + r.w; x++) {
        const size_t base = (size_t)x * (size_t)cur.sizey + (size_t)r.y0;
        for (long y = 0; y < r.h; y++, c++) {
            delta[c] = (uint32_t)cur.kelvins[base + (size_t)y] - (uint32_t)prev.kelvins[base + (size_t)y];
            flip[c] = cur.state[base + (size_t)y] ^ prev.state[base + (size_t)y];
            changed += delta[c] != 0 || flip[c] != 0;
            flips += flip[c] != 0;
        }
    }
    // At most 2 + 32 (masks) + 128 (codes) + 5 x 256 (escapes) + 3 + 512
    // (state changes) bytes.
    unsigned char out[2048];
    unsigned char *p = out;
    *p++ = TILESPARSE;
    if (changed <= SPARSEMAX) {
        unsigned char *at = p + 1; // the length fits one byte
        at = putvarat(at, (uint32_t)changed);
        for (int i = 0; i < c; i++)
            if (delta[i] || flip[i]) {
                *at++ = (unsigned char)i;
                at = putvarat(at, zigzag((int32_t)delta[i]));
                *at++ = flip[i];
            }
        *p = (unsigned char)(at - p - 1);
        return std::string((const char *)out, (size_t)(at - out));
    }
    out[0] = TILECHANGE;
    // Residuals: each change less the change above it (of the first cell
    // of the column before, at the top).
    int32_t res[TILESIZE * TILESIZE];
    unsigned columns = 0, rows[TILESIZE] = {};
    for (long x = 0, i = 0; x < r.w; x++)
        for (long y = 0; y < r.h; y++, i++) {
            const uint32_t above = y ? delta[i - 1] : x ? delta[i - r.h] : 0;
            res[i] = (int32_t)(delta[i] - above);
            if (res[i]) {
                columns |= 1u << x;
                rows[x] |= 1u << y;
            }
        }
    unsigned char body[2048];
    unsigned char *q = body;
    *q++ = (unsigned char)columns;
    *q++ = (unsigned char)(columns >> 8);
    for (long x = 0; x < r.w; x++)
        if (columns >> x & 1) {
            *q++ = (unsigned char)rows[x];
            *q++ = (unsigned char)(rows[x] >> 8);
        }
    // 4-bit codes, low nibble first: zigzag of -7..7, or 15 for a residual
    // that follows among the escapes.
    uint32_t escapes[TILESIZE * TILESIZE];
    int nescapes = 0, ncodes = 0;
    for (int i = 0; i < c; i++) {
        if (!res[i])
            continue;
        const uint32_t z = zigzag(res[i]);
        unsigned code = z < 15 ? z : 15;
        if (code == 15)
            escapes[nescapes++] = z;
        if (ncodes++ & 1)
            q[-1] |= (unsigned char)(code << 4);
        else
            *q++ = (unsigned char)code;
    }
    for (int k = 0; k < nescapes; k++)
        q = putvarat(q, escapes[k]);
    q = putvarat(q, (uint32_t)flips);
    for (int i = 0; i < c && flips; i++)
        if (flip[i]) {
            *q++ = (unsigned char)i;
            *q++ = flip[i];
        }
    p = putvarat(out + 1, (uint32_t)(q - body));
    std::string blob((const char *)out, (size_t)(p - out));
    blob.append((const char *)body, (size_t)(q - body));
    return blob;
}

// The cell of `cells` at tile-local cell c of r.
static inline size_t cellat(const DRAWN &cells, const CELLRECT &r, long c)
{
    return (size_t)(r.x0 + c / r.h) * (size_t)cells.sizey + (size_t)(r.y0 + c % r.h);
}

// Applies a change tile's data to tile r of cells.
static std::string decodechange(const unsigned char *data, size_t len, const CELLRECT &r, DRAWN &cells)
{
    READER in(data, len);
    const unsigned columns = in.u16();
    if (columns >> r.w)
        return "change names a column outside the tile";
    unsigned rows[TILESIZE] = {};
    int ncodes = 0;
    for (long x = 0; x < r.w; x++)
        if (columns >> x & 1) {
            rows[x] = in.u16();
            if (rows[x] >> r.h)
                return "change names a row outside the tile";
            for (unsigned m = rows[x]; m; m &= m - 1)
                ncodes++;
        }
    const unsigned char *codes = in.bytes((size_t)(ncodes + 1) / 2);
    if (in.bad)
        return "change cut short";
    int32_t res[TILESIZE * TILESIZE] = {};
    int k = 0;
    for (long x = 0; x < r.w; x++)
        for (long y = 0; y < r.h; y++)
            if (rows[x] >> y & 1) {
                const unsigned code = codes[k / 2] >> (k & 1 ? 4 : 0) & 15;
                k++;
                res[x * r.h + y] = code == 15 ? in.zig() : unzigzag(code);
            }
    const long n = r.w * r.h;
    uint32_t delta[TILESIZE * TILESIZE];
    for (long c = 0; c < n; c++) {
        const uint32_t above = c % r.h ? delta[c - 1] : c ? delta[c - r.h] : 0;
        delta[c] = (uint32_t)res[c] + above;
        const size_t i = cellat(cells, r, c);
        cells.kelvins[i] = (int32_t)((uint32_t)cells.kelvins[i] + delta[c]);
    }
    const uint32_t flips = in.var();
    if (flips > (uint32_t)n)
        return "change lists more state changes than cells";
    for (uint32_t f = 0; f < flips && !in.bad; f++) {
        const long c = in.u8();
        const uint8_t x = (uint8_t)in.u8();
        if (c >= n)
            return "state change outside the tile";
        cells.state[cellat(cells, r, c)] ^= x;
    }
    return in.bad || in.left() ? "change of the wrong length" : "";
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
    if (kind == TILECHANGE)
        return decodechange(data, len, r, cells);
    if (kind != TILEWHOLE)
        return "unknown tile kind";
    std::string &raw = f.raw;
    if (!inflateinto(f, data, len, (size_t)n * 11, raw))
        return "tile data does not inflate";
    READER in(raw.data(), raw.size());
    {
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
    }
    const unsigned char *states = in.bytes((size_t)n);
    if (in.bad || in.left())
        return "tile data of the wrong length";
    for (long c = 0; c < n; c++) {
        uint8_t &s = cells.state[cellat(cells, r, c)];
        s = states[c];
    }
    return "";
}
