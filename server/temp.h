// Heat conduction: every cell and the virtual border cells send heat
// downhill to their eight neighbours.
#pragma once

// Temperatures of the published grid, one per cell, taken by the tick
// under oldmap_lock before it computes; conduction reads only these.
extern long double *celltemp; // guarded by curmap_lock

// The conduction phase: copies oldmap into curmap (taking the temperatures
// on the way), then runs distribcal over the map and the virtual border.
void dotemp();

// Conduction out of the position (x, y), which may be one step off the map.
void distribcal(long x, long y);
