// The Origin check of the stream's upgrade. Sites compare without case
// and without a trailing slash; a page's own site is http or https at the
// Host it asked.
#include "web/origin.h"

#include <algorithm>
#include <cctype>

static std::string site(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return (char)std::tolower(c); });
    while (!s.empty() && s.back() == '/')
        s.pop_back();
    return s;
}

bool originallowed(const std::vector<std::string> &allowed, const std::string &origin, const std::string &host)
{
    if (origin.empty())
        return true;
    const std::string o = site(origin), h = site(host);
    if (!h.empty() && (o == "http://" + h || o == "https://" + h))
        return true;
    for (const std::string &other : allowed)
        if (o == site(other))
            return true;
    return false;
}
