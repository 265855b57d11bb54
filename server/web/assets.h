// The page's files (web/ in the source tree), built into the server.
#pragma once

#include <cstddef>
#include <string>

struct ASSET {
    const char *path;          // as requested, from the site's root: "/index.html"
    const char *type;          // Content-Type
    const unsigned char *data;
    size_t size;
};

// The file served at `path`, or null.
const ASSET *findasset(const std::string &path);
