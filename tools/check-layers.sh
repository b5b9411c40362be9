#!/bin/bash
# The folders of the program are floors: a file includes headers of its own
# floor and those below, never one above. From the bottom: os (the seam;
# its Windows half may use base's strings), base, symbols, script, procs,
# app. Prints each include that goes up and fails if there is one.
set -euo pipefail
cd "$(dirname "$0")/.."
floor() {
  case $1 in
    os) echo 0 ;; base) echo 1 ;; symbols) echo 2 ;; script) echo 3 ;; procs) echo 4 ;;
    app) echo 5 ;; *) echo -1 ;;
  esac
}
status=0
for file in os/*.* base/*.* symbols/*.* script/*.* procs/*.* app/*.*; do
  case $file in *.h | *.cpp) ;; *) continue ;; esac
  own=$(floor "${file%%/*}")
  while read -r included; do
    other=$(floor "${included%%/*}")
    [ "$other" -ge 0 ] || continue
    if [ "$other" -gt "$own" ] && [ "${file%_win.cpp}" = "$file" ]; then
      echo "$file includes $included, a floor above it"
      status=1
    fi
  done < <(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file")
done
[ $status -eq 0 ] && echo "layers: every include stays on its floor or goes down"
exit $status
