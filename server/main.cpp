// kindler-server: start-up in a fixed order, then the simulation loop.
//
//   kindler-server [--http=PORT] [ignored words...] [MAPFILE]
//
// The last command-line word, when there is more than one, names the map.
// A map that cannot be opened leaves the world empty; a map with bad
// content, or a port that cannot be bound, ends the process with status 1.
// Start-up alone decides to end the process: the functions it calls
// report failure and return.
// A word --http=PORT, anywhere, moves the web endpoint from port 3141
// (0 turns it off); it is not one of the words the map is taken from.
#include <pthread.h>
#include <sys/resource.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "game.h"
#include "listener.h"
#include "loadmap.h"
#include "loop.h"
#include "protocol.h"
#include "publish.h"
#include "web/web.h"

static const char HTTPWORD[] = "--http=";

static GAME game; // the server's one game

// The port of a --http=PORT word; ends start-up with one line when it is
// not a whole number from 0 to 65535.
static int httpport(const char *word)
{
    const char *digits = word + sizeof HTTPWORD - 1;
    char *end = nullptr;
    errno = 0;
    long port = std::strtol(digits, &end, 10);
    if (errno || end == digits || *end || *digits == '-' || *digits == '+' || port < 0 || port > 65535) {
        std::fprintf(stderr, "Error! Bad web port in \"%s\": want --http=PORT, PORT from 0 to 65535.\n", word);
        std::exit(1);
    }
    return (int)port;
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

    int webport = WEBPORT;
    bool webchosen = false;
    std::vector<char *> words;
    for (int i = 0; i < argc; i++) {
        if (i > 0 && std::strncmp(argv[i], HTTPWORD, sizeof HTTPWORD - 1) == 0) {
            webport = httpport(argv[i]);
            webchosen = true;
        } else {
            words.push_back(argv[i]);
        }
    }
    if (words.size() > 1 && loadmap(game, words.back()) > 0)
        return 1;
    updateinterval = 0.1;
    // The web endpoint is up before port 3140 listens: a client that finds
    // the game's port open finds the whole server running.
    if (webport != 0 && !startweb(game, webport, webchosen) && webchosen)
        return 1;
    static LISTENER listener;
    listener = {&game, setupnet(PORTNUM)};
    if (listener.sockfd < 0)
        return 1;
    pthread_t netthread;
    pthread_create(&netthread, nullptr, netloop, &listener);
    mainloop(game);
    return 0;
}
