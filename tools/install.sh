#!/bin/bash
# Installs everything the builds and the tests need on Debian 12 (as root):
# the native compiler and GoogleTest, clang with its sanitizer and libFuzzer
# runtimes for the checked builds, mingw-w64 for both Windows targets, Wine,
# Xvfb as the display for the message boxes, and the fonts that the pictures
# of the boxes need: a Japanese one and Wine's own (the frame's buttons);
# openssl and osslsigncode sign a program in the signature tests.
#
# A package mirror has ordinary bad days: an index being synced, an
# architecture's list that lags the others. So an index that cannot be read
# after a few tries is named and passed over (apt goes on with the lists it
# has), and one `apt-get install` of the whole set, which installs all or
# nothing, is followed where it fails by one install per package, so that
# one package that cannot be had costs only itself. The script stops only
# when a package that the builds or the tests need cannot be installed,
# naming it and apt's reason. 32-bit Wine is the one optional package: where
# it cannot be installed, or the host cannot start 32-bit programs, the bench
# runs the 64-bit build.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive

required=(cmake make g++ libgtest-dev clang libclang-rt-14-dev
          g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64
          wine wine64 xvfb xauth locales valgrind
          fonts-ipafont-gothic fonts-wine nlohmann-json3-dev libssl-dev nodejs node-ajv curl ca-certificates
          openssl osslsigncode)
optional=(wine32:i386)

say() { echo "install.sh: $*"; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# 32-bit Wine needs the i386 architecture before the package lists are read.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi

missing() {  # the packages of "$@" that are not installed
  local package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
      echo "$package"
  done
}

# The indexes that apt-get update could not read, one per line with apt's
# reason, from its output.
unreadable_indexes() {
  sed -n -e 's/^[EW]: Failed to fetch \([^ ]*\) *\(.*\)$/\1 (\2)/p' \
         -e "s/^[EW]: The repository '\\([^']*\\)' \\(.*\\)$/\\1 (\\2)/p" "$1" |
    sed -e 's/ *\[IP: [^]]*\]//' -e 's/ ()$//' | sort -u
}

update_lists() {
  local attempt
  for attempt in 1 2 3; do
    if apt-get update -qq >"$work/update.txt" 2>&1; then return 0; fi
    ((attempt == 3)) || sleep $((attempt * 10))
  done
  local indexes
  indexes=$(unreadable_indexes "$work/update.txt" | paste -sd ';' - | sed 's/;/; /g')
  [ -n "$indexes" ] || indexes=$(grep -E '^[EW]:' "$work/update.txt" | paste -sd ' ' -)
  say "apt could not read ${indexes:-an index} after 3 tries; going on with the package lists that apt has"
}

# apt's reason for the failure in the output file $1: the unmet dependency
# it names first, and its error lines.
apt_reason() {
  {
    grep -m1 -E '^ .* : (Pre)?Depends: ' "$1" | sed 's/^ *//'
    grep -E '^E: ' "$1" | sed 's/^E: //'
  } | paste -sd ';' - | sed 's/;/; /g'
}

install_packages() {  # output file, packages...
  local output=$1
  shift
  apt-get install -y -q --no-install-recommends "$@" >"$output" 2>&1
}

mapfile -t missing_required < <(missing "${required[@]}")
mapfile -t missing_optional < <(missing "${optional[@]}")
if ((${#missing_required[@]} + ${#missing_optional[@]})); then
  update_lists
  if ! install_packages "$work/all.txt" "${missing_required[@]}" "${missing_optional[@]}"; then
    # All or nothing failed: the needed set alone, else one package at a
    # time; then each optional one.
    failed=()
    if ((${#missing_required[@]})) &&
       ! install_packages "$work/required.txt" "${missing_required[@]}"; then
      for package in "${missing_required[@]}"; do
        [ -z "$(missing "$package")" ] && continue  # came in as another's dependency
        if ! install_packages "$work/one.txt" "$package"; then
          failed+=("$package")
          say "$package could not be installed: $(apt_reason "$work/one.txt")"
        fi
      done
    fi
    for package in "${missing_optional[@]}"; do
      if ! install_packages "$work/one.txt" "$package"; then
        case $package in
          wine32:i386)
            say "32-bit Wine could not be installed: the end-to-end cases, the demo and the" \
                "benchmarks will run the 64-bit build ($(apt_reason "$work/one.txt"))" ;;
          *) say "$package could not be installed: $(apt_reason "$work/one.txt")" ;;
        esac
      fi
    done
    if ((${#failed[@]})); then
      say "stopped: the builds and the tests need ${failed[*]}"
      exit 1
    fi
  fi
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
  curl -fsSL --retry 3 -o "$work/package.tgz" "$tarball_url"
  echo "$tarball_sha512  $work/package.tgz" | sha512sum -c --quiet -
  tar -xzf "$work/package.tgz" -C "$work" package/lib/schemas/sarif-2.1.0-rtm.5.json
  mkdir -p "$schema_dir"
  install -m 644 "$work/package/lib/schemas/sarif-2.1.0-rtm.5.json" "$schema"
fi
