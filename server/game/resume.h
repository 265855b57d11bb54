// Resume tokens of the players of the fair policy (the web): each holds a
// random token, of which the game keeps only the SHA-256, and the actor
// that plays it. A player whose connection drops is kept, present, for
// `keep` seconds; a RESUME with its token within that time gives it back.
// The table is guarded by the game's resume_lock (game.h); the rules are in
// actions.cpp (joingame, resumegame, dropgame) and here.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

using RESUMECLOCK = std::chrono::steady_clock;

enum { TOKENBYTES = 16 }; // random bytes of a token; sent as twice as many lowercase hex digits

// A token as a checkpoint keeps it: its SHA-256, the player it names and
// when it was issued (unix seconds).
struct SAVEDTOKEN {
    unsigned char hash[32] = {};
    int32_t num = -1;
    int64_t issued = 0;
};

// One web player in the table.
struct RESUMEENTRY {
    SAVEDTOKEN token;
    bool hastoken = false;      // false when no random bytes could be had
    uint64_t holder = 0;        // the hold of the actor playing it (ACTOR::hold), 0 while kept
    RESUMECLOCK::time_point until; // while kept: when it leaves
};

struct RESUMES {
    double keep = 60;                              // seconds a dropped player is kept (--resume-keep)
    std::unordered_map<int, RESUMEENTRY> players;  // by player number
    size_t kept = 0;                               // entries kept for a resume (holder 0)
    uint64_t nexthold = 0;                         // the last hold handed out
};

// A new token: 32 lowercase hex digits of getrandom(2) bytes, "" when the
// system gave none.
std::string newtoken();
// The SHA-256 of a token's bytes.
void hashtoken(const std::string &token, unsigned char hash[32]);
// The entry whose token hashes to `hash`, compared in constant time over
// every entry, or null.
RESUMEENTRY *findtoken(RESUMES &r, const unsigned char hash[32]);
// Puts e into the table as player num's entry (replacing one), or takes
// num's entry out.
void putentry(RESUMES &r, int num, const RESUMEENTRY &e);
void removeentry(RESUMES &r, int num);
// Marks e kept until `until` (holder 0), or played by `holder`.
void keepentry(RESUMES &r, RESUMEENTRY &e, RESUMECLOCK::time_point until);
void holdentry(RESUMES &r, RESUMEENTRY &e, uint64_t holder);
// Takes the kept entries whose time is up at `now` out of the table;
// their numbers (the players must then leave).
std::vector<int> takeexpired(RESUMES &r, RESUMECLOCK::time_point now);
