#!/usr/bin/env bash
# Runs the Windows build's link tests under wine against simulated scales.
#   wine_link_tests.sh WINE_TEST_SH PREFIX EXE NATIVE_BIN
# Starts one kwlink-scale-sim (from NATIVE_BIN) per COM port, pins each port in the prefix's
# registry ([HKLM\Software\Wine\Ports], so that wine's mount manager keeps the mapping) and in
# dosdevices/, runs EXE through WINE_TEST_SH, then stops the simulators. The test executable
# finds the simulators' transcripts (scale<n>.txt; a name com<n>.<ext> would be the device
# itself to Windows) in $KWLINK_SIM_DIR.
#   COM5  ordinary scale 3, identification 1097400701
#   COM6  NAKs the first two frames
#   COM7  missing (pinned to a path that does not exist)
#   COM8  corrupts the block check of its first reply
#   COM9  echoes every byte (serial port tests)
#   COM12 ordinary scale 1 (a port opened as \\.\COM12)
set -u
wine_test=$1
prefix=$2
exe=$3
native_bin=$4
sim=$native_bin/kwlink-scale-sim
dir=$(dirname "$prefix")/link-sims
rm -rf "$dir"
mkdir -p "$dir"
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
    "$sim" --link "$dir/com$port" --transcript "$dir/scale$port.txt" "$@" >"$dir/scale$port.out" 2>&1 &
    pids+=($!)
}
start_sim 5 --scale 3 --ident 1097400701
start_sim 6 --nak-first 2
start_sim 8 --bad-bcc-first 1
start_sim 9 --echo
start_sim 12

# Wait for every simulator's ready line.
for port in 5 6 8 9 12; do
    for _ in $(seq 1 100); do
        grep -q '^ready ' "$dir/scale$port.out" 2>/dev/null && break
        sleep 0.05
    done
    grep -q '^ready ' "$dir/scale$port.out" || { echo "simulator on COM$port did not start" >&2; cat "$dir/scale$port.out" >&2; exit 1; }
done

reg="$dir/ports.reg"
{
    echo 'REGEDIT4'
    echo
    echo '[HKEY_LOCAL_MACHINE\Software\Wine\Ports]'
    for port in 5 6 7 8 9 12; do
        echo "\"COM$port\"=\"$dir/com$port\""
    done
} >"$reg"
export WINEPREFIX=$prefix WINEARCH=win32 WINEDEBUG=-all
wine regedit /S "$(winepath -w "$reg")" >/dev/null 2>&1
for port in 5 6 7 8 9 12; do
    ln -sfn "$dir/com$port" "$prefix/dosdevices/com$port"
done

KWLINK_SIM_DIR=$dir bash "$wine_test" run "$prefix" "$exe"
