// Checking a script before it ships: the updater's own start-up, list
// building and procedure code run on the checker's machine (check_world.h),
// every procedure list reachable from UPDATER is followed through both
// branches of every SWITCH, and what the updater would report, or would do
// without a word although it is almost surely a slip, is told by line.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "base/file_version.h"

namespace check {

struct Diagnostic {
  int Line;
  bool Error;  // the updater would stop there; otherwise a warning
  std::string Text;  // UTF-8
  // The kind of problem: a warning's name, for -Wno-NAME; an error's kind
  // ("message-N" for the updater's message N).
  std::string Name;
  // Second places that explain it: (line, text), printed as notes.
  std::vector<std::pair<int, std::string>> Notes;
};

// A built-in symbol's value for the check (NAME=VALUE, NAME with brackets).
using SymbolValue = std::pair<std::string, std::string>;

// The problems of the script `text`, in file order. An encoding the
// updater would not read as meant is told first; `codePage` 65001 says the
// script is UTF-8 on purpose: it is converted before it ships, as the
// headless runner does, and checked as converted. Otherwise it is taken for
// code page 932. Symbol values are code page 932 text; `srcDir` is the
// system's own. False, with
// `usage` saying why, when a symbol value names no built-in symbol.
//
// With `srcDir`, the folder that ships beside the program: every file under
// <Src> that COPY, LAUNCH, CRC, DATE, VERSION, LINK or EXIST names must be in it,
// every CRC value must be the checksum of the file there, and a program
// that a VERSION test's list 1 copies from there over a file it tests must
// have at least that version, and every SHA256 item must be the digest of
// the file there.
//
// A warning that is off by default (IsOffByDefault) is told only where
// `enabled` names it.
bool CheckScript(const std::string& text, const std::vector<SymbolValue>& symbols,
                 std::vector<Diagnostic>& problems, std::string& usage, int codePage = 932,
                 const std::string& srcDir = "", const std::vector<std::string>& enabled = {});

// The checker's warnings, one row each in warnings.inc.
enum class Warning {
#define WARNING(identifier, name, told, what) identifier,
#include "warnings.inc"
#undef WARNING
};
// Told unless silenced, only when asked for (-WNAME), or as an error.
enum class Told { On, Off, Error };
struct WarningKind {
  const char* Name;
  Told When;
  const char* What;  // what it finds, as the script guide's table says it
};
extern const WarningKind Warnings[];
extern const int WarningCount;
const char* NameOf(Warning warning);
// The warning named `name`; null where none is.
const WarningKind* FindWarning(const std::string& name);

// A warning that an author turns on (-WNAME).
bool IsOffByDefault(const std::string& name);

// The built-in symbols' names, as "<Win>, <Sys>, ... or <Programs>".
std::string BuiltInNames();

// The checksum of a file as a CRC key takes it ("0x" and eight upper-case
// hexadecimal digits), from the updater's own code; false when the file
// cannot be read, is empty, or is a directory.
bool FileChecksum(const std::string& path, std::string& checksum);

// The SHA-256 digest of a file in lower-case hexadecimal digits, as a
// SHA256 item takes it; false when the file cannot be read.
bool FileDigest(const std::string& path, std::string& digest);

// The file version of a program as a VERSION test reads it, from the
// updater's own code.
VersionFound FileVersionOf(const std::string& path, FileVersion& version);

}  // namespace check
