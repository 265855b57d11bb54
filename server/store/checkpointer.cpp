// The checkpoint thread. It sleeps on its condition until a checkpoint is
// due, then until the next tick publishes, so that its copy of the grid
// (under the world's copying mark) starts in the pause between two ticks
// and ends before the next tick publishes; the save into the store then
// runs with no game lock held.
#include "store/checkpointer.h"

#include <ctime>

#include "game/stopthread.h"

namespace {

using CLOCK = std::chrono::steady_clock;

// CLOCK's time point as the condition's clock (CLOCK_MONOTONIC) sees it.
struct timespec deadline(CLOCK::time_point t)
{
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
    struct timespec ts;
    ts.tv_sec = (time_t)(ns / 1000000000);
    ts.tv_nsec = (long)(ns % 1000000000);
    return ts;
}

// One line on the log for a failure, at most one each c.logevery seconds.
void tellfailure(CHECKPOINTER &c, const std::string &error)
{
    const auto now = CLOCK::now();
    if (c.logged && std::chrono::duration<double>(now - c.lastlog).count() < c.logevery)
        return;
    c.logged = true;
    c.lastlog = now;
    std::fprintf(c.log, "Checkpoint failed (%llu so far; the game goes on): %s\n",
                 (unsigned long long)c.failures.load(), error.c_str());
    std::fflush(c.log);
}

void *checkpointloop(void *arg)
{
    CHECKPOINTER &c = *(CHECKPOINTER *)arg;
    const auto every = std::chrono::duration_cast<CLOCK::duration>(std::chrono::duration<double>(c.interval));
    auto due = CLOCK::now() + every;
    pthread_mutex_lock(&c.checkpoint_lock);
    while (!c.stopping) {
        if (CLOCK::now() < due) {
            const struct timespec until = deadline(due);
            pthread_cond_timedwait(&c.wake, &c.checkpoint_lock, &until);
            continue;
        }
        // Due: the copy waits for the next publication.
        const uint64_t seen = c.ticks;
        while (!c.stopping && c.ticks == seen)
            pthread_cond_wait(&c.wake, &c.checkpoint_lock);
        if (c.stopping)
            break;
        pthread_mutex_unlock(&c.checkpoint_lock);
        std::string error;
        if (!checkpointnow(c, error))
            tellfailure(c, error);
        const auto now = CLOCK::now();
        due = due + every > now ? due + every : now + every;
        pthread_mutex_lock(&c.checkpoint_lock);
    }
    pthread_mutex_unlock(&c.checkpoint_lock);
    return nullptr;
}

} // namespace

bool startcheckpointer(CHECKPOINTER &c)
{
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    pthread_cond_destroy(&c.wake);
    pthread_cond_init(&c.wake, &attr);
    pthread_condattr_destroy(&attr);
    c.stopping = false;
    c.running = pthread_create(&c.thread, nullptr, checkpointloop, &c) == 0;
    return c.running;
}

void checkpointticked(CHECKPOINTER &c)
{
    pthread_mutex_lock(&c.checkpoint_lock);
    c.ticks++;
    pthread_cond_signal(&c.wake);
    pthread_mutex_unlock(&c.checkpoint_lock);
}

void checkpointhook(void *arg, GAME &, const TICKREPORT &) { checkpointticked(*(CHECKPOINTER *)arg); }

bool checkpointnow(CHECKPOINTER &c, std::string &error)
{
    const auto from = CLOCK::now();
    // The ended rounds first: a crash between the two saves then finds a
    // round's result with the round still under way, and the round's end
    // saves it again (replacing it), never a round lost.
    BOARD &board = *c.game->rounds.board;
    bool ok = !board.stored || flushboard(board, *c.store, error);
    ok = ok && flushlobby(*c.game->lobby, *c.store, error);
    SAVEREPORT report;
    if (ok) {
        takecheckpoint(*c.game, c.copy);
        ok = savecheckpoint(*c.store, c.copy, report, error);
    }
    const double seconds = std::chrono::duration<double>(CLOCK::now() - from).count();
    (ok ? c.committed : c.failures)++;
    observecheckpoint(c.metrics, ok, seconds, ok ? report.bytes : 0);
    if (c.observer)
        c.observer(c.observerarg, ok, seconds, ok ? report.bytes : 0);
    return ok;
}

bool stopcheckpointer(CHECKPOINTER &c, std::string &error)
{
    if (c.running) {
        stopthread(c.checkpoint_lock, c.wake, c.stopping, c.thread);
        c.running = false;
    }
    const bool ok = checkpointnow(c, error);
    closestore(c.store);
    return ok;
}
