// Opening the store at start-up: the map's identity from its file, the
// store held for it, then --fresh or the restore.
#include "store/openstate.h"

int openstate(GAME &g, const std::string &path, const std::string &mappath, bool fresh, CHECKPOINTER &c,
              std::string &error)
{
    MAPID map;
    if (!mapidentity(mappath.c_str(), map, error))
        return -1;
    c.store = openstore(path, map, error);
    if (!c.store)
        return -1;
    int found = 0;
    if (fresh ? !c.store->discardworld(error) : (found = restorecheckpoint(*c.store, g, error)) < 0) {
        closestore(c.store);
        return -1;
    }
    c.game = &g;
    return found;
}
