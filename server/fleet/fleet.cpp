// The fleet thread's loop.
#include "fleet/fleet.h"

#include <algorithm>
#include <cerrno>
#include <ctime>

#include <sys/resource.h>
#include <unistd.h>

#include "fleet/fleetdb.h"
#include "fleet/fleetschema.h"
#include "game/game.h"
#include "game/stopthread.h"

namespace {

using CLOCK = std::chrono::steady_clock;

enum { BOARDTOP = 10, SENDSATONCE = 16 };

CLOCK::duration seconds(double s) { return std::chrono::duration_cast<CLOCK::duration>(std::chrono::duration<double>(s)); }

struct timespec realtimeafter(CLOCK::duration d)
{
    struct timespec t;
    clock_gettime(CLOCK_REALTIME, &t);
    const long long ns = (long long)t.tv_nsec + std::chrono::duration_cast<std::chrono::nanoseconds>(d).count();
    t.tv_sec += (time_t)(ns / 1000000000);
    t.tv_nsec = (long)(ns % 1000000000);
    return t;
}

// What one round of the loop takes from the lobby.
struct WORK {
    std::vector<std::pair<std::string, KEYHASH>> names; // asks, then claims
    size_t asks = 0, claims = 0;
    std::vector<ROUNDRESULT> results;
};

// A failure: the fleet is down; one line at most every logevery seconds.
void failed(FLEET &f, const std::string &what)
{
    const auto now = CLOCK::now();
    f.ready = f.ready && f.db.connected();
    if (f.logged && std::chrono::duration<double>(now - f.lastlog).count() < f.logevery)
        return;
    f.logged = true;
    f.lastlog = now;
    std::fprintf(f.log, "Fleet: %s (the game goes on): %s\n", what.c_str(), f.db.error.c_str());
    std::fflush(f.log);
}

void setup(FLEET &f)
{
    const auto now = CLOCK::now();
    if (now < f.nextretry)
        return;
    f.nextretry = now + seconds(f.retry);
    std::string error;
    if (!f.db.connect(f.uri, f.bounds)) {
        failed(f, "cannot reach the database");
        return;
    }
    if (!upgradefleet(f.db, error)) {
        f.db.error = error;
        failed(f, "cannot set up the fleet's tables");
        f.db.disconnect();
        return;
    }
    f.ready = true;
    f.nextbeat = now;
    if (f.logged) {
        std::fprintf(f.log, "Fleet: the database answers again\n");
        std::fflush(f.log);
    }
    f.logged = false;
}

// With lobby_lock held: waits until a tick ends (at most f.tickwait
// seconds) unless a JOIN waits on a name. False when the thread must end.
bool aftertick(FLEET &f, LOBBY &l)
{
    const uint64_t seen = l.tickends;
    const struct timespec until = realtimeafter(seconds(f.tickwait));
    while (!l.stopping && l.tickends == seen && !(f.ready && !l.asks.empty()))
        if (pthread_cond_timedwait(&l.changed, &l.lobby_lock, &until) == ETIMEDOUT)
            break;
    return !l.stopping;
}

// Takes the lobby's waiting work, waiting for some (or the next beat).
// False when the thread must end.
bool takework(FLEET &f, LOBBY &l, WORK &w)
{
    pthread_mutex_lock(&l.lobby_lock);
    for (;;) {
        if (l.stopping) {
            pthread_mutex_unlock(&l.lobby_lock);
            return false;
        }
        const auto now = CLOCK::now();
        auto due = f.ready ? f.nextbeat : f.nextretry;
        if (f.ready && (!l.claims.empty() || !l.outbox.empty()))
            due = std::min(due, f.nextsend);
        if ((f.ready && !l.asks.empty()) || now >= due)
            break;
        const struct timespec until = realtimeafter(due - now);
        pthread_cond_timedwait(&l.changed, &l.lobby_lock, &until);
    }
    if (!aftertick(f, l)) {
        pthread_mutex_unlock(&l.lobby_lock);
        return false;
    }
    w = WORK();
    w.names = l.asks;
    w.asks = l.asks.size();
    l.asks.clear();
    w.names.insert(w.names.end(), l.claims.begin(), l.claims.end());
    w.claims = l.claims.size();
    w.results.assign(l.outbox.begin(), l.outbox.begin() + (long)std::min<size_t>(SENDSATONCE, l.outbox.size()));
    pthread_mutex_unlock(&l.lobby_lock);
    return true;
}

bool sameround(const ROUNDRESULT &a, const ROUNDRESULT &b) { return a.number == b.number && a.started == b.started; }

// The names: their owners into the lobby, the claims sent forgotten.
bool names(FLEET &f, LOBBY &l, const WORK &w)
{
    if (w.names.empty())
        return true;
    std::vector<std::pair<std::string, KEYHASH>> owners;
    if (!claimnames(f.db, w.names, owners))
        return false;
    pthread_mutex_lock(&l.lobby_lock);
    for (const auto &[name, key] : owners)
        l.owners[name] = key;
    l.claims.erase(l.claims.begin(), l.claims.begin() + (long)std::min(w.claims, l.claims.size()));
    pthread_cond_broadcast(&l.changed);
    pthread_mutex_unlock(&l.lobby_lock);
    return true;
}

bool results(FLEET &f, LOBBY &l, const WORK &w)
{
    for (const ROUNDRESULT &r : w.results) {
        if (!sendresult(f.db, l.name, r))
            return false;
        pthread_mutex_lock(&l.lobby_lock);
        auto it = std::find_if(l.outbox.begin(), l.outbox.end(), [&r](const ROUNDRESULT &x) { return sameround(x, r); });
        if (it != l.outbox.end())
            l.outbox.erase(it);
        if (l.stored)
            l.sent.push_back(r);
        pthread_mutex_unlock(&l.lobby_lock);
    }
    return true;
}

bool heartbeat(FLEET &f, LOBBY &l)
{
    const auto now = CLOCK::now();
    if (now < f.nextbeat)
        return true;
    f.nextbeat = now + seconds(f.beat);
    GAMEROW row = gamerow(*f.game); // the game's locks, one after the other; no lobby_lock
    if (row.url.empty())
        row.url = f.defaulturl;
    std::vector<GAMEROW> games;
    LEADERBOARD board;
    if (!storebeat(f.db, row))
        return false;
    l.lastbeat.store(lobbyclock(), std::memory_order_relaxed);
    if (!readgames(f.db, f.stale, games) || !readfleetboard(f.db, BOARDTOP, board))
        return false;
    pthread_mutex_lock(&l.lobby_lock);
    l.games = std::move(games);
    l.board = std::move(board);
    l.hasfleetview = true;
    pthread_mutex_unlock(&l.lobby_lock);
    return true;
}

void setup_state(LOBBY &l, bool up)
{
    l.up.store(up, std::memory_order_relaxed);
    pthread_mutex_lock(&l.lobby_lock);
    if (l.fleetup != up) {
        l.fleetup = up;
        pthread_cond_broadcast(&l.changed);
    }
    pthread_mutex_unlock(&l.lobby_lock);
}

void *fleetloop(void *arg)
{
    FLEET &f = *(FLEET *)arg;
    LOBBY &l = *f.game->lobby;
    WORK w;
    // The thread yields the cores to the tick: its calls can wait a few
    // milliseconds, a tick that waits for them is late for every player.
    // (Linux: the nice value of this thread alone.)
    setpriority(PRIO_PROCESS, (id_t)gettid(), 10);
    pthread_setname_np(pthread_self(), "kindler-fleet");
    for (;;) {
        setup_state(l, f.ready);
        if (!takework(f, l, w))
            break;
        if (!f.ready) {
            setup(f);
            if (!f.ready)
                continue;
        }
        bool ok = names(f, l, w);
        ok = ok && results(f, l, w);
        ok = ok && heartbeat(f, l);
        f.nextsend = ok ? CLOCK::now() : CLOCK::now() + seconds(f.retry);
        if (!ok) {
            failed(f, "the database failed");
            // A broken connection is made again; a refused statement is
            // tried again at the next beat.
            if (!f.db.connected())
                f.ready = false;
            else
                f.nextbeat = std::min(f.nextbeat, CLOCK::now() + seconds(f.retry));
        } else if (f.logged && f.db.connected()) {
            std::fprintf(f.log, "Fleet: the database answers again\n");
            std::fflush(f.log);
            f.logged = false;
        }
        setup_state(l, f.ready && ok);
    }
    f.db.disconnect();
    return nullptr;
}

} // namespace

bool startfleet(FLEET &f)
{
    LOBBY &l = *f.game->lobby;
    l.fleet = true;
    l.keepclaims = true;
    l.started.store(lobbyclock(), std::memory_order_relaxed);
    pthread_mutex_lock(&l.lobby_lock);
    l.stopping = false;
    pthread_mutex_unlock(&l.lobby_lock);
    f.running = pthread_create(&f.thread, nullptr, fleetloop, &f) == 0;
    return f.running;
}

void stopfleet(FLEET &f)
{
    if (!f.running)
        return;
    LOBBY &l = *f.game->lobby;
    stopthread(l.lobby_lock, l.changed, l.stopping, f.thread);
    f.running = false;
}
