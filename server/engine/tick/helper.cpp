// The tick's helper thread.
#include "engine/tick/helper.h"

#include <pthread.h>

static void helperrun(HELPER *h)
{
    pthread_setname_np(pthread_self(), "kindler-tick"); // as top -H and the benchmarks see it
    unsigned seen = 0;
    for (;;) {
        h->posted.wait(seen, std::memory_order_acquire);
        unsigned p = h->posted.load(std::memory_order_acquire);
        if (p == seen)
            continue;
        seen = p;
        if (h->stopping)
            return;
        h->job(h->jobarg);
        h->finished.store(seen, std::memory_order_release);
        h->finished.notify_one();
    }
}

void helperstart(HELPER &h, void (*fn)(void *), void *arg)
{
    if (!h.thread.joinable())
        h.thread = std::thread(helperrun, &h);
    h.job = fn;
    h.jobarg = arg;
    h.posted.fetch_add(1, std::memory_order_release);
    h.posted.notify_one();
}

void helperwait(HELPER &h)
{
    const unsigned want = h.posted.load(std::memory_order_relaxed);
    for (;;) {
        unsigned f = h.finished.load(std::memory_order_acquire);
        if (f == want)
            return;
        h.finished.wait(f, std::memory_order_acquire);
    }
}

HELPER::~HELPER()
{
    if (!thread.joinable())
        return;
    stopping = true;
    posted.fetch_add(1, std::memory_order_release);
    posted.notify_one();
    thread.join();
}
