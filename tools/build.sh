#!/usr/bin/env bash
# Configures and builds the three builds: build/native (Linux), build/win32 (the shipped 32-bit
# Windows program) and build/win64 (the same sources for 64-bit Windows: it stands in for the
# 32-bit build in the tests on hosts that cannot run 32-bit programs).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=$(nproc 2>/dev/null || echo 2)

cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/native -j "$jobs"
for bits in 32 64; do
    if [ "$bits" = 32 ]; then toolchain=mingw-i686; else toolchain=mingw-x86_64; fi
    cmake -S . -B "build/win$bits" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="cmake/$toolchain.cmake" -DKWLINK_NATIVE_BIN="$root/build/native/bin" >/dev/null
    cmake --build "build/win$bits" -j "$jobs"
done
