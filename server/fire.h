// Combustion in its plain form: burning cells release the heat of their
// fuel into themselves. The server's tick runs it fused into the fast tick.
#pragma once

#include <vector>

struct BURN;

// The fuel burnt by the last dofire, in index order; swapgrids writes it.
extern std::vector<BURN> fireburns; // guarded by curmap_lock

// Called with curmap_lock held, after conduction (dotemp).
void dofire();
