// A game's players of the fair policy.
#include "game/game.h"

#include <algorithm>

std::vector<int> webplayernumbers(GAME &g)
{
    std::vector<int> numbers;
    pthread_mutex_lock(&g.web_lock);
    numbers.reserve(g.resumes.players.size());
    for (const auto &entry : g.resumes.players)
        numbers.push_back(entry.first);
    pthread_mutex_unlock(&g.web_lock);
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}
