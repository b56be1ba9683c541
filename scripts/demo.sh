#!/bin/sh
# Prints the project's test chart and shows what the printer would print:
# installs what is missing (as root, with apt-get), builds the driver, the
# command-line printer and the chart generator, prints the chart at
# 720 x 720 dpi through the driver and TCP to the built-in board emulator,
# and writes the printed sheet as a PNG. The sheet's path is the last line.
#
# The emulator listens on 127.0.0.160 (loopback; no network setting is
# changed).
set -eu
cd "$(dirname "$0")/.."

. scripts/packages.sh
install_packages "$SWATHLINK_DEMO_PACKAGES"

jobs=$(nproc 2>/dev/null || echo 2)
build=build-demo
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" -j"$jobs" --target swathprint swathchart

out="$(pwd)/$build/demo"
mkdir -p "$out"
"$build/tools/swathprint/swathchart" "$out/chart.png"
"$build/tools/swathprint/swathprint" --xdpi 720 --ydpi 720 --emulator-ip 127.0.0.160 \
    --output "$out/chart.printed.png" "$out/chart.png"
echo "$out/chart.printed.png"
