// The commands of the protocol: one table of command words and what each
// one does and answers.
#pragma once

#include "tcp/connection.h"

// The server's version (answer to version) and its protocol's (answer to
// protocolversion). Single-precision on purpose: they print as 0.1f
// widened to double.
inline constexpr float fversion = 0.1f;
inline constexpr float netpro = 0.1f;

// Runs the command in conn->cmdline and sends its answer; a text that is
// no command gets no answer. Returns 0 to go on, -1 when the connection
// must end (close or a transfer that failed).
int runcommand(CONNECTION *conn);
