#!/bin/sh
# Runs the Windows build under Wine: the Windows unit tests and the DLL's
# whole jobs against the Linux board emulator. scripts/test.sh calls it
# inside its private network namespace; everything Wine writes stays in a
# prefix inside the Windows build folder.
# Usage: test-wine.sh <linux build folder> <windows build folder>
set -eu
linux_build=$(cd "$1" && pwd)
win_build=$(cd "$2" && pwd)

export WINEPREFIX="$win_build/wineprefix"
export WINEARCH=win64 WINEDEBUG=-all
# No display: message boxes return at once and never hold a test. The test
# DHCP client library stands in for Wine's, which ends a process calling it;
# no .NET or HTML engine is wanted in the prefix, and no desktop menu entries
# in the home folder.
unset DISPLAY WAYLAND_DISPLAY
export WINEDLLOVERRIDES="dhcpcsvc=n;mscoree,mshtml=;winemenubuilder.exe=d"

# The server's socket folder goes under TMPDIR: keep it in the build too.
export TMPDIR="$win_build/winetmp"
rm -rf "$WINEPREFIX" "$TMPDIR"
mkdir -p "$WINEPREFIX" "$TMPDIR"
# Wine's own processes must not hold this script's output open.
wineserver -p >/dev/null 2>&1
trap 'wineserver -k 2>/dev/null || true' EXIT INT TERM
wineboot -i >/dev/null 2>&1

ctest --test-dir "$win_build" --output-on-failure
if [ -x "$linux_build/tests/win32/linux/wine_e2e" ]; then
    SWATHLINK_WINHOST="$win_build/winhost.exe" "$linux_build/tests/win32/linux/wine_e2e"
fi
