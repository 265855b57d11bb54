// The web stream's tiles tick by tick, and the TILES frames built of them.
#include "streamcodec.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <utility>

#include "bytes.h"

DRAWN &nextdrawing(STREAMCODEC &c) { return c.next; }

// The bits in which n bytes at p and q differ, ORed by 8-byte words (n a
// multiple of 8): 0 when they are the same.
static inline uint64_t differentbits(const void *p, const void *q, size_t n)
{
    uint64_t d = 0;
    for (size_t k = 0; k < n; k += 8) {
        uint64_t a, b;
        std::memcpy(&a, (const char *)p + k, 8);
        std::memcpy(&b, (const char *)q + k, 8);
        d |= a ^ b;
    }
    return d;
}

// How tile r differs between a and b: 0 not at all, 1 in kelvins or
// states only, 2 in materials too (a change cannot say that).
static int tilediffers(const DRAWN &a, const DRAWN &b, const CELLRECT &r)
{
    uint64_t values = 0, materials = 0;
    for (long x = r.x0; x < r.x0 + r.w; x++) {
        const size_t base = (size_t)x * (size_t)a.sizey + (size_t)r.y0;
        if (r.h == TILESIZE) { // whole words, no call
            values |= differentbits(&a.kelvins[base], &b.kelvins[base], TILESIZE * sizeof(int32_t));
            values |= differentbits(&a.state[base], &b.state[base], TILESIZE);
            materials |= differentbits(&a.material[base], &b.material[base], TILESIZE * sizeof(uint16_t));
        } else {
            values |= std::memcmp(&a.kelvins[base], &b.kelvins[base], (size_t)r.h * sizeof(int32_t)) ||
                      std::memcmp(&a.state[base], &b.state[base], (size_t)r.h);
            materials |= std::memcmp(&a.material[base], &b.material[base], (size_t)r.h * sizeof(uint16_t)) != 0;
        }
    }
    return materials ? 2 : values ? 1 : 0;
}

// The tick to publish: `tick`, or the one after the current when 0 or not
// past it (the count never goes back).
static uint32_t nexttick(const STREAMCODEC &c, uint32_t tick) { return tick > c.tick ? tick : c.tick + 1; }

void publishtick(STREAMCODEC &c, uint32_t tick)
{
    const bool first = c.tick == 0;
    c.tick = nexttick(c, tick);
    std::swap(c.prev, c.cur);
    std::swap(c.cur, c.next);
    c.changedtiles.clear();
    const bool samesize = c.cur.sizex == c.grid.sizex && c.cur.sizey == c.grid.sizey &&
                          c.prev.sizex == c.cur.sizex && c.prev.sizey == c.cur.sizey &&
                          c.tiles.size() == (size_t)ntiles(c.grid);
    if (!samesize || first) {
        // A new map: every tile changed now, so no client holds any.
        c.grid = tiling(c.cur.sizex, c.cur.sizey);
        c.tiles.assign((size_t)ntiles(c.grid), TILESTATE{});
        for (size_t i = 0; i < c.tiles.size(); i++) {
            c.tiles[i].changed = c.tiles[i].prevchanged = c.tick;
            c.changedtiles.push_back((uint32_t)i);
        }
        return;
    }
    for (size_t i = 0; i < c.tiles.size(); i++) {
        TILESTATE &t = c.tiles[i];
        const int d = tilediffers(c.cur, c.prev, tilecells(c.grid, (long)i));
        if (!d)
            continue;
        // Changed materials: as if it changed twice, so it goes whole.
        t.prevchanged = d == 2 ? c.tick : t.changed;
        t.changed = c.tick;
        t.change.reset();
        c.changedtiles.push_back((uint32_t)i);
    }
}

void publishquiet(STREAMCODEC &c, uint32_t tick)
{
    c.tick = nexttick(c, tick);
    c.changedtiles.clear();
}

const BLOB &wholetile(STREAMCODEC &c, uint32_t index)
{
    TILESTATE &t = c.tiles[index];
    if (!t.whole || t.wholetick < t.changed) {
        t.whole = std::make_shared<const std::string>(encodewhole(c.deflater, c.cur, tilecells(c.grid, index)));
        t.wholetick = c.tick;
        c.wholemade++;
    }
    return t.whole;
}

const BLOB &changetile(STREAMCODEC &c, uint32_t index)
{
    TILESTATE &t = c.tiles[index];
    // Only a tile that changed at this tick, against values of the same
    // map, has a change; any other gets its whole bytes.
    if (t.changed != c.tick || t.prevchanged == c.tick)
        return wholetile(c, index);
    if (!t.change) {
        t.change = std::make_shared<const std::string>(
            encodechange(c.prev, c.cur, tilecells(c.grid, index)));
        c.changesmade++;
    }
    return t.change;
}

size_t FRAME::bytes() const
{
    size_t n = header.size();
    for (const BLOB &b : tiles)
        n += b->size();
    return n;
}

// The view as the frame's header can carry it (a corner in 32 bits, sizes
// in 16), so that the tiles chosen and the view sent agree.
static CELLRECT sendableview(const CELLRECT &v)
{
    CELLRECT s = v;
    s.x0 = std::clamp<long>(v.x0, INT32_MIN, INT32_MAX);
    s.y0 = std::clamp<long>(v.y0, INT32_MIN, INT32_MAX);
    s.w = std::clamp<long>(v.w, 0, 65535);
    s.h = std::clamp<long>(v.h, 0, 65535);
    return s;
}

FRAME buildframe(STREAMCODEC &c, const CELLRECT &asked, const LASTFRAME &last)
{
    const CELLRECT view = sendableview(asked);
    FRAME f;
    f.tick = c.tick;
    f.view = view;
    f.key = !last.sent || last.tick > c.tick;
    std::vector<uint32_t> &sent = f.indexes;
    for (uint32_t i : tilesof(c.grid, view)) {
        const TILESTATE &t = c.tiles[i];
        if (f.key || !tilemeets(c.grid, i, last.view)) {
            f.tiles.push_back(wholetile(c, i));
        } else if (t.changed <= last.tick) {
            continue; // it holds the tile as it is
        } else if (t.changed == c.tick && t.prevchanged <= last.tick) {
            f.tiles.push_back(changetile(c, i));
        } else {
            f.tiles.push_back(wholetile(c, i));
        }
        sent.push_back(i);
    }
    std::string &h = f.header;
    putu8(h, 2);
    putu8(h, f.key ? 1 : 0);
    putu32(h, f.tick);
    puti32(h, (int32_t)view.x0);
    puti32(h, (int32_t)view.y0);
    putu16(h, (unsigned)view.w);
    putu16(h, (unsigned)view.h);
    putvar(h, (uint32_t)sent.size());
    uint32_t next = 0;
    for (uint32_t i : sent) {
        putvar(h, i - next);
        next = i + 1;
    }
    return f;
}

LASTFRAME sentframe(const FRAME &f)
{
    LASTFRAME l;
    l.sent = true;
    l.tick = f.tick;
    l.view = f.view;
    return l;
}

std::string framebytes(const FRAME &f)
{
    std::string m;
    m.reserve(f.bytes());
    m += f.header;
    for (const BLOB &b : f.tiles)
        m += *b;
    return m;
}
