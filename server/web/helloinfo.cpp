// HELLO's input from the world: one entry per material, in the world's
// order, coloured by its name or else its properties and starting fuel.
#include "web/helloinfo.h"

#include "colours.h"

HELLOINFO helloinfo(const WORLD &w)
{
    HELLOINFO h;
    h.sizex = (uint32_t)w.mapsizex;
    h.sizey = (uint32_t)w.mapsizey;
    h.mapname = w.mapname;
    for (size_t m = 0; m < w.materials.size(); m++) {
        HELLOMATERIAL e;
        e.name = m < w.materialnames.size() ? w.materialnames[m] : "";
        const long double fuel = m < w.materialfuel.size() ? w.materialfuel[m] : 0;
        e.colour = materialcolour(w.materials[m], (double)fuel, e.name.c_str());
        e.block = w.materials[m].block;
        e.ignitionpoint = w.materials[m].ignitionpoint;
        e.fuel = (float)fuel;
        h.materials.push_back(std::move(e));
    }
    return h;
}
