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

#include <cstdio>
#include <string>
#include <vector>

#include "tcp/connection.h"
#include "game/game.h"
#include "tcp/listener.h"
#include "game/loadmap.h"
#include "app/loop.h"
#include "app/options.h"
#include "protocol.h"
#include "engine/publish.h"
#include "game/restart.h"
#include "game/roundtick.h"
#include "app/service.h"
#include "store/checkpointer.h"
#include "store/openstate.h"
#include "web/metrics.h"
#include "web/web.h"

static GAME game;               // the server's one game
static CHECKPOINTER checkpoints; // its store's thread, with --state
static sigset_t endsignals;     // SIGTERM, SIGINT: blocked, taken by waitforend

// The signal thread of a server with a store: the first SIGTERM or SIGINT
// stops the game's loops; main then takes the last checkpoint.
static void *waitforend(void *)
{
    int sig = 0;
    sigwait(&endsignals, &sig);
    game.stopping.store(true, std::memory_order_release);
    return nullptr;
}

static void ticked(void *arg) { checkpointticked(*(CHECKPOINTER *)arg); }

// Start-up with --state: the store opened, restored or discarded, its
// metrics on; false after the refusal's line.
static bool startstore(const std::vector<std::string> &words, bool maploaded)
{
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
    if (found > 0)
        std::printf("restored tick %llu from %s\n", (unsigned long long)game.world.ticks, settings.state.c_str());
    checkpoints.interval = settings.checkpoint;
    checkpoints.observer = observecheckpoint;
    initcheckpointmetrics();
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

    std::vector<std::string> words;
    std::string warnings, error;
    switch (parseoptions(argc, argv, words, warnings, error)) {
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
        sigemptyset(&endsignals);
        sigaddset(&endsignals, SIGTERM);
        sigaddset(&endsignals, SIGINT);
        pthread_sigmask(SIG_BLOCK, &endsignals, nullptr);
        signal(SIGXFSZ, SIG_IGN);
    }
    sendstall = settings.stalltimeout;
    game.resumes.keep = settings.resumekeep;
    const int loaded = words.size() > 1 ? loadmap(game, words.back().c_str()) : -1;
    if (loaded > 0)
        return 1;
    const char *mapfile = words.size() > 1 ? words.back().c_str() : "";
    // A round starts again on the map as built, not on a restored world.
    if (settings.round > 0)
        keepfirstworld(game, mapfile);
    if (store && !startstore(words, loaded == 0))
        return 1;
    updateinterval = 0.1;
    if (settings.round > 0) {
        game.rounds.length = settings.round;
        game.rounds.intermission = settings.intermission;
        game.rounds.burnout = settings.burnout;
        startrounds(game, mapfile);
    }
    // The web endpoint is up before port 3140 listens: a client that finds
    // the game's port open finds the whole server running.
    if (settings.http != 0 && !startweb(game, settings.http, settings.httpchosen) && settings.httpchosen)
        return 1;
    static LISTENER listener;
    listener = {&game, setupnet(PORTNUM)};
    if (listener.sockfd < 0)
        return 1;
    pthread_t netthread;
    pthread_create(&netthread, nullptr, netloop, &listener);
    if (!store) {
        servicestarted();
        mainloop(game);
        return 0;
    }
    pthread_t signalthread;
    if (pthread_create(&signalthread, nullptr, waitforend, nullptr) != 0 || !startcheckpointer(checkpoints)) {
        std::fputs("Error! cannot start the store's threads\n", stderr);
        return 1;
    }
    servicestarted();
    mainloop(game, ticked, &checkpoints);
    stopgame(game, listener.sockfd);
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
