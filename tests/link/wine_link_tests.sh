#!/usr/bin/env bash
# Runs the Windows build's link tests under wine against simulated scales.
#   wine_link_tests.sh WINE_TEST_SH PREFIX EXE NATIVE_BIN
# Starts one kwlink-scale-sim (from NATIVE_BIN) per COM port, with its link at the path that
# WINE_TEST_SH pinned the port to (<ports>/com<n>, beside the prefix), runs EXE through
# WINE_TEST_SH, then stops the simulators. The test executable
# finds the simulators' transcripts (scale<n>.txt; a name com<n>.<ext> would be the device
# itself to Windows) in $KWLINK_SIM_DIR.
#   COM5  ordinary scale 3, identification 1097400701
#   COM6  NAKs the first two frames
#   COM7  missing (its pinned path does not exist)
#   COM8  corrupts the block check of its first reply
#   COM9  echoes every byte (serial port tests)
#   COM10 echoes every byte; hangs up and goes away when $KWLINK_SIM_DIR/vanish10 appears
#   COM12 ordinary scale 1 (a port opened as \\.\COM12)
set -u
wine_test=$1
prefix=$2
exe=$3
native_bin=$4
sim=$native_bin/kwlink-scale-sim
dir=$(dirname "$prefix")/link-sims
ports=$(dirname "$prefix")/ports
rm -rf "$dir"
mkdir -p "$dir" "$ports"
rm -f "$ports"/com*
if [ ! -x "$sim" ]; then
    echo "kwlink-scale-sim not found in '$native_bin' (set KWLINK_NATIVE_BIN)" >&2
    exit 1
fi

pids=()
stop_sims() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null
    done
    for pid in "${pids[@]}"; do
        wait "$pid" 2>/dev/null
    done
}
trap stop_sims EXIT

start_sim() {
    local port=$1
    shift
    "$sim" --link "$ports/com$port" --transcript "$dir/scale$port.txt" "$@" >"$dir/scale$port.out" 2>&1 &
    pids+=($!)
}
start_sim 5 --scale 3 --ident 1097400701
start_sim 6 --nak-first 2
start_sim 8 --bad-bcc-first 1
start_sim 9 --echo
start_sim 10 --echo --vanish-on-release --release-file "$dir/vanish10"
start_sim 12

# Wait for every simulator's ready line.
for port in 5 6 8 9 10 12; do
    for _ in $(seq 1 100); do
        grep -q '^ready ' "$dir/scale$port.out" 2>/dev/null && break
        sleep 0.05
    done
    grep -q '^ready ' "$dir/scale$port.out" || { echo "simulator on COM$port did not start" >&2; cat "$dir/scale$port.out" >&2; exit 1; }
done

KWLINK_SIM_DIR=$dir bash "$wine_test" run "$prefix" "$exe"
