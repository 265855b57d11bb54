// The resume tokens' rows: each value in a column of its own, the hash as
// its 32 bytes.
#include "store/resumerows.h"

#include <algorithm>
#include <cstring>

bool sametokens(const std::vector<SAVEDTOKEN> &a, const std::vector<SAVEDTOKEN> &b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const SAVEDTOKEN &x, const SAVEDTOKEN &y) {
        return std::memcmp(x.hash, y.hash, sizeof x.hash) == 0 && x.num == y.num && x.issued == y.issued;
    });
}

bool writetokenrows(sqlite3 *db, const std::vector<SAVEDTOKEN> &tokens, size_t &bytes)
{
    STATEMENT cut(db, "DELETE FROM resume");
    STATEMENT put(db, "INSERT OR REPLACE INTO resume(tokenhash, num, issued) VALUES(?, ?, ?)");
    if (!cut.ok() || !put.ok() || !cut.run())
        return false;
    for (const SAVEDTOKEN &t : tokens) {
        put.blob(1, t.hash, sizeof t.hash);
        put.bind(2, t.num);
        put.bind(3, t.issued);
        if (!put.run())
            return false;
        bytes += sizeof t.hash + 12;
    }
    return true;
}

bool readtokenrows(sqlite3 *db, size_t players, std::vector<SAVEDTOKEN> &tokens, std::string &why)
{
    STATEMENT q(db, "SELECT tokenhash, num, issued FROM resume ORDER BY num");
    tokens.clear();
    int rc = SQLITE_ERROR;
    while (q.ok() && (rc = q.step()) == SQLITE_ROW) {
        SAVEDTOKEN t;
        if (q.size(0) != sizeof t.hash || q.integer(1) < 0 || q.integer(1) >= (int64_t)players) {
            why = "undecodable resume token";
            return false;
        }
        std::memcpy(t.hash, q.data(0), sizeof t.hash);
        t.num = (int32_t)q.integer(1);
        t.issued = q.integer(2);
        tokens.push_back(t);
    }
    if (rc != SQLITE_DONE) {
        why = sqlite3_errmsg(db);
        return false;
    }
    return true;
}
