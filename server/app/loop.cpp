// The simulation loop and the listener loop.
#include "app/loop.h"

#include <sys/socket.h>

#include <chrono>
#include <cmath>
#include <ctime>

#include "game/actions.h"
#include "game/exposure.h"
#include "tcp/listener.h"
#include "engine/publish.h"
#include "game/roundtick.h"

void tickgame(GAME &g)
{
    const auto from = std::chrono::steady_clock::now();
    const size_t burning = dophys(g.world, g.tick);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
    roundtick(g, burning);
    for (int num : webplayernumbers(g))
        doexposure(g, num);
    expirekept(g);
    observetick(g.metrics, seconds, burning);
    if (g.observer)
        g.observer(g, seconds, burning);
}

// Every g.tick.interval seconds of wall clock, plus the tick's own time:
//   1. tickgame: copy the published grid, conduct heat, burn fuel,
//      publish; the round's clock (round.h); the exposure step of the
//      players of the fair policy; the kept players whose time is up
//      leave; tell the observer (the web endpoint);
//   2. tell `ticked` (the server's: the checkpoint thread, whose copy
//      falls in the pause, and the service manager's watchdog);
//   3. sleep a fixed g.tick.interval (not shortened by the tick's time).
void mainloop(GAME &g, void (*ticked)(void *), void *arg)
{
    while (!g.stopping.load(std::memory_order_acquire)) {
        tickgame(g);
        if (ticked)
            ticked(arg);
        struct timespec sleeptime;
        const double interval = g.tick.interval;
        sleeptime.tv_sec = (long)std::floor(interval);
        sleeptime.tv_nsec = (long)((interval - (double)sleeptime.tv_sec) * 1e9);
        nanosleep(&sleeptime, nullptr);
    }
}

void *netloop(void *arg)
{
    const LISTENER &l = *(const LISTENER *)arg;
    while (!l.game->stopping.load(std::memory_order_acquire))
        check4new(*l.game, *l.front, l.sockfd);
    return nullptr;
}

void stopgame(GAME &g, int sockfd)
{
    g.stopping.store(true, std::memory_order_release);
    shutdown(sockfd, SHUT_RDWR);
}
