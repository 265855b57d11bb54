// The simulation loop and the listener loop.
#include <pthread.h>

#include "loop.h"

#include <cmath>
#include <ctime>

#include "listener.h"
#include "publish.h"
#include "service.h"

double updateinterval = 0.1;
int stop = 0;
pthread_t *netthread = nullptr;

// Every updateinterval seconds of wall clock, plus the tick's own time:
//   1. dophys: copy the published grid, conduct heat, burn fuel, publish;
//   2. sleep a fixed updateinterval (not shortened by the tick's time).
// After each tick the service manager's watchdog hears that ticks go on.
void mainloop()
{
    for (;;) {
        dophys(serverworld);
        servicetick();
        struct timespec sleeptime;
        sleeptime.tv_sec = (long)std::floor(updateinterval);
        sleeptime.tv_nsec = (long)((updateinterval - (double)sleeptime.tv_sec) * 1e9);
        nanosleep(&sleeptime, nullptr);
        if (stop)
            return;
    }
}

void *netloop(void *junk)
{
    (void)junk;
    for (;;)
        check4new(nullptr);
    return nullptr;
}
