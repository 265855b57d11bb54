// A map file's identity.
#include "engine/mapidentity.h"

#include <cerrno>
#include <cstring>
#include <fstream>

#include "store/sha256.h"

bool samemap(const MAPID &a, const MAPID &b)
{
    return a.size == b.size && std::memcmp(a.sha256, b.sha256, sizeof a.sha256) == 0;
}

MAPID mapidentityof(const std::string &name, const void *bytes, size_t size)
{
    MAPID id;
    id.name = name;
    id.size = size;
    SHA256 s;
    sha256init(s);
    sha256add(s, bytes, size);
    sha256end(s, id.sha256);
    return id;
}

bool mapidentity(const char *path, MAPID &id, std::string &error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) {
        error = std::string("cannot read the map ") + path + ": " + std::strerror(errno);
        return false;
    }
    SHA256 s;
    sha256init(s);
    char buffer[65536];
    uint64_t size = 0;
    while (in) {
        in.read(buffer, sizeof buffer);
        sha256add(s, buffer, (size_t)in.gcount());
        size += (uint64_t)in.gcount();
    }
    if (in.bad()) {
        error = std::string("cannot read the map ") + path;
        return false;
    }
    id.name = path;
    id.size = size;
    sha256end(s, id.sha256);
    return true;
}
