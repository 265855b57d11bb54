#!/bin/sh
# Installs the Debian packages the build and the tests need, only those
# that are missing, then the npm packages of the browser test as the
# committed package-lock.json pins them. Safe to run again and again.
set -e
cd "$(dirname "$0")/.."
packages="cmake make g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev
libncurses-dev libpng-dev zlib1g-dev tmux clang libclang-rt-14-dev
libboost1.81-dev prometheus-cpp-dev libsystemd-dev chromium dpkg-dev systemd
libsqlite3-dev libboost-json1.81-dev
postgresql"
missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
# Node and npm run the browser test (any packaging of them will do).
if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
    missing="$missing nodejs npm"
fi
if [ -n "$missing" ]; then
    echo "Installing:$missing"
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO=sudo
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq $missing
fi
if [ ! -f node_modules/.package-lock.json ] || [ package-lock.json -nt node_modules/.package-lock.json ]; then
    echo "Installing the browser test's npm packages (package-lock.json)"
    npm ci --no-audit --no-fund --loglevel=error
fi
