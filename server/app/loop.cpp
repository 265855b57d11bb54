// The simulation loop.
#include "app/loop.h"

#include <cmath>
#include <ctime>

// Every g.tick.interval seconds of wall clock, plus the tick's own time:
//   1. tickgame: copy the published grid, conduct heat, burn fuel,
//      publish; the round's clock (round.h); the exposure step of the
//      players of the fair policy; the kept players whose time is up
//      leave; the tick's metrics; tell the hooks (the web endpoint, the
//      checkpoint thread: its copy falls in the pause; the service
//      manager's watchdog);
//   2. sleep a fixed g.tick.interval (not shortened by the tick's time).
void mainloop(GAME &g)
{
    const double interval = g.tick.interval;
    while (!gamestopping(g)) {
        tickgame(g);
        struct timespec sleeptime;
        sleeptime.tv_sec = (long)std::floor(interval);
        sleeptime.tv_nsec = (long)((interval - (double)sleeptime.tv_sec) * 1e9);
        nanosleep(&sleeptime, nullptr);
    }
}
