// Allowances by client address, shared by the front ends: an address is
// an IPv4 address (also when mapped into IPv6) or the /64 of an IPv6
// address, and each address has a token bucket of so many a minute (that
// many at once, refilled over the minute). The web's admission keeps its
// own table in its io thread; port 3140's logins keep theirs here, under
// their own lock, for the connection threads.
#pragma once

#include <pthread.h>
#include <sys/socket.h>

#include <string>
#include <unordered_map>

#include "game/tokenbucket.h"

// The key of the address of `sa` ("" for an address that is no IP one).
std::string addresskey(const struct sockaddr *sa);

// A bucket of `perminute` tokens: that many at once, refilled over a minute.
TOKENBUCKET minutebucket(int perminute);
// True when b would be full at time t: an address with nothing else held
// would start afresh anyway, so its entry can be forgotten.
bool bucketfull(const TOKENBUCKET &b, double t);

// One bucket an address, of `perminute` tokens (0: no limit).
struct ADDRESSBUCKETS {
    ADDRESSBUCKETS() = default;
    ADDRESSBUCKETS(const ADDRESSBUCKETS &) = delete;
    ADDRESSBUCKETS &operator=(const ADDRESSBUCKETS &) = delete;

    int perminute = 0; // set before the front ends start, then only read

    pthread_mutex_t address_lock = PTHREAD_MUTEX_INITIALIZER; // guards buckets; never held with another lock
    std::unordered_map<std::string, TOKENBUCKET> buckets;     // by address key
};

// Takes a token of the address `key` at time `now` (seconds, buckettime);
// false when its bucket is empty.
bool takeaddresstoken(ADDRESSBUCKETS &a, const std::string &key, double now);
