// The primitives that move whole records over a stream socket.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

// Move exactly len bytes over a socket in blocking mode (as every socket of
// port 3140 is); retry interrupted and short transfers.
// Return len (totrecv) or 0 (totsend) on success, -1 when the stream ended
// or failed for good, or (totsend) when the socket's send timeout passed
// without the peer taking a byte. Sends never raise SIGPIPE.
int totsend(int sock, const void *buff, size_t len);
int totrecv(int sock, void *buff, size_t len);
// Bytes sent to clients of port 3140 since start-up (lock-free: every
// connection thread adds to it).
extern std::atomic<uint64_t> tcpbytessent;

// Sends a short text answer as it is, whatever part of it the socket takes
// at once (answers are never larger than a command); never raises SIGPIPE.
void sendtext(int sock, const char *text, size_t len);
