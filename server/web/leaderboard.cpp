// The leaderboard's JSON.
#include "web/leaderboard.h"

#include <boost/json.hpp>

#include <cmath>

namespace json = boost::json;

enum { BOARDTOP = 10, LASTTOP = 3 };

std::string leaderboardjson(GAME &g)
{
    const LEADERBOARD b = readboard(*g.rounds.board, BOARDTOP);
    json::object o;
    o["rounds"] = b.rounds;
    json::array top;
    for (const LEADERBOARD::TOTAL &t : b.totals)
        top.push_back(json::object{{"name", t.name}, {"score", t.score}, {"rounds", t.rounds}, {"deaths", t.deaths}});
    o["top"] = std::move(top);
    o["last"] = nullptr;
    if (b.haslast) {
        const ROUNDRESULT &r = b.last;
        json::array best;
        for (size_t i = 0; i < r.players.size() && i < LASTTOP; i++)
            best.push_back(
                json::object{{"name", r.players[i].name}, {"score", r.players[i].score}, {"died", r.players[i].died}});
        o["last"] = json::object{{"number", r.number}, {"map", r.map},   {"started", r.started},
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
