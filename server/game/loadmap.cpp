// The start-up's map loading: the world built, the start positions kept.
#include "game/loadmap.h"

#include <fstream>

#include "engine/buildworld.h"
#include "game/player.h"

int loadmap(GAME &g, const char *filename)
{
    std::printf("Loading %s\n", filename);
    std::fflush(stdout);
    std::ifstream in(filename, std::ios::binary);
    if (!in.is_open())
        return -1;
    try {
        MAPFILE f;
        readmapfile(in, f);
        makemap(f, g.world, stdout);
        std::fflush(stdout);
        g.players.s_points = f.s_points;
    } catch (const MAPERROR &e) {
        std::fflush(stdout);
        std::fputs(e.what(), stderr);
        return 1;
    }
    return 0;
}
