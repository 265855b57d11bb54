// Player registry and start positions.
#include "game/player.h"

#include <cstdlib>
#include <cstring>

#include "protocol.h"

players::~players() { std::free(playerlist); }

int addplayer(PLAYERS &p, const char *name)
{
    pthread_mutex_lock(&p.playerlist_lock);
    PLAYERINFO *grown = nullptr;
    if (!p.s_points.empty() && p.numplayers < MAXPLAYERS && p.present < p.maxpresent)
        grown = (PLAYERINFO *)std::realloc(p.playerlist, (size_t)(p.numplayers + 1) * sizeof(PLAYERINFO));
    if (!grown) {
        pthread_mutex_unlock(&p.playerlist_lock);
        return -1;
    }
    p.playerlist = grown;
    p.numplayers++;
    p.present++;
    PLAYERINFO *entry = &p.playerlist[p.numplayers - 1];
    std::memset(entry, 0, sizeof *entry);
    entry->num = p.numplayers - 1;
    entry->score = 0;
    MAP_VERTEX pos;
    getstartpos(p, &pos);
    entry->x = pos.x;
    entry->y = pos.y;
    entry->team = 0;
    entry->health = STARTHEALTH;
    std::strncpy(entry->name, name, NAMEMAX);
    int num = entry->num;
    pthread_mutex_unlock(&p.playerlist_lock);
    return num;
}

void delplayer(PLAYERS &p, int pnum)
{
    pthread_mutex_lock(&p.playerlist_lock);
    if (pnum >= 0 && pnum < p.numplayers && p.playerlist[pnum].num >= 0) {
        p.playerlist[pnum].num = -1;
        p.present--;
    }
    pthread_mutex_unlock(&p.playerlist_lock);
}

void chgplayerinfo(PLAYERS &p, int pnum, PLAYERINFO newinfo)
{
    pthread_mutex_lock(&p.playerlist_lock);
    if (pnum >= 0 && pnum < p.numplayers && p.playerlist[pnum].num >= 0 && p.playerlist[pnum].health > 0) {
        p.playerlist[pnum].x = newinfo.x;
        p.playerlist[pnum].y = newinfo.y;
    }
    pthread_mutex_unlock(&p.playerlist_lock);
}

// Counts the present players again after the list was replaced (a
// restore). Called with playerlist_lock held.
static void recountpresent(PLAYERS &p)
{
    p.present = 0;
    for (int i = 0; i < p.numplayers; i++)
        p.present += p.playerlist[i].num >= 0;
}

bool playersfull(PLAYERS &p)
{
    pthread_mutex_lock(&p.playerlist_lock);
    const bool full = p.numplayers >= MAXPLAYERS || p.present >= p.maxpresent;
    pthread_mutex_unlock(&p.playerlist_lock);
    return full;
}

void getstartpos(PLAYERS &p, MAP_VERTEX *pos)
{
    pthread_mutex_lock(&p.s_pointindex_lock);
    *pos = p.s_points[(size_t)p.s_pointindex];
    p.s_pointindex++;
    if (p.s_pointindex == (int)p.s_points.size())
        p.s_pointindex = 0;
    pthread_mutex_unlock(&p.s_pointindex_lock);
}

std::vector<PLAYERINFO> copyplayers(PLAYERS &p, int *startturn)
{
    std::vector<PLAYERINFO> list;
    pthread_mutex_lock(&p.playerlist_lock);
    try {
        list.assign(p.playerlist, p.playerlist + p.numplayers);
    } catch (...) {
        pthread_mutex_unlock(&p.playerlist_lock);
        throw;
    }
    if (startturn) {
        pthread_mutex_lock(&p.s_pointindex_lock);
        *startturn = p.s_pointindex;
        pthread_mutex_unlock(&p.s_pointindex_lock);
    }
    pthread_mutex_unlock(&p.playerlist_lock);
    return list;
}

bool readplayer(PLAYERS &p, int pnum, PLAYERINFO &entry)
{
    pthread_mutex_lock(&p.playerlist_lock);
    const bool found = pnum >= 0 && pnum < p.numplayers;
    if (found)
        entry = p.playerlist[pnum];
    pthread_mutex_unlock(&p.playerlist_lock);
    return found;
}

int presentplayers(PLAYERS &p)
{
    int present = 0;
    pthread_mutex_lock(&p.playerlist_lock);
    for (int i = 0; i < p.numplayers; i++)
        present += p.playerlist[i].num >= 0;
    pthread_mutex_unlock(&p.playerlist_lock);
    return present;
}

void restartplayers(PLAYERS &p)
{
    pthread_mutex_lock(&p.playerlist_lock);
    for (int i = 0; i < p.numplayers; i++) {
        PLAYERINFO &e = p.playerlist[i];
        e.score = 0;
        if (e.num < 0)
            continue;
        if (!p.s_points.empty()) {
            MAP_VERTEX pos;
            getstartpos(p, &pos);
            e.x = pos.x;
            e.y = pos.y;
        }
        e.health = STARTHEALTH;
    }
    pthread_mutex_unlock(&p.playerlist_lock);
}

bool setplayers(PLAYERS &p, const std::vector<PLAYERINFO> &list, int startturn)
{
    PLAYERINFO *fresh = (PLAYERINFO *)std::malloc((list.size() + 1) * sizeof(PLAYERINFO));
    if (!fresh)
        return false;
    if (!list.empty())
        std::memcpy(fresh, list.data(), list.size() * sizeof(PLAYERINFO));
    pthread_mutex_lock(&p.playerlist_lock);
    PLAYERINFO *old = p.playerlist;
    p.playerlist = fresh;
    p.numplayers = (int)list.size();
    recountpresent(p);
    pthread_mutex_lock(&p.s_pointindex_lock);
    p.s_pointindex = startturn;
    pthread_mutex_unlock(&p.s_pointindex_lock);
    pthread_mutex_unlock(&p.playerlist_lock);
    std::free(old);
    return true;
}

void resetplayers(PLAYERS &p)
{
    pthread_mutex_lock(&p.playerlist_lock);
    std::free(p.playerlist);
    p.playerlist = nullptr;
    p.numplayers = 0;
    p.present = 0;
    p.s_points.clear();
    pthread_mutex_lock(&p.s_pointindex_lock);
    p.s_pointindex = 0;
    pthread_mutex_unlock(&p.s_pointindex_lock);
    pthread_mutex_unlock(&p.playerlist_lock);
}
