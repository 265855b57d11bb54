// kindler-server: start-up in a fixed order, then the simulation loop.
//
//   kindler-server [ignored words...] [MAPFILE]
//
// The last command-line word, when there is more than one, names the map.
// A map that cannot be opened leaves the world empty; a map with bad
// content, or a port that cannot be bound, ends the process with status 1.
#include <pthread.h>
#include <sys/resource.h>

#include <cstdio>

#include "listener.h"
#include "loadmap.h"
#include "loop.h"

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

    if (argc > 1)
        loadmap(argv[argc - 1]);
    updateinterval = 0.1;
    setupnet();
    netthread = new pthread_t;
    pthread_create(netthread, nullptr, netloop, nullptr);
    mainloop();
    return 0;
}
