// The table of the server's options and the reader of the command line.
// An option is one word, --name=VALUE (or --name for --help, --version);
// adding one is one line of OPTIONTABLE and a field of SETTINGS.
#include "options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#ifndef KINDLER_VERSION
#define KINDLER_VERSION "0"
#endif

SETTINGS settings;

namespace {

enum OPTIONKIND { NUMBER, LIST, HELP, VERSION };

struct OPTION {
    const char *name;
    OPTIONKIND kind;
    const char *meta; // what the value is called in --help and in errors
    const char *noun; // what a bad value is called in the error line
    long min, max;    // the range of a NUMBER
    int *number;      // where a NUMBER goes
    const char *help;
};

// clang-format off
const OPTION OPTIONTABLE[] = {
    {"http", NUMBER, "PORT", "web port", 0, 65535, &settings.http,
     "the web page, its stream, /healthz and /metrics on PORT (0: off)"},
    {"origin", LIST, "URL", nullptr, 0, 0, nullptr,
     "a site whose pages may open the stream besides the server's own, e.g. https://game.example "
     "(repeat it, or a comma list)"},
    {"joins-per-connection", NUMBER, "N", "number", 1, 1000000, &settings.joinsperconnection,
     "web JOINs a minute one connection may make"},
    {"joins-per-address", NUMBER, "N", "number", 1, 1000000, &settings.joinsperaddress,
     "web JOINs a minute one address (IPv4, IPv6 /64) may make"},
    {"max-per-address", NUMBER, "N", "number", 1, 1000000, &settings.peraddress,
     "web connections (HTTP and WebSocket) one address may hold; more get 429"},
    {"max-connections", NUMBER, "N", "number", 1, 1000000, &settings.connections,
     "web connections (HTTP and WebSocket) in all; more get 503"},
    {"max-websockets", NUMBER, "N", "number", 1, 1000000, &settings.websockets,
     "WebSocket clients in all; more get 503"},
    {"fd-reserve", NUMBER, "N", "number", 0, 1000000, &settings.fdreserve,
     "descriptors the web port leaves free for port 3140; past them web clients get 503"},
    {"idle-timeout", NUMBER, "SECONDS", "number", 1, 86400, &settings.idletimeout,
     "an HTTP connection that sends no whole request for so long is closed"},
    {"stall-timeout", NUMBER, "SECONDS", "number", 1, 86400, &settings.stalltimeout,
     "a client (web or port 3140) that takes none of an answer for so long is dropped"},
    {"help", HELP, nullptr, nullptr, 0, 0, nullptr, "this text"},
    {"version", VERSION, nullptr, nullptr, 0, 0, nullptr, "the server's version"},
};
// clang-format on

// The option a word names (--name or --name=...), or null.
const OPTION *find(const char *word, const char **value)
{
    if (std::strncmp(word, "--", 2) != 0)
        return nullptr;
    for (const OPTION &o : OPTIONTABLE) {
        size_t n = std::strlen(o.name);
        if (std::strncmp(word + 2, o.name, n) != 0)
            continue;
        const char *rest = word + 2 + n;
        bool flag = o.kind == HELP || o.kind == VERSION;
        if (flag ? *rest == 0 : *rest == '=') {
            *value = flag ? rest : rest + 1;
            return &o;
        }
    }
    return nullptr;
}

bool readnumber(const OPTION &o, const char *digits)
{
    char *end = nullptr;
    errno = 0;
    long v = std::strtol(digits, &end, 10);
    if (errno || end == digits || *end || *digits == '-' || *digits == '+' || v < o.min || v > o.max)
        return false;
    *o.number = (int)v;
    return true;
}

void addorigins(const char *list)
{
    std::string all(list);
    for (size_t at = 0; at <= all.size();) {
        size_t comma = all.find(',', at);
        if (comma == std::string::npos)
            comma = all.size();
        if (comma > at)
            settings.origins.push_back(all.substr(at, comma - at));
        at = comma + 1;
    }
}

std::string defaultof(const OPTION &o)
{
    static const SETTINGS defaults;
    if (o.kind == NUMBER) {
        const char *at = (const char *)&defaults + ((const char *)o.number - (const char *)&settings);
        return "(default " + std::to_string(*(const int *)at) + ")";
    }
    if (o.kind == LIST)
        return "(default none)";
    return "";
}

} // namespace

OPTIONSRESULT parseoptions(int argc, char **argv, std::vector<std::string> &words, std::string &warnings,
                           std::string &error)
{
    OPTIONSRESULT result = OPTIONS_RUN;
    for (int i = 0; i < argc; i++) {
        const char *value = nullptr;
        const OPTION *o = i > 0 ? find(argv[i], &value) : nullptr;
        if (!o) {
            if (i > 0 && std::strncmp(argv[i], "--", 2) == 0 && argv[i][2])
                warnings += std::string("Warning: unknown option ") + argv[i] + " ignored\n";
            words.emplace_back(argv[i]);
            continue;
        }
        switch (o->kind) {
        case NUMBER:
            if (!readnumber(*o, value)) {
                error = std::string("Error! Bad ") + o->noun + " in \"" + argv[i] + "\": want --" + o->name + "=" +
                        o->meta + ", " + o->meta + " from " + std::to_string(o->min) + " to " +
                        std::to_string(o->max) + ".\n";
                return OPTIONS_BAD;
            }
            if (o->number == &settings.http)
                settings.httpchosen = true;
            break;
        case LIST:
            addorigins(value);
            break;
        case HELP:
            result = OPTIONS_HELP;
            break;
        case VERSION:
            if (result != OPTIONS_HELP)
                result = OPTIONS_VERSION;
            break;
        }
    }
    return result;
}

std::string helptext()
{
    std::string text = "Usage: kindler-server [OPTION...] [WORD...] MAPFILE\n"
                       "The last word that is no option is the map; other words are ignored.\n\n";
    for (const OPTION &o : OPTIONTABLE) {
        std::string d = defaultof(o);
        text += std::string("  --") + o.name + (o.meta ? std::string("=") + o.meta : "") + (d.empty() ? "" : " " + d) +
                "\n      " + o.help + "\n";
    }
    return text;
}

std::string versiontext() { return std::string("kindler-server ") + KINDLER_VERSION + "\n"; }
