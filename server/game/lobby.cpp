// The game's results for the fleet, and whose players joined with a key.
#include "game/lobby.h"

#include <algorithm>
#include <chrono>

int64_t lobbyclock()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void postresult(LOBBY &l, const ROUNDRESULT &r)
{
    if (!l.fleet)
        return;
    pthread_mutex_lock(&l.lobby_lock);
    l.outbox.push_back(r);
    if (l.stored)
        l.tostore.push_back(r);
    pthread_cond_broadcast(&l.changed);
    pthread_mutex_unlock(&l.lobby_lock);
}

void lobbytickended(LOBBY &l)
{
    if (!l.fleet)
        return;
    pthread_mutex_lock(&l.lobby_lock);
    l.tickends++;
    pthread_cond_broadcast(&l.changed);
    pthread_mutex_unlock(&l.lobby_lock);
}

void restoreoutbox(LOBBY &l, std::vector<ROUNDRESULT> results)
{
    pthread_mutex_lock(&l.lobby_lock);
    l.outbox.insert(l.outbox.begin(), results.begin(), results.end());
    pthread_mutex_unlock(&l.lobby_lock);
}

void markkeyed(LOBBY &l, std::vector<ROUNDRESULT::ENTRY> &players)
{
    pthread_mutex_lock(&l.lobby_lock);
    for (ROUNDRESULT::ENTRY &e : players)
        e.keyed = l.keyed.count(e.num) > 0;
    pthread_mutex_unlock(&l.lobby_lock);
}
