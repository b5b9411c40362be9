#!/bin/bash
# Runs the libFuzzer targets of tests/fuzz (built with clang under ASan and
# UBSan in build/fuzz).
#
#   tools/fuzz.sh [SECONDS] [TARGET...]   builds, then fuzzes each target (all
#       by default, e.g. whole_run_fuzz) for SECONDS (default 60), keeping what
#       it finds in build/fuzz/corpus/TARGET and any crash in build/fuzz/artifacts.
#   tools/fuzz.sh --smoke [--build-dir DIR] TARGET...
#       the test command's run: no build, the committed seeds only, a fixed
#       seed and a bounded number of inputs (and time).
#
# A crash leaves its input in the artifacts folder; reproduce it with
#   build/fuzz/tests/fuzz/TARGET FILE
# and keep it as a seed in tests/fuzz/corpus/<target>/ once it is fixed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

smoke=0
build_dir=$root/build/fuzz
seconds=60
targets=()
while (($#)); do
  case $1 in
    --smoke) smoke=1 ;;
    --build-dir) build_dir=$2; shift ;;
    [0-9]*) seconds=$1 ;;
    *) targets+=("${1%_fuzz}_fuzz") ;;
  esac
  shift
done
if ((${#targets[@]} == 0)); then
  for source in tests/fuzz/*_fuzz.cpp; do
    name=${source##*/}
    targets+=("${name%.cpp}")
  done
fi

if ((!smoke)); then
  [ -f "$build_dir/CMakeCache.txt" ] ||
    CC=clang CXX=clang++ cmake -S . -B "$build_dir" -DUPDATER_FUZZ=ON \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build_dir" -j "$(nproc)" >/dev/null
fi

# Inputs per target in the smoke run, about ten to twenty seconds each, and the
# longest input each target takes.
smoke_runs() {
  case $1 in
    whole_run_fuzz) echo 30000 ;;
    expansion_fuzz) echo 30000 ;;
    check_fuzz) echo 1500 ;;
    *) echo 150000 ;;
  esac
}
max_len() {
  case $1 in
    expansion_fuzz) echo 8192 ;;
    *) echo 4096 ;;
  esac
}
# Seeds beyond tests/fuzz/corpus/<target>: the checker takes the scripts of
# its own tests and the demo script as they are.
more_seeds() {
  case $1 in
    check_fuzz) echo "$root/tests/check/scripts $root/tests/check/good $root/demo/updater.ini" ;;
  esac
}

status=0
for target in "${targets[@]}"; do
  binary=$build_dir/tests/fuzz/$target
  seeds=$root/tests/fuzz/corpus/${target%_fuzz}
  if [ ! -x "$binary" ]; then
    echo "$target: $binary is missing; build it with tools/build.sh or tools/fuzz.sh"
    status=1
    continue
  fi
  artifacts=$build_dir/artifacts
  mkdir -p "$artifacts"
  options=(-max_len="$(max_len "$target")" -timeout=20 -rss_limit_mb=2048
           -dict="$root/tests/fuzz/script.dict" -print_final_stats=1
           -artifact_prefix="$artifacts/$target-")
  if ((smoke)); then
    work=$(mktemp -d)
    options+=(-seed=1 -runs="$(smoke_runs "$target")" -max_total_time=120)
  else
    work=$build_dir/corpus/${target%_fuzz}
    mkdir -p "$work"
    options+=(-max_total_time="$seconds")
  fi
  corpora=("$work")
  [ -d "$seeds" ] && corpora+=("$seeds")
  # libFuzzer reads folders only: a seed file is copied into the run's corpus.
  for seed in $(more_seeds "$target"); do
    if [ -d "$seed" ]; then corpora+=("$seed"); else cp "$seed" "$work/"; fi
  done
  log=$build_dir/$target.log
  if "$binary" "${options[@]}" "${corpora[@]}" >"$log" 2>&1; then
    result="no crash"
  else
    result="FAILED (see $log; the input is in $artifacts)"
    status=1
    tail -n 40 "$log"
  fi
  inputs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  time=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log")
  echo "$target: ${inputs:-?} inputs in ${time:-?} s, corpus $(ls "$work" | wc -l) files, $result"
  ((smoke)) && rm -rf "$work"
done
exit $status
