// The records that travel between the server and its clients, and their
// explicit byte encoding. Every record ends in the 16-byte NETOVERHEAD
// trailer. Integers are 32-bit little-endian; every extended value is the
// 80-bit x87 format in a 12-byte slot (10 bytes of value, 2 of pad). The
// encoders write every byte, pads as zero, so the layout never depends on
// the compiler's struct layout.
#pragma once

#include <cfloat>
#include <cstdint>
#include <limits>

#include "extended.h"
#include "protocol.h"


enum {
    NETOVERHEAD_SIZE = 16,
    UPDATEMAP_SIZE = 40,
    FIRSTMAP_SIZE = 96,
    PLAYERINFO_SIZE = 72,
    EXTENDED_SIZE = 12,
};

typedef struct netoverhead {
    int32_t x;
    int32_t y;
    char checksum;
    int32_t type;
} NETOVERHEAD;

typedef struct updatemap {
    long double totalcal;
    long double fuellevel;
    NETOVERHEAD neto;
} UPDATEMAP;

typedef struct firstmap {
    long double totalcal;
    long double cocon;
    long double calperc;
    int32_t ignitionpoint;
    long double fuellevel;
    long double calperf;
    long double burnspeed;
    int32_t block;
    NETOVERHEAD neto;
} FIRSTMAP;

typedef struct playerinfo {
    char name[30];
    int32_t score;
    int32_t team;
    int32_t health;
    int32_t x;
    int32_t y;
    int32_t num;
    NETOVERHEAD neto;
} PLAYERINFO;

// Little-endian scalars and 12-byte extended slots.
void put32(unsigned char *p, int32_t v);
int32_t get32(const unsigned char *p);
void putext(unsigned char *p, long double v);
long double getext(const unsigned char *p);

// Record encoders and decoders. Each writes or reads exactly the record's
// size in bytes.
void encodeoverhead(const NETOVERHEAD *r, unsigned char *out);
void decodeoverhead(const unsigned char *in, NETOVERHEAD *r);
void encodeupdatemap(const UPDATEMAP *r, unsigned char *out);
void decodeupdatemap(const unsigned char *in, UPDATEMAP *r);
void encodefirstmap(const FIRSTMAP *r, unsigned char *out);
void decodefirstmap(const unsigned char *in, FIRSTMAP *r);
void encodeplayerinfo(const PLAYERINFO *r, unsigned char *out);
void decodeplayerinfo(const unsigned char *in, PLAYERINFO *r);

// Offsets of the trailer's fields inside a record of `len` bytes.
inline int trailerat(int len) { return len - NETOVERHEAD_SIZE; }
inline int checksumat(int len) { return trailerat(len) + 8; }
inline int typeat(int len) { return trailerat(len) + 12; }

// Sets the checksum byte of an encoded record so that all its bytes XOR to 0.
void stamprecord(unsigned char *rec, int len);
// True when all bytes of an encoded record XOR to 0.
bool recordintact(const unsigned char *rec, int len);
