#!/bin/bash
# Installs everything the builds and the tests need on Debian 12 (as root):
# the native compiler and GoogleTest, clang with its sanitizer and libFuzzer
# runtimes for the checked builds, mingw-w64 for both Windows targets, Wine
# with 32-bit support (installed even where the host cannot start 32-bit
# programs: the bench then runs the 64-bit build), Xvfb as the display for
# the message boxes, and the fonts that the pictures of the boxes need: a
# Japanese one and Wine's own (the frame's buttons).
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive

packages=(cmake make g++ libgtest-dev clang libclang-rt-14-dev
          g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64
          wine wine64 wine32:i386 xvfb xauth locales valgrind
          fonts-ipafont-gothic fonts-wine nlohmann-json3-dev nodejs node-ajv curl ca-certificates)

# 32-bit Wine needs the i386 architecture before the package lists are read.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
if ((${#missing[@]})); then
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Code page 932, the program's target, comes from a Japanese locale.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null || echo 'ja_JP.UTF-8 UTF-8' >>/etc/locale.gen
  locale-gen >/dev/null
fi

# The SARIF 2.1.0 schema that the checker's SARIF output is validated
# against (with Debian's ajv). Debian ships no copy; the npm registry's
# package of SARIF matchers carries the OASIS schema, taken from the exact
# tarball whose digest is pinned here.
schema_dir=/usr/local/share/sarif
schema=$schema_dir/sarif-2.1.0-rtm.5.json
if [ ! -s "$schema" ]; then
  tarball_url=https://registry.npmjs.org/@microsoft/jest-sarif/-/jest-sarif-1.0.0-beta.0.tgz
  tarball_sha512=0357ce84f77a21ce620e4e05f583f0d6a341e1717eefe22f891ef197caf617a433424c7972963d2ec1a4dab1318852047016e3a559d29b058606e9004a4890f4
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  curl -fsSL --retry 3 -o "$work/package.tgz" "$tarball_url"
  echo "$tarball_sha512  $work/package.tgz" | sha512sum -c --quiet -
  tar -xzf "$work/package.tgz" -C "$work" package/lib/schemas/sarif-2.1.0-rtm.5.json
  mkdir -p "$schema_dir"
  install -m 644 "$work/package/lib/schemas/sarif-2.1.0-rtm.5.json" "$schema"
fi
