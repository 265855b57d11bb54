// A player's actions under the two policies, and the fair policy's
// keeping of players for a resume.
#include "game/actions.h"

#include <pthread.h>

#include <algorithm>
#include <ctime>

#include "moverule.h"
#include "engine/fire.h"

// The actor has no player.
static void forget(ACTOR &a)
{
    a.num = -1;
    a.token.clear();
    a.hold = 0;
}

// A new web player joins the fair policy's players with a token of its
// own, played by the actor.
static void addwebplayer(GAME &g, ACTOR &a, int num)
{
    a.token = newtoken();
    RESUMEENTRY e;
    e.hastoken = !a.token.empty();
    if (e.hastoken)
        hashtoken(a.token, e.token.hash);
    e.token.num = num;
    e.token.issued = (int64_t)std::time(nullptr);
    pthread_mutex_lock(&g.resume_lock);
    e.holder = a.hold = ++g.resumes.nexthold;
    putentry(g.resumes, num, e);
    pthread_mutex_unlock(&g.resume_lock);
}

// The actor's hold on its player (resume_lock held): true while no other
// actor took it over.
static bool holds(GAME &g, const ACTOR &a)
{
    auto it = g.resumes.players.find(a.num);
    return it != g.resumes.players.end() && it->second.holder == a.hold && a.hold != 0;
}

// A FAIR actor whose player was taken over forgets it: false then.
static bool stillplays(GAME &g, ACTOR &a)
{
    pthread_mutex_lock(&g.resume_lock);
    const bool held = holds(g, a);
    pthread_mutex_unlock(&g.resume_lock);
    if (!held)
        forget(a);
    return held;
}

int joingame(GAME &g, ACTOR &a, const char *name)
{
    if (a.policy == FAIR)
        leavegame(g, a);
    int num = addplayer(g.players, name);
    if (num < 0)
        return -1;
    a.num = num;
    if (a.policy == FAIR)
        addwebplayer(g, a, num);
    return num;
}

// A FAIR step of the actor's own player, checked and made under one hold of
// playerlist_lock (materials are fixed once the world is loaded: no grid
// lock is needed to ask whether a cell blocks).
static ACTED fairstep(GAME &g, ACTOR &a, int num, long x, long y, bool by)
{
    if (!taketoken(a.moves, buckettime()))
        return ACTDROPPED;
    if (a.num < 0 || num != a.num || !stillplays(g, a))
        return ACTREFUSED;
    const WORLD &w = g.world;
    ACTED result = ACTREFUSED;
    changeplayers(g.players, [&](PLAYERINFO *list, int) {
        PLAYERINFO &e = list[a.num];
        if (e.num < 0 || e.health <= 0)
            return;
        long nx = by ? e.x + x : x, ny = by ? e.y + y : y;
        auto blocked = [&w](long cx, long cy) { return cellblocks(w, cx, cy); };
        if (checkstep(w.mapsizex, w.mapsizey, e.x, e.y, nx, ny, blocked) == STEPOK) {
            e.x = (int32_t)nx;
            e.y = (int32_t)ny;
            result = ACTDONE;
        }
    });
    return result;
}

ACTED moveplayer(GAME &g, ACTOR &a, int num, long x, long y, bool by)
{
    if (!roundplays(g.rounds))
        return ACTREFUSED; // between rounds
    if (a.policy == FAIR)
        return fairstep(g, a, num, x, y, by);
    if (by)
        return ACTREFUSED; // port 3140 moves to positions only
    PLAYERINFO to = {};
    to.x = (int32_t)x;
    to.y = (int32_t)y;
    chgplayerinfo(g.players, num, to);
    return ACTDONE;
}

ACTED setfire(GAME &g, ACTOR &a)
{
    if (a.policy == FAIR && !taketoken(a.fires, buckettime()))
        return ACTDROPPED;
    if (a.num < 0 || (a.policy == FAIR && !stillplays(g, a)) || !roundplays(g.rounds))
        return ACTREFUSED;
    PLAYERINFO e;
    if (!readplayer(g.players, a.num, e))
        return ACTREFUSED;
    bool alive = e.health > 0 && (a.policy == CLASSIC || e.num >= 0);
    long x = e.x, y = e.y;
    if (!alive)
        return ACTREFUSED;
    addfire(g.world, x, y, a.num + 1);
    return ACTDONE;
}

void leavegame(GAME &g, ACTOR &a)
{
    if (a.num < 0)
        return;
    if (a.policy == FAIR) {
        pthread_mutex_lock(&g.resume_lock);
        const bool held = holds(g, a);
        if (held)
            removeentry(g.resumes, a.num);
        pthread_mutex_unlock(&g.resume_lock);
        if (!held) {
            forget(a);
            return;
        }
    }
    delplayer(g.players, a.num);
    forget(a);
}

int resumegame(GAME &g, ACTOR &a, const std::string &token)
{
    unsigned char hash[32];
    hashtoken(token, hash);
    pthread_mutex_lock(&g.resume_lock);
    RESUMEENTRY *e = findtoken(g.resumes, hash);
    const bool own = e && a.num >= 0 && e->token.num == a.num && holds(g, a);
    pthread_mutex_unlock(&g.resume_lock);
    if (own)
        return a.num;
    leavegame(g, a);
    pthread_mutex_lock(&g.resume_lock);
    e = findtoken(g.resumes, hash);
    if (e) {
        holdentry(g.resumes, *e, ++g.resumes.nexthold);
        a.hold = e->holder;
        a.num = e->token.num;
        a.token = token;
    }
    pthread_mutex_unlock(&g.resume_lock);
    return a.num;
}

void dropgame(GAME &g, ACTOR &a, RESUMECLOCK::time_point now)
{
    if (a.policy == CLASSIC || g.resumes.keep <= 0 || a.num < 0) {
        leavegame(g, a);
        return;
    }
    const auto until = now + std::chrono::duration_cast<RESUMECLOCK::duration>(
                                 std::chrono::duration<double>(g.resumes.keep));
    pthread_mutex_lock(&g.resume_lock);
    if (holds(g, a))
        keepentry(g.resumes, g.resumes.players[a.num], until);
    pthread_mutex_unlock(&g.resume_lock);
    forget(a);
}

void expirekept(GAME &g, RESUMECLOCK::time_point now)
{
    pthread_mutex_lock(&g.resume_lock);
    const std::vector<int> gone = takeexpired(g.resumes, now);
    for (int num : gone)
        removeentry(g.resumes, num);
    pthread_mutex_unlock(&g.resume_lock);
    for (int num : gone)
        delplayer(g.players, num);
}

std::vector<SAVEDTOKEN> issuedtokens(GAME &g)
{
    std::vector<SAVEDTOKEN> tokens;
    pthread_mutex_lock(&g.resume_lock);
    for (const auto &[num, e] : g.resumes.players)
        if (e.hastoken)
            tokens.push_back(e.token);
    pthread_mutex_unlock(&g.resume_lock);
    std::sort(tokens.begin(), tokens.end(), [](const SAVEDTOKEN &a, const SAVEDTOKEN &b) { return a.num < b.num; });
    return tokens;
}

void keeprestored(GAME &g, const std::vector<int> &web, const std::vector<SAVEDTOKEN> &tokens,
                  RESUMECLOCK::time_point now)
{
    const auto until = now + std::chrono::duration_cast<RESUMECLOCK::duration>(
                                 std::chrono::duration<double>(g.resumes.keep));
    pthread_mutex_lock(&g.resume_lock);
    RESUMES &r = g.resumes;
    r.players.clear();
    r.kept = 0;
    for (int num : web) {
        RESUMEENTRY e;
        e.token.num = num;
        e.until = until;
        putentry(r, num, e);
    }
    for (const SAVEDTOKEN &t : tokens) {
        auto it = r.players.find(t.num);
        if (it != r.players.end()) {
            it->second.token = t;
            it->second.hastoken = true;
        }
    }
    pthread_mutex_unlock(&g.resume_lock);
}
