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
#include <pthread.h>
#include <sys/resource.h>

#include <cstdio>
#include <string>
#include <vector>

#include "connection.h"
#include "game.h"
#include "listener.h"
#include "loadmap.h"
#include "loop.h"
#include "options.h"
#include "protocol.h"
#include "publish.h"
#include "service.h"
#include "web/web.h"

static GAME game; // the server's one game

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
    sendstall = settings.stalltimeout;
    game.resumes.keep = settings.resumekeep;
    if (words.size() > 1 && loadmap(game, words.back().c_str()) > 0)
        return 1;
    updateinterval = 0.1;
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
    servicestarted();
    mainloop(game);
    return 0;
}
