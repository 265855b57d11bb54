// The client library: every read goes through a per-connection read-ahead
// buffer filled by recv after a poll limited to timeoutms, so no read ever
// blocks for longer than that and answers that arrive back to back are
// split exactly where each one ends.
#include "kindlerclient.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

static int fail(KCLIENT *kc, int code, const std::string &what)
{
    kc->error = what;
    return code;
}

static int failerrno(KCLIENT *kc, const char *call)
{
    return fail(kc, KC_ERROR, std::string(call) + ": " + strerror(errno));
}

// Waits until the socket is ready for `events`; 0, or a code.
static int waitready(KCLIENT *kc, short events, const char *what)
{
    if (kc->sock < 0)
        return fail(kc, KC_CLOSED, "not connected");
    for (;;) {
        struct pollfd p = {kc->sock, events, 0};
        int r = poll(&p, 1, kc->timeoutms);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            return failerrno(kc, "poll");
        if (r == 0)
            return fail(kc, KC_TIMEOUT, std::string("timed out waiting to ") + what);
        return 0;
    }
}

int kcconnect(KCLIENT *kc, const char *host, int port, int timeoutms)
{
    if (kc->sock >= 0)
        close(kc->sock);
    kc->sock = -1;
    kc->pending.clear();
    kc->pendingpos = 0;
    kc->timeoutms = timeoutms;
    std::memset(kc->lastsent, 0, sizeof kc->lastsent);

    struct addrinfo hints = {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    struct addrinfo *res = nullptr;
    std::string service = std::to_string(port);
    int gai = getaddrinfo(host, service.c_str(), &hints, &res);
    if (gai != 0 || !res)
        return fail(kc, KC_ERROR, std::string("cannot resolve ") + host + ": " + gai_strerror(gai));

    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        freeaddrinfo(res);
        return failerrno(kc, "socket");
    }
    int flags = fcntl(fd, F_GETFL);
    fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    int r = connect(fd, res->ai_addr, res->ai_addrlen);
    freeaddrinfo(res);
    if (r < 0 && errno != EINPROGRESS) {
        int e = errno;
        close(fd);
        errno = e;
        return failerrno(kc, "connect");
    }
    if (r < 0) {
        kc->sock = fd;
        int w = waitready(kc, POLLOUT, "connect");
        kc->sock = -1;
        if (w < 0) {
            close(fd);
            return w;
        }
        int soerr = 0;
        socklen_t len = sizeof soerr;
        getsockopt(fd, SOL_SOCKET, SO_ERROR, &soerr, &len);
        if (soerr != 0) {
            close(fd);
            errno = soerr;
            return failerrno(kc, "connect");
        }
    }
    fcntl(fd, F_SETFL, flags);
    kc->sock = fd;
    kc->error.clear();
    return 0;
}

int kcclose(KCLIENT *kc)
{
    int r = 0;
    if (kc->sock >= 0) {
        r = kcsend(kc, strclose);
        close(kc->sock);
    }
    kc->sock = -1;
    kc->pending.clear();
    kc->pendingpos = 0;
    return r;
}

int kcsendbytes(KCLIENT *kc, const void *buff, size_t len)
{
    size_t done = 0;
    while (done < len) {
        int w = waitready(kc, POLLOUT, "send");
        if (w < 0)
            return w;
        ssize_t r = send(kc->sock, (const char *)buff + done, len - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (r > 0) {
            done += (size_t)r;
        } else if (r < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) {
            continue;
        } else if (r < 0 && (errno == EPIPE || errno == ECONNRESET)) {
            return fail(kc, KC_CLOSED, "the server closed the connection");
        } else {
            return failerrno(kc, "send");
        }
    }
    return 0;
}

int kcsend(KCLIENT *kc, const std::string &cmd)
{
    return kcsendbytes(kc, cmd.data(), cmd.size());
}

static size_t pendingsize(const KCLIENT *kc)
{
    return kc->pending.size() - kc->pendingpos;
}

static const unsigned char *pendingdata(const KCLIENT *kc)
{
    return kc->pending.data() + kc->pendingpos;
}

static void consume(KCLIENT *kc, size_t n)
{
    kc->pendingpos += n;
    if (kc->pendingpos == kc->pending.size()) {
        kc->pending.clear();
        kc->pendingpos = 0;
    }
}

// Receives whatever the server has sent (at least one byte) into the
// read-ahead. 0, or a code.
static int fill(KCLIENT *kc)
{
    enum { CHUNK = 256 * 1024 };
    if (kc->pendingpos > 0 && kc->pendingpos * 2 > kc->pending.size()) {
        kc->pending.erase(kc->pending.begin(), kc->pending.begin() + (long)kc->pendingpos);
        kc->pendingpos = 0;
    }
    for (;;) {
        int w = waitready(kc, POLLIN, "receive");
        if (w < 0)
            return w;
        size_t old = kc->pending.size();
        kc->pending.resize(old + CHUNK);
        ssize_t r = recv(kc->sock, kc->pending.data() + old, CHUNK, MSG_DONTWAIT);
        kc->pending.resize(old + (r > 0 ? (size_t)r : 0));
        if (r > 0)
            return 0;
        if (r == 0)
            return fail(kc, KC_CLOSED, "the server closed the connection");
        if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)
            continue;
        if (errno == ECONNRESET)
            return fail(kc, KC_CLOSED, "the server reset the connection");
        return failerrno(kc, "recv");
    }
}

int kcrecv(KCLIENT *kc, void *buff, size_t len)
{
    while (pendingsize(kc) < len) {
        int r = fill(kc);
        if (r < 0)
            return r;
    }
    std::memcpy(buff, pendingdata(kc), len);
    consume(kc, len);
    return 0;
}

static bool isdigitbyte(unsigned char c) { return c >= '0' && c <= '9'; }

// Length of a "%f" number at p[0, n): digits (an optional leading '-'), a
// point, six digits. 0 when more bytes are needed, -1 when it cannot be one.
static long floatlength(const unsigned char *p, size_t n)
{
    size_t i = 0;
    if (i < n && p[i] == '-')
        i++;
    size_t digits = 0;
    while (i < n && isdigitbyte(p[i]))
        i++, digits++;
    if (i == n)
        return 0;
    if (p[i] != '.' || digits == 0)
        return -1;
    i++;
    for (int k = 0; k < 6; k++, i++) {
        if (i == n)
            return 0;
        if (!isdigitbyte(p[i]))
            return -1;
    }
    return (long)i;
}

int kcreadfloat(KCLIENT *kc, std::string *text)
{
    for (;;) {
        long len = floatlength(pendingdata(kc), pendingsize(kc));
        if (len < 0)
            return fail(kc, KC_PROTOCOL, "the answer is not a number printed with %f");
        if (len > 0) {
            text->assign((const char *)pendingdata(kc), (size_t)len);
            consume(kc, (size_t)len);
            return 0;
        }
        int r = fill(kc);
        if (r < 0)
            return r;
    }
}

static int askfloat(KCLIENT *kc, const char *cmd, std::string *text)
{
    int r = kcsend(kc, cmd);
    return r < 0 ? r : kcreadfloat(kc, text);
}

int kcversion(KCLIENT *kc, std::string *text) { return askfloat(kc, strversion, text); }
int kcprotocolversion(KCLIENT *kc, std::string *text) { return askfloat(kc, strprotocolversion, text); }

// Checks p[0, n) against the head `W H "` of the map information: the
// length of the head with *w, *h set; 0 when more bytes are needed; -1
// when the bytes cannot start such an answer.
static long headlength(const unsigned char *p, size_t n, long *w, long *h)
{
    size_t i = 0;
    long *fields[2] = {w, h};
    for (long *field : fields) {
        size_t start = i;
        bool neg = i < n && p[i] == '-';
        if (neg)
            i++;
        long value = 0;
        while (i < n && isdigitbyte(p[i]))
            value = value * 10 + (p[i++] - '0');
        if (i == n)
            return 0;
        if (i == start + (neg ? 1 : 0) || p[i] != ' ')
            return -1;
        *field = neg ? -value : value;
        i++;
    }
    if (i == n)
        return 0;
    return p[i] == '"' ? (long)i + 1 : -1;
}

int kcmapinfo(KCLIENT *kc, KCMAPINFO *info)
{
    enum { MAXANSWER = 4096 };
    int r = kcsend(kc, std::string(strgetmapinfo) + strversion);
    if (r < 0)
        return r;
    for (;;) {
        const unsigned char *p = pendingdata(kc);
        size_t n = pendingsize(kc);
        long w = 0, h = 0;
        long head = headlength(p, n, &w, &h);
        if (head < 0)
            return fail(kc, KC_PROTOCOL, "the map information does not read W H \"NAME\"");
        // The name ends at the first quote followed by a whole version answer.
        for (size_t q = (size_t)head; head > 0 && q < n; q++) {
            if (p[q] != '"')
                continue;
            long vlen = floatlength(p + q + 1, n - q - 1);
            if (vlen <= 0)
                continue;
            info->xsize = w;
            info->ysize = h;
            info->name.assign((const char *)p + head, q - (size_t)head);
            consume(kc, q + 1 + (size_t)vlen);
            return 0;
        }
        if (n > MAXANSWER)
            return fail(kc, KC_PROTOCOL, "the map information has no end");
        r = fill(kc);
        if (r < 0)
            return r;
    }
}

int kcreadrun(KCLIENT *kc, int recsize, std::vector<unsigned char> *records, size_t maxrecords)
{
    size_t size = (size_t)recsize;
    size_t count = 0;
    bool broken = false;
    for (;;) {
        while (pendingsize(kc) >= size) {
            const unsigned char *rec = pendingdata(kc);
            int32_t type = get32(rec + typeat(recsize));
            if (type != NET_RECORD && type != NET_END)
                return fail(kc, KC_PROTOCOL, "a record of type " + std::to_string(type) + " in a run");
            if (maxrecords > 0 && count + (type == NET_END ? 0 : 1) > maxrecords)
                return fail(kc, KC_PROTOCOL, "more records than expected");
            records->insert(records->end(), rec, rec + size);
            consume(kc, size);
            if (type == NET_END) {
                if (broken)
                    return fail(kc, KC_PROTOCOL, "a record with a bad checksum");
                return (int)count;
            }
            if (!recordintact(records->data() + records->size() - size, recsize))
                broken = true;
            count++;
        }
        int r = fill(kc);
        if (r < 0)
            return r;
    }
}

template <typename RECORD>
static int getrun(KCLIENT *kc, const char *cmd, int recsize, void (*decode)(const unsigned char *, RECORD *),
                  std::vector<RECORD> *out, RECORD *closing)
{
    int r = kcsend(kc, cmd);
    if (r < 0)
        return r;
    std::vector<unsigned char> bytes;
    int n = kcreadrun(kc, recsize, &bytes, 0);
    if (n < 0)
        return n;
    out->clear();
    out->resize((size_t)n);
    for (int i = 0; i < n; i++)
        decode(bytes.data() + (size_t)i * (size_t)recsize, &(*out)[(size_t)i]);
    if (closing)
        decode(bytes.data() + (size_t)n * (size_t)recsize, closing);
    return n;
}

int kcgetmap(KCLIENT *kc, std::vector<UPDATEMAP> *out, UPDATEMAP *closing)
{
    return getrun(kc, strgetmap, UPDATEMAP_SIZE, decodeupdatemap, out, closing);
}

int kcgetallmap(KCLIENT *kc, std::vector<FIRSTMAP> *out, FIRSTMAP *closing)
{
    return getrun(kc, strgetallmap, FIRSTMAP_SIZE, decodefirstmap, out, closing);
}

int kcgetplayerinfo(KCLIENT *kc, std::vector<PLAYERINFO> *out, PLAYERINFO *closing)
{
    return getrun(kc, strgetplayerinfo, PLAYERINFO_SIZE, decodeplayerinfo, out, closing);
}

int kcreadtrailer(KCLIENT *kc, int type, NETOVERHEAD *neto)
{
    unsigned char bytes[NETOVERHEAD_SIZE];
    int r = kcrecv(kc, bytes, sizeof bytes);
    if (r < 0)
        return r;
    decodeoverhead(bytes, neto);
    if (neto->type != type)
        return fail(kc, KC_PROTOCOL,
                    "expected a trailer of type " + std::to_string(type) + ", got " + std::to_string(neto->type));
    return 0;
}

// The exchange of login and setplayerinfo: command, type-3 trailer,
// our record, type-2 trailer (returned in *end).
static int exchange(KCLIENT *kc, const char *cmd, const PLAYERINFO *info, NETOVERHEAD *end)
{
    int r = kcsend(kc, cmd);
    NETOVERHEAD neto;
    if (r >= 0)
        r = kcreadtrailer(kc, NET_READY, &neto);
    if (r < 0)
        return r;
    unsigned char bytes[PLAYERINFO_SIZE];
    encodeplayerinfo(info, bytes);
    stamprecord(bytes, PLAYERINFO_SIZE);
    r = kcsendbytes(kc, bytes, sizeof bytes);
    if (r < 0)
        return r;
    std::memcpy(kc->lastsent, bytes, sizeof bytes);
    return kcreadtrailer(kc, NET_END, end);
}

int kclogin(KCLIENT *kc, const char *name, int *num)
{
    PLAYERINFO info;
    std::memset(&info, 0, sizeof info);
    std::strncpy(info.name, name, sizeof info.name - 1);
    info.neto.type = NET_RECORD;
    NETOVERHEAD end;
    int r = exchange(kc, strlogin, &info, &end);
    if (r < 0)
        return r;
    *num = end.x < 0 ? -1 : end.x;
    return 0;
}

int kcmove(KCLIENT *kc, int num, int x, int y)
{
    PLAYERINFO info;
    std::memset(&info, 0, sizeof info);
    info.num = num;
    info.x = x;
    info.y = y;
    info.neto.type = NET_RECORD;
    NETOVERHEAD end;
    return exchange(kc, strsetplayerinfo, &info, &end);
}

int kcsetfire(KCLIENT *kc)
{
    return kcsend(kc, strsetfire);
}
