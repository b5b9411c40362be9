#!/bin/bash
# Installs what is needed, builds all three builds and runs the demo script
# headless under Wine: every message box is printed and answered with its
# default button. Extra arguments go to the runner (e.g. --answers No).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install.sh
bash tools/build.sh
xvfb-run -a -s "-screen 0 1024x768x24" build/native/tests/e2e/headless_run demo "$@"
