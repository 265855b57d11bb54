// Fuzz target: a whole client session. The input is the byte stream a
// client sends; it goes into one end of a socket pair whose other end is
// served by the server's own command loop (serveconnection) on a small
// world, while the answers are drained. The session must end when the
// input ends, and leave the player list and the world whole: every entry
// numbered by its index or -1, every name terminated, and a tick can run.
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>

#include "game/loadmap.h"
#include "fuzzsupport.h"
#include "tcp/connection.h"
#include "engine/publish.h"
#include "game/player.h"
#include "tcp/session.h"
#include "testgame.h"

// 3 x 3 world: grass around a hot rock, one start position off the map.
static const char SMALLMAP[] =
    "<kindler version=\"0.2\"> <unittypes>\n"
    "<type name=outside num=0> temp=20 cocon=0.1 calperc=1 ignitionpoint=900 </type>\n"
    "<type name=grass num=2> temp=20 cocon=0.2 calperc=2 ignitionpoint=250 fuellevel=30 "
    "burnspeed=3 calperf=400 </type>\n"
    "<type name=hot num=3> temp=1000 cocon=0.05 calperc=3 ignitionpoint=900 block </type>\n"
    "</unittypes>\n"
    "<map name=\"small\" xsize=3 ysize=3> 2 2 2 <r> 2 3 2 <r> 2 2 2 <r> </map>\n"
    "<start> 0,0 1,1 7,-4 </start> </kindler>\n";

static const size_t MAXINPUT = 64 * 1024;

// Writes data into fd, then closes the sending side, and meanwhile reads
// everything that comes back, until the other side closes.
static void talk(int fd, const uint8_t *data, size_t size)
{
    fcntl(fd, F_SETFL, O_NONBLOCK);
    size_t sent = 0;
    bool shut = false;
    char sink[65536];
    for (;;) {
        if (sent == size && !shut) {
            shutdown(fd, SHUT_WR);
            shut = true;
        }
        struct pollfd p = {fd, (short)(POLLIN | (shut ? 0 : POLLOUT)), 0};
        poll(&p, 1, -1);
        if (p.revents & (POLLIN | POLLHUP | POLLERR)) {
            ssize_t r = recv(fd, sink, sizeof sink, 0);
            if (r == 0 || (r < 0 && errno != EAGAIN && errno != EINTR))
                return;
        }
        if (!shut && (p.revents & POLLOUT)) {
            ssize_t w = send(fd, data + sent, size - sent, MSG_NOSIGNAL);
            if (w > 0)
                sent += (size_t)w;
            else if (w < 0 && errno != EAGAIN && errno != EINTR)
                sent = size; // the server is gone; wait for its close
        }
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > MAXINPUT)
        return -1;
    {
        resetworld(testgame.world);
        resetplayers(testgame.players);
        std::istringstream in(SMALLMAP);
        MAPFILE f;
        readmapfile(in, f);
        makemap(f, testgame.world, nullptr);
        testgame.players.s_points = f.s_points;
    }
    int sv[2];
    FUZZCHECK(socketpair(AF_UNIX, SOCK_STREAM, 0, sv) == 0);
    std::thread server([&] { serveconnection(testgame, testtcp, sv[1]); }); // closes sv[1] when done
    talk(sv[0], data, size);
    server.join();
    close(sv[0]);

    pthread_mutex_lock(&testgame.players.playerlist_lock);
    for (int i = 0; i < testgame.players.numplayers; i++) {
        FUZZCHECK(testgame.players.playerlist[i].num == i || testgame.players.playerlist[i].num == -1);
        FUZZCHECK(std::memchr(testgame.players.playerlist[i].name, '\0', sizeof testgame.players.playerlist[i].name) != nullptr);
    }
    // The connection has ended: the player it played last has left.
    FUZZCHECK(testgame.players.numplayers == 0 || testgame.players.playerlist[testgame.players.numplayers - 1].num == -1);
    pthread_mutex_unlock(&testgame.players.playerlist_lock);
    dophys(testgame.world, testgame.tick);
    return 0;
}
