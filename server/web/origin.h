// Which pages may open the live stream: a browser names the page's site
// in the upgrade's Origin field. The page's own site (the request's Host)
// and the sites named by --origin may; clients that are not browsers send
// no Origin and may too.
#pragma once

#include <string>
#include <vector>

// True when an upgrade with `origin` (empty: none sent) to `host` (the
// request's Host field) is allowed, the sites `allowed` (--origin) besides
// the page's own.
bool originallowed(const std::vector<std::string> &allowed, const std::string &origin, const std::string &host);
