#!/usr/bin/env bash
# Builds the release packages into build/packages/: kwlink-<version>-win32.zip (the 32-bit
# Windows program) and kwlink_<version>_amd64.deb (the Linux programs), each from a clean
# configure of a Release build without the tests. The Linux program keeps its users' files in
# the data directory /var/opt/kwlink, its program directory /opt/kwlink is root's.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=$(nproc 2>/dev/null || echo 2)
out="$root/build/packages"
mkdir -p "$out"

package() { # name, generator, extra cmake arguments...
    local name=$1 generator=$2
    shift 2
    local dir="$root/build/package-$name"
    rm -rf "$dir"
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKWLINK_TESTS=OFF "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
    (cd "$dir" && cpack -G "$generator" -B "$out" >/dev/null)
}

rm -f "$out"/kwlink-*-win32.zip "$out"/kwlink_*_amd64.deb
package win32 ZIP -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
package native DEB -DKWLINK_DATA_DIR=/var/opt/kwlink
rm -rf "$out/_CPack_Packages"
ls -l "$out"/kwlink-*-win32.zip "$out"/kwlink_*_amd64.deb
