// A PostgreSQL cluster of our own, through initdb and pg_ctl.
#include "pgserver.h"

#include <pwd.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>

static const char PGBIN[] = "/usr/lib/postgresql/15/bin";

bool PGSERVER::installed() { return std::filesystem::exists(std::string(PGBIN) + "/initdb"); }

static int run(const std::string &runas, const std::string &dir, const std::string &command)
{
    return std::system((runas + " sh -c 'cd " + dir + " && " + command + "' >/dev/null 2>&1").c_str());
}

bool PGSERVER::make()
{
    std::string tmpl = "/tmp/kindler-pg-XXXXXX";
    if (!mkdtemp(tmpl.data()))
        return false;
    dir = tmpl;
    if (geteuid() == 0) {
        const struct passwd *nobody = getpwnam("nobody");
        if (!nobody || chown(dir.c_str(), nobody->pw_uid, nobody->pw_gid) != 0)
            return false;
        runas = "setpriv --reuid=nobody --regid=" + std::to_string(nobody->pw_gid) + " --clear-groups";
    }
    made = run(runas, dir, std::string(PGBIN) + "/initdb -D " + dir + "/data -A trust -U kindler --no-sync") == 0;
    return made;
}

bool PGSERVER::start()
{
    return run(runas, dir,
               std::string(PGBIN) + "/pg_ctl -D " + dir + "/data -l " + dir + "/log -w -o \"-c listen_addresses=127.0.0.1 -p " +
                   std::to_string(port) + " -k " + dir + " -c fsync=off\" start") == 0;
}

bool PGSERVER::stop()
{
    return run(runas, dir, std::string(PGBIN) + "/pg_ctl -D " + dir + "/data -w -m fast stop") == 0;
}

std::string PGSERVER::uri() const { return "postgresql://kindler@127.0.0.1:" + std::to_string(port) + "/postgres"; }

PGSERVER::~PGSERVER()
{
    if (made)
        stop();
    if (!dir.empty())
        std::filesystem::remove_all(dir);
}
