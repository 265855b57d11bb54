// The token bucket of fair play: how often a player of the fair policy may
// move and set fires.
#pragma once

// A token bucket: at most `depth` at once, refilled at `rate` a second.
struct TOKENBUCKET {
    double tokens = 20, depth = 20, rate = 20;
    bool started = false;
    double last = 0; // seconds of the last refill
};
// Takes a token at time `now` (seconds, never decreasing); false when
// none is left (the action is dropped).
bool taketoken(TOKENBUCKET &b, double now);
