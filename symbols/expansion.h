// Expansion of the values read from the script.
//
// Three stages, each run once and in this order, each changing the value in
// place and giving true when it replaced something:
//   ExpandSymbols       "<name>" by the symbol's value;
//   ExpandAppPaths      "{?App\x.exe}" by the program's App Paths entry, and
//                       "{?AppPath\x.exe}" by its PATH value;
//   CollapseParentDirs  "dir\.." out of a backslash-separated path.
// Each stage fixes its number of steps before its first replacement, so text
// that a replacement brings in may use up steps and leave later groups as
// written. What cannot be resolved stays as written; nothing is reported.
#pragma once

#include "base/text_string.h"

// All three stages; true when any of them changed the value.
bool ExpandValue(TextString& value);

bool ExpandSymbols(TextString& value);
bool ExpandAppPaths(TextString& value);
bool CollapseParentDirs(TextString& value);
