#!/bin/sh
# Installs the Debian packages the build and the tests need, only those
# that are missing. Safe to run again and again.
set -e
packages="cmake make g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev
libncurses-dev libpng-dev zlib1g-dev nodejs tmux clang libclang-rt-14-dev"
missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
echo "Installing:$missing"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq $missing
