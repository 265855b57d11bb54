// A game to a checkpoint and back, through the game's calls. The game's
// locks are taken as doc/threads.md orders them, grid locks and player
// locks never together, and only for copying memory.
#include <cstdio>

#include "game/game.h"
#include "store/store.h"

// The grid first (only a tick's swap waits for its copy), then the
// players with their start turn, the web players, the round and the
// resume tokens, one lock after the other.
void takecheckpoint(GAME &g, CHECKPOINT &c)
{
    snapshotgame(g, c);
    c.players = listplayers(g, &c.startturn);
    saveroundstate(g.rounds, c.round.number, c.round.started, c.round.state);
    c.tokens = issuedtokens(g);
}

// The refusal of a checkpoint that does not fit g: another size, a start
// turn past the map's start positions; "" when it fits.
static std::string misfit(const CHECKPOINT &c, GAME &g)
{
    char line[200];
    const GAMEMAP map = gamemap(g);
    if (c.sizex != map.sizex || c.sizey != map.sizey) {
        std::snprintf(line, sizeof line, "the stored world is %ld x %ld cells, the map's %ld x %ld", c.sizex, c.sizey,
                      map.sizex, map.sizey);
        return line;
    }
    if (c.startturn < 0 || (c.startturn > 0 && (size_t)c.startturn >= map.starts))
        return "the stored start turn does not fit the map's start positions";
    return "";
}

int restorecheckpoint(STORE &s, GAME &g, std::string &error)
{
    CHECKPOINT c;
    int found = s.load(c, error);
    if (found <= 0)
        return found;
    error = misfit(c, g);
    if (!error.empty())
        return -1;

    std::vector<PLAYERINFO> list(c.players.size());
    std::vector<int> web;
    for (size_t i = 0; i < c.players.size(); i++) {
        list[i] = c.players[i].info;
        if (c.players[i].web)
            web.push_back((int)i);
    }
    // An undecodable round state changes nothing; past it only running
    // out of memory for the list fails (the round already restored).
    if (!loadroundstate(g.rounds, c.round.number, c.round.started, c.round.state)) {
        error = "undecodable round state";
        return -1;
    }
    if (!setplayers(g.players, list, c.startturn)) {
        error = "no memory for the stored players";
        return -1;
    }
    restoregame(g, c);
    keeprestored(g, web, c.tokens, RESUMECLOCK::now());
    return 1;
}

bool savecheckpoint(STORE &s, const CHECKPOINT &c, SAVEREPORT &report, std::string &error)
{
    return s.save(c, report, error);
}

int loadcheckpoint(STORE &s, CHECKPOINT &c, std::string &error) { return s.load(c, error); }

void closestore(std::unique_ptr<STORE> &s) { s.reset(); }
