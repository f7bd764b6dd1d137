#!/usr/bin/env bash
# Installs what kwlink needs to build and test both targets on Debian: the native toolchain,
# GoogleTest sources, the mingw-w64 cross compilers (32 and 64 bit), wine (32 and 64 bit) with
# Xvfb, and the German UTF-8 locale under which wine uses the OEM code page 850; and what the
# release packages are built and checked with (dpkg-shlibdeps, file, lintian, man). Quick when
# everything is there.
set -euo pipefail

packages=(cmake ninja-build g++ make googletest g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
          wine wine64 wine32:i386
          xvfb xauth locales python3 clang-format strace
          ser2net python3-serial
          dpkg-dev file lintian man-db groff-base)
# The fuzz targets: clang with its sanitizer and libFuzzer runtimes (tools/fuzz.sh).
packages+=(clang libclang-rt-14-dev)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}"
    as_root apt-get update -q
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
        "${missing[@]}"
fi

if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
    as_root sed -i 's/^# *\(de_DE\.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | as_root tee -a /etc/locale.gen >/dev/null
    as_root locale-gen >/dev/null
fi
