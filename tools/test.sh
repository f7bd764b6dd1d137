#!/usr/bin/env bash
# Installs what is needed, builds both targets and runs every test: the native tests directly and
# the Windows build's tests under wine, in one CTest run that ends with its summary.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/tools/install-deps.sh"
python3 "$root/tools/check-layers.py"  # every include follows the folder graph (ARCHITECTURE.md)
bash "$root/tools/build.sh"
bash "$root/tools/package.sh"  # the release packages, which the package tests check
cd "$root/build/native"
ctest --output-on-failure --timeout 900
# The native tests again under sanitizers, and every fuzz target for 20 s.
bash "$root/tools/sanitize.sh"
bash "$root/tools/fuzz.sh" 20
