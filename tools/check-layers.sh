#!/bin/bash
# The folders of the program are floors: a file includes headers of its own
# floor and those below, never one above. From the bottom: os (the seam, its
# Windows half included), base, symbols, script, procs, app. The seam's two
# stand-ins stand on the os floor too: the test double (tests/fake) and the
# script checker's world (tools/check/os_check.cpp), so that each is linked
# below the core that calls it. Nor does any file come back to itself
# through what it includes. Prints each include that goes up, and each
# cycle, and fails if there is one.
set -euo pipefail
cd "$(dirname "$0")/.."
floor() {
  case $1 in
    os | tests/fake/* | tools/check/os_check.cpp | tools/check/check_world.h) echo 0 ;;
    base) echo 1 ;; symbols) echo 2 ;; script) echo 3 ;; procs) echo 4 ;; app) echo 5 ;;
    *) echo -1 ;;
  esac
}
status=0
edges=""
for file in os/*.* base/*.* symbols/*.* script/*.* procs/*.* app/*.* tests/fake/*.* \
    tools/check/*.*; do
  case $file in *.h | *.cpp) ;; *) continue ;; esac
  case $file in tests/* | tools/*) own=$(floor "$file") ;; *) own=$(floor "${file%%/*}") ;; esac
  while read -r included; do
    # A header beside the file is named without its folder.
    if [ -f "$(dirname "$file")/$included" ]; then included=$(dirname "$file")/$included; fi
    [ -f "$included" ] && edges+="$file $included"$'\n'
    other=$(floor "${included%%/*}")
    if [ "$own" -ge 0 ] && [ "$other" -gt "$own" ]; then
      echo "$file includes $included, a floor above it"
      status=1
    fi
  done < <(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file")
done
if ! cycle=$(printf '%s' "$edges" | tsort 2>&1 >/dev/null); then
  echo "the includes go round in a cycle:"
  echo "$cycle" | sed -n 's/^tsort: \([^ ]*\)$/  \1/p'
  status=1
fi
[ $status -eq 0 ] && echo "layers: every include stays on its floor or goes down, and none goes round"
exit $status
