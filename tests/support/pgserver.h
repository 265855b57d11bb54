// A PostgreSQL of a test's or a benchmark's own (Debian's postgresql):
// a new cluster in a temporary directory, run as `nobody` when we are
// root (PostgreSQL refuses root), listening on 127.0.0.1:`port`, without
// fsync. Stopped and removed with the record.
#pragma once

#include <string>

struct PGSERVER {
    int port = 55432;
    std::string dir;   // the cluster's directory, "" before make
    std::string runas; // the command prefix that runs as nobody
    bool made = false;

    PGSERVER() = default;
    PGSERVER(const PGSERVER &) = delete;
    PGSERVER &operator=(const PGSERVER &) = delete;
    ~PGSERVER();

    // True when Debian's postgresql is installed.
    static bool installed();
    // Makes the cluster (initdb, user "kindler", no password); then start.
    bool make();
    bool start();
    bool stop();
    // Its connection URI, database "postgres".
    std::string uri() const;
};
