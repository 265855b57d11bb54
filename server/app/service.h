// The server as a systemd service: readiness and the watchdog through
// sd_notify. Without a service manager (no NOTIFY_SOCKET) both do nothing.
#pragma once

// Start-up is over: both ports listen and the world ticks.
void servicestarted();
// One tick ended (called by the simulation loop after each tick): pings
// the watchdog at half the interval the manager asked for (WATCHDOG_USEC),
// so a loop that stops ticking stops the pings and the manager restarts
// the server.
void servicetick();
