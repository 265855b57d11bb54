// Which pages may open the live stream: a browser names the page's site
// in the upgrade's Origin field. The page's own site (the request's Host)
// and the sites named by --origin may; clients that are not browsers send
// no Origin and may too.
#pragma once

#include <string>

// True when an upgrade with `origin` (empty: none sent) to `host` (the
// request's Host field) is allowed.
bool originallowed(const std::string &origin, const std::string &host);
