// Address keys and the per-address token buckets.
#include "game/addresses.h"

#include <netinet/in.h>

#include <cstring>
#include <iterator>

namespace {

// Addresses kept before full buckets are swept out of the table.
enum { SWEEPAT = 4096 };

void sweep(std::unordered_map<std::string, TOKENBUCKET> &buckets, double t)
{
    for (auto it = buckets.begin(); it != buckets.end();)
        it = bucketfull(it->second, t) ? buckets.erase(it) : std::next(it);
}

} // namespace

std::string addresskey(const struct sockaddr *sa)
{
    if (sa->sa_family == AF_INET) {
        const auto *in = reinterpret_cast<const sockaddr_in *>(sa);
        return std::string(reinterpret_cast<const char *>(&in->sin_addr.s_addr), 4);
    }
    if (sa->sa_family != AF_INET6)
        return "";
    const auto *in6 = reinterpret_cast<const sockaddr_in6 *>(sa);
    const char *b = reinterpret_cast<const char *>(in6->sin6_addr.s6_addr);
    if (IN6_IS_ADDR_V4MAPPED(&in6->sin6_addr))
        return std::string(b + 12, 4);
    return std::string(b, 8) + "/64";
}

TOKENBUCKET minutebucket(int perminute)
{
    TOKENBUCKET b;
    b.tokens = b.depth = perminute;
    b.rate = perminute / 60.0;
    return b;
}

bool bucketfull(const TOKENBUCKET &b, double t) { return !b.started || b.tokens + (t - b.last) * b.rate >= b.depth; }

bool takeaddresstoken(ADDRESSBUCKETS &a, const std::string &key, double now)
{
    if (a.perminute <= 0)
        return true;
    pthread_mutex_lock(&a.address_lock);
    if (a.buckets.size() >= SWEEPAT)
        sweep(a.buckets, now);
    auto it = a.buckets.find(key);
    if (it == a.buckets.end())
        it = a.buckets.emplace(key, minutebucket(a.perminute)).first;
    const bool taken = taketoken(it->second, now);
    pthread_mutex_unlock(&a.address_lock);
    return taken;
}
