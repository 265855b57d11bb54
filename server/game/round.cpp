// The round's record: whether it plays, its first fire, what others read
// of it, and its saved state.
#include "game/round.h"

#include <algorithm>
#include <chrono>
#include <cmath>

const char *whyname(ROUNDWHY why)
{
    switch (why) {
    case WHYLIMIT:
        return "limit";
    case WHYBURNTOUT:
        return "burnt out";
    default:
        return "";
    }
}

double steadyseconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

bool roundplays(ROUNDS &r)
{
    if (r.length <= 0)
        return true;
    pthread_mutex_lock(&r.round_lock);
    const bool plays = r.phase != ROUNDINTERMISSION;
    pthread_mutex_unlock(&r.round_lock);
    return plays;
}

ROUNDVIEW roundview(ROUNDS &r)
{
    ROUNDVIEW v;
    if (r.length <= 0)
        return v;
    const double now = r.clock();
    pthread_mutex_lock(&r.round_lock);
    v.number = r.number;
    v.phase = r.phase;
    v.left = std::max(0.0, r.phaseend - now);
    v.why = r.why;
    v.top = r.top;
    v.version = r.version;
    std::copy(std::begin(r.ended), std::end(r.ended), v.ended);
    pthread_mutex_unlock(&r.round_lock);
    return v;
}

// The state's bytes: u8 phase, u32 milliseconds left in it, u8 why, u8
// burnt, u32 milliseconds quiet since the burn-out rule's mark, u8 count,
// then count x (i32 num, i32 score, u8 died, u8 length, name): the ended
// round's best (in the intermission). All little-endian.
namespace {

void put(std::vector<unsigned char> &o, uint64_t v, int bytes)
{
    for (int i = 0; i < bytes; i++)
        o.push_back((unsigned char)(v >> (8 * i)));
}

uint32_t millis(double seconds) { return (uint32_t)std::clamp(std::lround(seconds * 1000), 0L, (long)UINT32_MAX); }

struct READER {
    const std::vector<unsigned char> &b;
    size_t at = 0;
    bool ok = true;
    uint64_t get(int bytes)
    {
        uint64_t v = 0;
        if (at + (size_t)bytes > b.size()) {
            ok = false;
            return 0;
        }
        for (int i = 0; i < bytes; i++)
            v |= (uint64_t)b[at++] << (8 * i);
        return v;
    }
};

} // namespace

void saveroundstate(ROUNDS &r, uint32_t &number, int64_t &started, std::vector<unsigned char> &state)
{
    state.clear();
    number = 0;
    started = 0;
    if (r.length <= 0)
        return;
    const double now = r.clock();
    pthread_mutex_lock(&r.round_lock);
    number = r.number;
    started = r.started;
    put(state, r.phase, 1);
    put(state, millis(r.phaseend - now), 4);
    put(state, r.why, 1);
    put(state, r.burnt, 1);
    put(state, r.burnt ? millis(now - r.quietsince) : 0, 4);
    put(state, r.top.size(), 1);
    for (const ROUNDRESULT::ENTRY &e : r.top) {
        put(state, (uint32_t)e.num, 4);
        put(state, (uint32_t)e.score, 4);
        put(state, e.died, 1);
        const size_t n = std::min<size_t>(e.name.size(), 255);
        put(state, n, 1);
        state.insert(state.end(), e.name.begin(), e.name.begin() + (long)n);
    }
    pthread_mutex_unlock(&r.round_lock);
}

bool loadroundstate(ROUNDS &r, uint32_t number, int64_t started, const std::vector<unsigned char> &state)
{
    if (number == 0)
        return true;
    READER in{state};
    const uint64_t phase = in.get(1), left = in.get(4), why = in.get(1), burnt = in.get(1), quiet = in.get(4);
    std::vector<ROUNDRESULT::ENTRY> top(in.get(1));
    for (ROUNDRESULT::ENTRY &e : top) {
        e.num = (int32_t)(uint32_t)in.get(4);
        e.score = (int32_t)(uint32_t)in.get(4);
        e.died = in.get(1) != 0;
        const size_t n = in.get(1);
        if (in.ok && in.at + n <= state.size())
            e.name.assign(state.begin() + (long)in.at, state.begin() + (long)(in.at + n));
        in.at += n;
    }
    if (!in.ok || in.at != state.size() || (phase != ROUNDPLAYING && phase != ROUNDINTERMISSION) || why > WHYBURNTOUT ||
        burnt > 1 || top.size() > ROUNDTOP)
        return false;
    const double now = r.clock();
    pthread_mutex_lock(&r.round_lock);
    r.number = number;
    r.started = started;
    r.phase = (ROUNDPHASE)phase;
    r.phaseend = now + (double)left / 1000;
    r.why = (ROUNDWHY)why;
    r.burnt = burnt != 0;
    r.quietsince = now - (double)quiet / 1000;
    r.top = top;
    r.version++;
    pthread_mutex_unlock(&r.round_lock);
    return true;
}
