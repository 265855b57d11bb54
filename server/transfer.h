// The primitives that move whole records over a stream socket.
#pragma once

#include <cstddef>

// Move exactly len bytes, in blocking mode for the transfer (the socket's
// flags are restored after it); retry interrupted and short transfers.
// Return len (totrecv) or 0 (totsend) on success, -1 when the stream ended
// or failed for good, or (totsend) when the socket's send timeout passed
// without the peer taking a byte. Sends never raise SIGPIPE.
int totsend(int sock, const void *buff, size_t len, int op);
int totrecv(int sock, void *buff, size_t len, int op);
// Zeroes len bytes.
void clearbuff(void *buff, size_t len);
