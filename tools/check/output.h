// What `updater-check check` prints: GCC-style lines with a summary, or one
// SARIF 2.1.0 log, the format that code-scanning services and editors read.
#pragma once

#include <string>
#include <vector>

#include "script_check.h"

namespace check {

struct ScriptFindings {
  std::string Path;        // as given, in the system's own text
  std::string Unreadable;  // why the file could not be read, in UTF-8; "" when read
  std::vector<Diagnostic> Problems;  // those the output tells
};

struct Totals {
  int Errors = 0;
  int Warnings = 0;
};

// A warning made an error by --werror is told as one.
bool TellsAsError(const Diagnostic& problem, bool warningsAreErrors);

// FILE:LINE: error|warning|note: TEXT lines, then the summary line.
std::string TextOutput(const std::vector<ScriptFindings>& scripts, bool warningsAreErrors);

// One SARIF log: a run of updater-check with a result per problem, its
// notes as related locations, and a script that could not be read as a
// tool notification of a run that did not succeed.
std::string SarifOutput(const std::vector<ScriptFindings>& scripts, bool warningsAreErrors);

}  // namespace check
