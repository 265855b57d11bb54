// A game's players: those of the fair policy, the list as readers copy it.
#include "game/game.h"

#include <algorithm>

std::vector<int> webplayernumbers(GAME &g)
{
    std::vector<int> numbers;
    pthread_mutex_lock(&g.resume_lock);
    numbers.reserve(g.resumes.players.size());
    for (const auto &entry : g.resumes.players)
        numbers.push_back(entry.first);
    pthread_mutex_unlock(&g.resume_lock);
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

std::vector<LISTEDPLAYER> listplayers(GAME &g, int *startturn)
{
    const std::vector<int> web = webplayernumbers(g);
    const std::vector<PLAYERINFO> all = copyplayers(g.players, startturn);
    std::vector<LISTEDPLAYER> list(all.size());
    for (size_t i = 0; i < all.size(); i++)
        list[i].info = all[i];
    for (int n : web)
        if (n >= 0 && (size_t)n < list.size())
            list[(size_t)n].web = true;
    return list;
}

void snapshotgame(GAME &g, WORLDSNAPSHOT &s) { takesnapshot(g.world, s); }

void restoregame(GAME &g, const WORLDSNAPSHOT &s) { restoresnapshot(g.world, s); }
