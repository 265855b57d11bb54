// SHA-256 (FIPS 180-4), written out: the identity of a map file's content
// (and of whatever else the store must recognise without keeping it).
#pragma once

#include <cstddef>
#include <cstdint>

struct SHA256 {
    uint32_t h[8];
    unsigned char block[64];
    size_t used = 0;     // bytes in block
    uint64_t total = 0;  // bytes hashed
};

void sha256init(SHA256 &s);
void sha256add(SHA256 &s, const void *bytes, size_t n);
void sha256end(SHA256 &s, unsigned char digest[32]);
