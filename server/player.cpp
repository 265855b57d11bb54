// Player registry and start positions.
#include "player.h"

#include <cstdlib>
#include <cstring>

#include "file.h"

pthread_mutex_t playerlist_lock = PTHREAD_MUTEX_INITIALIZER;
PLAYERINFO *playerlist = nullptr; // guarded by playerlist_lock
int numplayers = 0;               // guarded by playerlist_lock
pthread_mutex_t s_pointindex_lock = PTHREAD_MUTEX_INITIALIZER;
int s_pointindex = 0;             // guarded by s_pointindex_lock

int addplayer(const char *name)
{
    pthread_mutex_lock(&playerlist_lock);
    PLAYERINFO *grown = nullptr;
    if (s_pointsnum > 0 && numplayers < MAXPLAYERS)
        grown = (PLAYERINFO *)std::realloc(playerlist, (size_t)(numplayers + 1) * sizeof(PLAYERINFO));
    if (!grown) {
        pthread_mutex_unlock(&playerlist_lock);
        return -1;
    }
    playerlist = grown;
    numplayers++;
    PLAYERINFO *entry = &playerlist[numplayers - 1];
    std::memset(entry, 0, sizeof *entry);
    entry->num = numplayers - 1;
    entry->score = 0;
    MAP_VERTEX pos;
    getstartpos(&pos);
    entry->x = pos.x;
    entry->y = pos.y;
    entry->team = 0;
    entry->health = 100;
    std::strncpy(entry->name, name, sizeof entry->name - 1);
    int num = entry->num;
    pthread_mutex_unlock(&playerlist_lock);
    return num;
}

void delplayer(int pnum)
{
    pthread_mutex_lock(&playerlist_lock);
    if (pnum >= 0 && pnum < numplayers)
        playerlist[pnum].num = -1;
    pthread_mutex_unlock(&playerlist_lock);
}

void chgplayerinfo(int pnum, PLAYERINFO newinfo)
{
    pthread_mutex_lock(&playerlist_lock);
    if (pnum >= 0 && pnum < numplayers && playerlist[pnum].num >= 0 && playerlist[pnum].health > 0) {
        playerlist[pnum].x = newinfo.x;
        playerlist[pnum].y = newinfo.y;
    }
    pthread_mutex_unlock(&playerlist_lock);
}

void getstartpos(MAP_VERTEX *pos)
{
    pthread_mutex_lock(&s_pointindex_lock);
    *pos = s_points[s_pointindex];
    s_pointindex++;
    if (s_pointindex == s_pointsnum)
        s_pointindex = 0;
    pthread_mutex_unlock(&s_pointindex_lock);
}

void resetplayers()
{
    pthread_mutex_lock(&playerlist_lock);
    std::free(playerlist);
    playerlist = nullptr;
    numplayers = 0;
    pthread_mutex_lock(&s_pointindex_lock);
    s_pointindex = 0;
    pthread_mutex_unlock(&s_pointindex_lock);
    pthread_mutex_unlock(&playerlist_lock);
}
