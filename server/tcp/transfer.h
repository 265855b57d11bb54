// The primitives that move whole records over a stream socket.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

// Move exactly len bytes over a socket in blocking mode (as every socket of
// port 3140 is); retry interrupted and short transfers.
// Return len (totrecv) or 0 (totsend) on success, -1 when the stream ended
// or failed for good, or (totsend) when the socket's send timeout passed
// without the peer taking a byte. Sends never raise SIGPIPE, and add the
// bytes sent to `sent` when given (a front end's count).
int totsend(int sock, const void *buff, size_t len, std::atomic<uint64_t> *sent = nullptr);
int totrecv(int sock, void *buff, size_t len);

// Sends a short text answer as it is, whatever part of it the socket takes
// at once (answers are never larger than a command); never raises SIGPIPE.
// Adds the bytes sent to `sent`.
void sendtext(int sock, const char *text, size_t len, std::atomic<uint64_t> &sent);
