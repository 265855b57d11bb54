// Where a player may step in fair play: to one of the eight cells around
// it, on the map, onto a cell that does not block. The server asks it of
// every move of a web player; the terminal client asks it before it sends
// a move, so that it never sends one the rule refuses.
#pragma once

enum STEPCHECK {
    STEPOK,      // a free neighbour
    STEPTOOFAR,  // not one of the eight neighbours (or no step at all)
    STEPOFFMAP,  // off the map
    STEPBLOCKED, // onto a blocking cell
};

// The step from (x, y) to (nx, ny) on a sizex x sizey map; blocked(nx, ny)
// tells whether a cell of the map blocks (asked only for one on the map).
template <class BLOCKED>
STEPCHECK checkstep(long sizex, long sizey, long x, long y, long nx, long ny, BLOCKED &&blocked)
{
    const long dx = nx - x, dy = ny - y;
    if (dx < -1 || dx > 1 || dy < -1 || dy > 1 || (dx == 0 && dy == 0))
        return STEPTOOFAR;
    if (nx < 0 || nx >= sizex || ny < 0 || ny >= sizey)
        return STEPOFFMAP;
    if (blocked(nx, ny))
        return STEPBLOCKED;
    return STEPOK;
}
