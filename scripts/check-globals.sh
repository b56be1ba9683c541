#!/bin/sh
# Checks that the library's state lives in its records, not in globals:
#
# 1. No mutable global (a variable in .bss or .data, function-local statics
#    included) outside src/api/entry_points.cpp (the default printer) and
#    src/platform, except the named exceptions below, each with its reason.
# 2. No fixed sleep outside src/platform except a named protocol delay: a
#    thread that waits for another waits on a signal (shared/link_wait.h).
#    The delays left are listed.
#
# Usage: check-globals.sh [build-dir]   (default: build; the objects of
# swathlink_obj must be built)
set -eu
cd "$(dirname "$0")/.."
build=${1:-build}
objdir="$build/CMakeFiles/swathlink_obj.dir"

# Globals allowed outside the default printer and the platform layer:
# source file, then a piece of the demangled name, then the reason.
exceptions='
src/pipeline/feathering.cpp|MasksFor(|seam masks are a pure function of their selection: made once per process, shared read-only, under a lock
'

allowed() {  # file symbol
    echo "$exceptions" | while IFS='|' read -r file piece reason; do
        [ -n "$file" ] || continue
        if [ "$file" = "$1" ]; then
            case "$2" in *"$piece"*) echo yes; return ;; esac
        fi
    done
}

status=0
checked=0
for src in $(find src -name '*.cpp' | sort); do
    case "$src" in src/platform/* | src/api/entry_points.cpp) continue ;; esac
    obj="$objdir/$src.o"
    if [ ! -f "$obj" ]; then
        echo "$src: no object in $objdir (build swathlink_obj first)" >&2
        status=1
        continue
    fi
    checked=$((checked + 1))
    # Symbols of the writable data sections; the read-only relocated data
    # (.data.rel.ro) holds constant tables.
    symbols=$(objdump -t "$obj" | awk '$4 ~ /^\.(bss|data|tbss|tdata)(\.|$)/ && $4 !~ /^\.data\.rel\.ro/ && $4 !~ /personality/ && $NF != $4 {print $NF}' | c++filt)
    [ -n "$symbols" ] || continue
    echo "$symbols" | while read -r sym; do
        case "$sym" in DW.ref.* | .bss | .data) continue ;; esac
        named=${sym#guard variable for }
        if [ "$(allowed "$src" "$named")" = yes ]; then
            continue
        fi
        echo "$src: mutable global $sym" >&2
        echo fail
    done | grep -q fail && status=1
done

echo "sleeps left outside src/platform (each must be a named protocol delay):"
grep -rn 'plat_sleep_ms(\|sleep_for(\|usleep(\|Sleep(' src --include='*.cpp' --include='*.h' --include='*.inc' |
    grep -v '^src/platform/' | while IFS= read -r line; do
    echo "  $line"
    arg=$(echo "$line" | sed -n 's/.*plat_sleep_ms(\([^)]*\)).*/\1/p')
    case "$arg" in
    k[A-Z]*Ms) ;;
    *)
        echo "$line: not a named protocol delay" >&2
        echo fail
        ;;
    esac
done | tee /dev/stderr | grep -q '^fail$' && status=1

if [ "$status" -eq 0 ]; then
    echo "no mutable globals outside the default printer and the platform ($checked units checked)"
fi
exit "$status"
