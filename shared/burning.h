// The rules of fire, written once for every side: a cell burns while it
// holds fuel and its temperature has reached its ignition point; a cell
// that does not burn and whose fuel is down to BURNTFRACTION of what it
// started with is burnt. The tick burns by them; the stream, the colours
// and the tools draw by them.
#pragma once

// A cell whose fuel is down to this fraction of what it started with
// (more than none) is burnt.
constexpr double BURNTFRACTION = 0.02;

// Whether a cell holds fuel to burn.
template <typename FUEL> inline bool hasfuel(FUEL fuel) { return fuel > 0; }

// Whether a temperature is at or past an ignition point. The tick, the
// exposure step and the stream give whole kelvins (truncatetemp of heat /
// heat capacity); the tools the temperature they read.
template <typename KELVINS> inline bool reachesignition(KELVINS kelvins, int ignitionpoint)
{
    return kelvins >= ignitionpoint;
}

// Whether a cell burns (in the next tick): fuel left and its temperature
// at or past its ignition point.
template <typename FUEL, typename KELVINS> inline bool isburning(FUEL fuel, KELVINS kelvins, int ignitionpoint)
{
    return hasfuel(fuel) && reachesignition(kelvins, ignitionpoint);
}

// The fuel at or below which a cell that started with `start` is burnt,
// in FUEL's precision.
template <typename FUEL> inline FUEL burntlevel(FUEL start) { return start * (FUEL)BURNTFRACTION; }

// Whether a cell that does not burn is burnt: it started with fuel and has
// at most burntlevel of it left.
template <typename FUEL> inline bool isburnt(FUEL fuel, FUEL start) { return start > 0 && fuel <= burntlevel(start); }
