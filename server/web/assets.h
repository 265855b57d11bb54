// The page's files (web/ in the source tree), built into the server, each
// also gzip-compressed when that makes it smaller, and tagged by its
// content for ETag and If-None-Match.
#pragma once

#include <cstddef>
#include <string>

struct ASSET {
    const char *path;          // as requested, from the site's root: "/index.html"
    const char *type;          // Content-Type
    const unsigned char *data;
    size_t size;
    const unsigned char *gzip; // the same bytes gzip-compressed, or null
    size_t gzipsize;
    const char *tag;           // from a hash of the bytes: changes when they do
};

// The file served at `path`, or null.
const ASSET *findasset(const std::string &path);
