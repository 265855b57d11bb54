// Client operations of the record-carrying commands, over a raw socket
// from connectserver(), for the tests that drive the real server with
// many clients (hostile clients, soak). Each returns false when the server
// does not answer as the protocol says.
#pragma once

#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "support.h"
#include "wire.h"

// A PLAYERINFO record as a client sends it.
inline std::vector<unsigned char> playerrecord(const std::string &name, int32_t x = 0, int32_t y = 0, int32_t num = 0)
{
    PLAYERINFO p;
    std::memset(&p, 0, sizeof p);
    std::strncpy(p.name, name.c_str(), sizeof p.name - 1);
    p.health = 100;
    p.x = x;
    p.y = y;
    p.num = num;
    std::vector<unsigned char> bytes(PLAYERINFO_SIZE);
    encodeplayerinfo(&p, bytes.data());
    return bytes;
}

// Receives one lone trailer and checks its type.
inline bool recvtrailer(int fd, int type, NETOVERHEAD *out = nullptr)
{
    unsigned char b[NETOVERHEAD_SIZE];
    if (!recvall(fd, b, sizeof b))
        return false;
    NETOVERHEAD o;
    decodeoverhead(b, &o);
    if (out)
        *out = o;
    return o.type == type;
}

// "login;" with the given record; the new player's number, or -1.
inline int loginrecord(int fd, const std::vector<unsigned char> &record)
{
    NETOVERHEAD o;
    if (!sendstr(fd, "login;") || !recvtrailer(fd, NET_READY))
        return -1;
    if (!sendall(fd, record.data(), record.size()) || !recvtrailer(fd, NET_END, &o))
        return -1;
    return o.x;
}
inline int loginname(int fd, const std::string &name) { return loginrecord(fd, playerrecord(name)); }

// "setplayerinfo;" with the given record.
inline bool setplayerinfo(int fd, const std::vector<unsigned char> &record)
{
    return sendstr(fd, "setplayerinfo;") && recvtrailer(fd, NET_READY) &&
           sendall(fd, record.data(), record.size()) && recvtrailer(fd, NET_END);
}

// "getplayerinfo;": every entry of the player list.
inline bool getplayers(int fd, std::vector<PLAYERINFO> *players)
{
    players->clear();
    if (!sendstr(fd, "getplayerinfo;"))
        return false;
    for (;;) {
        unsigned char b[PLAYERINFO_SIZE];
        if (!recvall(fd, b, sizeof b))
            return false;
        PLAYERINFO p;
        decodeplayerinfo(b, &p);
        if (p.neto.type == NET_END)
            return true;
        if (p.neto.type != NET_RECORD || !recordintact(b, PLAYERINFO_SIZE))
            return false;
        players->push_back(p);
    }
}

// "getmap;" on a map of `cells` cells: the cells in index order.
inline bool getmapcells(int fd, size_t cells, std::vector<UPDATEMAP> *out)
{
    out->clear();
    std::vector<unsigned char> b((cells + 1) * UPDATEMAP_SIZE);
    if (!sendstr(fd, "getmap;") || !recvall(fd, b.data(), b.size()))
        return false;
    for (size_t i = 0; i <= cells; i++) {
        UPDATEMAP u;
        decodeupdatemap(b.data() + i * UPDATEMAP_SIZE, &u);
        if (i < cells && (u.neto.type != NET_RECORD || !recordintact(b.data() + i * UPDATEMAP_SIZE, UPDATEMAP_SIZE)))
            return false;
        if (i == cells && u.neto.type != NET_END)
            return false;
        if (i < cells)
            out->push_back(u);
    }
    return true;
}

// A number from /proc/<pid>/status ("VmHWM", "VmRSS", "Threads"), in the
// file's unit (kB for memory); -1 when missing.
inline long procstatus(pid_t pid, const std::string &key)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.compare(0, key.size() + 1, key + ":") == 0)
            return std::stol(line.substr(key.size() + 1));
    return -1;
}
