// sd_notify readiness and watchdog pings (libsystemd). The interval is
// read once at start-up; the pings come from the simulation loop's thread
// only, so the state here needs no lock.
#include "app/service.h"

#include <systemd/sd-daemon.h>

#include <chrono>
#include <cstdint>

namespace {

uint64_t intervalus = 0; // between pings, 0: no watchdog
std::chrono::steady_clock::time_point lastping;

} // namespace

void servicestarted()
{
    uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) > 0)
        intervalus = usec / 2;
    lastping = std::chrono::steady_clock::now();
    sd_notify(0, "READY=1\nSTATUS=Serving the game on port 3140");
}

void servicetick()
{
    if (intervalus == 0)
        return;
    auto now = std::chrono::steady_clock::now();
    if (now - lastping < std::chrono::microseconds(intervalus))
        return;
    lastping = now;
    sd_notify(0, "WATCHDOG=1");
}
