#!/usr/bin/env bash
# Installs what is needed, builds both targets and runs the program. The transfer job is not
# built yet: for now the demo shows the version banner of both builds.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/tools/install-deps.sh"
bash "$root/tools/build.sh"
"$root/build/native/bin/kwlink" --version
echo "Windows build: $root/build/win32/bin/Kwlink.exe"
