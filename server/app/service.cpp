// sd_notify readiness and watchdog pings (libsystemd). The interval is
// read once at start-up; the pings come from the simulation loop's thread
// only, so SERVICE needs no lock.
#include "app/service.h"

#include <systemd/sd-daemon.h>

void servicestarted(SERVICE &s)
{
    uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) > 0)
        s.intervalus = usec / 2;
    s.lastping = std::chrono::steady_clock::now();
    sd_notify(0, "READY=1\nSTATUS=Serving the game on port 3140");
}

void servicetick(SERVICE &s)
{
    if (s.intervalus == 0)
        return;
    auto now = std::chrono::steady_clock::now();
    if (now - s.lastping < std::chrono::microseconds(s.intervalus))
        return;
    s.lastping = now;
    sd_notify(0, "WATCHDOG=1");
}
