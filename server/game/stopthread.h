// Ending a thread that sleeps on a condition until told to stop (the
// checkpoint thread, the fleet thread).
#pragma once

#include <pthread.h>

// Raises `stopping` under `lock`, wakes the sleepers on `wake` and waits
// for `thread` to end. Called with no lock held.
inline void stopthread(pthread_mutex_t &lock, pthread_cond_t &wake, bool &stopping, pthread_t thread)
{
    pthread_mutex_lock(&lock);
    stopping = true;
    pthread_cond_broadcast(&wake);
    pthread_mutex_unlock(&lock);
    pthread_join(thread, nullptr);
}
