#!/bin/sh
# Checks that every include in the library points down the layers:
#
#   api -> pipeline, transport -> files -> link -> shared -> platform
#
# (pipeline and transport are side by side and do not include each other;
# include/swathlink/ belongs with shared). Each line below names a folder and
# the folders its files may include besides its own. Usage: check-layers.sh
set -eu
cd "$(dirname "$0")/.."

allowed() {
    case "$1" in
    api)       echo "pipeline transport files link shared swathlink platform" ;;
    pipeline)  echo "shared swathlink platform" ;;
    transport) echo "files link shared swathlink platform" ;;
    files)     echo "link shared swathlink platform" ;;
    link)      echo "shared swathlink platform" ;;
    shared)    echo "swathlink platform" ;;
    swathlink) echo "platform" ;;
    platform)  echo "" ;;
    *)         echo "?" ;;
    esac
}

status=0
for file in $(find src include -name '*.h' -o -name '*.cpp' -o -name '*.inc' | sort); do
    layer=$(echo "$file" | cut -d/ -f2)
    ok=$(allowed "$layer")
    if [ "$ok" = "?" ]; then
        echo "$file: folder $layer has no place in the layers" >&2
        status=1
        continue
    fi
    for target in $(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"/]*\)\/.*".*/\1/p' "$file" | sort -u); do
        [ "$target" = "$layer" ] && continue
        case " $ok " in
        *" $target "*) ;;
        *)
            grep -n "#[[:space:]]*include[[:space:]]*\"$target/" "$file" | sed "s|^|$file:|; s|\$| (upward: $layer may not include $target)|" >&2
            status=1
            ;;
        esac
    done
done
[ "$status" -eq 0 ] && echo "includes point down the layers"
exit "$status"
