// Map answers, encoded once per published state.
#include "tcp/mapanswer.h"

#include <atomic>
#include <cstring>
#include <new>

#include "wire.h"

// Keeps the buffer of an answer no reader holds any more in a free slot of
// `cache`, or drops it.
static void givebackanswer(MAPANSWERS &cache, std::vector<unsigned char> *bytes)
{
    for (auto &slot : cache.spare) {
        std::vector<unsigned char> *empty = nullptr;
        if (slot.compare_exchange_strong(empty, bytes))
            return;
    }
    delete bytes;
}

// A buffer of `size` bytes for a new answer, spare or new; its contents
// are whatever they were.
static std::shared_ptr<std::vector<unsigned char>> newanswer(MAPANSWERS &cache, size_t size)
{
    std::vector<unsigned char> *bytes = nullptr;
    for (auto &slot : cache.spare) {
        std::vector<unsigned char> *spare = slot.exchange(nullptr);
        if (!spare)
            continue;
        if (!bytes && spare->size() == size)
            bytes = spare;
        else
            givebackanswer(cache, spare);
    }
    if (!bytes)
        bytes = new std::vector<unsigned char>(size);
    return std::shared_ptr<std::vector<unsigned char>>(
        bytes, [&cache](std::vector<unsigned char> *b) { givebackanswer(cache, b); });
}

MAPANSWERS::~MAPANSWERS()
{
    update.reset(); // into the spare slots, dropped next
    first.reset();
    for (auto &slot : spare)
        delete slot.exchange(nullptr);
}

static void fillupdatemap(UPDATEMAP *r, const PUBCELL &c)
{
    r->totalcal = c.totalcal;
    r->fuellevel = c.fuellevel;
}

static void fillfirstmap(FIRSTMAP *r, const PUBCELL &c)
{
    const MATERIAL &t = *c.material;
    r->totalcal = c.totalcal;
    r->cocon = t.cocon;
    r->calperc = t.calperc;
    r->ignitionpoint = t.ignitionpoint;
    r->fuellevel = c.fuellevel;
    r->calperf = t.calperf;
    r->burnspeed = t.burnspeed;
    r->block = t.block;
}

// Encodes every published cell in index order as type-1 records, then the
// closing record: the last cell again, with type 2 and the checksum
// stamped for type 1. Without cells the closing record is all zero but for
// its type. Called with oldmap_lock held.
template <typename RECORD, int SIZE>
static MAPANSWER encodemap(MAPANSWERS &cache, const WORLD &w, void (*fill)(RECORD *, const PUBCELL &),
                           void (*encode)(const RECORD *, unsigned char *))
{
    auto bytes = newanswer(cache, (ncells(w) + 1) * SIZE);
    unsigned char *out = bytes->data();
    RECORD rec;
    std::memset(&rec, 0, sizeof rec);
    eachpubcell(w, [&](const PUBCELL &c) {
        fill(&rec, c);
        rec.neto.type = NET_RECORD;
        rec.neto.x = (int32_t)c.x;
        rec.neto.y = (int32_t)c.y;
        rec.neto.checksum = 0;
        encode(&rec, out);
        stamprecord(out, SIZE);
        out += SIZE;
    });
    if (ncells(w) == 0) {
        std::memset(&rec, 0, sizeof rec);
        rec.neto.type = NET_END;
        encode(&rec, out);
    } else {
        std::memcpy(out, out - SIZE, SIZE);
        put32(out + typeat(SIZE), NET_END);
    }
    return bytes;
}

static MAPANSWER encodeanswer(MAPANSWERS &cache, const WORLD &w, bool full)
{
    if (full)
        return encodemap<FIRSTMAP, FIRSTMAP_SIZE>(cache, w, fillfirstmap, encodefirstmap);
    return encodemap<UPDATEMAP, UPDATEMAP_SIZE>(cache, w, fillupdatemap, encodeupdatemap);
}

MAPANSWER mapanswer(GAME &g, MAPANSWERS &cache, bool full)
{
    MAPANSWER ref;
    readcells(g, [&](const WORLD &pw) {
        try {
            MAPANSWER &answer = full ? cache.first : cache.update;
            uint64_t &generation = full ? cache.firstgen : cache.updategen;
            if (!answer || generation != pubgeneration(pw)) {
                answer.reset();
                answer = encodeanswer(cache, pw, full);
                generation = pubgeneration(pw);
            }
            ref = answer;
        } catch (const std::bad_alloc &) {
        }
    });
    return ref;
}
