#!/usr/bin/env bash
# The quick check while changing the code (about two minutes on two cores): the layer check,
# the format of the C++ files changed since the branch left main, the native build and its
# unit tests. No package installs, no Windows build, no wine, no end-to-end tests: tools/test.sh
# runs everything.
#   bash tools/check.sh [BASE]      BASE: the commit to compare with for the format check
#                                   (default: origin/main, else main, else HEAD)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=$(nproc 2>/dev/null || echo 2)
started=$SECONDS

echo "== layer check"
python3 tools/check-layers.py

echo "== clang-format of the changed C++ files"
base=${1:-}
if [ -z "$base" ]; then
    for candidate in origin/main main HEAD; do
        if git rev-parse -q --verify "$candidate^{commit}" >/dev/null; then
            base=$candidate
            break
        fi
    done
fi
since=$(git merge-base "$base" HEAD)
# Committed since BASE, changed in the working tree, and new files not yet added.
mapfile -t changed < <({ git diff --name-only --diff-filter=d "$since"
                         git ls-files --others --exclude-standard; } |
                       grep -E '\.(c|cc|cpp|h|hpp)$' | sort -u)
if [ ${#changed[@]} -gt 0 ]; then
    if ! clang-format --dry-run -Werror "${changed[@]}"; then
        echo "check failed: format with clang-format -i FILE (the repository's .clang-format)" >&2
        exit 1
    fi
fi
echo "${#changed[@]} changed file(s) since $base formatted"

echo "== native build (build/native)"
if command -v ccache >/dev/null && [ ! -e build/native/CMakeCache.txt ]; then
    export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}
    export CMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER:-ccache}
fi
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/native -j "$jobs"

echo "== unit tests (ctest -L unit)"
(cd build/native && ctest -L unit -j "$jobs" --output-on-failure --timeout 300)

echo "check passed in $((SECONDS - started)) s"
