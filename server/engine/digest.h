// SHA-256 by OpenSSL's libcrypto: the identity of a map file's content, and
// of whatever else must be recognised without being kept (resume tokens).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct evp_md_ctx_st; // OpenSSL's EVP_MD_CTX

// The SHA-256 of n bytes.
void sha256(const void *bytes, size_t n, unsigned char out[32]);

// The size and SHA-256 of the file at `path`, read in pieces; false when
// it cannot be opened or read to its end (size and out are then undefined).
bool sha256file(const std::string &path, uint64_t &size, unsigned char out[32]);

// A SHA-256 fed in pieces: add() any number of times, then end().
class SHA256 {
public:
    SHA256();
    ~SHA256();
    SHA256(const SHA256 &) = delete;
    SHA256 &operator=(const SHA256 &) = delete;
    void restart();                          // forgets what was added
    void add(const void *bytes, size_t n);
    void end(unsigned char out[32]);         // the digest; restart() before reusing

private:
    evp_md_ctx_st *ctx;
};
