// Refilling and taking tokens.
#include "game/tokenbucket.h"

#include <chrono>

double buckettime()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

bool taketoken(TOKENBUCKET &b, double now)
{
    if (b.started && now > b.last) {
        b.tokens += (now - b.last) * b.rate;
        if (b.tokens > b.depth)
            b.tokens = b.depth;
    }
    if (!b.started || now > b.last)
        b.last = now;
    b.started = true;
    if (b.tokens < 1)
        return false;
    b.tokens -= 1;
    return true;
}
