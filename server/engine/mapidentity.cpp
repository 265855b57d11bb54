// A map file's identity.
#include "engine/mapidentity.h"

#include <cerrno>
#include <cstring>
#include <fstream>

#include "engine/digest.h"

bool samemap(const MAPID &a, const MAPID &b)
{
    return a.size == b.size && std::memcmp(a.sha256, b.sha256, sizeof a.sha256) == 0;
}

MAPID mapidentityof(const std::string &name, const void *bytes, size_t size)
{
    MAPID id;
    id.name = name;
    id.size = size;
    sha256(bytes, size, id.sha256);
    return id;
}

bool mapidentity(const char *path, MAPID &id, std::string &error)
{
    if (!std::ifstream(path, std::ios::binary).is_open()) {
        error = std::string("cannot read the map ") + path + ": " + std::strerror(errno);
        return false;
    }
    uint64_t size = 0;
    if (!sha256file(path, size, id.sha256)) {
        error = std::string("cannot read the map ") + path;
        return false;
    }
    id.name = path;
    id.size = size;
    return true;
}
