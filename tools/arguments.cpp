// Reading the command lines of the tools.
#include "arguments.h"

#include <cerrno>
#include <cstdlib>

bool wholenumber(const char *text, const char *what, long lo, long hi, long &value, std::string &error)
{
    char *end = nullptr;
    errno = 0;
    long long v = std::strtoll(text, &end, 10);
    if (errno || end == text || *end || v < lo || v > hi) {
        error = std::string("invalid ") + what + " \"" + text + "\" (want a whole number from " + std::to_string(lo) +
                " to " + std::to_string(hi) + ")";
        return false;
    }
    value = (long)v;
    return true;
}

long wholenumber(const char *text, const char *what, long lo, long hi, void (*refuse)(const std::string &line))
{
    long value = 0;
    std::string error;
    if (!wholenumber(text, what, lo, hi, value, error)) {
        refuse(error);
        std::exit(1);
    }
    return value;
}

const char *optionvalue(int argc, char **argv, int &i, void (*refuse)(const std::string &line))
{
    if (i + 1 >= argc) {
        refuse(std::string("option ") + argv[i] + " needs a value");
        std::exit(1);
    }
    return argv[++i];
}
