// A game's tick: the physics, the round, the web players' exposure, the
// kept players' end, the tick's metrics, the hooks; then the fleet thread
// learns that the pause begins.
#include <chrono>

#include "engine/publish.h"
#include "game/actions.h"
#include "game/exposure.h"
#include "game/game.h"
#include "game/roundtick.h"

void addtickhook(GAME &g, void (*fn)(void *arg, GAME &g, const TICKREPORT &report), void *arg)
{
    g.hooks.push_back({fn, arg});
}

void tickgame(GAME &g)
{
    const auto from = std::chrono::steady_clock::now();
    TICKREPORT report;
    report.burning = dophys(g.world, g.tick);
    report.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
    roundtick(g, report.burning);
    for (int num : webplayernumbers(g))
        doexposure(g, num);
    expirekept(g);
    observetick(g.metrics, report.seconds, report.burning);
    for (const TICKHOOK &h : g.hooks)
        h.fn(h.arg, g, report);
    lobbytickended(*g.lobby);
}

void stopgame(GAME &g) { g.stopping.store(true, std::memory_order_release); }

bool gamestopping(const GAME &g) { return g.stopping.load(std::memory_order_acquire); }
