// The server's command-line options: one table (options.cpp) names each
// option, its value's range, its default and its help line; the values
// live in a SETTINGS that start-up owns, fills before any thread exists
// and hands to the parts that use them.
// Words that are not known options stay on the line: the last of them
// is the map.
#pragma once

#include <string>
#include <vector>

#include "engine/tick/lanes/lanes.h"
#include "web/websettings.h"

struct SETTINGS {
    int http = 3141;                    // web port, 0: off
    bool httpchosen = false;            // --http= was given
    WEBSETTINGS web;                    // the web endpoint's limits and timeouts
    std::string state;                  // the store's file, "" for none
    double checkpoint = 10;             // seconds between checkpoints into the store
    bool fresh = false;                 // discard the stored world, start from the map
    int round = 0;                      // seconds a round lasts, 0: no rounds
    int intermission = 10;              // seconds between rounds
    int burnout = 30;                   // seconds without a burning cell that end a round
    int resumekeep = 60;                // seconds a dropped web player is kept for its resume
    int port = 3140;                    // port 3140's protocol on PORT
    std::string name;                   // the game's name, "" for the map's
    std::string publicurl;              // the page's address players are sent to, "" for the one they used
    std::string fleet;                  // the fleet's PostgreSQL URI, "" for none
    double fleetbeat = 2;               // seconds between two heartbeats of the fleet thread
    double fleetstale = 15;             // seconds after which a game's row is no longer listed
    int loginsperaddress = 60;          // port 3140 logins a minute, per address
    int maxplayers = 64;                // players present at once, web and port 3140 together
    std::string tick = "auto";          // the tick's path: auto, x87, avx2 or avx512
    TICKPATH tickpath = TICKPATH::x87;  // the path --tick chose, for this processor
};

enum OPTIONSRESULT {
    OPTIONS_RUN,     // start the server
    OPTIONS_HELP,    // --help: print helptext() and end
    OPTIONS_VERSION, // --version: print versiontext() and end
    OPTIONS_BAD,     // a bad value: print the error line and end with status 1
};

// Reads argv[1..argc) into `settings` (which keeps its defaults where no
// option sets them). `words` gets argv[0] and every word
// that is no known option, in order; `warnings` one line for each unknown
// word beginning with "--"; `error` the line of a bad value.
OPTIONSRESULT parseoptions(int argc, char **argv, SETTINGS &settings, std::vector<std::string> &words,
                           std::string &warnings, std::string &error);
// The text of --help: usage, then each option with its default.
std::string helptext();
// The text of --version: the program's version, and the tick's paths this
// processor runs.
std::string versiontext();
