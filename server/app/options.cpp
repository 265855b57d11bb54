// The table of the server's options and the reader of the command line.
// An option is one word, --name=VALUE (or --name for a flag, --help,
// --version); adding one is one entry of OPTIONTABLE and a field of
// SETTINGS (or of the record of the part that reads it, held in SETTINGS,
// e.g. WEBSETTINGS).
#include "app/options.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifndef KINDLER_VERSION
#define KINDLER_VERSION "0"
#endif

namespace {

// NUMBER: a whole number in [min, max] (int); DECIMAL: a number in
// [min, max] with an optional fraction (double); DURATION: seconds in
// [min, max] (int), written as a whole number with s, m or h after it, or
// none for seconds; TEXT: a string; LIST: a comma list, the option
// repeatable (std::vector<std::string>); FLAG: a word without a value
// (bool).
enum OPTIONKIND { NUMBER, DECIMAL, DURATION, TEXT, LIST, FLAG, HELP, VERSION };

struct OPTION {
    const char *name;
    OPTIONKIND kind;
    void *(*field)(SETTINGS &); // the field it sets, of its kind's type
    const char *meta; // what the value is called in --help and in errors
    const char *noun; // what a bad NUMBER or DECIMAL is called in the error line
    long min, max;    // the range of a NUMBER or DECIMAL
    const char *help;
};

#define FIELD(name) [](SETTINGS &s) -> void * { return &s.name; }
// clang-format off
const OPTION OPTIONTABLE[] = {
    {"http", NUMBER, FIELD(http), "PORT", "web port", 0, 65535,
     "the web page, its stream, /healthz and /metrics on PORT (0: off)"},
    {"origin", LIST, FIELD(web.origins), "URL", nullptr, 0, 0,
     "a site whose pages may open the stream besides the server's own, e.g. https://game.example "
     "(repeat it, or a comma list)"},
    {"joins-per-connection", NUMBER, FIELD(web.joinsperconnection), "N", "number", 1, 1000000,
     "web JOINs a minute one connection may make"},
    {"logins-per-address", NUMBER, FIELD(loginsperaddress), "N", "number", 1, 1000000,
     "port 3140 logins a minute one address may make; more are answered as a full list"},
    {"max-players", NUMBER, FIELD(maxplayers), "N", "number", 1, 1000000,
     "players present at once, web and port 3140 together; more JOINs and logins are refused"},
    {"joins-per-address", NUMBER, FIELD(web.joinsperaddress), "N", "number", 1, 1000000,
     "web JOINs a minute one address (IPv4, IPv6 /64) may make"},
    {"max-per-address", NUMBER, FIELD(web.peraddress), "N", "number", 1, 1000000,
     "web connections (HTTP and WebSocket) one address may hold; more get 429"},
    {"max-connections", NUMBER, FIELD(web.connections), "N", "number", 1, 1000000,
     "web connections (HTTP and WebSocket) in all; more get 503"},
    {"max-websockets", NUMBER, FIELD(web.websockets), "N", "number", 1, 1000000,
     "WebSocket clients in all; more get 503"},
    {"fd-reserve", NUMBER, FIELD(web.fdreserve), "N", "number", 0, 1000000,
     "descriptors the web port leaves free for port 3140; past them web clients get 503"},
    {"idle-timeout", NUMBER, FIELD(web.idletimeout), "SECONDS", "number", 1, 86400,
     "an HTTP connection that sends no whole request for so long is closed"},
    {"stall-timeout", NUMBER, FIELD(web.stalltimeout), "SECONDS", "number", 1, 86400,
     "a client (web or port 3140) that takes none of an answer for so long is dropped"},
    {"state", TEXT, FIELD(state), "FILE", nullptr, 0, 0,
     "keep the game in the store FILE (SQLite): restored at start, checkpointed while it runs and at the end"},
    {"checkpoint", DECIMAL, FIELD(checkpoint), "SECONDS", "interval", 0, 86400,
     "seconds between checkpoints into the store (a fraction allowed, e.g. 0.5)"},
    {"fresh", FLAG, FIELD(fresh), nullptr, nullptr, 0, 0,
     "discard the store's world and start from the map (the rounds played are kept)"},
    {"round", DURATION, FIELD(round), "DURATION", "round length", 1, 604800,
     "play in rounds of DURATION (90s, 10m, 1h; a plain number is seconds); a round ends at its limit, or when "
     "nothing has burnt for the --burnout time after a cell burnt"},
    {"intermission", NUMBER, FIELD(intermission), "SECONDS", "number", 0, 3600,
     "with --round: seconds between a round's end and the next round"},
    {"burnout", NUMBER, FIELD(burnout), "SECONDS", "number", 1, 86400,
     "with --round: a round in which a cell burnt ends once no cell has burnt for SECONDS"},
    {"resume-keep", NUMBER, FIELD(resumekeep), "SECONDS", "number", 0, 86400,
     "a web player whose connection drops is kept so long for its resume (0: it leaves at once)"},
    {"port", NUMBER, FIELD(port), "PORT", "port", 1, 65535,
     "the game's protocol (the terminal client's) on PORT"},
    {"name", TEXT, FIELD(name), "NAME", nullptr, 0, 0,
     "the game's name in the fleet's list of games (default: the map's name)"},
    {"public-url", TEXT, FIELD(publicurl), "URL", nullptr, 0, 0,
     "the page's address players are sent to from the list of games (default: the address they used)"},
    {"fleet", TEXT, FIELD(fleet), "URI", nullptr, 0, 0,
     "share the list of games, the leaderboard and the names with other servers in the PostgreSQL database URI"},
    {"fleet-beat", DECIMAL, FIELD(fleetbeat), "SECONDS", "interval", 0, 5,
     "with --fleet: seconds between two refreshes of this game's row (at most 5)"},
    {"fleet-stale", DECIMAL, FIELD(fleetstale), "SECONDS", "interval", 0, 3600,
     "with --fleet: a game whose row is older than SECONDS is not listed"},
    {"tick", TEXT, FIELD(tick), "PATH", nullptr, 0, 0,
     "how the tick computes: auto (the fastest this processor runs), x87, avx2 or avx512; all give the same "
     "bytes"},
    {"help", HELP, nullptr, nullptr, nullptr, 0, 0, "this text"},
    {"version", VERSION, nullptr, nullptr, nullptr, 0, 0, "the server's version"},
};
// clang-format on
#undef FIELD

bool novalue(const OPTION &o) { return o.kind == FLAG || o.kind == HELP || o.kind == VERSION; }

// The option a word names (--name, or --name=... for one with a value), or null.
const OPTION *find(const char *word, const char **value)
{
    if (std::strncmp(word, "--", 2) != 0)
        return nullptr;
    for (const OPTION &o : OPTIONTABLE) {
        size_t n = std::strlen(o.name);
        if (std::strncmp(word + 2, o.name, n) != 0)
            continue;
        const char *rest = word + 2 + n;
        if (novalue(o) ? *rest == 0 : *rest == '=') {
            *value = novalue(o) ? rest : rest + 1;
            return &o;
        }
    }
    return nullptr;
}

bool readnumber(const OPTION &o, SETTINGS &settings, const char *digits)
{
    char *end = nullptr;
    errno = 0;
    long v = std::strtol(digits, &end, 10);
    if (o.kind == DURATION && !errno && end != digits && end[0] && !end[1]) {
        const long unit = *end == 's' ? 1 : *end == 'm' ? 60 : *end == 'h' ? 3600 : 0;
        if (unit && v <= o.max / unit) {
            v *= unit;
            end++;
        }
    }
    if (errno || end == digits || *end || *digits == '-' || *digits == '+' || v < o.min || v > o.max)
        return false;
    *(int *)o.field(settings) = (int)v;
    return true;
}

bool readdecimal(const OPTION &o, SETTINGS &settings, const char *digits)
{
    char *end = nullptr;
    errno = 0;
    double v = std::strtod(digits, &end);
    if (errno || end == digits || *end || !(*digits >= '0' && *digits <= '9') || !(v > 0) || v < (double)o.min ||
        v > (double)o.max)
        return false;
    *(double *)o.field(settings) = v;
    return true;
}

void addtolist(std::vector<std::string> &list, const std::string &words)
{
    for (size_t at = 0; at <= words.size();) {
        size_t comma = words.find(',', at);
        if (comma == std::string::npos)
            comma = words.size();
        if (comma > at)
            list.push_back(words.substr(at, comma - at));
        at = comma + 1;
    }
}

std::string defaultof(const OPTION &o)
{
    // The field that `o` sets, in a default SETTINGS.
    SETTINGS defaults;
    auto defaultfield = [&defaults](const OPTION &o) -> const void * { return o.field(defaults); };
    switch (o.kind) {
    case NUMBER:
        return "(default " + std::to_string(*(const int *)defaultfield(o)) + ")";
    case DECIMAL: {
        char text[32];
        std::snprintf(text, sizeof text, "%g", *(const double *)defaultfield(o));
        return std::string("(default ") + text + ")";
    }
    case DURATION: {
        const int d = *(const int *)defaultfield(o);
        return d ? "(default " + std::to_string(d) + "s)" : "(default off)";
    }
    case TEXT: {
        const std::string &d = *(const std::string *)defaultfield(o);
        return d.empty() ? "(default none)" : "(default " + d + ")";
    }
    case LIST:
        return "(default none)";
    case FLAG:
        return *(const bool *)defaultfield(o) ? "(default on)" : "(default off)";
    default:
        return "";
    }
}

// settings.tickpath from settings.tick: false, with the error line, for a
// word that names no path or a path this processor cannot run.
bool picktickpath(SETTINGS &settings, std::string &error)
{
    if (settings.tick == "auto") {
        settings.tickpath = besttickpath();
        return true;
    }
    for (TICKPATH p : {TICKPATH::x87, TICKPATH::avx2, TICKPATH::avx512}) {
        if (settings.tick != tickpathname(p))
            continue;
        if (!tickpathrunnable(p)) {
            error = std::string("Error! This processor cannot run the ") + tickpathname(p) +
                    " tick: it runs " + runnabletickpaths() + ".\n";
            return false;
        }
        settings.tickpath = p;
        return true;
    }
    error = "Error! Bad tick path in \"--tick=" + settings.tick + "\": want --tick=auto, x87, avx2 or avx512.\n";
    return false;
}

} // namespace

OPTIONSRESULT parseoptions(int argc, char **argv, SETTINGS &settings, std::vector<std::string> &words,
                           std::string &warnings, std::string &error)
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
        case DURATION:
            if (!readnumber(*o, settings, value)) {
                error = std::string("Error! Bad ") + o->noun + " in \"" + argv[i] + "\": want --" + o->name + "=" +
                        o->meta + ", " + o->meta + " from " + std::to_string(o->min) + " to " +
                        std::to_string(o->max) + (o->kind == DURATION ? " seconds (e.g. 90s, 10m, 1h)" : "") + ".\n";
                return OPTIONS_BAD;
            }
            if (o->field(settings) == &settings.http)
                settings.httpchosen = true;
            break;
        case DECIMAL:
            if (!readdecimal(*o, settings, value)) {
                error = std::string("Error! Bad ") + o->noun + " in \"" + argv[i] + "\": want --" + o->name + "=" +
                        o->meta + ", " + o->meta + " above " + std::to_string(o->min) + " up to " +
                        std::to_string(o->max) + ".\n";
                return OPTIONS_BAD;
            }
            break;
        case TEXT:
            *(std::string *)o->field(settings) = value;
            break;
        case LIST:
            addtolist(*(std::vector<std::string> *)o->field(settings), value);
            break;
        case FLAG:
            *(bool *)o->field(settings) = true;
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
    if (result == OPTIONS_RUN && !picktickpath(settings, error))
        return OPTIONS_BAD;
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

std::string versiontext()
{
    return std::string("kindler-server ") + KINDLER_VERSION + "\ntick paths on this processor: " + runnabletickpaths() +
           "\n";
}
