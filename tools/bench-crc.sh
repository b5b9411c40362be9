#!/bin/bash
# Times the CRC procedure of the real program (dist/win32/updater.exe, or
# dist/win64's where this host cannot start 32-bit programs: the Wine road of
# the headless runner, which must be built) under Wine on a file already in
# the page cache, against cksum and cat, and prints the ratios. Goal: CRC at
# least as fast as cksum and within 1.5x of cat.
#
#   tools/bench-crc.sh [MiB (1024)] [runs (5)]
#
# The program runs in compare mode, which shows no box. Each figure is the
# best of the runs. Wine's own start-up is timed on a one-byte file and
# taken off the program's time ("net"), since cat and cksum pay nothing of
# the kind; the raw figures are printed too. The data file lives in /tmp and
# is deleted at the end. Uses WINEPREFIX when set, else /tmp/wp-bench-crc-
# win32 or -win64, and stops that prefix's wineserver at the end.
set -euo pipefail
# Every Wine program of the run shares one display (a virtual one unless
# there is one): Wine's desktop takes the display of the first.
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$@"
fi
cd "$(dirname "$0")/.."
mib=${1:-1024}
runs=${2:-5}
runner=build/native/tests/e2e/headless_run
[ -x "$runner" ] || { echo "missing $runner: build first (tools/build.sh)" >&2; exit 1; }
road=$("$runner" --wine-road)
read -r arch loader <<<"$road"
exe=${UPDATER_EXE:-$PWD/dist/$arch/updater.exe}
[ -f "$exe" ] || { echo "missing $exe: build it first (tools/build.sh)" >&2; exit 1; }
echo "the $arch build, under $loader"
export WINEPREFIX=${WINEPREFIX:-/tmp/wp-bench-crc-$arch}
export WINEDEBUG=-all
if [ "$arch" = win64 ]; then
  export WINEARCH=win64 WINELOADER=$loader
fi
# No Mono or Gecko installer prompts, no menu entries.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

work=$(mktemp -d /tmp/bench-crc.XXXXXX)
cleanup() {
  wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The checksum as defined, one byte at a time: the value the compare runs
# are given, and the one the program must report.
cat >"$work/reference.c" <<'C'
#include <stdint.h>
#include <stdio.h>
int main(int argc, char** argv) {
  FILE* f = fopen(argv[1], "rb");
  static unsigned char block[1 << 20];
  uint32_t value = 0, shift = 0;
  uint64_t size = 0;
  size_t n;
  if (!f) return 1;
  while ((n = fread(block, 1, sizeof block, f)) > 0) {
    for (size_t i = 0; i < n; ++i) {
      value ^= (uint32_t)block[i] << shift;
      if (++shift == 25) shift = 0;
    }
    size += n;
  }
  printf("0x%08X\n", size ? value ^ (uint32_t)size : 0);
  return 0;
}
C
cc -O2 -o "$work/reference" "$work/reference.c"

data=$work/data.bin
one=$work/one.bin
head -c "${mib}M" /dev/urandom >"$data"
printf 'x' >"$one"
expected=$("$work/reference" "$data")
expected_one=$("$work/reference" "$one")

# One program folder per file, each comparing its file with the right value
# and showing nothing.
app() {  # folder, file, expected value
  mkdir -p "$1"
  cp "$exe" "$1/updater.exe"
  printf '[UPDATER]\r\nNAME=bench\r\nPROC=check\r\n[check]\r\nMODE=CRC\r\nFILE=%s\r\nTYPE=AND\r\nCRC=%s\r\n' \
    "Z:${2//\//\\}" "$3" >"$1/updater.ini"
}
app "$work/big" "$data" "$expected"
app "$work/small" "$one" "$expected_one"

best() {  # command...: the best wall time of $runs runs, in seconds
  local best_time=
  for _ in $(seq "$runs"); do
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null
    end=$(date +%s.%N)
    best_time=$(echo "$start $end ${best_time:-1e9}" | awk '{t = $2 - $1; print (t < $3 ? t : $3)}')
  done
  echo "$best_time"
}

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "creating the Wine prefix $WINEPREFIX" >&2
  DISPLAY= "$loader" wineboot -i >/dev/null 2>&1
  wineserver -w
fi
wineserver -p  # one server for every run
# Without a window manager Wine would wait at the report box.
"$loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
"$loader" "$work/small/updater.exe"
cat "$data" >/dev/null           # into the page cache

# The program's own answer, from a report-mode run whose box boxhelper reads
# and answers: it must be the reference value, or the compare runs below
# would be timing a mismatch.
mkdir -p "$work/report"
cp "$exe" "$work/report/updater.exe"
printf '[UPDATER]\r\nNAME=bench\r\nPROC=show\r\n[show]\r\nMODE=CRC\r\nFILE=%s\r\nTYPE=\r\nCRC=\r\n' \
  "Z:${data//\//\\}" >"$work/report/updater.ini"
"$loader" "$PWD/dist/tools/$arch/boxhelper.exe" --report "Z:${work//\//\\}\\report.tsv" \
  --timeout 600 "Z:${work//\//\\}\\report\\updater.exe" >/dev/null 2>&1 || true
reported=$(grep -o 'CRC32\\t: 0x[0-9A-F]*' "$work/report.tsv" | grep -o '0x.*' || echo none)
if [ "$reported" != "$expected" ]; then
  echo "the program reports $reported, the reference $expected" >&2
  exit 1
fi

t_cat=$(best cat "$data")
t_cksum=$(best cksum "$data")
t_small=$(best "$loader" "$work/small/updater.exe")
t_big=$(best "$loader" "$work/big/updater.exe")

awk -v mib="$mib" -v cat="$t_cat" -v ck="$t_cksum" -v small="$t_small" -v big="$t_big" \
    -v value="$expected" 'BEGIN {
  net = big - small
  printf "file: %d MiB in the page cache, checksum %s; best of each\n", mib, value
  printf "cat > /dev/null    %7.3f s  %6.2f GiB/s\n", cat, mib / 1024 / cat
  printf "cksum              %7.3f s  %6.2f GiB/s\n", ck, mib / 1024 / ck
  printf "CRC under Wine     %7.3f s  raw (%.3f s of it Wine start-up on a 1-byte file)\n", big, small
  printf "CRC net            %7.3f s  %6.2f GiB/s\n", net, mib / 1024 / net
  printf "CRC / cksum        %7.2f    raw %.2f   (goal <= 1)\n", net / ck, big / ck
  printf "CRC / cat          %7.2f    raw %.2f   (goal <= 1.5)\n", net / cat, big / cat
}'
