// The rounds of a game, driven by its tick: the end of a round (its
// result to the board, the intermission) and the start of the next (the
// world and the players start again). The rule is round.h's.
#include "game/roundtick.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "game/gamemap.h"

#include "game/lobby.h"
#include "game/newround.h"

// The players of the ended round: those present, and those who left in it
// with a score (a new round sets every score to 0), best first.
static std::vector<ROUNDRESULT::ENTRY> roundplayers(GAME &g)
{
    std::vector<ROUNDRESULT::ENTRY> list;
    const std::vector<PLAYERINFO> all = copyplayers(g.players);
    for (size_t i = 0; i < all.size(); i++) {
        const PLAYERINFO &e = all[i];
        if (e.num >= 0 || e.score != 0)
            list.push_back({std::string(e.name, strnlen(e.name, sizeof e.name)), e.score, e.health <= 0, (int)i});
    }
    markkeyed(*g.lobby, list);
    sortentries(list);
    return list;
}

static void printend(const ROUNDRESULT &res, double seconds)
{
    std::string line = "Round " + std::to_string(res.number) + " ended (" + res.why + ") after " +
                       std::to_string((long)std::lround(seconds)) + " s, " + std::to_string(res.players.size()) +
                       (res.players.size() == 1 ? " player" : " players");
    for (size_t i = 0; i < res.players.size() && i < ROUNDTOP; i++)
        line += std::string(i ? ", " : ": ") + res.players[i].name + " " + std::to_string(res.players[i].score) +
                (res.players[i].died ? " (dead)" : "");
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

static void endround(GAME &g, ROUNDWHY why, uint32_t number, int64_t started, double now, double length)
{
    ROUNDS &r = g.rounds;
    ROUNDRESULT res;
    res.number = number;
    res.map = gamemap(g).name;
    res.started = started;
    res.ended = (int64_t)std::time(nullptr);
    res.why = whyname(why);
    res.players = roundplayers(g);
    addresult(*r.board, res);
    postresult(*g.lobby, res);
    pthread_mutex_lock(&r.round_lock);
    r.phase = ROUNDINTERMISSION;
    r.phaseend = now + r.intermission;
    r.why = why;
    r.top.assign(res.players.begin(), res.players.begin() + std::min<size_t>(ROUNDTOP, res.players.size()));
    r.version++;
    r.ended[why]++;
    pthread_mutex_unlock(&r.round_lock);
    if (r.console)
        printend(res, length);
}

static void nextround(GAME &g)
{
    restartworld(g);
    restartplayers(g.players);
    ROUNDS &r = g.rounds;
    const double now = r.clock();
    pthread_mutex_lock(&r.round_lock);
    r.number++;
    r.phase = ROUNDPLAYING;
    r.phaseend = now + r.length;
    r.burnt = false;
    r.started = (int64_t)std::time(nullptr);
    r.why = WHYNONE;
    r.top.clear();
    r.version++;
    pthread_mutex_unlock(&r.round_lock);
}

void startrounds(GAME &g, const char *mapfile)
{
    ROUNDS &r = g.rounds;
    if (!r.first.kept)
        keepfirstworld(g, mapfile);
    const uint32_t last = readboard(*r.board, 0).lastnumber;
    pthread_mutex_lock(&r.round_lock);
    if (r.number == 0) {
        r.number = last + 1;
        r.phase = ROUNDPLAYING;
        r.phaseend = r.clock() + r.length;
        r.started = (int64_t)std::time(nullptr);
    }
    r.version++;
    pthread_mutex_unlock(&r.round_lock);
}

void roundtick(GAME &g, size_t burning)
{
    ROUNDS &r = g.rounds;
    if (r.length <= 0)
        return;
    const double now = r.clock();
    pthread_mutex_lock(&r.round_lock);
    const ROUNDPHASE phase = r.phase;
    if (phase == ROUNDPLAYING && burning > 0) {
        r.burnt = true;
        r.quietsince = now;
    }
    ROUNDWHY end = WHYNONE;
    if (phase == ROUNDPLAYING && now >= r.phaseend)
        end = WHYLIMIT;
    else if (phase == ROUNDPLAYING && r.burnt && now - r.quietsince >= r.burnout)
        end = WHYBURNTOUT;
    const bool next = phase == ROUNDINTERMISSION && now >= r.phaseend;
    const uint32_t number = r.number;
    const int64_t started = r.started;
    const double played = r.length - (r.phaseend - now);
    pthread_mutex_unlock(&r.round_lock);
    if (end != WHYNONE)
        endround(g, end, number, started, now, played);
    else if (next)
        nextround(g);
}

