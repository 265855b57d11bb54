// The leaderboard's JSON.
#include "web/leaderboard.h"

#include <boost/json.hpp>

#include <cmath>

namespace json = boost::json;

enum { BOARDTOP = 10, LASTTOP = 3 };

static json::array totalsjson(const std::vector<LEADERBOARD::TOTAL> &totals)
{
    json::array list;
    for (size_t i = 0; i < totals.size() && i < BOARDTOP; i++) {
        const LEADERBOARD::TOTAL &t = totals[i];
        list.push_back(json::object{{"name", t.name}, {"score", t.score}, {"rounds", t.rounds}, {"deaths", t.deaths}});
    }
    return list;
}

// The fleet's board as its thread last read it, else the game's own.
static LEADERBOARD boardof(GAME &g)
{
    LOBBY &l = *g.lobby;
    if (l.fleet) {
        pthread_mutex_lock(&l.lobby_lock);
        const bool has = l.hasfleetview;
        LEADERBOARD b = has ? l.board : LEADERBOARD();
        pthread_mutex_unlock(&l.lobby_lock);
        if (has)
            return b;
    }
    LEADERBOARD b = readboard(*g.rounds.board, BOARDTOP);
    if (b.haslast && b.last.game.empty())
        b.last.game = l.name;
    return b;
}

std::string leaderboardjson(GAME &g)
{
    const LEADERBOARD b = boardof(g);
    json::object o;
    o["rounds"] = b.rounds;
    o["top"] = totalsjson(b.totals);
    o["unkeyed"] = totalsjson(b.unkeyed);
    o["last"] = nullptr;
    if (b.haslast) {
        const ROUNDRESULT &r = b.last;
        json::array best;
        for (size_t i = 0; i < r.players.size() && i < LASTTOP; i++)
            best.push_back(
                json::object{{"name", r.players[i].name}, {"score", r.players[i].score}, {"died", r.players[i].died}});
        o["last"] = json::object{{"number", r.number}, {"game", r.game}, {"map", r.map},   {"started", r.started},
                                 {"ended", r.ended},   {"why", r.why},   {"top", std::move(best)}};
    }
    o["round"] = nullptr;
    const ROUNDVIEW v = roundview(g.rounds);
    if (v.number > 0)
        o["round"] = json::object{{"number", v.number},
                                  {"phase", v.phase == ROUNDINTERMISSION ? "intermission" : "playing"},
                                  {"left", (int64_t)std::ceil(v.left)}};
    return json::serialize(o);
}
