// Names claimed in the fleet: the first key to claim one owns it.
#include "fleet/fleetdb.h"

bool claimnames(PGLINK &db, const std::vector<std::pair<std::string, KEYHASH>> &names,
                std::vector<std::pair<std::string, KEYHASH>> &owners)
{
    owners.clear();
    for (const auto &[name, key] : names) {
        PGRESULT r;
        if (!db.exec("WITH claim AS (INSERT INTO kindler_names(name, keyhash) VALUES ($1, $2)"
                     " ON CONFLICT DO NOTHING RETURNING keyhash)"
                     " SELECT keyhash FROM claim UNION ALL SELECT keyhash FROM kindler_names WHERE name = $1",
                     {pgbytes(name), pgbytes(std::string(key.begin(), key.end()))}, &r))
            return false;
        if (r.rows() == 0)
            continue;
        const std::string owner = r.bytes(0, 0);
        KEYHASH h{};
        if (owner.size() == h.size()) {
            std::copy(owner.begin(), owner.end(), h.begin());
            owners.emplace_back(name, h);
        }
    }
    return true;
}
