// Combustion: burning cells release the heat of their fuel into themselves.
#pragma once

// Called with curmap_lock held, after conduction.
void dofire();
