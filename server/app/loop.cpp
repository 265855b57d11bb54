// The simulation loop.
#include "app/loop.h"

#include <cmath>
#include <ctime>

#include "app/service.h"
#include "engine/publish.h"

// Every updateinterval seconds of wall clock, plus the tick's own time:
//   1. tickgame: copy the published grid, conduct heat, burn fuel,
//      publish; the round's clock (round.h); the exposure step of the
//      players of the fair policy; the kept players whose time is up
//      leave; tell the hooks (the web endpoint, the checkpoint thread:
//      its copy falls in the pause);
//   2. sleep a fixed updateinterval (not shortened by the tick's time).
// After each tick the service manager's watchdog hears that ticks go on.
void mainloop(GAME &g)
{
    while (!gamestopping(g)) {
        tickgame(g);
        servicetick();
        struct timespec sleeptime;
        sleeptime.tv_sec = (long)std::floor(updateinterval);
        sleeptime.tv_nsec = (long)((updateinterval - (double)sleeptime.tv_sec) * 1e9);
        nanosleep(&sleeptime, nullptr);
    }
}
