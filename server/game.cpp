// A game's players of the fair policy.
#include "game.h"


std::vector<int> webplayernumbers(GAME &g)
{
    pthread_mutex_lock(&g.web_lock);
    std::vector<int> numbers = g.webplayers;
    pthread_mutex_unlock(&g.web_lock);
    return numbers;
}
