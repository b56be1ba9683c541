#!/bin/sh
# Checks the install as a user meets it: `cmake --install` of the build into a
# temporary prefix installs what a host and an operator need and nothing of
# the tests; a small C host builds against it through pkg-config and through
# find_package and prints a job to the installed board emulator; the
# installed swathprint, moved away from where it was installed, prints the
# test chart; every manual page renders; the Debian package holds what the
# install rules install and passes lintian without an error.
#
# Runs inside a private network namespace with loopback up (scripts/test.sh
# runs it there); the boards listen on 127.0.0.251 to 127.0.0.254.
# Usage: test-install.sh [BUILD-DIR]   (default: build)
set -eu
cd "$(dirname "$0")/.."
build=$(cd "${1:-build}" && pwd)

work=$(mktemp -d "${TMPDIR:-/tmp}/swathlink-install.XXXXXX")
board_pid=""
cleanup() {
    [ -n "$board_pid" ] && kill "$board_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

fail() {
    echo "test-install: $*" >&2
    exit 1
}

prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >"$work/install.log"
pc_file=$(find "$prefix" -name swathlink.pc | head -n 1)
[ -n "$pc_file" ] || fail "no swathlink.pc installed"
version=$(sed -n 's/^Version: //p' "$pc_file")
major=${version%%.*}
echo "installed swathlink $version into a temporary prefix"

# What the install holds: the library with its soname link, the header, the
# pkg-config file, the CMake package, the programs and the licence; nothing
# of the tests, the benchmarks or the static core.
(cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | sort) >"$work/installed"
for wanted in "lib.*/libswathlink\.so\.$version$" "lib.*/libswathlink\.so\.$major$" "lib.*/libswathlink\.so$" \
    "include/swathlink/swathlink\.h$" "lib.*/pkgconfig/swathlink\.pc$" \
    "lib.*/cmake/swathlink/swathlinkConfig\.cmake$" "lib.*/cmake/swathlink/swathlinkConfigVersion\.cmake$" \
    "lib.*/cmake/swathlink/swathlinkTargets\.cmake$" "bin/swathprint$" "bin/swathchart$" "bin/swathboard$" \
    "share/doc/swathlink/LICENSE$"; do
    grep -q "^$wanted" "$work/installed" || fail "the install lacks $wanted"
done
if grep -E "test|bench|fuzz|gtest|_core|records\.h|\.a$" "$work/installed"; then
    fail "the install holds the files above, which belong to the build only"
fi
[ "$(readlink "$(find "$prefix" -name libswathlink.so | head -n 1)")" = "libswathlink.so.$major" ] ||
    fail "libswathlink.so does not point at the soname"
# Every page renders without a warning: the programs' in section 1, the
# library's in section 3.
for page in "$prefix"/share/man/man1/swathprint.1.gz "$prefix"/share/man/man1/swathchart.1.gz \
    "$prefix"/share/man/man1/swathboard.1.gz "$prefix"/share/man/man3/swathlink.3.gz; do
    [ -f "$page" ] || fail "the install lacks $page"
    warnings=$(MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >"$work/page.txt") || fail "man -l $page failed"
    [ -z "$warnings" ] || fail "man -l $page warns: $warnings"
    [ -s "$work/page.txt" ] || fail "man -l $page renders nothing"
done
for program in "$prefix"/bin/*; do
    if readelf -d "$program" | grep -E "R(UN)?PATH" | grep -q "$build"; then
        fail "$program keeps a run path into the build tree"
    fi
    "$program" --version | grep -qx "$(basename "$program") $version" ||
        fail "$(basename "$program") --version does not say $version"
done

# The host, built twice against the install.
PKG_CONFIG_PATH=$(dirname "$pc_file")
export PKG_CONFIG_PATH
libdir=$(pkg-config --variable=libdir swathlink)
# shellcheck disable=SC2046  # the flags are separate words
cc -std=c11 -Wall -Wextra -Werror -o "$work/host-pkg-config" tests/install/host.c \
    $(pkg-config --cflags --libs swathlink) -Wl,-rpath,"$libdir"
cmake -S tests/install -B "$work/host-cmake" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Release \
    >"$work/host-cmake.log" || { cat "$work/host-cmake.log"; fail "find_package(swathlink) failed"; }
cmake --build "$work/host-cmake" >>"$work/host-cmake.log" || { cat "$work/host-cmake.log"; fail "the host does not build"; }

# Starts the installed emulator on $1 with a summary of what it printed.
start_board() {
    "$prefix/bin/swathboard" --ip "$1" --summary "$work/summary.json" 2>"$work/board.log" &
    board_pid=$!
    for _ in $(seq 50); do
        grep -q "listening" "$work/board.log" && return 0
        sleep 0.1
    done
    fail "the installed swathboard does not listen on $1"
}

stop_board() {
    kill -TERM "$board_pid"
    wait "$board_pid" || fail "swathboard ended badly: $(cat "$work/board.log")"
    board_pid=""
}

# The host's job: 240 lines of 720 largest dots across its four planes.
expected_dots=$((240 * 720))
run_host() {
    name=$1
    address=$2
    rm -rf "$work/prnlog" "$work/summary.json" "$work/trace"
    mkdir "$work/prnlog"
    start_board "$address"
    SWATHLINK_PRNLOG="$work/prnlog" SWATHLINK_TIME_SCALE=0.01 SWATHLINK_TRACE="$work/trace" \
        "$work/$name" "$address" || fail "$name: the job failed"
    stop_board
    ldd "$work/$name" | grep -q "libswathlink.so.$major => $libdir/" || fail "$name did not load the installed library"
    dots=$(grep -o '"level3": [0-9]*' "$work/summary.json" | awk '{ n += $2 } END { print n + 0 }')
    others=$(grep -o '"level[12]": [0-9]*' "$work/summary.json" | awk '{ n += $2 } END { print n + 0 }')
    if [ "$dots" -ne "$expected_dots" ] || [ "$others" -ne 0 ]; then
        fail "$name: the board printed $dots large and $others other dots, not $expected_dots large"
    fi
    grep -q "^API_InitPrinter version:203 swathlink $version " "$work/trace" ||
        fail "$name: InitPrinter does not trace the release beside the protocol version"
    echo "$name: printed its job on the installed emulator"
}
run_host host-pkg-config 127.0.0.251
cp "$work/host-cmake/host" "$work/host-find-package"
run_host host-find-package 127.0.0.252

# The installed printer, moved away from where it was installed, with no
# build tree on its search path: it must find the library it came with.
moved="$work/moved"
mv "$prefix" "$moved"
(
    cd "$work"
    env -u LD_LIBRARY_PATH -u SWATHLINK_LIBRARY "$moved/bin/swathchart" chart.png 180
    env -u LD_LIBRARY_PATH -u SWATHLINK_LIBRARY SWATHLINK_TIME_SCALE=0.01 "$moved/bin/swathprint" \
        --xdpi 360 --ydpi 360 --emulator-ip 127.0.0.253 --output chart.printed.png chart.png
) || fail "the installed swathprint did not print the chart"
[ -s "$work/chart.printed.png" ] || fail "the installed swathprint wrote no sheet"
echo "the installed swathprint printed the chart from a moved prefix"

# The Debian package, built from the same install rules (for /usr), holds
# exactly what they install, and lintian finds no error in it.
deb=$(scripts/package-deb.sh build-deb | tail -n 1)
rm -rf "$work/staged"
DESTDIR="$work/staged" cmake --install build-deb >/dev/null
(cd "$work/staged" && find . ! -type d | sed 's|^\.||' | sort) >"$work/rules.list"
dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ { print substr($6, 2) }' | sort >"$work/deb.list"
diff -u "$work/rules.list" "$work/deb.list" || fail "$(basename "$deb") differs from what the install rules install"
dpkg-deb --field "$deb" Depends | grep -q "libc6" || fail "$(basename "$deb") has no dependencies from dpkg-shlibdeps"
lintian --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1 || true
if grep -q "^E:" "$work/lintian.log"; then
    cat "$work/lintian.log" >&2
    fail "lintian reports errors in $(basename "$deb")"
fi
sed 's/^/lintian: /' "$work/lintian.log"
# The packaged swathprint (stripped, no run path: its library sits in the
# multiarch folder) prints from the unpacked package as well.
dpkg-deb -x "$deb" "$work/unpacked"
(
    cd "$work"
    env -u LD_LIBRARY_PATH -u SWATHLINK_LIBRARY SWATHLINK_TIME_SCALE=0.01 "$work/unpacked/usr/bin/swathprint" \
        --xdpi 360 --ydpi 360 --emulator-ip 127.0.0.254 --output chart.deb.png chart.png >/dev/null
) || fail "the packaged swathprint did not print the chart"
echo "$(basename "$deb"): holds what the install rules install; lintian reports no error"
echo "install checks passed"
