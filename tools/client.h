// Pieces of kindler-client shared between its commands.
#pragma once

#include <string>

#include "kindlerclient.h"
#include "view.h"

struct CLIENTOPTIONS {
    std::string host = "127.0.0.1";
    int port = KC_PORT;
};

// Prints "kindler-client: LINE" on stderr and exits with status 1.
[[noreturn]] void fatal(const std::string &line);
// Connects or ends the program with a message.
void connectto(KCLIENT *kc, const CLIENTOPTIONS &opt);
// Ends the program after a failed exchange, naming `what` and the reason.
[[noreturn]] void lost(KCLIENT *kc, const char *what);
// Map info, the whole map and the player list, or the end of the program.
void fetchworld(KCLIENT *kc, WORLDVIEW *v);

// The full-screen game: plays as `name`, or watches when it is null.
// Returns the program's exit status.
int playgame(const CLIENTOPTIONS &opt, const char *name);
