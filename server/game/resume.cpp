// The table of resume tokens: making tokens, finding one by its hash in
// constant time, keeping dropped players and letting them go.
#include "game/resume.h"

#include <sys/random.h>

#include <cerrno>

#include "engine/digest.h"

std::string newtoken()
{
    unsigned char bytes[TOKENBYTES];
    size_t got = 0;
    while (got < sizeof bytes) {
        ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return ""; // no randomness: no token
        got += (size_t)n;
    }
    static const char digits[] = "0123456789abcdef";
    std::string token(2 * sizeof bytes, '0');
    for (size_t i = 0; i < sizeof bytes; i++) {
        token[2 * i] = digits[bytes[i] >> 4];
        token[2 * i + 1] = digits[bytes[i] & 15];
    }
    return token;
}

void hashtoken(const std::string &token, unsigned char hash[32])
{
    sha256(token.data(), token.size(), hash);
}

// Equal hashes, in a time that does not depend on where they differ.
static bool samehash(const unsigned char *a, const unsigned char *b)
{
    unsigned char diff = 0;
    for (int i = 0; i < 32; i++)
        diff |= (unsigned char)(a[i] ^ b[i]);
    return diff == 0;
}

RESUMEENTRY *findtoken(RESUMES &r, const unsigned char hash[32])
{
    RESUMEENTRY *found = nullptr;
    for (auto &[num, e] : r.players)
        if (samehash(e.token.hash, hash) & e.hastoken)
            found = &e;
    return found;
}

void putentry(RESUMES &r, int num, const RESUMEENTRY &e)
{
    removeentry(r, num);
    r.players[num] = e;
    r.kept += e.holder == 0;
}

void removeentry(RESUMES &r, int num)
{
    auto it = r.players.find(num);
    if (it == r.players.end())
        return;
    r.kept -= it->second.holder == 0;
    r.players.erase(it);
}

void keepentry(RESUMES &r, RESUMEENTRY &e, RESUMECLOCK::time_point until)
{
    r.kept += e.holder != 0;
    e.holder = 0;
    e.until = until;
}

void holdentry(RESUMES &r, RESUMEENTRY &e, uint64_t holder)
{
    r.kept -= e.holder == 0;
    e.holder = holder;
}

std::vector<int> takeexpired(RESUMES &r, RESUMECLOCK::time_point now)
{
    std::vector<int> gone;
    if (r.kept == 0)
        return gone;
    for (auto it = r.players.begin(); it != r.players.end();) {
        if (it->second.holder == 0 && it->second.until <= now) {
            gone.push_back(it->first);
            r.kept--;
            it = r.players.erase(it);
        } else {
            ++it;
        }
    }
    return gone;
}
