// Tile geometry of the web stream.
#include "tiles.h"

#include <algorithm>

TILING tiling(long sizex, long sizey)
{
    TILING t;
    t.sizex = sizex > 0 ? sizex : 0;
    t.sizey = sizey > 0 ? sizey : 0;
    t.tilesx = (t.sizex + TILESIZE - 1) / TILESIZE;
    t.tilesy = (t.sizey + TILESIZE - 1) / TILESIZE;
    return t;
}

CELLRECT tilecells(const TILING &t, long index)
{
    CELLRECT r;
    if (t.tilesy == 0)
        return r;
    r.x0 = index / t.tilesy * TILESIZE;
    r.y0 = index % t.tilesy * TILESIZE;
    r.w = std::min<long>(TILESIZE, t.sizex - r.x0);
    r.h = std::min<long>(TILESIZE, t.sizey - r.y0);
    return r;
}

CELLRECT cliptomap(const TILING &t, const CELLRECT &r)
{
    const long x0 = std::max(r.x0, 0L), y0 = std::max(r.y0, 0L);
    const long x1 = std::min(r.x0 + r.w, t.sizex), y1 = std::min(r.y0 + r.h, t.sizey);
    CELLRECT c;
    if (x1 <= x0 || y1 <= y0)
        return c;
    c.x0 = x0;
    c.y0 = y0;
    c.w = x1 - x0;
    c.h = y1 - y0;
    return c;
}

std::vector<uint32_t> tilesof(const TILING &t, const CELLRECT &r)
{
    std::vector<uint32_t> out;
    const CELLRECT c = cliptomap(t, r);
    if (c.w == 0)
        return out;
    const long tx0 = c.x0 / TILESIZE, tx1 = (c.x0 + c.w - 1) / TILESIZE;
    const long ty0 = c.y0 / TILESIZE, ty1 = (c.y0 + c.h - 1) / TILESIZE;
    out.reserve((size_t)((tx1 - tx0 + 1) * (ty1 - ty0 + 1)));
    for (long tx = tx0; tx <= tx1; tx++)
        for (long ty = ty0; ty <= ty1; ty++)
            out.push_back((uint32_t)(tx * t.tilesy + ty));
    return out;
}

bool tilemeets(const TILING &t, long index, const CELLRECT &r)
{
    const CELLRECT c = cliptomap(t, r);
    if (c.w == 0 || index < 0 || index >= ntiles(t))
        return false;
    const long tx = index / t.tilesy, ty = index % t.tilesy;
    return tx >= c.x0 / TILESIZE && tx <= (c.x0 + c.w - 1) / TILESIZE && ty >= c.y0 / TILESIZE &&
           ty <= (c.y0 + c.h - 1) / TILESIZE;
}
