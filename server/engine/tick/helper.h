// The tick's second thread: kept for the life of its world's scratch and
// woken once per tick (starting a thread every tick costs more than a small
// tick). It takes no mutex: the job is handed over through two atomic
// counters, waited on with futexes, and runs under the ticking thread's
// curmap_lock.
#pragma once

#include <atomic>
#include <thread>

struct HELPER {
    HELPER() = default;
    HELPER(const HELPER &) = delete;
    HELPER &operator=(const HELPER &) = delete;
    ~HELPER(); // stops and joins the thread

    std::thread thread;               // started by the first job
    std::atomic<unsigned> posted{0};  // jobs handed over
    std::atomic<unsigned> finished{0}; // jobs done
    void (*job)(void *) = nullptr;    // written before posted is raised
    void *jobarg = nullptr;
    bool stopping = false;            // written before posted is raised
};

// Runs fn(arg) on the helper thread; helperwait returns once it has run.
void helperstart(HELPER &h, void (*fn)(void *), void *arg);
void helperwait(HELPER &h);
