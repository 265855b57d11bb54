// The game's tick and its web players.
#include "game.h"

#include <chrono>

#include "exposure.h"
#include "publish.h"

std::vector<int> webplayernumbers(GAME &g)
{
    pthread_mutex_lock(&g.web_lock);
    std::vector<int> numbers = g.webplayers;
    pthread_mutex_unlock(&g.web_lock);
    return numbers;
}

void tickgame(GAME &g)
{
    const auto from = std::chrono::steady_clock::now();
    const size_t burning = dophys(g.world, g.tick);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
    for (int num : webplayernumbers(g))
        doexposure(g, num);
    if (g.observer)
        g.observer(g, seconds, burning);
}
