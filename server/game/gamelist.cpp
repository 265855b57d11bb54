// The list of games: this game's own row, and the fleet's as last read.
#include "game/gamelist.h"

#include <algorithm>
#include <cmath>

#include "game/gamemap.h"

GAMEROW gamerow(GAME &g)
{
    GAMEROW row;
    LOBBY &l = *g.lobby;
    row.name = l.name;
    row.url = l.publicurl;
    const GAMEMAP map = gamemap(g);
    row.map = map.name;
    row.width = (uint32_t)map.sizex;
    row.height = (uint32_t)map.sizey;
    row.maxplayers = l.maxplayers;
    row.self = true;
    row.players = presentplayers(g.players);
    const ROUNDVIEW v = roundview(g.rounds);
    row.round = v.number;
    row.phase = v.phase;
    row.left = (int)std::ceil(v.left);
    return row;
}

std::vector<GAMEROW> listgames(GAME &g)
{
    LOBBY &l = *g.lobby;
    std::vector<GAMEROW> list;
    pthread_mutex_lock(&l.lobby_lock);
    if (l.fleet && l.hasfleetview)
        list = l.games;
    pthread_mutex_unlock(&l.lobby_lock);
    list.erase(std::remove_if(list.begin(), list.end(), [&l](const GAMEROW &r) { return r.name == l.name; }),
               list.end());
    list.push_back(gamerow(g));
    std::sort(list.begin(), list.end(), [](const GAMEROW &a, const GAMEROW &b) { return a.name < b.name; });
    return list;
}
