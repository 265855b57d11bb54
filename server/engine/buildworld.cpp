// Building a world from a map file.
#include "engine/buildworld.h"

#include <cstring>
#include <vector>

static void say(FILE *progress, const char *text)
{
    if (progress)
        std::fputs(text, progress);
}

static void setcell(MAPUNIT *cell, const UNITTYPE *type)
{
    cell->totalcal = (long double)type->temp * type->calperc;
    cell->cocon = type->cocon;
    cell->calperc = type->calperc;
    cell->ignitionpoint = type->ignitionpoint;
    cell->fuellevel = type->fuellevel;
    cell->calperf = type->calperf;
    cell->burnspeed = type->burnspeed;
}

void makemap(const MAPFILE &f, WORLD &w, FILE *progress)
{
    say(progress, "Decoding map...\n");
    if (!allocworld(w, f.xsize, f.ysize))
        maperror("Couldn't allocate memory for curmap, exiting.\n");
    say(progress, "Allocated curmap\n");
    say(progress, "Allocated oldmap\n");
    w.mapname = f.mapname;
    // Each unit type in use becomes one material; room for materials that
    // tests and tools add later, so the table never moves under a tick.
    std::vector<int> material(f.unittypelist.size(), -1);
    w.materials.reserve(f.unittypelist.size() + 256);
    w.materialnames.reserve(f.unittypelist.size() + 256);
    w.materialfuel.reserve(f.unittypelist.size() + 256);
    // A type without heat capacity is refused only once the file has
    // passed every other check, so those keep their own messages.
    long nocapacity = -1;
    say(progress, "Setting up map");
    for (long x = 0; x < w.mapsizex; x++) {
        say(progress, ".");
        for (long y = 0; y < w.mapsizey; y++) {
            size_t index = (size_t)x * (size_t)w.mapsizey + (size_t)y;
            long i = celltypeof(f, index);
            const UNITTYPE &type = f.unittypelist[(size_t)i];
            if (!(type.calperc > 0) && nocapacity < 0)
                nocapacity = i;
            MAPUNIT cell;
            std::memset(&cell, 0, sizeof cell);
            setcell(&cell, &type);
            cell.block = type.block;
            if (material[(size_t)i] < 0)
                material[(size_t)i] = addmaterial(w, materialof(cell), type.name, type.fuellevel);
            if (material[(size_t)i] < 0)
                maperror("Error! More than 65536 unit types in use.\n");
            w.material[index] = (uint16_t)material[(size_t)i];
            store80(w.oldmap->heat[index], cell.totalcal);
            store80(w.fuellevel[index], cell.fuellevel);
        }
    }
    say(progress, "\n");
    checktypes(f, nocapacity);
    setcell(&w.outside, &f.unittypelist[(size_t)findunittype(f, 0)]);
}
