// What the fuzz targets share: a small machine, and a world for a run.
#pragma once

#include "block_cap.h"

namespace fuzz {

// Resets the double (and the count of refused blocks) and lays out the
// files, folders and registry entries that fuzzed scripts may name: the
// program at C:\Program\updater.exe with a.txt and b.txt beside it, a
// folder sub, notepad in C:\Windows, and App Paths entries for x.exe (one
// of them stored without its zero).
void ResetWorld();

}  // namespace fuzz
