// The token bucket that limits how often a player acts: at most `depth`
// actions at once, refilled at `rate` a second; an action that finds no
// token is dropped.
#pragma once

struct TOKENBUCKET {
    double tokens = 20, depth = 20, rate = 20;
    bool started = false;
    double last = 0; // seconds of the last refill
};

// Seconds on the steady clock: the time token buckets are given.
double buckettime();

// Takes a token at time `now` (seconds, never decreasing); false when
// none is left (the action is dropped).
bool taketoken(TOKENBUCKET &b, double now);
