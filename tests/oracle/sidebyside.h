// Running the server's tick and the plain reference tick side by side,
// comparing every byte of heat, fuel and attribution after every tick.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bridge.h"
#include "engine/fire.h"
#include "engine/publish.h"
#include "support.h"
#include "engine/world.h"

// A player's fire, added before tick `tick` (counted from 0) runs.
struct FIRE {
    int tick;
    long x, y;
    int tag;
};

// Runs `ticks` ticks of `runtick` on the world s and of the reference tick
// on w, adding the fires of `schedule` on both sides before their tick, and
// compares every byte before the first tick, after each tick's fires and
// after each tick. At the first difference it fails the test, naming it
// and `what`, and returns false.
template <class TICK>
inline bool runboth(WORLD &s, ORACLEWORLD &w, int ticks, const std::vector<FIRE> &schedule, TICK runtick,
             const std::string &what)
{
    std::string diff;
    if (!oracle_same(w, &diff, s)) {
        ADD_FAILURE() << what << ", before the first tick: " << diff;
        return false;
    }
    for (int t = 0; t < ticks; t++) {
        bool fired = false;
        for (const FIRE &f : schedule) {
            if (f.tick != t)
                continue;
            addfire(s, f.x, f.y, f.tag);
            oracle_fire(w, f.x, f.y, f.tag);
            fired = true;
        }
        if (fired && !oracle_same(w, &diff, s)) {
            ADD_FAILURE() << what << ", after the fires before tick " << t + 1 << ": " << diff;
            return false;
        }
        runtick();
        oracle_tick(w);
        if (!oracle_same(w, &diff, s)) {
            ADD_FAILURE() << what << ", after tick " << t + 1 << ": " << diff;
            return false;
        }
    }
    return true;
}

inline void servertick() { dophys(testgame.world, testgame.tick); }

// The same on the server's world as loaded, from a snapshot of it.
inline bool runserver(int ticks, const std::vector<FIRE> &schedule, const std::string &what = "the loaded map")
{
    ORACLEWORLD w = oracle_snapshot();
    return runboth(testgame.world, w, ticks, schedule, servertick, what);
}

