#!/bin/bash
# Runs every test: the native unit tests, the same under AddressSanitizer and
# UBSan (build/asan), a bounded run of each libFuzzer target (build/fuzz) and
# the end-to-end suite under Wine, with ctest's closing summary. Builds
# first; tools/install.sh installs what is needed.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/build.sh
cd build/native
ctest --output-on-failure -j 2
