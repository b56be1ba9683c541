#!/bin/sh
# Installs what is missing (as root, with apt-get), builds the library, the
# tests, the board emulator, the benchmarks and the Windows DLL, and runs
# every test inside a private network namespace.
set -eu
cd "$(dirname "$0")/.."

. scripts/packages.sh
install_packages

jobs=$(nproc 2>/dev/null || echo 2)

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$jobs"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSWATHLINK_SANITIZE=address
cmake --build build-asan -j"$jobs"
# ThreadSanitizer over the suites where threads meet: the link, the
# transport, the files, whole jobs, the fault matrix, two printers at once and
# the printer application (its server, with the programs its tests run).
tsan_suites="test_link test_transport test_files test_e2e test_faults test_printers"
tsan_suites="$tsan_suites printer_app_tests swathlink-printer swathprint"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSWATHLINK_SANITIZE=thread
cmake --build build-tsan -j"$jobs" --target $tsan_suites
cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release
cmake --build build-win -j"$jobs"

scripts/check-exports.sh build/libswathlink.so build-win/swathlink.dll
scripts/check-layers.sh
scripts/check-globals.sh build

# A private network namespace: only loopback exists, so a stray default board
# address fails at once and the host's network cannot be touched. Without
# root, a user namespace grants the right to make one.
private_net="unshare -n"
[ "$(id -u)" -eq 0 ] || private_net="unshare -rn"
$private_net sh -c '
    set -e
    ip link set lo up
    ctest --test-dir build -j'"$jobs"' --output-on-failure
    scripts/test-install.sh build
    ctest --test-dir build-asan -j'"$jobs"' --output-on-failure
    # Without address-space randomisation: ThreadSanitizer cannot place its
    # shadow memory under the widest randomisation some kernels use.
    setarch "$(uname -m)" -R ctest --test-dir build-tsan -j'"$jobs"' --output-on-failure \
        -L "^(link|transport|files|e2e|faults|printers|printer_app)$"
    scripts/test-wine.sh build build-win
'

# Each reader of outside bytes, fuzzed for a fixed time (about 3 minutes in all).
scripts/fuzz.sh

if [ -x build/bench/swathlink_bench ]; then
    build/bench/swathlink_bench --benchmark_min_time=0.05
fi
# The front end against the printer, on small jobs (it prints to a board
# emulator, so in a private network namespace).
if [ -x build/bench/frontend_bench ]; then
    $private_net sh -c 'ip link set lo up; build/bench/frontend_bench --quick'
fi
# What the web tests saw, kept for a look after the run.
if [ -f build/artifacts/printer-board-page.png ]; then
    echo "the printer's Board page in a browser: build/artifacts/printer-board-page.png"
fi
echo "all tests passed"
