// The server as a systemd service: readiness and the watchdog through
// sd_notify. Without a service manager (no NOTIFY_SOCKET) both do nothing.
#pragma once

#include <chrono>
#include <cstdint>

// The watchdog's state: the simulation loop's thread's alone (no lock).
struct SERVICE {
    uint64_t intervalus = 0; // between pings, 0: no watchdog
    std::chrono::steady_clock::time_point lastping;
};

// Start-up is over: both ports listen and the world ticks. Reads the
// watchdog's interval into s.
void servicestarted(SERVICE &s);
// One tick ended (called by the simulation loop after each tick): pings
// the watchdog at half the interval the manager asked for (WATCHDOG_USEC),
// so a loop that stops ticking stops the pings and the manager restarts
// the server.
void servicetick(SERVICE &s);
