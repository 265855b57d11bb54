// Explicit little-endian encoding of the wire records.
#include "wire.h"

#include <cstring>

#include "checksum.h"

void put32(unsigned char *p, int32_t v)
{
    uint32_t u = (uint32_t)v;
    p[0] = (unsigned char)(u);
    p[1] = (unsigned char)(u >> 8);
    p[2] = (unsigned char)(u >> 16);
    p[3] = (unsigned char)(u >> 24);
}

int32_t get32(const unsigned char *p)
{
    uint32_t u = (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
    return (int32_t)u;
}

// The x87 extended value: a 64-bit significand with its explicit integer
// bit, then 16 bits of sign and biased exponent. Read out of the native
// long double (checked to be that format) and written byte by byte.
void putext(unsigned char *p, long double v)
{
#if defined(__x86_64__) || defined(__i386__)
    // The x87 format in memory already is the slot's layout: the 64-bit
    // significand, then sign and exponent, both little-endian.
    std::memcpy(p, &v, 10);
    p[10] = 0;
    p[11] = 0;
#else
    unsigned char raw[sizeof(long double)];
    std::memcpy(raw, &v, sizeof raw);
    uint64_t mant = 0;
    for (int i = 7; i >= 0; i--)
        mant = mant << 8 | raw[i];
    uint16_t se = (uint16_t)(raw[8] | raw[9] << 8);
    for (int i = 0; i < 8; i++)
        p[i] = (unsigned char)(mant >> (8 * i));
    p[8] = (unsigned char)(se);
    p[9] = (unsigned char)(se >> 8);
    p[10] = 0;
    p[11] = 0;
#endif
}

long double getext(const unsigned char *p)
{
    unsigned char raw[sizeof(long double)] = {};
    std::memcpy(raw, p, 10);
    long double v;
    std::memcpy(&v, raw, sizeof v);
    return v;
}

void encodeoverhead(const NETOVERHEAD *r, unsigned char *out)
{
    put32(out, r->x);
    put32(out + 4, r->y);
    out[8] = (unsigned char)r->checksum;
    out[9] = out[10] = out[11] = 0;
    put32(out + 12, r->type);
}

void decodeoverhead(const unsigned char *in, NETOVERHEAD *r)
{
    r->x = get32(in);
    r->y = get32(in + 4);
    r->checksum = (char)in[8];
    r->type = get32(in + 12);
}

void encodeupdatemap(const UPDATEMAP *r, unsigned char *out)
{
    putext(out, r->totalcal);
    putext(out + 12, r->fuellevel);
    encodeoverhead(&r->neto, out + 24);
}

void decodeupdatemap(const unsigned char *in, UPDATEMAP *r)
{
    r->totalcal = getext(in);
    r->fuellevel = getext(in + 12);
    decodeoverhead(in + 24, &r->neto);
}

void encodefirstmap(const FIRSTMAP *r, unsigned char *out)
{
    putext(out, r->totalcal);
    putext(out + 12, r->cocon);
    putext(out + 24, r->calperc);
    put32(out + 36, r->ignitionpoint);
    putext(out + 40, r->fuellevel);
    putext(out + 52, r->calperf);
    putext(out + 64, r->burnspeed);
    put32(out + 76, r->block);
    encodeoverhead(&r->neto, out + 80);
}

void decodefirstmap(const unsigned char *in, FIRSTMAP *r)
{
    r->totalcal = getext(in);
    r->cocon = getext(in + 12);
    r->calperc = getext(in + 24);
    r->ignitionpoint = get32(in + 36);
    r->fuellevel = getext(in + 40);
    r->calperf = getext(in + 52);
    r->burnspeed = getext(in + 64);
    r->block = get32(in + 76);
    decodeoverhead(in + 80, &r->neto);
}

void encodeplayerinfo(const PLAYERINFO *r, unsigned char *out)
{
    std::memcpy(out, r->name, 30);
    out[30] = out[31] = 0;
    put32(out + 32, r->score);
    put32(out + 36, r->team);
    put32(out + 40, r->health);
    put32(out + 44, r->x);
    put32(out + 48, r->y);
    put32(out + 52, r->num);
    encodeoverhead(&r->neto, out + 56);
}

void decodeplayerinfo(const unsigned char *in, PLAYERINFO *r)
{
    std::memcpy(r->name, in, 30);
    r->score = get32(in + 32);
    r->team = get32(in + 36);
    r->health = get32(in + 40);
    r->x = get32(in + 44);
    r->y = get32(in + 48);
    r->num = get32(in + 52);
    decodeoverhead(in + 56, &r->neto);
}

void stamprecord(unsigned char *rec, int len)
{
    rec[checksumat(len)] = 0;
    rec[checksumat(len)] = (unsigned char)checksum((const char *)rec, len);
}

bool recordintact(const unsigned char *rec, int len)
{
    return checksum((const char *)rec, len) == 0;
}
