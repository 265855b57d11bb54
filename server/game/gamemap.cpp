// The game's map as its players see it.
#include "game/gamemap.h"

GAMEMAP gamemap(const GAME &g)
{
    GAMEMAP m;
    m.sizex = g.world.mapsizex;
    m.sizey = g.world.mapsizey;
    m.name = g.world.mapname;
    if (!m.name.empty() && m.name.back() == '"')
        m.name.pop_back(); // as the file writes it
    m.starts = g.players.s_points.size();
    return m;
}
