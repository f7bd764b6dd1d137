#!/usr/bin/env bash
# Configures and builds both targets: build/native (Linux) and build/win32 (Windows, mingw-w64).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=$(nproc 2>/dev/null || echo 2)

cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/native -j "$jobs"
cmake -S . -B build/win32 -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DKWLINK_NATIVE_BIN="$root/build/native/bin" >/dev/null
cmake --build build/win32 -j "$jobs"
