// Record transfer primitives.
#include "tcp/transfer.h"

#include <errno.h>
#include <poll.h>
#include <sys/socket.h>

#include <cstring>

void sendtext(int sock, const char *text, size_t len, std::atomic<uint64_t> &sent)
{
    ssize_t r = send(sock, text, len, MSG_NOSIGNAL);
    if (r > 0)
        sent.fetch_add((uint64_t)r, std::memory_order_relaxed);
}

// Waits until the socket can move data in the given direction; used only
// when a socket reports it would block although it is in blocking mode.
static void waitsock(int sock, short events)
{
    struct pollfd p = {sock, events, 0};
    poll(&p, 1, 1000);
}

int totsend(int sock, const void *buff, size_t len, std::atomic<uint64_t> *sent)
{
    size_t count = 0;
    int result = 0;
    while (count < len) {
        ssize_t r = send(sock, (const char *)buff + count, len - count, MSG_NOSIGNAL);
        if (r > 0) {
            count += (size_t)r;
            if (sent)
                sent->fetch_add((uint64_t)r, std::memory_order_relaxed);
        } else if (r < 0 && errno == EINTR) {
            continue;
        } else {
            // Failed, or (in blocking mode) the send timeout of a
            // connection passed without the client taking a byte.
            result = -1;
            break;
        }
    }
    return result;
}

int totrecv(int sock, void *buff, size_t len)
{
    size_t count = 0;
    int result = 0;
    while (count < len) {
        ssize_t r = recv(sock, (char *)buff + count, len - count, 0);
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
    return result == 0 ? (int)count : -1;
}
