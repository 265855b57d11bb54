// The screen of kindler-client's full-screen game (play.cpp): curses
// started and ended, the terminal's colours (none, 8, or 256), and the
// map, the players and the status lines drawn from what the client knows
// (WORLDVIEW). Used by the screen thread alone.
#pragma once

#include <chrono>
#include <map>
#include <string>
#include <utility>

#include "view.h"

using clock_type = std::chrono::steady_clock;

// What the screen shows beside the world: who we are, where the view is,
// the note on the key line, who hurt us lately.
struct SCREENSTATE {
    const char *name;       // our player's name, or null when watching
    int me = -1;            // our player number
    long myx = 0, myy = 0;  // our position as the screen shows it
    long movesqueued = 0;   // moves the screen has queued
    long vx = 0, vy = 0;    // map cell at the top left of the screen
    std::string note;       // a short message on the key line
    clock_type::time_point noteuntil;
    std::map<int, std::pair<long, clock_type::time_point>> hurtby; // player: score gained, when
    long frames = 0;
    unsigned phase = 0;
};

// Starts curses in the terminal's locale, with its colours (ends the
// program when the terminal has no screen); endcurses restores the
// terminal if curses is still active (also from atexit).
void startcurses();
void endcurses();
// Player `num` of the view's list, or null.
const PLAYERINFO *playerat(const WORLDVIEW &v, int num);
// Draws the map under the view (following our player), the players and
// the status lines.
void draw(const WORLDVIEW &v, SCREENSTATE &s);
