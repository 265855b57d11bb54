// Heat conduction in its plain form: every cell and the virtual border
// cells send heat downhill to their eight neighbours, one source at a time.
// The server's tick (dophys) runs the fast form in grid.h, which gives the
// same bits; these stay as the reference and for tests.
#pragma once

// The plain conduction phase: copies oldmap's heat and attribution into
// curmap, then runs distribcal over the map (x outer, y inner) and the four
// lines of virtual border cells. Called with curmap_lock held while the
// tick is marked as computing.
void dotemp();

// Conduction out of the position (x, y), which may be one step off the map:
// requests from the published temperatures, amounts applied to curmap's
// heat, attribution moved in curmap.
void distribcal(long x, long y);
