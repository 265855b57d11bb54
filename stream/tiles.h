// The tiles of the web stream: the map cut into squares of TILESIZE cells
// (the last column and row of tiles smaller), numbered tx * tilesy + ty,
// and the rectangles of cells that pages view.
#pragma once

#include <cstdint>
#include <vector>

enum { TILESIZE = 16 };

// The tiling of a sizex x sizey map.
struct TILING {
    long sizex = 0, sizey = 0;
    long tilesx = 0, tilesy = 0; // ceil(size / TILESIZE)
};

// A rectangle of cells: x0 <= x < x0 + w, y0 <= y < y0 + h.
struct CELLRECT {
    long x0 = 0, y0 = 0, w = 0, h = 0;
    bool operator==(const CELLRECT &) const = default;
};

// The tiling of a map of this size.
TILING tiling(long sizex, long sizey);
inline long ntiles(const TILING &t) { return t.tilesx * t.tilesy; }
// The cells of tile `index` (clipped at the map's edge).
CELLRECT tilecells(const TILING &t, long index);
// The part of r on the map (w or h 0 when none is).
CELLRECT cliptomap(const TILING &t, const CELLRECT &r);
// The tiles that hold a cell of r, ascending.
std::vector<uint32_t> tilesof(const TILING &t, const CELLRECT &r);
// Whether tile `index` holds a cell of r.
bool tilemeets(const TILING &t, long index, const CELLRECT &r);
