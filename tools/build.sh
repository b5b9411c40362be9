#!/bin/bash
# Builds the three builds: native (core and tests), Windows 32-bit (the
# release, dist/win32/updater.exe) and Windows 64-bit (dist/win64/updater.exe);
# then the two checked builds of the portable core that the test command
# runs: build/asan (the unit tests under AddressSanitizer and UBSan) and
# build/fuzz (the libFuzzer targets, with clang).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

configure() {  # build dir, extra cmake arguments
  local dir=$1
  shift
  [ -f "$dir/CMakeCache.txt" ] || cmake -S . -B "$dir" "$@" >/dev/null
}

configure build/win32 -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
configure build/win64 -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake
configure build/native -DCMAKE_BUILD_TYPE=Debug
configure build/asan -DCMAKE_BUILD_TYPE=Debug -DUPDATER_SANITIZE=ON
CC=clang CXX=clang++ configure build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DUPDATER_FUZZ=ON
for dir in build/win32 build/win64 build/native build/asan build/fuzz; do
  cmake --build "$dir" -j "$jobs"
done
