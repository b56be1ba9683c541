#!/bin/sh
# Checks that the shared library and the DLL export exactly the eleven entry
# points. Usage: check-exports.sh <libswathlink.so> [<swathlink.dll>]
#        check-exports.sh --dll <swathlink.dll>
set -eu
expected="AbortPrint ClosePrint ContinuePrint EndPrint EndRipData ExitPrinter InitPrinter PausePrint PrintALine StartPrint WriteRipData"

compare() {
    actual=$(echo "$2" | tr ' ' '\n' | sed '/^$/d' | sort | tr '\n' ' ' | sed 's/ $//')
    if [ "$actual" != "$expected" ]; then
        echo "$1 exports: $actual" >&2
        echo "expected:   $expected" >&2
        exit 1
    fi
    echo "$1: exports the eleven entry points only"
}

check_dll() {
    dll_names=$(x86_64-w64-mingw32-objdump -p "$1" |
        awk '/\[Ordinal\/Name Pointer\] Table/ {on=1; next} on && /^\t\[/ {print $NF} on && /^$/ {on=0}')
    compare "$1" "$dll_names"
}

if [ "${1:-}" = "--dll" ]; then
    check_dll "$2"
    exit 0
fi

so_names=$(nm -D --defined-only "$1" | awk '{print $3}')
compare "$1" "$so_names"

if [ $# -ge 2 ]; then
    check_dll "$2"
fi
