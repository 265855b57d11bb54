// The commands of the protocol: one table of command words and what each
// one does and answers.
#pragma once

#include "tcp/connection.h"

// Runs the command in conn->cmdline and sends its answer; a text that is
// no command gets no answer. Returns 0 to go on, -1 when the connection
// must end (close or a transfer that failed).
int runcommand(CONNECTION *conn);
