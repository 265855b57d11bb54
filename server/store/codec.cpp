// The store's explicit encoding of tiles, the outside and queued fires.
#include "store/codec.h"

#include <algorithm>
#include <cstring>

void BYTES::u16(unsigned v)
{
    u8(v & 0xff);
    u8((v >> 8) & 0xff);
}
void BYTES::u32(uint32_t v)
{
    for (int i = 0; i < 4; i++)
        u8((v >> (8 * i)) & 0xff);
}
void BYTES::u64(uint64_t v)
{
    for (int i = 0; i < 8; i++)
        u8((unsigned)(v >> (8 * i)) & 0xff);
}
void BYTES::ext(const long double &v)
{
    uint64_t significand;
    std::memcpy(&significand, &v, 8);
    u64(significand);
    u16(signexp(v));
}

unsigned READER::u8()
{
    if (left < 1) {
        ok = false;
        return 0;
    }
    left--;
    return *p++;
}
unsigned READER::u16()
{
    unsigned lo = u8();
    return lo | u8() << 8;
}
uint32_t READER::u32()
{
    uint32_t v = 0;
    for (int i = 0; i < 4; i++)
        v |= (uint32_t)u8() << (8 * i);
    return v;
}
uint64_t READER::u64()
{
    uint64_t v = 0;
    for (int i = 0; i < 8; i++)
        v |= (uint64_t)u8() << (8 * i);
    return v;
}
long double READER::ext()
{
    long double v = 0;
    uint64_t significand = u64();
    uint16_t se = (uint16_t)u16();
    std::memset(&v, 0, sizeof v);
    std::memcpy(&v, &significand, 8);
    std::memcpy((char *)&v + 8, &se, 2);
    return v;
}

TILES::TILES(long x, long y)
    : sizex(x), sizey(y), tilesx((x + TILESIZE - 1) / TILESIZE), tilesy((y + TILESIZE - 1) / TILESIZE)
{
}

std::vector<size_t> tagcolumns(const CHECKPOINT &c)
{
    std::vector<size_t> column((size_t)c.sizex + 1, c.tagged.size());
    size_t j = 0;
    for (long x = 0; x <= c.sizex; x++) {
        const uint64_t first = (uint64_t)x * (uint64_t)c.sizey;
        while (j < c.tagged.size() && c.tagged[j] < first)
            j++;
        column[(size_t)x] = j;
    }
    return column;
}

// The slots a cell's record keeps: up to the last that holds a tag or a
// quantity other than +0 (the rest read back as empty).
static int usedslots(const ATTR &a)
{
    const PACKED80 zero = packed80(0);
    int n = NUMSLOTS;
    while (n > 0 && a.heatsource[n - 1] == 0 && samebits(a.sourcequan[n - 1], zero))
        n--;
    return n;
}

// The tile's cells: columns [x0, x1), rows [y0, y1).
struct AREA {
    long x0, x1, y0, y1;
};
static AREA areaof(const TILES &t, size_t tile)
{
    AREA a;
    a.x0 = (long)(tile / (size_t)t.tilesy) * TILESIZE;
    a.y0 = (long)(tile % (size_t)t.tilesy) * TILESIZE;
    a.x1 = std::min(a.x0 + TILESIZE, t.sizex);
    a.y1 = std::min(a.y0 + TILESIZE, t.sizey);
    return a;
}

// Layout: the heat of every cell (columns, then rows), the fuel of every
// cell, the number of tagged cells, then per tagged cell its place in the
// tile (u16), its slots kept (u8) and each slot's tag (i32) and quantity.
void encodetile(const CHECKPOINT &c, const TILES &t, size_t tile, const std::vector<size_t> &column, BYTES &out)
{
    const AREA a = areaof(t, tile);
    const size_t Y = (size_t)c.sizey;
    for (long x = a.x0; x < a.x1; x++)
        for (long y = a.y0; y < a.y1; y++)
            out.ext(c.heat[(size_t)x * Y + (size_t)y]);
    for (long x = a.x0; x < a.x1; x++)
        for (long y = a.y0; y < a.y1; y++)
            out.ext(c.fuel[(size_t)x * Y + (size_t)y]);
    const size_t countat = out.b.size();
    out.u32(0);
    uint32_t count = 0;
    const long h = a.y1 - a.y0;
    for (long x = a.x0; x < a.x1; x++) {
        const auto from = c.tagged.begin() + (ptrdiff_t)column[(size_t)x];
        const auto to = c.tagged.begin() + (ptrdiff_t)column[(size_t)x + 1];
        for (auto it = std::lower_bound(from, to, (uint32_t)((size_t)x * Y + (size_t)a.y0));
             it != to && *it < (size_t)x * Y + (size_t)a.y1; ++it) {
            const ATTR &e = c.attr[(size_t)(it - c.tagged.begin())];
            const long y = (long)(*it - (size_t)x * Y);
            out.u16((unsigned)((x - a.x0) * h + (y - a.y0)));
            const int n = usedslots(e);
            out.u8((unsigned)n);
            for (int s = 0; s < n; s++) {
                out.u32((uint32_t)e.heatsource[s]);
                out.ext(load80(e.sourcequan[s]));
            }
            count++;
        }
    }
    for (int i = 0; i < 4; i++)
        out.b[countat + (size_t)i] = (unsigned char)(count >> (8 * i));
}

bool decodetile(const void *data, size_t n, const TILES &t, size_t tile, CHECKPOINT &c,
                std::vector<int32_t> &attrindex, std::vector<ATTR> &pool)
{
    const AREA a = areaof(t, tile);
    const size_t Y = (size_t)c.sizey;
    const long h = a.y1 - a.y0;
    const size_t cells = (size_t)(a.x1 - a.x0) * (size_t)h;
    READER r(data, n);
    if (n < cells * 20 + 4)
        return false;
    for (long x = a.x0; x < a.x1; x++)
        for (long y = a.y0; y < a.y1; y++)
            c.heat[(size_t)x * Y + (size_t)y] = r.ext();
    for (long x = a.x0; x < a.x1; x++)
        for (long y = a.y0; y < a.y1; y++)
            c.fuel[(size_t)x * Y + (size_t)y] = r.ext();
    const uint32_t count = r.u32();
    long last = -1;
    for (uint32_t k = 0; k < count && r.ok; k++) {
        const long local = (long)r.u16();
        const int slots = (int)r.u8();
        if (local <= last || (size_t)local >= cells || slots > NUMSLOTS)
            return false;
        last = local;
        ATTR e;
        std::memset(&e, 0, sizeof e);
        for (int s = 0; s < slots; s++) {
            e.heatsource[s] = (int)r.u32();
            store80(e.sourcequan[s], r.ext());
        }
        const size_t cell = (size_t)(a.x0 + local / h) * Y + (size_t)(a.y0 + local % h);
        attrindex[cell] = (int32_t)pool.size();
        pool.push_back(e);
    }
    return r.ok && r.left == 0;
}

void encodeoutside(const MAPUNIT &m, BYTES &out)
{
    out.ext(m.totalcal);
    out.ext(m.cocon);
    out.ext(m.calperc);
    out.u32((uint32_t)m.ignitionpoint);
    out.ext(m.fuellevel);
    out.ext(m.calperf);
    out.ext(m.burnspeed);
    for (int s = 0; s < NUMSLOTS; s++)
        out.u32((uint32_t)m.heatsource[s]);
    for (int s = 0; s < NUMSLOTS; s++)
        out.ext(m.sourcequan[s]);
    out.u32((uint32_t)m.block);
}

bool decodeoutside(const void *data, size_t n, MAPUNIT &m)
{
    if (n != OUTSIDE_SIZE)
        return false;
    READER r(data, n);
    std::memset(&m, 0, sizeof m);
    m.totalcal = r.ext();
    m.cocon = r.ext();
    m.calperc = r.ext();
    m.ignitionpoint = (int)r.u32();
    m.fuellevel = r.ext();
    m.calperf = r.ext();
    m.burnspeed = r.ext();
    for (int s = 0; s < NUMSLOTS; s++)
        m.heatsource[s] = (int)r.u32();
    for (int s = 0; s < NUMSLOTS; s++)
        m.sourcequan[s] = r.ext();
    m.block = (int)r.u32();
    return r.ok && r.left == 0;
}

void encodefires(const std::vector<QUEUEDFIRE> &f, BYTES &out)
{
    for (const QUEUEDFIRE &q : f) {
        out.u64(q.index);
        out.u32((uint32_t)q.tag);
    }
}

bool decodefires(const void *data, size_t n, size_t ncells, std::vector<QUEUEDFIRE> &f)
{
    f.clear();
    if (n % FIRE_SIZE != 0)
        return false;
    READER r(data, n);
    while (r.left > 0) {
        QUEUEDFIRE q;
        q.index = (size_t)r.u64();
        q.tag = (int)r.u32();
        if (q.index >= ncells)
            return false;
        f.push_back(q);
    }
    return true;
}

uint64_t tilehash(const unsigned char *p, size_t n)
{
    // Each step is a bijection of the state for a fixed word and of the
    // word for a fixed state: two inputs that differ in one word differ
    // from that word to the end.
    const uint64_t K = 0x9e3779b97f4a7c15ull;
    uint64_t h = 0x243f6a8885a308d3ull ^ n;
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t w;
        std::memcpy(&w, p + i, 8);
        h = (h ^ w) * K;
        h ^= h >> 31;
    }
    uint64_t tail = 0;
    for (size_t k = 0; i + k < n; k++)
        tail |= (uint64_t)p[i + k] << (8 * k);
    h = (h ^ tail) * K;
    h ^= h >> 29;
    h *= 0xbf58476d1ce4e5b9ull;
    return h ^ (h >> 32);
}
