// Which map a world was built from: the map file's name, its size in bytes
// and the SHA-256 of its bytes. Maps are the same when their contents are
// (samemap): the name only tells people which file it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct MAPID {
    std::string name;
    uint64_t size = 0;
    unsigned char sha256[32] = {};
};
bool samemap(const MAPID &a, const MAPID &b);
// The identity of the map file at `path`; false with the reason's line
// when it cannot be read.
bool mapidentity(const char *path, MAPID &id, std::string &error);
// The identity of a map held in memory (tests; the name as given).
MAPID mapidentityof(const std::string &name, const void *bytes, size_t size);
