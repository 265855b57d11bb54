// Little-endian integers, LEB128 varints and zigzag values as the web
// stream writes and reads them: appended to a std::string, read through a
// bounded cursor that remembers whether it ever ran past its end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

inline void putu8(std::string &o, unsigned v) { o += (char)(uint8_t)v; }
inline void putu16(std::string &o, unsigned v)
{
    o += (char)(uint8_t)v;
    o += (char)(uint8_t)(v >> 8);
}
inline void putu32(std::string &o, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        o += (char)(uint8_t)(v >> (8 * i));
}
inline void puti32(std::string &o, int32_t v) { putu32(o, (uint32_t)v); }
// An unsigned LEB128 varint: 7 bits a byte, low first, the top bit set on
// every byte but the last.
inline void putvar(std::string &o, uint32_t v)
{
    while (v >= 0x80) {
        o += (char)(uint8_t)(v | 0x80);
        v >>= 7;
    }
    o += (char)(uint8_t)v;
}
// A signed value in zigzag form (0, -1, 1, -2, ... as 0, 1, 2, 3, ...).
inline uint32_t zigzag(int32_t v) { return ((uint32_t)v << 1) ^ (uint32_t)(v >> 31); }
inline int32_t unzigzag(uint32_t v) { return (int32_t)(v >> 1) ^ -(int32_t)(v & 1); }
inline void putzig(std::string &o, int32_t v) { putvar(o, zigzag(v)); }
// A str8: a u8 length (the text cut to 255 bytes) and the bytes.
inline void putstr8(std::string &o, const std::string &s)
{
    const size_t n = s.size() < 255 ? s.size() : 255;
    putu8(o, (unsigned)n);
    o.append(s, 0, n);
}

// Reads a message from its first byte on. Past the end every read gives 0
// and sets `bad`; a caller checks it once at the end.
struct READER {
    const unsigned char *p;
    size_t n, at = 0;
    bool bad = false;

    READER(const void *data, size_t size) : p((const unsigned char *)data), n(size) {}
    size_t left() const { return n - at; }
    bool has(size_t k)
    {
        if (n - at < k) {
            bad = true;
            at = n;
            return false;
        }
        return true;
    }
    uint32_t u8() { return has(1) ? p[at++] : 0; }
    uint32_t u16()
    {
        if (!has(2))
            return 0;
        uint32_t v = p[at] | (uint32_t)p[at + 1] << 8;
        at += 2;
        return v;
    }
    uint32_t u32()
    {
        if (!has(4))
            return 0;
        uint32_t v = 0;
        for (int i = 0; i < 4; i++)
            v |= (uint32_t)p[at + i] << (8 * i);
        at += 4;
        return v;
    }
    int32_t i32() { return (int32_t)u32(); }
    // A varint of at most 5 bytes whose value fits 32 bits.
    uint32_t var()
    {
        uint32_t v = 0;
        for (int shift = 0; shift < 35; shift += 7) {
            if (!has(1))
                return 0;
            const uint32_t b = p[at++];
            if (shift == 28 && b > 0x0f) {
                bad = true;
                return 0;
            }
            v |= (b & 0x7f) << shift;
            if (!(b & 0x80))
                return v;
        }
        bad = true;
        return 0;
    }
    int32_t zig() { return unzigzag(var()); }
    std::string str8()
    {
        const size_t k = u8();
        if (!has(k))
            return "";
        std::string s((const char *)p + at, k);
        at += k;
        return s;
    }
    const unsigned char *bytes(size_t k)
    {
        if (!has(k))
            return nullptr;
        const unsigned char *b = p + at;
        at += k;
        return b;
    }
};
