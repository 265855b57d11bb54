#!/bin/sh
# No mutable variable at namespace scope (nor a static one in a function)
# in the server's libraries: none of their objects defines a symbol in a
# writable data section (.data, .bss, thread-local .tdata, .tbss). Const
# objects lie in .rodata, or in .data.rel.ro when they hold addresses
# (vtables, typeinfo, tables of pointers): read-only once loaded, so not
# counted. Guard variables (`guard variable for X`) go with their X.
#
# Not ours, so not counted: symbols the headers of the C++ library, Boost
# and prometheus-cpp put in every object that includes them (their names
# begin with std::, boost::, prometheus::, __gnu_cxx::, or are the
# <iostream> initialiser std::__ioinit), and compiler-made ones of the
# sanitizers (___asan_gen_, __odr_asan..., __tsan, __ubsan, .L) and the
# exception tables' DW.ref. indirections.
#   globals_test.sh NM LIBRARY...
set -eu
nm=$1
shift
found=0
for lib in "$@"; do
    "$nm" "$lib" >/dev/null || { echo "FAIL: $nm cannot read $lib"; exit 1; }
    # sysv format: name | value | class | type | size | line | section,
    # demangled; "Symbols from lib.a[member.o]:" heads each member.
    "$nm" -C -f sysv --defined-only "$lib" 2>/dev/null | awk -F'|' -v lib="$(basename "$lib")" '
        /^Symbols from / { member = $0; sub(/^Symbols from [^[]*\[/, "", member); sub(/\].*$/, "", member); next }
        NF >= 7 {
            section = $7; gsub(/[ \t]/, "", section)
            name = $1; sub(/[ \t]+$/, "", name)
            if (section !~ /^\.(data|bss|tdata|tbss)(\.|$)/ || section ~ /^\.data\.rel\.ro/) next
            plain = name; sub(/^guard variable for /, "", plain)
            if (plain ~ /^(std|boost|prometheus|__gnu_cxx)::/ || plain ~ /^std::__ioinit/) next
            if (plain ~ /^_*(asan|tsan|ubsan|sancov|odr_asan)/ || plain ~ /^(\.L|DW\.ref\.|_GLOBAL__)/) next
            printf "%s(%s): %s [%s]\n", lib, member, name, section
        }' >"${TMPDIR:-/tmp}/globals.$$" || true
    if [ -s "${TMPDIR:-/tmp}/globals.$$" ]; then
        cat "${TMPDIR:-/tmp}/globals.$$"
        found=1
    fi
    rm -f "${TMPDIR:-/tmp}/globals.$$"
done
if [ "$found" -ne 0 ]; then
    echo "FAIL: the mutable variables above sit outside any record (put them in the record of the game or the part that uses them)"
    exit 1
fi
echo "no mutable variable at namespace scope in: $*"
