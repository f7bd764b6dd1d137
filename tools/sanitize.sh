#!/usr/bin/env bash
# The native programs and tests under sanitizers:
#   build/asan  AddressSanitizer + UndefinedBehaviorSanitizer: every native unit test (the
#               replay of the kept fuzz inputs included) and the Linux end-to-end tests;
#   build/tsan  ThreadSanitizer: the end-to-end cases that stop a job by signal, kill it in its
#               write phase or exceed the file size limit.
# Every report ends the process that found it (-fno-sanitize-recover=all) and is written to a
# file in build/<kind>/sanitizer-reports/, also when the process is the program started by an
# end-to-end test. The script fails when a test fails or any report was written.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=$(nproc 2>/dev/null || echo 2)

configure() {  # $1: build kind, $2: sanitizers
    cmake -S . -B "build/$1" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKWLINK_SANITIZE="$2" \
        >/dev/null
}

fresh_reports() {  # $1: build kind; prints the directory
    local dir=$root/build/$1/sanitizer-reports
    rm -rf "$dir"
    mkdir -p "$dir"
    echo "$dir"
}

check_reports() {  # $1: directory, $2: what ran
    if [ -n "$(ls -A "$1")" ]; then
        echo "sanitizer reports of $2:" >&2
        for report in "$1"/*; do
            echo "== $report" >&2
            head -n 40 "$report" >&2
        done
        return 1
    fi
    echo "$2: no sanitizer report"
}

status=0

echo "== AddressSanitizer + UndefinedBehaviorSanitizer (build/asan)"
configure asan address,undefined
cmake --build build/asan -j "$jobs"
reports=$(fresh_reports asan)
(
    export ASAN_OPTIONS="log_path=$reports/asan:detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1"
    export UBSAN_OPTIONS="log_path=$reports/ubsan:print_stacktrace=1"
    cd build/asan
    # The instrumented programs are slower: a test whose timing assumption fails under load
    # gets one more try (CTest shows it). A sanitizer report is never retried away: its file
    # stays and fails the script below.
    ctest --output-on-failure --timeout 900 --repeat until-pass:2
) || status=1
check_reports "$reports" "the unit and end-to-end tests under ASan + UBSan" || status=1

echo "== ThreadSanitizer (build/tsan)"
configure tsan thread
cmake --build build/tsan -j "$jobs" --target kwlink kwlink-scale-sim kwlink_data
reports=$(fresh_reports tsan)
(
    export TSAN_OPTIONS="log_path=$reports/tsan:second_deadlock_stack=1"
    cd tests/e2e
    KWLINK_BIN="$root/build/tsan/bin" PYTHONDONTWRITEBYTECODE=1 \
        python3 -m unittest -v test_jobs.Stopping test_faults.Stopping \
            test_faults.FaultMatrix.test_sigkill_in_the_write_phase_leaves_nothing_that_claims_success \
            test_faults.FaultMatrix.test_file_size_limit_is_a_failed_write_not_a_killed_process
) || status=1
check_reports "$reports" "the end-to-end stop and signal cases under TSan" || status=1

exit $status
