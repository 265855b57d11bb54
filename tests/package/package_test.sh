#!/bin/sh
# The server-only build and its Debian package: configures the server
# alone in a folder of its own with the test-only packages' lookups
# disabled, builds it, makes the package with cpack, checks its contents
# and Depends, verifies the systemd units (the server's and the fleet's
# template) and rates their sandboxes, installs the package with dpkg
# into a staging root and runs that server's --version.
#   package_test.sh SOURCE_DIR WORK_DIR VERSION
set -eu
src=$1 work=$2 version=$3
rm -rf "$work"
mkdir -p "$work"
cd "$work"
fail() { echo "FAIL: $*"; exit 1; }

cmake -S "$src" -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKINDLER_SERVER_ONLY=ON \
    -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_PNG=ON \
    -DCMAKE_DISABLE_FIND_PACKAGE_Curses=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON >configure.log 2>&1 \
    || { cat configure.log; fail "server-only configure"; }
cmake --build build -j2 --target kindler-server >build.log 2>&1 || { tail -50 build.log; fail "server-only build"; }
(cd build && cpack -G DEB >cpack.log 2>&1) || { cat build/cpack.log; fail "cpack"; }
deb=$(ls build/kindler-server_"$version"_*.deb) || fail "no package"

dpkg-deb -c "$deb" >contents.txt
for f in ./usr/bin/kindler-server ./usr/lib/systemd/system/kindler-server.service \
    ./usr/lib/systemd/system/kindler@.service ./usr/share/kindler-server/maps/pinewood.map \
    ./usr/share/kindler-server/maps/valley.map ./usr/share/doc/kindler-server/README.md; do
    grep -q " $f\$" contents.txt || { cat contents.txt; fail "package lacks $f"; }
done
grep -q "kindler-client\|kindler-map" contents.txt && fail "a server-only package holds the tools"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for lib in libc6 libstdc++6 libsystemd0 libprometheus-cpp-core zlib1g libsqlite3-0 libpq5; do
    echo "$depends" | grep -q "$lib" || fail "Depends does not name $lib"
done

# An empty root of its own: its dpkg database knows none of the
# libraries, which the machine's own /usr provides.
mkdir -p root/var/lib/dpkg/info root/var/lib/dpkg/updates
touch root/var/lib/dpkg/status
dpkg --root="$work/root" --force-depends --force-script-chrootless -i "$deb" >install.log 2>&1 \
    || { cat install.log; fail "dpkg -i"; }
unit=root/usr/lib/systemd/system/kindler-server.service
grep -q "^ExecStart=/usr/bin/kindler-server " "$unit" || fail "the unit does not run /usr/bin/kindler-server"
# verify checks the ExecStart path: let it see the unpacked server there.
sed "s#=/usr/bin/kindler-server#=$work/root/usr/bin/kindler-server#" "$unit" >kindler-server.service
systemd-analyze verify ./kindler-server.service >verify.log 2>&1 || { cat verify.log; fail "systemd-analyze verify"; }
# Exposure 6.9 and below is MEDIUM or better (the threshold counts tenths).
systemd-analyze security --offline=yes --threshold=69 ./kindler-server.service >security.log 2>&1 \
    || { cat security.log; fail "systemd-analyze security rates the unit worse than MEDIUM"; }
tail -1 security.log
# The template: one game a unit, its options in /etc/kindler/NAME.conf.
template=root/usr/lib/systemd/system/kindler@.service
grep -q "^EnvironmentFile=/etc/kindler/%i.conf\$" "$template" || fail "the template does not read /etc/kindler/NAME.conf"
sed "s#=/usr/bin/kindler-server#=$work/root/usr/bin/kindler-server#" "$template" >kindler@valley.service
systemd-analyze verify ./kindler@valley.service >verify-template.log 2>&1 \
    || { cat verify-template.log; fail "systemd-analyze verify of kindler@valley.service"; }
systemd-analyze security --offline=yes --threshold=69 ./kindler@valley.service >security-template.log 2>&1 \
    || { cat security-template.log; fail "systemd-analyze security rates the template worse than MEDIUM"; }
tail -1 security-template.log

# The first line names the version; the second the tick's paths this
# processor runs.
got=$(root/usr/bin/kindler-server --version | head -n 1)
[ "$got" = "kindler-server $version" ] || fail "--version said: $got"
root/usr/bin/kindler-server --version | grep -q '^tick paths on this processor: x87' \
    || fail "--version names no tick path"
echo "1 passed, 0 failed"
