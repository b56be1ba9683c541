#!/bin/sh
# Builds the Debian package swathlink_<version>_amd64.deb with CPack: a
# release build of the library and the programs for /usr (no tests) in
# BUILD-DIR, then CPack's DEB generator, whose dependencies come from
# dpkg-shlibdeps. Prints the package's path as the last line.
# Usage: package-deb.sh [BUILD-DIR]   (default: build-deb)
set -eu
cd "$(dirname "$0")/.."
build=${1:-build-deb}
jobs=$(nproc 2>/dev/null || echo 2)

mkdir -p "$build"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DSWATHLINK_TESTS=OFF -DSWATHLINK_DEBIAN_PACKAGE=ON >"$build/configure.log" ||
    { cat "$build/configure.log"; exit 1; }
cmake --build "$build" -j"$jobs"
rm -f "$build"/swathlink_*.deb
(cd "$build" && cpack -G DEB >cpack.log) || { cat "$build/cpack.log"; exit 1; }
ls "$(pwd)/$build"/swathlink_*_amd64.deb
