#!/usr/bin/env bash
# Mutation check for people who change the code: puts small slips (tools/mutants.txt) into a
# scratch copy of the tree one at a time, rebuilds the native build there, runs the unit tests
# and, when they all pass, the end-to-end tests, and says whether each slip was caught.
#
#   bash tools/mutants.sh [MUTANTS_FILE] [ENTRY_NUMBER...]
#
# The scratch copy and its build live in $KWLINK_MUTANTS_DIR (default /tmp/kwlink-mutants) and
# are reused, so later runs build incrementally; the working tree is never touched. Results go
# to standard output and to results.txt there, each failing test's output to logs/. Takes a
# while (under a minute for a slip that a unit test catches, two more when only the end-to-end
# tests do); it is not part of the test command.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
list=$root/tools/mutants.txt
if [[ $# -gt 0 && ! $1 =~ ^[0-9]+$ ]]; then
    list=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
    shift
fi
only=("$@")
work=${KWLINK_MUTANTS_DIR:-/tmp/kwlink-mutants}
src=$work/src
# Where the tests expect a build: they find data/samples from build/native/bin.
build=$src/build/native
logs=$work/logs
results=$work/results.txt
jobs=${KWLINK_MUTANTS_JOBS:-2}

mkdir -p "$src" "$logs"
# The list as it is now: edits during a run do not shift its entries.
cp "$list" "$work/mutants.txt"
list=$work/mutants.txt
# A copy of the working tree as it is now. Only files whose content differs are written (and
# get a new time), so the scratch build rebuilds exactly what changed, also after a run that
# was stopped with a slip still in place.
stage=$work/stage
rm -rf "$stage"
mkdir -p "$stage"
(cd "$root" && tar --exclude=./build --exclude=./.git --exclude=__pycache__ -cf - .) |
    (cd "$stage" && tar -xf -)
(cd "$stage" && find . -type f) | while IFS= read -r f; do
    if ! cmp -s "$stage/$f" "$src/$f"; then
        mkdir -p "$(dirname "$src/$f")"
        cp "$stage/$f" "$src/$f"
    fi
done

# The entries of the list: "count" prints their number; "apply N" puts entry N into the scratch
# copy (keeping the original beside the log files) and prints "path<TAB>description"; "restore
# N" puts the original back. Exit status 3: the old text is not in the file exactly once.
entries() {
    python3 - "$list" "$src" "$logs" "$@" <<'PY'
import os, shutil, sys
listfile, src, logs, action = sys.argv[1:5]
entries, comment, current = [], [], None
for line in open(listfile, encoding="latin-1").read().split("\n"):
    if line.startswith("@ "):
        current = {"path": line[2:].strip(), "old": [], "new": [], "what": " ".join(comment)}
        entries.append(current)
        comment = []
    elif line.startswith("- ") and current is not None:
        current["old"].append(line[2:])
    elif line.startswith("+ ") and current is not None:
        current["new"].append(line[2:])
    elif line.startswith("#"):
        comment.append(line[1:].strip())
    elif not line.strip():
        current, comment = None, []
if action == "count":
    print(len(entries))
    sys.exit(0)
n = int(sys.argv[5])
e = entries[n - 1]
path = os.path.join(src, e["path"])
keep = os.path.join(logs, "original-%d" % n)
if action == "restore":
    shutil.copyfile(keep, path)
    sys.exit(0)
with open(path, encoding="latin-1", newline="") as f:
    text = f.read()
old = "\n".join(e["old"])
new = "\n".join(e["new"])
if not e["new"]:
    old += "\n"
print("%s\t%s" % (e["path"], e["what"] or old.strip()))
if not e["old"] or text.count(old) != 1:
    sys.exit(3)
shutil.copyfile(path, keep)
with open(path, "w", encoding="latin-1", newline="") as f:
    f.write(text.replace(old, new, 1))
PY
}

unit_tests=()
for dir in "$src"/tests/*/; do
    name=$(basename "$dir")
    if [[ $name != support && $name != e2e ]] && ls "$dir"*.cpp >/dev/null 2>&1; then
        unit_tests+=("${name}_tests")
    fi
done
programs=(kwlink kwlink-scale-sim kwlink_data)

build_targets() {
    cmake --build "$build" -j"$jobs" --target "$@" >"$logs/build.txt" 2>&1
}

# Builds and runs the unit test executables one at a time, the one of the changed folder
# first, and stops at the first that fails; when they all pass, runs the end-to-end tests.
# Prints "unit <tests>", "e2e <tests>", "build" (a test executable did not build) or "passed".
run_tests() {
    local folder=$1 ordered=() name
    # The serial device code of platform/ is tested with the link.
    [[ $folder == platform ]] && folder=link
    for name in "${unit_tests[@]}"; do
        [[ $name == "${folder}_tests" ]] && ordered=("$name" "${ordered[@]}") || ordered+=("$name")
    done
    for name in "${ordered[@]}"; do
        if ! build_targets "$name"; then
            echo "build"
            return
        fi
        (cd "$build/bin" && timeout 300 "./$name") >"$logs/$name.txt" 2>&1
        local status=$?
        if [[ $status -ne 0 ]]; then
            local names
            names=$(grep -a '^\[  FAILED  \] [A-Za-z]' "$logs/$name.txt" | sed 's/^\[  FAILED  \] //; s/ (.*//' |
                sort -u | tr '\n' ' ')
            [[ $status -eq 124 ]] && names+="(time-out) "
            echo "unit ${names:-$name exit $status}"
            return
        fi
    done
    if ! build_targets "${programs[@]}"; then
        echo "build"
        return
    fi
    (cd "$src/tests/e2e" && KWLINK_BIN=$build/bin PYTHONDONTWRITEBYTECODE=1 \
        timeout 900 python3 -m unittest -f test_jobs) >"$logs/e2e.txt" 2>&1
    local status=$?
    if [[ $status -ne 0 ]]; then
        local names
        names=$(grep -a -E '^(FAIL|ERROR): ' "$logs/e2e.txt" | sed -E 's/^(FAIL|ERROR): ([a-z_0-9]+).*/\2/' |
            tr '\n' ' ')
        [[ $status -eq 124 ]] && names+="(time-out) "
        echo "e2e ${names:-exit $status}"
        return
    fi
    echo "passed"
}

# Without optimisation: each slip costs one compile and a few links, and -O0 compiles fastest.
if [[ ! -f $build/CMakeCache.txt ]]; then
    cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE= >"$logs/configure.txt" 2>&1 || {
        echo "configure failed: $logs/configure.txt" >&2
        exit 1
    }
fi
echo "Building the unchanged copy in $build ..."
if ! build_targets "${unit_tests[@]}" "${programs[@]}"; then
    echo "the unchanged copy does not build: $logs/build.txt" >&2
    exit 1
fi
baseline=$(run_tests none)
if [[ $baseline != passed ]]; then
    echo "the unchanged copy fails its tests ($baseline): see $logs" >&2
    exit 1
fi

count=$(entries count)
if [[ ${#only[@]} -eq 0 ]]; then
    only=($(seq 1 "$count"))
fi
: >"$results"
killed=0
survived=0
skipped=0
for n in "${only[@]}"; do
    info=$(entries apply "$n")
    applied=$?
    path=${info%%$'\t'*}
    what=${info#*$'\t'}
    if [[ $applied -ne 0 ]]; then
        line=$(printf '%3d  not applied (old text not found once)  %s: %s' "$n" "$path" "$what")
        skipped=$((skipped + 1))
    else
        outcome=$(run_tests "${path%%/*}")
        for f in "$logs"/*_tests.txt "$logs/e2e.txt"; do
            [[ -f $f ]] && mv "$f" "${f%.txt}-$n.txt"
        done
        if [[ $outcome == build ]]; then
            cp "$logs/build.txt" "$logs/build-$n.txt"
            line=$(printf '%3d  does not build (logs/build-%d.txt)  %s: %s' "$n" "$n" "$path" "$what")
            skipped=$((skipped + 1))
        elif [[ $outcome == passed ]]; then
            line=$(printf '%3d  SURVIVED  %s: %s' "$n" "$path" "$what")
            survived=$((survived + 1))
        else
            line=$(printf '%3d  killed    %s: %s  [%s]' "$n" "$path" "$what" "$outcome")
            killed=$((killed + 1))
        fi
    fi
    [[ $applied -eq 0 ]] && entries restore "$n"
    echo "$line" | tee -a "$results"
done
build_targets "${unit_tests[@]}" "${programs[@]}" || true
total=$((killed + survived))
summary="killed $killed, survived $survived of $total"
if [[ $total -gt 0 ]]; then
    summary+=$(awk -v k="$killed" -v t="$total" 'BEGIN { printf " (%.1f %% killed)", 100 * k / t }')
fi
[[ $skipped -gt 0 ]] && summary+="; $skipped not run (see above)"
echo "$summary" | tee -a "$results"
