#!/bin/bash
# Installs what is needed (for the tests too), builds what the demo runs
# (both Windows builds, the headless runner and the script checker), lays
# out the folder that ships, checks the demo script against it and runs it
# headless under Wine: every message box is printed and answered with its
# default button, and each step the progress window is seen to show is
# printed; a picture of each goes to build/demo-shots, with an index.html
# that shows them in order. Where this host cannot start 32-bit
# programs the 64-bit build runs, and the runner says so first. Extra
# arguments go to the runner (e.g. --answers No).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install.sh
bash tools/build.sh --demo
# The folder that ships: the script, the application's files and its two
# versions, built for the road's build (the one headless_run runs).
arch=$(build/native/tests/e2e/headless_run --wine-road 2>/dev/null | cut -d' ' -f1 || true)
for argument in "$@"; do [ "$argument" = --win64 ] && arch=win64; done
[ -n "$arch" ] || arch=win32
rm -rf build/demo
mkdir -p build/demo
cp -r demo/updater.ini demo/app build/demo/
cp "dist/demo/$arch/demo-app-1.exe" build/demo/app/demo-1.exe
cp "dist/demo/$arch/demo-app-2.exe" build/demo/app/demo-2.exe
# What a script author does before shipping: learn the version that ships,
# pin the programs that ship by their digests (the demo's are built here,
# so the lines that "updater-check hash" prints replace the script's "-"
# in the copy that ships), and check the script against the folder that
# ships (it is kept in UTF-8 and converted when it runs).
check=build/native/tools/check/updater-check
echo "updater-check version build/demo/app/demo-2.exe"
$check version build/demo/app/demo-2.exe
echo "updater-check hash build/demo/app/demo-1.exe build/demo/app/demo-2.exe"
$check hash build/demo/app/demo-1.exe build/demo/app/demo-2.exe | tee build/demo/hash.txt
grep '^<' build/demo/hash.txt | while IFS= read -r pin; do
  sed -i "s|^${pin%%=*}=.*|$pin|" build/demo/updater.ini
done
rm build/demo/hash.txt
echo "updater-check check --code-page 65001 --src build/demo build/demo/updater.ini"
$check check --code-page 65001 --src build/demo build/demo/updater.ini
xvfb-run -a -s "-screen 0 1024x768x24" build/native/tests/e2e/headless_run build/demo \
  --show-file demo.log --shots build/demo-shots "$@"
echo "Pictures of the run: $PWD/build/demo-shots/index.html"
