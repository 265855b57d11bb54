// SHA-256 through OpenSSL's EVP interface.
#include "engine/digest.h"

#include <cstdlib>
#include <fstream>
#include <openssl/evp.h>

void sha256(const void *bytes, size_t n, unsigned char out[32])
{
    if (EVP_Digest(bytes, n, out, nullptr, EVP_sha256(), nullptr) != 1)
        std::abort(); // only out of memory: nothing to go on with
}

SHA256::SHA256() : ctx(EVP_MD_CTX_new())
{
    if (!ctx)
        std::abort();
    restart();
}

SHA256::~SHA256() { EVP_MD_CTX_free(ctx); }

void SHA256::restart()
{
    if (EVP_DigestInit_ex(ctx, EVP_sha256(), nullptr) != 1)
        std::abort();
}

void SHA256::add(const void *bytes, size_t n)
{
    if (EVP_DigestUpdate(ctx, bytes, n) != 1)
        std::abort();
}

void SHA256::end(unsigned char out[32])
{
    if (EVP_DigestFinal_ex(ctx, out, nullptr) != 1)
        std::abort();
}

bool sha256file(const std::string &path, uint64_t &size, unsigned char out[32])
{
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open())
        return false;
    SHA256 s;
    char buffer[65536];
    size = 0;
    while (in) {
        in.read(buffer, sizeof buffer);
        s.add(buffer, (size_t)in.gcount());
        size += (uint64_t)in.gcount();
    }
    if (in.bad())
        return false;
    s.end(out);
    return true;
}
