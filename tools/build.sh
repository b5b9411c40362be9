#!/bin/bash
# Builds the three builds: native (core and tests), Windows 32-bit (the
# release, dist/win32/updater.exe) and Windows 64-bit (dist/win64/updater.exe).
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
for dir in build/win32 build/win64 build/native; do
  cmake --build "$dir" -j "$jobs"
done
