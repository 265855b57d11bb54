// Reading the command lines of the tools.
#pragma once

#include <string>

// The whole decimal number `text` if it lies in [lo, hi]; otherwise false,
// with the line to refuse it by in `error` ("invalid WHAT "TEXT" (want a
// whole number from LO to HI)").
bool wholenumber(const char *text, const char *what, long lo, long hi, long &value, std::string &error);
// The same, or the end of the program: `refuse` (which must not return,
// e.g. the tool's "kindler-map: LINE" and exit) is given the line.
long wholenumber(const char *text, const char *what, long lo, long hi, void (*refuse)(const std::string &line));

// The value that follows option argv[i] (i moves on to it), or the end of
// the program: `refuse` is given "option NAME needs a value".
const char *optionvalue(int argc, char **argv, int &i, void (*refuse)(const std::string &line));
