// A new round's world.
#include "game/newround.h"

#include <cstdio>
#include <string>

#include "engine/snapshot.h"

void keepfirstworld(GAME &g, const char *mapfile)
{
    FIRSTWORLD &f = g.rounds.first;
    f.path = mapfile ? mapfile : "";
    std::string error;
    if (f.path.empty() || !mapidentity(f.path.c_str(), f.id, error))
        f.path.clear();
    takesnapshot(g.world, f.world);
    f.kept = true;
}

void restartworld(GAME &g)
{
    // The same bytes build the same world (makemap is a pure function of
    // the file), so a file that still hashes as at start-up is the copy.
    const FIRSTWORLD &f = g.rounds.first;
    if (!f.path.empty()) {
        MAPID now;
        std::string error;
        if (!mapidentity(f.path.c_str(), now, error))
            std::printf("Map %s can no longer be read: the round starts on the map as first loaded\n", f.path.c_str());
        else if (!samemap(now, f.id))
            std::printf("Map %s has changed: the round starts on the map as first loaded\n", f.path.c_str());
    }
    resetworldto(g.world, f.world);
}
