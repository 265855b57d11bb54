// The full-screen game of kindler-client (play and watch).
//
// Two threads. The screen thread owns curses: it reads keys (waiting at
// most a few milliseconds), queues moves and fires, and draws. The network
// thread owns the connection: it sends the queued moves and fires at once,
// and about ten times a second fetches the heat of every cell (getmap)
// and the player list (getplayerinfo), handing them over under
// `shared.lock`. The screen thread never touches the socket, so input never
// waits on the network. Every way out (q, Ctrl-C, SIGTERM, a lost server)
// ends curses before anything is printed, then sends close. The screen
// itself (curses, colours, drawing) is screen.cpp's.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#define NCURSES_WIDECHAR 1
#include <ncursesw/curses.h>

#include "client.h"
#include "moverule.h"
#include "screen.h"

// Time between two fetches of the map: the server's tick is 0.1 s, so
// fetching more often would show nothing new.
static const std::chrono::milliseconds REFRESH(100);

struct ACTION {
    bool fire; // else a move of player num to x, y
    int num, x, y;
};

// Handed between the two threads; everything guarded by `lock`.
static struct {
    std::mutex lock;
    std::condition_variable wake;   // new actions, or time to stop
    std::deque<ACTION> actions;     // queued by the screen, sent by the network
    long movessent = 0;             // moves sent so far
    bool stop = false;              // the screen wants the network thread to end
    bool fresh = false;             // cells/players are new since the screen took them
    std::vector<UPDATEMAP> cells;   // latest getmap answer
    std::vector<PLAYERINFO> players; // latest getplayerinfo answer
    long movesbefore = 0;           // moves sent before `players` was fetched
    long fetches = 0;               // map fetches completed
    std::string error;              // why the network thread ended, or empty
} shared;

static volatile sig_atomic_t stopsignal = 0; // the signal that asks us to end

static void onsignal(int sig)
{
    stopsignal = sig;
}


static void networkloop(KCLIENT *kc)
{
    auto next = clock_type::now();
    std::vector<UPDATEMAP> cells;
    std::vector<PLAYERINFO> players;
    for (;;) {
        std::deque<ACTION> todo;
        {
            std::unique_lock<std::mutex> l(shared.lock);
            shared.wake.wait_until(l, next, [] { return shared.stop || !shared.actions.empty(); });
            if (shared.stop)
                return;
            todo.swap(shared.actions);
        }
        for (const ACTION &a : todo) {
            int r = a.fire ? kcsetfire(kc) : kcmove(kc, a.num, a.x, a.y);
            if (r < 0) {
                std::lock_guard<std::mutex> l(shared.lock);
                shared.error = std::string(a.fire ? "setfire" : "setplayerinfo") + ": " + kc->error;
                return;
            }
            if (!a.fire) {
                std::lock_guard<std::mutex> l(shared.lock);
                shared.movessent++;
            }
        }
        if (clock_type::now() < next)
            continue;
        next = clock_type::now() + REFRESH;
        long sentbefore;
        {
            std::lock_guard<std::mutex> l(shared.lock);
            sentbefore = shared.movessent;
        }
        if (kcgetmap(kc, &cells) < 0 || kcgetplayerinfo(kc, &players) < 0) {
            std::lock_guard<std::mutex> l(shared.lock);
            shared.error = "lost the server: " + kc->error;
            return;
        }
        std::lock_guard<std::mutex> l(shared.lock);
        shared.cells.swap(cells);
        shared.players.swap(players);
        shared.movesbefore = sentbefore;
        shared.fresh = true;
        shared.fetches++;
    }
}


// Takes a new answer from the network thread, if there is one. Returns
// false when the network thread has ended with an error (in *error).
static bool takeanswer(WORLDVIEW &v, SCREENSTATE &s, bool *changed, std::string *error)
{
    std::vector<PLAYERINFO> before = v.players;
    long movesbefore;
    {
        std::lock_guard<std::mutex> l(shared.lock);
        if (!shared.error.empty()) {
            *error = shared.error;
            return false;
        }
        if (!shared.fresh)
            return true;
        shared.fresh = false;
        if (!v.update(shared.cells)) {
            *error = "the server's map changed size";
            return false;
        }
        v.players.swap(shared.players);
        movesbefore = shared.movesbefore;
    }
    *changed = true;
    const PLAYERINFO *mine = playerat(v, s.me);
    if (!mine)
        return true;
    // Our position comes from the server once it has seen all our moves.
    if (movesbefore == s.movesqueued) {
        s.myx = mine->x;
        s.myy = mine->y;
    }
    // The heat that hurts us is credited to the players whose fires put
    // it there: whoever gained score while we lost health.
    if ((size_t)s.me < before.size() && mine->health < before[(size_t)s.me].health) {
        auto now = clock_type::now();
        for (size_t i = 0; i < v.players.size() && i < before.size(); i++)
            if (v.players[i].score > before[i].score) {
                auto &h = s.hurtby[(int)i];
                h.first += v.players[i].score - before[i].score;
                h.second = now;
            }
    }
    return true;
}

static void queue(const ACTION &a)
{
    std::lock_guard<std::mutex> l(shared.lock);
    shared.actions.push_back(a);
    shared.wake.notify_one();
}

static void setnote(SCREENSTATE &s, const std::string &note)
{
    s.note = note;
    s.noteuntil = clock_type::now() + std::chrono::seconds(2);
}

// Handles one key. Returns false when the key asks to quit.
static bool onkey(int ch, WORLDVIEW &v, SCREENSTATE &s)
{
    long dx = 0, dy = 0;
    switch (ch) {
    case 'q':
    case 'Q':
        return false;
    case KEY_UP:
    case 'w':
    case 'W':
        dy = -1;
        break;
    case KEY_DOWN:
    case 's':
    case 'S':
        dy = 1;
        break;
    case KEY_LEFT:
    case 'a':
    case 'A':
        dx = -1;
        break;
    case KEY_RIGHT:
    case 'd':
    case 'D':
        dx = 1;
        break;
    case ' ':
        if (s.me < 0)
            return true;
        if (const PLAYERINFO *p = playerat(v, s.me); p && p->health <= 0) {
            setnote(s, "the dead set no fires");
            return true;
        }
        queue(ACTION{true, s.me, 0, 0});
        setnote(s, "fire!");
        return true;
    default:
        return true;
    }
    if (s.me < 0) {
        // Watching: the keys scroll.
        s.vx += dx * std::max(1, COLS / 4);
        s.vy += dy * std::max(1, LINES / 2);
        return true;
    }
    const PLAYERINFO *p = playerat(v, s.me);
    if (p && p->health <= 0) {
        setnote(s, "the dead do not move");
        return true;
    }
    long nx = s.myx + dx, ny = s.myy + dy;
    // The server's rule of a fair step, asked before the move is sent.
    switch (checkstep(v.w, v.h, s.myx, s.myy, nx, ny, [&v](long x, long y) { return v.block[v.at(x, y)] != 0; })) {
    case STEPOFFMAP:
        setnote(s, "edge of the map");
        return true;
    case STEPBLOCKED:
        setnote(s, "blocked");
        return true;
    case STEPTOOFAR:
    case STEPOK:
        break;
    }
    s.myx = nx;
    s.myy = ny;
    s.movesqueued++;
    queue(ACTION{false, s.me, (int)nx, (int)ny});
    return true;
}


int playgame(const CLIENTOPTIONS &opt, const char *name)
{
    KCLIENT kc;
    connectto(&kc, opt);
    kc.timeoutms = 3000;
    SCREENSTATE s;
    s.name = name;
    if (name) {
        if (kclogin(&kc, name, &s.me) < 0)
            lost(&kc, "login");
        if (s.me < 0)
            fatal("the server refused the login (its map has no start positions)");
    }
    WORLDVIEW v;
    fetchworld(&kc, &v);
    if (const PLAYERINFO *p = playerat(v, s.me)) {
        s.myx = p->x;
        s.myy = p->y;
    }

    struct sigaction sa {};
    sa.sa_handler = onsignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);

    startcurses();
    std::thread net(networkloop, &kc);
    const char *statspath = getenv("KINDLER_CLIENT_STATS");
    auto started = clock_type::now();
    auto lastdraw = clock_type::time_point{};
    std::string error;
    bool dirty = true;
    for (;;) {
        if (stopsignal)
            break;
        int ch = getch();
        if (ch != ERR) {
            if (!onkey(ch, v, s))
                break;
            dirty = true;
        }
        if (!takeanswer(v, s, &dirty, &error))
            break;
        auto now = clock_type::now();
        if (now - lastdraw >= std::chrono::milliseconds(250)) {
            s.phase++; // let the flames flicker even when nothing arrives
            dirty = true;
        }
        if (dirty) {
            draw(v, s);
            lastdraw = now;
            dirty = false;
        }
    }
    endcurses();
    double seconds = std::chrono::duration<double>(clock_type::now() - started).count();
    long fetches;
    {
        std::lock_guard<std::mutex> l(shared.lock);
        shared.stop = true;
        fetches = shared.fetches;
        shared.wake.notify_one();
    }
    net.join();
    kcclose(&kc);
    if (statspath) {
        if (FILE *f = std::fopen(statspath, "w")) {
            std::fprintf(f, "frames %ld fetches %ld seconds %.2f\n", s.frames, fetches, seconds);
            std::fclose(f);
        }
    }
    if (!error.empty())
        fatal(error);
    if (stopsignal == SIGINT)
        return 130;
    return stopsignal ? 128 + stopsignal : 0;
}
