#!/bin/sh
# `make fleet`: a fleet on this machine. Starts a PostgreSQL of its own
# (Debian's postgresql) in a temporary directory, run by an unprivileged
# user (the `postgres` account when started as root, else the caller),
# and three games on three maps sharing it as their fleet, each on its own
# ports; prints their addresses and runs until Ctrl-C, which stops the
# games and the database and removes the directory.
#   scripts/fleet.sh [BUILD_DIR]      (FLEETPG=PORT moves PostgreSQL, default 5440)
set -eu
cd "$(dirname "$0")/.."
build=${1:-build}
server=$build/kindler-server
pgport=${FLEETPG:-5440}
[ -x "$server" ] || { echo "fleet: no $server (make build first)"; exit 1; }
pgbin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)
[ -n "$pgbin" ] && [ -x "$pgbin/initdb" ] || { echo "fleet: PostgreSQL is not installed (scripts/deps.sh installs it)"; exit 1; }

dir=$(mktemp -d "${TMPDIR:-/tmp}/kindler-fleet.XXXXXX")
chmod 755 "$dir"
as=""
if [ "$(id -u)" -eq 0 ]; then
    as="runuser -u postgres --"
    mkdir "$dir/db" "$dir/socket"
    chown postgres "$dir/db" "$dir/socket"
fi
pids=""
stop() {
    trap - INT TERM EXIT
    for pid in $pids; do kill "$pid" 2>/dev/null || true; done
    for pid in $pids; do wait "$pid" 2>/dev/null || true; done
    $as "$pgbin/pg_ctl" -D "$dir/db" -m fast -w stop >/dev/null 2>&1 || true
    rm -rf "$dir"
    echo "fleet stopped"
}
trap stop EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

mkdir -p "$dir/socket"
echo "PostgreSQL in $dir (port $pgport)"
$as "$pgbin/initdb" -D "$dir/db" -U kindler -A trust --no-sync >"$dir/initdb.log" 2>&1 \
    || { cat "$dir/initdb.log"; exit 1; }
$as "$pgbin/pg_ctl" -D "$dir/db" -l "$dir/db/postgres.log" -w \
    -o "-h 127.0.0.1 -p $pgport -k $dir/socket" start >/dev/null \
    || { cat "$dir/db/postgres.log"; exit 1; }
$as "$pgbin/createdb" -h 127.0.0.1 -p "$pgport" -U kindler kindler
fleet="postgresql://kindler@127.0.0.1:$pgport/kindler"

# name map tcp-port web-port
for game in "pinewood maps/pinewood.map 3150 3151" "dryplain maps/dryplain.map 3160 3161" \
    "lakes maps/lakes.map 3170 3171"; do
    set -- $game
    "$server" --fleet="$fleet" --name="$1" --port="$3" --http="$4" --round=10m \
        --public-url="http://localhost:$4/" \
        --state="$dir/$1.state" "$2" >"$dir/$1.log" 2>&1 &
    pids="$pids $!"
    echo "game $1 on $2: http://localhost:$4/ (port $3; log $dir/$1.log)"
done
echo "fleet: $fleet; Ctrl-C stops everything"
wait
