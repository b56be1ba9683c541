#!/bin/sh
# The link at production timings (on demand, as root; not part of the test
# command). Makes two network namespaces joined by a veth pair, limits the
# pair to 1000 and then 100 Mbit/s in both directions with a token-bucket
# filter, and for each rate and a board answer latency of 0, 1 and 5 ms
# prints a wide job (about 8 MB a swath) at SWATHLINK_TIME_SCALE=1 from the
# PC namespace to the board emulator in the other. For each setting it
# prints one line
#     link 1000 Mbit/s, answer 1 ms: 9.8x head demand
# (swath bytes the board accepted per second over the steady part of the
# job, against the head's 10.8 MB/s at 30 kHz) and where the time between
# two swaths went. Removes its namespaces on every exit.
#
#     sudo ./scripts/bench-link.sh [BUILD_DIR]     (default: build)
#
# SWATHLINK_BENCH_RATES and SWATHLINK_BENCH_LATENCIES narrow the settings
# (e.g. "1000" and "0 5"); SWATHLINK_BENCH_LINES sets the job's height.
set -eu

cd "$(dirname "$0")/.."
. scripts/packages.sh
BUILD=${1:-build}
RATES=${SWATHLINK_BENCH_RATES:-1000 100}
LATENCIES=${SWATHLINK_BENCH_LATENCIES:-0 1 5}
LINES=${SWATHLINK_BENCH_LINES:-12000}

if [ "$(id -u)" -ne 0 ]; then
    echo "bench-link.sh: run as root (it makes network namespaces and a veth pair)" >&2
    exit 1
fi
install_packages "iproute2"
for p in "$BUILD/bench/link_bench" "$BUILD/tools/swathboard/swathboard"; do
    if [ ! -x "$p" ]; then
        echo "bench-link.sh: $p is missing; build first (cmake --build $BUILD)" >&2
        exit 1
    fi
done

# Private names and addresses, unique to this run.
PC_NS="slbench-pc-$$"
BOARD_NS="slbench-board-$$"
PC_IP=192.0.2.1
BOARD_IP=192.0.2.2
WORK=$(mktemp -d "${TMPDIR:-/tmp}/bench-link-XXXXXX")
BOARD_PID=""

cleanup() {
    if [ -n "$BOARD_PID" ]; then
        kill "$BOARD_PID" 2>/dev/null || true
        wait "$BOARD_PID" 2>/dev/null || true
    fi
    for ns in "$PC_NS" "$BOARD_NS"; do
        [ -e "/run/netns/$ns" ] || continue
        ip netns del "$ns" || echo "bench-link.sh: could not remove network namespace $ns" >&2
    done
    rm -rf "$WORK"
}
# A signal (a reader of the output that went away, too) exits through
# the clean-up.
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP PIPE

ip netns add "$PC_NS"
ip netns add "$BOARD_NS"
ip link add slb-pc netns "$PC_NS" type veth peer name slb-board netns "$BOARD_NS"
ip -n "$PC_NS" addr add "$PC_IP/24" dev slb-pc
ip -n "$BOARD_NS" addr add "$BOARD_IP/24" dev slb-board
for ns in "$PC_NS" "$BOARD_NS"; do ip -n "$ns" link set lo up; done
ip -n "$PC_NS" link set slb-pc up
ip -n "$BOARD_NS" link set slb-board up

# Token bucket on both ends: a burst of 64 kB (so the rate holds within a
# swath) and a queue of 20 ms at the rate.
limit_link() {
    for end in "$PC_NS slb-pc" "$BOARD_NS slb-board"; do
        set -- $end
        tc -n "$1" qdisc replace dev "$2" root tbf rate "${RATE}mbit" burst 64kb latency 20ms
    done
}

# Waits (at most 5 s) until the board listens.
wait_for_board() {
    i=0
    while [ $i -lt 50 ]; do
        grep -q listening "$WORK/board.err" 2>/dev/null && return 0
        kill -0 "$BOARD_PID" 2>/dev/null || break
        sleep 0.1
        i=$((i + 1))
    done
    echo "bench-link.sh: the board emulator did not start:" >&2
    cat "$WORK/board.err" >&2
    return 1
}

stop_board() {
    kill -TERM "$BOARD_PID" 2>/dev/null || true
    wait "$BOARD_PID" 2>/dev/null || true
    BOARD_PID=""
}

status=0
for RATE in $RATES; do
    limit_link
    for LATENCY in $LATENCIES; do
        rm -f "$WORK/board.log" "$WORK/board.err"
        ip netns exec "$BOARD_NS" "$BUILD/tools/swathboard/swathboard" --ip "$BOARD_IP" --any-address \
            --answer-latency "$LATENCY" --log "$WORK/board.log" 2>"$WORK/board.err" &
        BOARD_PID=$!
        wait_for_board
        host=$(SWATHLINK_TIME_SCALE=1 ip netns exec "$PC_NS" "$BUILD/bench/link_bench" job \
            --pc "$PC_IP" --board "$BOARD_IP" --lines "$LINES") || status=1
        stop_board
        "$BUILD/bench/link_bench" report --log "$WORK/board.log" --mbit "$RATE" --answer-ms "$LATENCY" ||
            status=1
        echo "$host"
    done
done
exit $status
