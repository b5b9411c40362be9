#!/bin/bash
# Builds the Windows builds, build/win32 (the release, dist/win32/updater.exe)
# and build/win64 (dist/win64/updater.exe), each with the test bench's helper
# programs in dist/tools/win32 or win64; the native build, build/native (the
# core, its tests and the headless runner); and the two checked builds of the
# portable core that the test command runs: build/asan (the unit tests under
# AddressSanitizer and UBSan) and build/fuzz (the libFuzzer targets, with
# clang).
#
#   tools/build.sh          everything
#   tools/build.sh --demo   only what the demo runs: both Windows builds, the
#                           headless runner and the script checker
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
for dir in build/win32 build/win64; do
  cmake --build "$dir" -j "$jobs"
done
if [ "${1:-}" = --demo ]; then
  cmake --build build/native -j "$jobs" --target headless_run updater-check
  exit 0
fi

configure build/asan -DCMAKE_BUILD_TYPE=Debug -DUPDATER_SANITIZE=ON
CC=clang CXX=clang++ configure build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DUPDATER_FUZZ=ON
for dir in build/native build/asan build/fuzz; do
  cmake --build "$dir" -j "$jobs"
done
