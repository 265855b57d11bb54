// The simulation loop of the main thread and the listener thread's loop.
#pragma once

#include <pthread.h>

// Length of one tick in seconds: the simulated step and the pause between
// ticks. Written once at start-up, before any other thread exists.
extern double updateinterval;
// End flag of mainloop; nothing sets it.
extern int stop;
// Handle of the listener thread, kept for the life of the process.
extern pthread_t *netthread;

// Tick, pause updateinterval, repeat until stop is set.
void mainloop();
// The listener thread: check4new for ever.
void *netloop(void *junk);
