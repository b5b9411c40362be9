#!/bin/bash
# Runs every test: the native unit tests, the same under AddressSanitizer and
# UBSan (build/asan), a bounded run of each libFuzzer target (build/fuzz) and
# the end-to-end suite under Wine, with ctest's closing summary, below which
# come the end-to-end cases that were skipped, each with its reason. Builds
# first; tools/install.sh installs what is needed.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/build.sh
# Which build the end-to-end cases run, said before they start (and, where
# Wine cannot start at all, why, in one line).
build/native/tests/e2e/headless_run --wine-road >/dev/null || true
cd build/native
status=0
ctest --output-on-failure -j 2 || status=$?
if [ -s e2e_skipped.txt ]; then
  echo "End-to-end cases skipped:"
  sed 's/^/  /' e2e_skipped.txt
fi
exit "$status"
