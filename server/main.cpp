// kindler-server: start-up in a fixed order, then the simulation loop.
//
//   kindler-server [--OPTION=VALUE...] [ignored words...] [MAPFILE]
//
// The last command-line word that is no option, when there is more than
// one, names the map. A map that cannot be opened leaves the world empty;
// a map with bad content, a bad option value, or a port that cannot be
// bound, ends the process with status 1. The options (server/options.cpp)
// may stand anywhere; --help and --version print and end. Start-up alone
// decides to end the process: the functions it calls report and return.
// With a store (--state) the world is restored before the first tick and
// before any port listens, checkpointed by a thread of its own, and saved
// once more when SIGTERM or SIGINT ends the server (status 0).
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tcp/connection.h"
#include "game/game.h"
#include "tcp/listener.h"
#include "tcp/tcpport.h"
#include "app/loop.h"
#include "app/options.h"
#include "protocol.h"
#include "engine/publish.h"
#include "fleet/fleet.h"
#include "app/service.h"
#include "store/checkpointer.h"
#include "store/openstate.h"
#include "web/web.h"

// Everything the server process runs: its settings, its one game and what
// serves it. Static: connection and web threads may outlive main's return.
struct SERVER {
    SETTINGS settings;        // written by start-up before any thread
    GAME game;                // the server's one game
    TCPPORT port3140;         // its port 3140
    CHECKPOINTER checkpoints; // its store's thread, with --state
    SERVICE service;          // the watchdog's state, the ticking thread's
    sigset_t endsignals;      // SIGTERM, SIGINT: blocked, taken by waitforend
    FLEET fleet;              // its fleet's thread, with --fleet
};
static SERVER server;

// The signal thread of a server with a store: the first SIGTERM or SIGINT
// stops the game's loops; main then takes the last checkpoint.
static void *waitforend(void *arg)
{
    SERVER &s = *(SERVER *)arg;
    int sig = 0;
    sigwait(&s.endsignals, &sig);
    stopgame(s.game);
    return nullptr;
}

// The game's last hook, after each tick: the service manager's watchdog
// hears that ticks go on.
static void watchdoghook(void *arg, GAME &, const TICKREPORT &) { servicetick(*(SERVICE *)arg); }

// Start-up with --state: the store opened, restored or discarded; false
// after the refusal's line.
static bool startstore(SERVER &s, const std::vector<std::string> &words, bool maploaded)
{
    const SETTINGS &settings = s.settings;
    GAME &game = s.game;
    CHECKPOINTER &checkpoints = s.checkpoints;
    std::string error;
    if (!maploaded) {
        std::fprintf(stderr, "Error! store %s: a store needs a map that loads\n", settings.state.c_str());
        return false;
    }
    const int found = openstate(game, settings.state, words.back(), settings.fresh, checkpoints, error);
    if (found < 0) {
        std::fprintf(stderr, "Error! %s\n", error.c_str());
        return false;
    }
    // The board of the rounds played, before the first round is numbered.
    std::shared_ptr<BOARD> board = makestoreboard(*checkpoints.store, error);
    if (!board) {
        std::fprintf(stderr, "Error! %s\n", error.c_str());
        return false;
    }
    game.rounds.board = board;
    if (!openlobby(*game.lobby, *checkpoints.store, error)) {
        std::fprintf(stderr, "Error! %s\n", error.c_str());
        return false;
    }
    if (found > 0)
        std::printf("restored tick %llu from %s\n", (unsigned long long)publishedticks(game.world), settings.state.c_str());
    checkpoints.interval = settings.checkpoint;
    return true;
}

// The game's name and address among the games; whether a fleet or a
// store keeps its results and names (before the store is opened).
static void setlobby(SERVER &s)
{
    const SETTINGS &settings = s.settings;
    LOBBY &l = *s.game.lobby;
    const std::string map = gamemap(s.game).name;
    l.name = !settings.name.empty() ? settings.name : !map.empty() ? map : "kindler";
    l.publicurl = settings.publicurl;
    l.fleet = !settings.fleet.empty();
    l.stored = !settings.state.empty();
    l.keepclaims = l.fleet || l.stored;
}

// With --fleet the fleet's thread (it talks to the database; the game
// never waits on it).
static bool startlobby(SERVER &s)
{
    const SETTINGS &settings = s.settings;
    if (settings.fleet.empty())
        return true;
    char host[256] = "localhost";
    gethostname(host, sizeof host - 1);
    FLEET &fleet = s.fleet;
    fleet.game = &s.game;
    fleet.uri = settings.fleet;
    fleet.beat = settings.fleetbeat;
    fleet.stale = settings.fleetstale;
    fleet.retry = std::min(2.0, settings.fleetbeat);
    fleet.defaulturl = "http://" + std::string(host) + ":" + std::to_string(settings.http) + "/";
    if (!startfleet(fleet)) {
        std::fputs("Error! cannot start the fleet's thread\n", stderr);
        return false;
    }
    return true;
}

int main(int argc, char **argv)
{
    // Progress must reach a pipe or file line by line: the server only ever
    // ends by a signal, which would lose a buffer.
    setvbuf(stdout, nullptr, _IOLBF, 0);

    // One descriptor per client: allow as many as the system lets us.
    struct rlimit files;
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }

    SETTINGS &settings = server.settings;
    GAME &game = server.game;
    TCPPORT &port3140 = server.port3140;
    std::vector<std::string> words;
    std::string warnings, error;
    switch (parseoptions(argc, argv, settings, words, warnings, error)) {
    case OPTIONS_HELP:
        std::fputs(helptext().c_str(), stdout);
        return 0;
    case OPTIONS_VERSION:
        std::fputs(versiontext().c_str(), stdout);
        return 0;
    case OPTIONS_BAD:
        std::fputs(error.c_str(), stderr);
        return 1;
    case OPTIONS_RUN:
        break;
    }
    std::fputs(warnings.c_str(), stderr);
    game.tick.path = settings.tickpath;
    const bool store = !settings.state.empty();
    if (store) {
        // Before any thread: every thread inherits the mask, and a file
        // size limit shows as a failed write rather than ending the server.
        sigemptyset(&server.endsignals);
        sigaddset(&server.endsignals, SIGTERM);
        sigaddset(&server.endsignals, SIGINT);
        pthread_sigmask(SIG_BLOCK, &server.endsignals, nullptr);
        signal(SIGXFSZ, SIG_IGN);
    }
    port3140.game = &game;
    port3140.stall = settings.web.stalltimeout;
    game.resumes.keep = settings.resumekeep;
    game.players.maxpresent = settings.maxplayers;
    game.lobby->maxplayers = settings.maxplayers;
    game.logins.perminute = settings.loginsperaddress;
    const int loaded = words.size() > 1 ? loadmap(game, words.back().c_str()) : -1;
    if (loaded > 0)
        return 1;
    const char *mapfile = words.size() > 1 ? words.back().c_str() : "";
    // A round starts again on the map as built, not on a restored world.
    if (settings.round > 0)
        keepfirstworld(game, mapfile);
    setlobby(server);
    if (store && !startstore(server, words, loaded == 0))
        return 1;
    if (settings.round > 0) {
        game.rounds.length = settings.round;
        game.rounds.intermission = settings.intermission;
        game.rounds.burnout = settings.burnout;
        startrounds(game, mapfile);
    }
    if (!startlobby(server))
        return 1;
    // The web endpoint is up before port 3140 listens: a client that finds
    // the game's port open finds the whole server running. Its /metrics
    // shows the game's, port 3140's and the store's numbers too.
    if (settings.http != 0) {
        startmetrics(game.metrics, game.players, game.rounds);
        fleetmetrics(game.metrics, *game.lobby);
        tickpathmetric(game.metrics, tickpathname(game.tick.path));
        tcpmetrics(port3140);
        if (!startweb(game, settings.web, settings.http, settings.httpchosen) && settings.httpchosen)
            return 1;
        if (store)
            checkpointmetrics(server.checkpoints.metrics, game.metrics);
    }
    port3140.sockfd = setupnet(settings.port);
    if (port3140.sockfd < 0)
        return 1;
    pthread_t netthread;
    pthread_create(&netthread, nullptr, netloop, &port3140);
    if (!store) {
        addtickhook(game, watchdoghook, &server.service);
        servicestarted(server.service);
        mainloop(game);
        return 0;
    }
    CHECKPOINTER &checkpoints = server.checkpoints;
    pthread_t signalthread;
    if (pthread_create(&signalthread, nullptr, waitforend, &server) != 0 || !startcheckpointer(checkpoints)) {
        std::fputs("Error! cannot start the store's threads\n", stderr);
        return 1;
    }
    addtickhook(game, checkpointhook, &checkpoints);
    addtickhook(game, watchdoghook, &server.service);
    servicestarted(server.service);
    mainloop(game);
    stoplistener(port3140);
    pthread_join(signalthread, nullptr); // it has stopped the game
    pthread_detach(netthread);           // it ends by itself once woken
    error.clear();
    const bool saved = stopcheckpointer(checkpoints, error);
    if (saved)
        std::printf("saved tick %llu to %s\n", (unsigned long long)checkpoints.copy.tick, settings.state.c_str());
    else
        std::fprintf(stderr, "Error! %s\n", error.c_str());
    std::fflush(nullptr);
    // Connections and the web's threads may still run: end without
    // destroying what they use.
    _exit(saved ? 0 : 1);
}
