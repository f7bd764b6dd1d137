#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz (clang, AddressSanitizer + UndefinedBehavior-
# Sanitizer) in build/fuzz and runs each in turn.
#
#   tools/fuzz.sh [seconds [target...]]
#
# seconds: the time per target (default 20); KWLINK_FUZZ_RUNS=n also ends a target after n
# executions, whichever comes first. Without target names every target runs. Each target starts
# from its seed corpus (tests/fuzz/corpus/<target>/) and the kept inputs of past findings
# (tests/fuzz/regressions/<target>/) and grows a working corpus in <build>/corpus/<target>/.
# A finding leaves its input in <build>/findings/<target>/ and makes the script fail after all
# targets have run: fix it and keep the input in tests/fuzz/regressions/<target>/, where the
# native test run replays it. One summary line per target: executions, coverage ("cov", edges)
# and features ("ft"). <build> is build/fuzz, or the tree KWLINK_FUZZ_BUILD names.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
seconds=${1:-20}
shift || true
jobs=$(nproc 2>/dev/null || echo 2)
build=${KWLINK_FUZZ_BUILD:-$root/build/fuzz}

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKWLINK_FUZZ=ON -DKWLINK_TESTS=OFF >/dev/null
cmake --build "$build" --target fuzz_all -j "$jobs"

if [ $# -gt 0 ]; then
    targets=("$@")
else
    targets=()
    for exe in "$build"/bin/fuzz_*; do
        targets+=("${exe##*/fuzz_}")
    done
fi

# The file-reading targets write every input to a scratch file: on a disk file system that
# costs milliseconds per input, in memory microseconds.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then
    export TMPDIR=/dev/shm
fi

failed=()
for name in "${targets[@]}"; do
    corpus=$build/corpus/$name
    findings=$build/findings/$name
    log=$build/logs/$name.log
    mkdir -p "$corpus" "$findings" "$build/logs"
    options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
             -artifact_prefix="$findings/")
    if [ -n "${KWLINK_FUZZ_RUNS:-}" ]; then
        options+=(-runs="$KWLINK_FUZZ_RUNS")
    fi
    # A dictionary of the target's own, or one shared by the targets of its family (csv_*).
    for dict in "tests/fuzz/dict/$name.dict" "tests/fuzz/dict/${name%%_*}.dict"; do
        if [ -f "$dict" ]; then
            options+=(-dict="$dict")
            break
        fi
    done
    inputs=("$corpus")
    for kept in "tests/fuzz/corpus/$name" "tests/fuzz/regressions/$name"; do
        if [ -d "$kept" ]; then
            inputs+=("$kept")
        fi
    done
    status=0
    "$build/bin/fuzz_$name" "${options[@]}" "${inputs[@]}" >"$log" 2>&1 || status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    coverage=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -n 1 || true)
    if [ "$status" -ne 0 ]; then
        failed+=("$name")
        echo "fuzz $name: FINDING (exit $status, ${runs:-?} runs, $coverage), see $log and $findings/"
        grep -m 5 -E 'ERROR|runtime error|broken invariant|SUMMARY' "$log" | sed 's/^/    /' || true
    else
        echo "fuzz $name: ${runs:-?} runs, $coverage, no finding"
    fi
done

if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzz targets with findings: ${failed[*]}" >&2
    exit 1
fi
