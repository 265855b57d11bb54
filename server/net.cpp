// Listener, connection threads, command protocol, exposure step and the
// record transfer primitives.
//
// Design. The listener thread accepts one connection per call, starts a
// detached thread for it and pauses a second. A connection thread loops:
// run the exposure step for its player (oldmap_lock, then playerlist_lock,
// never both), read one command (bytes up to ';', read ahead into a
// per-connection buffer), run it, answer. Map and player answers are
// encoded under their lock and sent after it is released, so a client that
// stops reading stalls only its own connection. Map answers are encoded
// once per published state and shared by every reader.
#include "net.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <unordered_map>
#include <vector>

#include "checksum.h"
#include "file.h"
#include "grid.h"
#include "phys.h"
#include "player.h"
#include "version.h"
#include "world.h"

int portnum = 3140;
int backlog = 10;
int sendstall = 30;
int sockfd = -1;
struct sockaddr_in my_addr;

const char strterm[] = ";";
const char strversion[] = "version;";
const char strprotocolversion[] = "protocolversion;";
const char strclose[] = "close;";
const char strgetmapinfo[] = "getmapinfo;";
const char strgetmap[] = "getmap;";
const char strgetallmap[] = "getallmap;";
const char strgetplayerinfo[] = "getplayerinfo;";
const char strsetplayerinfo[] = "setplayerinfo;";
const char strlogin[] = "login;";
const char strsetfire[] = "setfire;";

// ---------------------------------------------------------------------------
// Transfer primitives

void clearbuff(void *buff, size_t len)
{
    std::memset(buff, 0, len);
}

// Waits until the socket can move data in the given direction; used only
// when a socket reports it would block although it is in blocking mode.
static void waitsock(int sock, short events)
{
    struct pollfd p = {sock, events, 0};
    poll(&p, 1, 1000);
}

int totsend(int sock, const void *buff, size_t len, int op)
{
    int flags = fcntl(sock, F_GETFL);
    fcntl(sock, F_SETFL, 0);
    size_t count = 0;
    int result = 0;
    while (count < len) {
        ssize_t r = send(sock, (const char *)buff + count, len - count, op | MSG_NOSIGNAL);
        if (r > 0) {
            count += (size_t)r;
        } else if (r < 0 && errno == EINTR) {
            continue;
        } else {
            // Failed, or (in blocking mode) the send timeout of a
            // connection passed without the client taking a byte.
            result = -1;
            break;
        }
    }
    fcntl(sock, F_SETFL, flags);
    return result;
}

int totrecv(int sock, void *buff, size_t len, int op)
{
    int flags = fcntl(sock, F_GETFL);
    fcntl(sock, F_SETFL, 0);
    size_t count = 0;
    int result = 0;
    while (count < len) {
        ssize_t r = recv(sock, (char *)buff + count, len - count, op);
        if (r > 0) {
            count += (size_t)r;
        } else if (r < 0 && errno == EINTR) {
            continue;
        } else if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            waitsock(sock, POLLIN);
        } else {
            result = -1;
            break;
        }
    }
    fcntl(sock, F_SETFL, flags);
    return result == 0 ? (int)count : -1;
}

// Receives a whole record for the connection: first the bytes already read
// ahead, then the rest from the socket.
static int connrecv(CONNECTION *conn, void *buff, size_t len)
{
    size_t have = conn->inlen - conn->inpos;
    size_t take = have < len ? have : len;
    std::memcpy(buff, conn->inbuf + conn->inpos, take);
    conn->inpos += take;
    if (take == len)
        return 0;
    return totrecv(conn->consock, (char *)buff + take, len - take, 0) < 0 ? -1 : 0;
}

// ---------------------------------------------------------------------------
// Command reader

void initconnection(CONNECTION *conn, int sock)
{
    conn->consock = sock;
    conn->cmdline.clear();
    conn->inpos = conn->inlen = 0;
    conn->ourplayer = -1;
    conn->lasttime = time(nullptr);
    std::memset(&conn->tmpoverhead, 0, sizeof conn->tmpoverhead);
    std::memset(conn->tmpplayerinfo, 0, sizeof conn->tmpplayerinfo);
}

CMDSCAN cmdscan(std::string &cmdline, const char *data, size_t len, size_t *used)
{
    size_t limit = len < CMDBUFF - 1 ? len : CMDBUFF - 1;
    const char *term = (const char *)std::memchr(data, strterm[0], limit);
    if (!term) {
        *used = 0;
        return len >= CMDBUFF - 1 ? SCAN_TOOLONG : SCAN_MORE;
    }
    size_t passlen = (size_t)(term - data) + 1;
    // Only the text before the first NUL of the pass joins the command.
    cmdline.append(data, strnlen(data, passlen));
    *used = passlen;
    // Text joined over passes split at NULs matches no command once it is
    // longer than any: keep its head and its last byte (whether it ends in
    // the terminator), so a client cannot grow it without bound.
    if (cmdline.size() > CMDBUFF - 1) {
        char last = cmdline.back();
        cmdline.resize(CMDBUFF - 2);
        cmdline += last;
    }
    return SCAN_PASS;
}

int readcommand(CONNECTION *conn)
{
    for (;;) {
        size_t used;
        CMDSCAN r = cmdscan(conn->cmdline, conn->inbuf + conn->inpos, conn->inlen - conn->inpos, &used);
        if (r == SCAN_PASS) {
            conn->inpos += used;
            return 0;
        }
        if (r == SCAN_TOOLONG)
            return -1;
        // Keep the unconsumed bytes at the front and read more after them.
        if (conn->inpos > 0) {
            std::memmove(conn->inbuf, conn->inbuf + conn->inpos, conn->inlen - conn->inpos);
            conn->inlen -= conn->inpos;
            conn->inpos = 0;
        }
        ssize_t got = recv(conn->consock, conn->inbuf + conn->inlen, INBUFF - conn->inlen, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return -1;
        conn->inlen += (size_t)got;
    }
}

// ---------------------------------------------------------------------------
// Map answers: one encoding per published state, shared by all readers.

typedef std::shared_ptr<const std::vector<unsigned char>> PICTURE;

static PICTURE updatepicture;       // guarded by oldmap_lock
static uint64_t updatepicturegen;   // guarded by oldmap_lock
static PICTURE firstpicture;        // guarded by oldmap_lock
static uint64_t firstpicturegen;    // guarded by oldmap_lock

// Buffers of pictures no reader holds any more, kept for the next state's
// encoding (at most two): a new state then costs no fresh pages. The slots
// are lock-free, since the last reader of a picture may drop it with or
// without oldmap_lock held.
static std::atomic<std::vector<unsigned char> *> sparepictures[2];

static void givebackpicture(std::vector<unsigned char> *bytes)
{
    for (auto &slot : sparepictures) {
        std::vector<unsigned char> *empty = nullptr;
        if (slot.compare_exchange_strong(empty, bytes))
            return;
    }
    delete bytes;
}

// A buffer of `size` bytes for a new picture, spare or new; its contents
// are whatever they were.
static std::shared_ptr<std::vector<unsigned char>> newpicture(size_t size)
{
    std::vector<unsigned char> *bytes = nullptr;
    for (auto &slot : sparepictures) {
        std::vector<unsigned char> *spare = slot.exchange(nullptr);
        if (!spare)
            continue;
        if (!bytes && spare->size() == size)
            bytes = spare;
        else
            givebackpicture(spare);
    }
    if (!bytes)
        bytes = new std::vector<unsigned char>(size);
    return std::shared_ptr<std::vector<unsigned char>>(bytes, givebackpicture);
}

static void fillupdatemap(UPDATEMAP *r, size_t i)
{
    r->totalcal = oldmap->heat[i];
    r->fuellevel = fuellevel[i];
}

static void fillfirstmap(FIRSTMAP *r, size_t i)
{
    const CELLTYPE &t = celltypes[celltype[i]];
    r->totalcal = oldmap->heat[i];
    r->cocon = t.cocon;
    r->calperc = t.calperc;
    r->ignitionpoint = t.ignitionpoint;
    r->fuellevel = fuellevel[i];
    r->calperf = t.calperf;
    r->burnspeed = t.burnspeed;
    r->block = t.block;
}

// Encodes every cell of oldmap in index order as type-1 records, then the
// closing record: the last cell again, with type 2 and the checksum
// stamped for type 1. Without cells the closing record is all zero but for
// its type. A fire queued while the tick computes shows in its cell's
// heat. Called with oldmap_lock held.
template <typename RECORD, int SIZE>
static PICTURE encodemap(void (*fill)(RECORD *, size_t), void (*encode)(const RECORD *, unsigned char *))
{
    size_t n = ncells();
    auto bytes = newpicture((n + 1) * SIZE);
    unsigned char *out = bytes->data();
    RECORD rec;
    std::memset(&rec, 0, sizeof rec);
    size_t i = 0;
    for (long x = 0; x < mapsizex; x++) {
        for (long y = 0; y < mapsizey; y++, i++) {
            fill(&rec, i);
            rec.neto.type = NET_RECORD;
            rec.neto.x = (int32_t)x;
            rec.neto.y = (int32_t)y;
            rec.neto.checksum = 0;
            encode(&rec, out);
            stamprecord(out, SIZE);
            out += SIZE;
        }
    }
    // Fires queued while the tick computes: each cell's heat with its fires
    // added in the order they came, then its record encoded once again.
    std::unordered_map<size_t, long double> fired;
    for (const QUEUEDFIRE &f : queuedfires()) {
        auto at = fired.try_emplace(f.index, oldmap->heat[f.index]).first;
        at->second += FIREHEAT;
    }
    for (const auto &[index, heat] : fired) {
        fill(&rec, index);
        rec.totalcal = heat;
        rec.neto.type = NET_RECORD;
        rec.neto.x = (int32_t)(index / (size_t)mapsizey);
        rec.neto.y = (int32_t)(index % (size_t)mapsizey);
        rec.neto.checksum = 0;
        unsigned char *at = bytes->data() + index * SIZE;
        encode(&rec, at);
        stamprecord(at, SIZE);
    }
    if (n == 0) {
        std::memset(&rec, 0, sizeof rec);
        rec.neto.type = NET_END;
        encode(&rec, out);
    } else {
        std::memcpy(out, out - SIZE, SIZE);
        put32(out + typeat(SIZE), NET_END);
    }
    return bytes;
}

static PICTURE mappicture(bool full)
{
    pthread_mutex_lock(&oldmap_lock);
    PICTURE &picture = full ? firstpicture : updatepicture;
    uint64_t &generation = full ? firstpicturegen : updatepicturegen;
    if (!picture || generation != mapgeneration) {
        picture.reset();
        try {
            if (full)
                picture = encodemap<FIRSTMAP, FIRSTMAP_SIZE>(fillfirstmap, encodefirstmap);
            else
                picture = encodemap<UPDATEMAP, UPDATEMAP_SIZE>(fillupdatemap, encodeupdatemap);
            generation = mapgeneration;
        } catch (const std::bad_alloc &) {
        }
    }
    PICTURE ref = picture;
    pthread_mutex_unlock(&oldmap_lock);
    return ref;
}

// ---------------------------------------------------------------------------
// Commands

static int sendoverhead(CONNECTION *conn, int type)
{
    unsigned char bytes[NETOVERHEAD_SIZE];
    conn->tmpoverhead.type = type;
    encodeoverhead(&conn->tmpoverhead, bytes);
    return totsend(conn->consock, bytes, sizeof bytes, 0);
}

static int sendmap(CONNECTION *conn, bool full)
{
    PICTURE picture = mappicture(full);
    if (!picture)
        return -1;
    return totsend(conn->consock, picture->data(), picture->size(), 0);
}

static int sendplayers(CONNECTION *conn)
{
    std::vector<unsigned char> bytes;
    try {
        pthread_mutex_lock(&playerlist_lock);
        bytes.resize((size_t)(numplayers + 1) * PLAYERINFO_SIZE);
    } catch (const std::bad_alloc &) {
        pthread_mutex_unlock(&playerlist_lock);
        return -1;
    }
    unsigned char *out = bytes.data();
    for (int i = 0; i < numplayers; i++, out += PLAYERINFO_SIZE) {
        PLAYERINFO *entry = &playerlist[i];
        entry->neto.type = NET_RECORD;
        entry->neto.checksum = 0;
        encodeplayerinfo(entry, out);
        stamprecord(out, PLAYERINFO_SIZE);
        entry->neto.checksum = (char)out[checksumat(PLAYERINFO_SIZE)];
    }
    pthread_mutex_unlock(&playerlist_lock);
    // The closing record is the connection's scratch record with type 2.
    std::memcpy(out, conn->tmpplayerinfo, PLAYERINFO_SIZE);
    put32(out + typeat(PLAYERINFO_SIZE), NET_END);
    return totsend(conn->consock, bytes.data(), bytes.size(), 0);
}

static int dosetplayerinfo(CONNECTION *conn)
{
    if (sendoverhead(conn, NET_READY) < 0 || connrecv(conn, conn->tmpplayerinfo, PLAYERINFO_SIZE) < 0)
        return -1;
    PLAYERINFO info;
    decodeplayerinfo(conn->tmpplayerinfo, &info);
    chgplayerinfo(info.num, info);
    return sendoverhead(conn, NET_END);
}

static int dologin(CONNECTION *conn)
{
    if (sendoverhead(conn, NET_READY) < 0 || connrecv(conn, conn->tmpplayerinfo, PLAYERINFO_SIZE) < 0)
        return -1;
    // A name without NUL in its 30 bytes is cut to 29 characters.
    char name[30];
    std::memcpy(name, conn->tmpplayerinfo, 29);
    name[29] = '\0';
    int num = addplayer(name);
    if (num >= 0)
        conn->ourplayer = num;
    conn->tmpoverhead.x = num >= 0 ? num : -1;
    return sendoverhead(conn, NET_END);
}

static void dosetfire(CONNECTION *conn)
{
    if (conn->ourplayer < 0)
        return;
    pthread_mutex_lock(&playerlist_lock);
    int health = playerlist[conn->ourplayer].health;
    long x = playerlist[conn->ourplayer].x;
    long y = playerlist[conn->ourplayer].y;
    pthread_mutex_unlock(&playerlist_lock);
    if (health <= 0)
        return;
    addfire(x, y, conn->ourplayer + 1);
}

int runcommand(CONNECTION *conn)
{
    char tmpbuff[CMDBUFF];
    clearbuff(tmpbuff, sizeof tmpbuff);
    const std::string &cmd = conn->cmdline;
    int result = 0;
    if (cmd == strversion) {
        snprintf(tmpbuff, sizeof tmpbuff, "%f", (double)fversion);
    } else if (cmd == strprotocolversion) {
        snprintf(tmpbuff, sizeof tmpbuff, "%f", (double)netpro);
    } else if (cmd == strclose) {
        return -1;
    } else if (cmd == strgetmapinfo) {
        snprintf(tmpbuff, sizeof tmpbuff, "%ld %ld \"%s\"", mapsizex, mapsizey, mapname ? mapname : "");
    } else if (cmd == strgetmap) {
        result = sendmap(conn, false);
    } else if (cmd == strgetallmap) {
        result = sendmap(conn, true);
    } else if (cmd == strgetplayerinfo) {
        result = sendplayers(conn);
    } else if (cmd == strsetplayerinfo) {
        result = dosetplayerinfo(conn);
    } else if (cmd == strlogin) {
        result = dologin(conn);
    } else if (cmd == strsetfire) {
        dosetfire(conn);
    }
    size_t len = strlen(tmpbuff);
    if (len > 0)
        (void)send(conn->consock, tmpbuff, len, MSG_NOSIGNAL);
    return result;
}

// ---------------------------------------------------------------------------
// Exposure, damage and scoring

// Whole-number conversion of a score; saturates instead of overflowing.
static int32_t truncatescore(long double v)
{
    if (v != v)
        return 0;
    if (v >= 2147483647.0L)
        return INT32_MAX;
    if (v <= -2147483648.0L)
        return INT32_MIN;
    return (int32_t)v;
}

void doexposure(int ourplayer)
{
    if (ourplayer < 0)
        return;
    pthread_mutex_lock(&playerlist_lock);
    long x = playerlist[ourplayer].x;
    long y = playerlist[ourplayer].y;
    int health = playerlist[ourplayer].health;
    pthread_mutex_unlock(&playerlist_lock);

    // A player off the map stands in the surroundings: their temperature,
    // no attribution.
    pthread_mutex_lock(&oldmap_lock);
    long at = cellindex(x, y);
    MAPUNIT cell = at < 0 ? outside : pubcell((size_t)at);
    long double totalcal = cell.totalcal;
    long double calperc = cell.calperc;
    int heatsource[NUMSLOTS];
    long double sourcequan[NUMSLOTS];
    for (int i = 0; i < NUMSLOTS; i++) {
        heatsource[i] = cell.heatsource[i];
        sourcequan[i] = cell.sourcequan[i];
    }
    pthread_mutex_unlock(&oldmap_lock);

    int temperature = truncatetemp(totalcal / calperc);
    if (temperature <= 383 || health <= 0)
        return;
    int damage = (int)(((long)temperature - 383) / 10);
    long double totalheat = 0;
    for (int i = 0; i < NUMSLOTS; i++)
        totalheat += sourcequan[i];

    pthread_mutex_lock(&playerlist_lock);
    playerlist[ourplayer].health -= damage;
    for (int i = 0; i < 5 && damage != 0; i++) {
        int s = heatsource[i];
        if (s - 1 == ourplayer || s == 0)
            continue;
        int p = s - 1;
        // A share of no attributed heat has no meaning: no credit.
        if (p < 0 || p >= numplayers || totalheat == 0)
            continue;
        playerlist[p].score = truncatescore(playerlist[p].score + (sourcequan[i] / totalheat) * damage);
    }
    pthread_mutex_unlock(&playerlist_lock);
}

// ---------------------------------------------------------------------------
// Connections

void serveconnection(int sock)
{
    CONNECTION *conn = new CONNECTION;
    initconnection(conn, sock);
    struct timeval stall = {sendstall, 0};
    setsockopt(sock, SOL_SOCKET, SO_SNDTIMEO, &stall, sizeof stall);
    for (;;) {
        // Run the exposure step before every command read.
        time_t now = time(nullptr);
        if (conn->lasttime < now + 1) {
            conn->lasttime = now;
            doexposure(conn->ourplayer);
        }
        if (readcommand(conn) < 0)
            break;
        if (conn->cmdline.empty() || conn->cmdline.back() != strterm[0])
            continue; // a NUL split the command: join it with the next
        int result;
        try {
            result = runcommand(conn);
        } catch (const std::bad_alloc &) {
            result = -1;
        }
        conn->cmdline.clear();
        if (result < 0)
            break;
    }
    conn->cmdline.clear();
    close(conn->consock);
    if (conn->ourplayer >= 0)
        delplayer(conn->ourplayer);
    delete conn;
}

void *checksock(void *sock)
{
    int consock = *(int *)sock;
    delete (int *)sock;
    serveconnection(consock);
    return nullptr;
}

void setupnet()
{
    sockfd = socket(AF_INET, SOCK_STREAM, 0);
    if (sockfd < 0) {
        perror("socket");
        exit(1);
    }
    // A restart must not wait for connections of the last run to time out.
    int on = 1;
    setsockopt(sockfd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    std::memset(&my_addr, 0, sizeof my_addr);
    my_addr.sin_family = AF_INET;
    my_addr.sin_port = htons((uint16_t)portnum);
    my_addr.sin_addr.s_addr = INADDR_ANY;
    if (bind(sockfd, (struct sockaddr *)&my_addr, sizeof my_addr) < 0) {
        perror("bind");
        exit(1);
    }
    if (listen(sockfd, backlog) < 0) {
        perror("listen");
        exit(1);
    }
}

void *check4new(void *junk)
{
    (void)junk;
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    struct sockaddr_in their_addr;
    socklen_t addrlen = sizeof their_addr;
    int fd = accept(sockfd, (struct sockaddr *)&their_addr, &addrlen);
    if (fd < 0) {
        pthread_attr_destroy(&attr);
        // Out of descriptors or memory: the next accept would fail at once
        // too, so let the listener breathe instead of spinning.
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
            usleep(100 * 1000);
        return nullptr;
    }
    int *arg = new (std::nothrow) int(fd);
    pthread_t thread;
    if (!arg || pthread_create(&thread, &attr, checksock, arg) != 0) {
        delete arg;
        close(fd);
    }
    pthread_attr_destroy(&attr);
    sleep(1);
    return nullptr;
}
