// A material: the static properties that every cell of one unit type
// shares. The world keeps one per unit type in use; the tools colour cells
// by them.
#pragma once

struct MATERIAL {
    long double cocon;     // conduction coefficient
    long double calperc;   // heat capacity: calories per kelvin
    long double calperf;   // calories released per unit of fuel burnt
    long double burnspeed; // fuel burnt per second while burning
    int ignitionpoint;     // burns at or above this many whole kelvins
    int block;             // 1 for a blocking material
};
