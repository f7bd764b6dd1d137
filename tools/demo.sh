#!/usr/bin/env bash
# The demo: installs what is needed, builds both targets, starts the simulated scale with the
# bundled sample data, backs the scale up into a fresh directory (KWBACKUP) and restores that
# directory to a second, empty simulated scale (KWRESTORE). Everything lands in demo/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/tools/install-deps.sh"
bash "$root/tools/build.sh"

bin=$root/build/native/bin
demo=$root/demo
rm -rf "$demo"
mkdir -p "$demo/program"
# The program directory must be writable: descriptions fetched from a new scale are kept there.
cp "$bin/kwlink" "$bin/Messages.res" "$bin/QT_TRANS.DAT" "$demo/program/"
cp -r "$bin/109SCALE700" "$bin/109SCALE701" "$demo/program/"
printf '5;15;2;20;5' >"$demo/program/Kwlink.cfg"

sim_pid=
start_scale() {  # $1: transcript file, further arguments for the simulator
    local transcript=$1
    shift
    "$bin/kwlink-scale-sim" --link "$demo/program/com5" --ident KWSIM-GEN-01 --scale 1 \
        --transcript "$transcript" "$@" >"$demo/scale.out" 2>&1 &
    sim_pid=$!
    for _ in $(seq 1 100); do
        grep -q '^ready' "$demo/scale.out" 2>/dev/null && return 0
        sleep 0.05
    done
    echo "the simulated scale did not start:" >&2
    cat "$demo/scale.out" >&2
    return 1
}
stop_scale() {
    if [ -n "$sim_pid" ]; then
        kill "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
        sim_pid=
    fi
}
trap stop_scale EXIT

echo "== KWBACKUP from the simulated scale (sample data: data/samples/generic_scale.txt)"
start_scale "$demo/backup-transcript.txt" --data "$root/data/samples/generic_scale.txt"
"$demo/program/kwlink" "KWBACKUP[0,3];KWDIR[$demo/backup]"
stop_scale

echo
echo "== KWRESTORE of $demo/backup to an empty simulated scale"
start_scale "$demo/restore-transcript.txt"
"$demo/program/kwlink" "KWRESTORE[0,3];KWDIR[$demo/backup]"
stop_scale

echo
echo "== Results"
echo "CSV files of the backup:      $demo/backup/ ($(ls "$demo/backup" | grep -c '\.csv$') files)"
echo "marker file of the backup:    $demo/backup.sca"
echo "log of the last job:          $demo/backup/Kwlink.log"
echo "descriptions of the scale:    $demo/program/KWSIM-GEN-01/"
echo "scale transcripts:            $demo/backup-transcript.txt, $demo/restore-transcript.txt"
echo "records the scale received:   $(grep -c '^store ' "$demo/restore-transcript.txt")"
