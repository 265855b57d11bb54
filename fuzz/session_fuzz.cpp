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

#include "engine/buildworld.h"
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
    std::thread server([&] { serveconnection(testport, sv[1]); }); // closes sv[1] when done
    talk(sv[0], data, size);
    server.join();
    close(sv[0]);

    const std::vector<PLAYERINFO> list = copyplayers(testgame.players);
    for (size_t i = 0; i < list.size(); i++) {
        FUZZCHECK(list[i].num == (int)i || list[i].num == -1);
        FUZZCHECK(std::memchr(list[i].name, '\0', sizeof list[i].name) != nullptr);
    }
    // The connection has ended: the player it played last has left.
    FUZZCHECK(list.empty() || list.back().num == -1);
    dophys(testgame.world, testgame.tick);
    return 0;
}
