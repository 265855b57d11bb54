// Who may play a name, and a JOIN that asks.
#include "game/names.h"

#include <ctime>

#include "game/resume.h"

const char *const NAMETAKEN = "that name belongs to another player";
const char *const GAMEFULL = "the game is full";
const char *const NOSTART = "no start position";
const char *const TOOMANYJOINS = "too many joins";

KEYHASH hashkey(const std::string &key)
{
    KEYHASH h;
    hashtoken(key, h.data());
    return h;
}

// The realtime clock `seconds` from now, as pthread_cond_timedwait takes it.
static struct timespec after(double seconds)
{
    struct timespec t;
    clock_gettime(CLOCK_REALTIME, &t);
    const long ns = t.tv_nsec + (long)(seconds * 1e9);
    t.tv_sec += ns / 1000000000;
    t.tv_nsec = ns % 1000000000;
    return t;
}

// Takes the name for the key here (lobby_lock held).
static void takename(LOBBY &l, const std::string &name, const KEYHASH &key)
{
    l.owners[name] = key;
    if (l.keepclaims)
        l.claims.emplace_back(name, key);
}

bool mayplayname(LOBBY &l, const std::string &name, const KEYHASH &key)
{
    pthread_mutex_lock(&l.lobby_lock);
    auto known = l.owners.find(name);
    if (known == l.owners.end() && l.fleet && l.fleetup) {
        l.asks.emplace_back(name, key);
        pthread_cond_broadcast(&l.changed);
        const struct timespec until = after(l.namewait);
        int rc = 0;
        while (rc == 0 && l.owners.find(name) == l.owners.end() && l.fleetup)
            rc = pthread_cond_timedwait(&l.changed, &l.lobby_lock, &until);
        known = l.owners.find(name);
    }
    bool may = true;
    if (known != l.owners.end())
        may = known->second == key;
    else
        takename(l, name, key);
    pthread_mutex_unlock(&l.lobby_lock);
    return may;
}

int joinkeyed(GAME &g, ACTOR &a, const std::string &name, const std::string &key, std::string &reason)
{
    reason.clear();
    KEYHASH h{};
    if (!key.empty()) {
        h = hashkey(key);
        if (!mayplayname(*g.lobby, name, h)) {
            leavegame(g, a);
            reason = NAMETAKEN;
            return -1;
        }
    }
    const int num = joingame(g, a, name.c_str());
    if (num < 0) {
        reason = g.players.s_points.empty() ? NOSTART : GAMEFULL;
        return -1;
    }
    if (!key.empty()) {
        LOBBY &l = *g.lobby;
        pthread_mutex_lock(&l.lobby_lock);
        l.keyed[num] = h;
        pthread_mutex_unlock(&l.lobby_lock);
    }
    return num;
}
