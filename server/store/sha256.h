// Moved: SHA-256 is engine/digest.h now (OpenSSL's libcrypto). This header
// only forwards the old calls to it and goes with its last includer.
#pragma once

#include "engine/digest.h"

inline void sha256init(SHA256 &s) { s.restart(); }
inline void sha256add(SHA256 &s, const void *bytes, size_t n) { s.add(bytes, n); }
inline void sha256end(SHA256 &s, unsigned char digest[32]) { s.end(digest); }
