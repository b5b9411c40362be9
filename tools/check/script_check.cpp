// The check of a script: the updater's own start-up and lists run on the
// checker's world, the checks in turn, and the entries that the command
// line and the tests call.
#include "script_check.h"

#include <algorithm>
#include <set>
#include <tuple>

#include "checker.h"
#include "app/updater.h"
#include "os/console_text.h"
#include "procs/journal.h"
#include "procs/proc_list.h"
#include "script/script_file.h"
#include "symbols/symbol_table.h"

namespace check {

std::vector<Diagnostic> Checker::Run() {
  StartUp();
  NoteReads(0);
  for (const ScriptRead& each : world_.Reads) reached_.insert(Lower(each.Section));
  CheckUnreached();
  CheckValues();
  CheckDefines();
  CheckLayout();
  CheckShippedFiles();
  CheckDowngrades();
  CheckDeletions();
  std::stable_sort(problems_.begin(), problems_.end(),
                   [](const Diagnostic& a, const Diagnostic& b) { return a.Line < b.Line; });
  // A procedure is examined more than once, and may stand in several lists.
  std::vector<Diagnostic> unique;
  std::set<std::tuple<int, bool, std::string>> seen;
  for (const Diagnostic& problem : problems_)
    if (seen.insert(std::make_tuple(problem.Line, problem.Error, problem.Text)).second)
      unique.push_back(problem);
  return unique;
}

// The updater's own start-up; where it stops, the checker reads on, so that
// a missing NAME does not hide a missing or empty PROC.
void Checker::StartUp() {
  bool started = InitUpdater("");
  TextString proc(UpdaterProc);
  bool procRead = started || ReadValue(UpdaterSection, RunKeys[KeyProc].Key, proc);
  NoteReads(0);
  for (const Report& report : TakeReports(0)) AddReport(report, ParseLine(report, 1));
  if (!procRead) return;
  if (UpdaterProcCount(proc) == 0) {
    for (const Report& report : TakeReports(0))
      AddReport(report, ExecuteLine(report, UpdaterSection));
    return;
  }
  CheckList(proc, KeyLine(UpdaterSection, RunKeys[KeyProc].Key));
  FreeAllProcLists();
}

namespace {

// Where the checker's world keeps the stand-in answer of the system query
// behind a built-in symbol.
std::string& StandInOf(World& world, const BuiltInSymbol& symbol) {
  switch (symbol.Source) {
    case SymbolSource::WindowsFolder:
      return world.WindowsDirectory;
    case SymbolSource::SystemFolder:
      return world.SystemDirectory;
    case SymbolSource::ProgramFolder:
      return world.ModuleDirectory;
    case SymbolSource::TempFolder:
      return world.TempDirectory;
    case SymbolSource::ShellFolder:
    case SymbolSource::PlaceFolder:
    case SymbolSource::SystemsOwnPlace:  // the checker's registry has no such value
      break;
  }
  return world.Folders[symbol.Shared];  // the platform is NT's
}

}  // namespace

namespace {

// The built-in symbol that `name` names, or null.
const BuiltInSymbol* BuiltInNamed(const std::string& name) {
  for (int i = 0; i < BuiltInSymbolCount; ++i)
    if (TextString(BuiltInSymbols[i].Name).Equals(name.c_str())) return &BuiltInSymbols[i];
  return nullptr;
}

}  // namespace

std::string BuiltInNames() {
  std::string names;
  for (int i = 0; i < BuiltInSymbolCount; ++i)
    names += std::string(i == 0 ? "" : i + 1 == BuiltInSymbolCount ? " or " : ", ") +
             BuiltInSymbols[i].Name;
  return names;
}

namespace {

// The length of the UTF-8 sequence that starts at `at`, 0 when none does.
size_t Utf8Sequence(const std::string& text, size_t at) {
  unsigned char lead = static_cast<unsigned char>(text[at]);
  size_t length = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
  if (lead >= 0xF5 || at + length > text.size()) return 0;
  for (size_t i = 1; i < length; ++i)
    if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return 0;
  return length;
}

}  // namespace

namespace {

// One diagnostic for an encoding the updater does not read as meant, before
// any other. Where it garbles the whole file (UTF-16, a byte-order mark),
// nothing else is told: every later line would only repeat it. False then.
bool CheckEncoding(const std::string& text, bool utf8Meant, std::vector<Diagnostic>& problems) {
  if (text.compare(0, 2, "\xFF\xFE") == 0 || text.compare(0, 2, "\xFE\xFF") == 0 ||
      (text.size() >= 2 && (text[0] == '\0' || text[1] == '\0'))) {
    problems.push_back(Diagnostic{1, true,
                                  "the file is UTF-16: the updater reads a script in the "
                                  "system's code page; save it in code page 932 (Shift_JIS)",
                                  "file-encoding",
                                  {}});
    return false;
  }
  if (text.find('\0') != std::string::npos) {
    problems.push_back(Diagnostic{1, true,
                                  "the file holds zero bytes, which no script in any code page "
                                  "does: it is not a text file",
                                  "file-encoding",
                                  {}});
    return false;
  }
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    problems.push_back(Diagnostic{1, true,
                                  "the file is UTF-8 with a byte-order mark, which the updater "
                                  "reads as part of the first line; save it in code page 932 "
                                  "(Shift_JIS) without the mark",
                                  "file-encoding",
                                  {}});
    return false;
  }
  // Bytes of 0x80 and above that all make UTF-8 sequences: the author's
  // editor saved it so, and the Japanese will reach the user as other text.
  if (utf8Meant) return true;
  int line = 1;
  int first = 0;
  for (size_t at = 0; at < text.size(); ++at) {
    if (text[at] == '\n') ++line;
    if (static_cast<unsigned char>(text[at]) < 0x80) continue;
    size_t length = Utf8Sequence(text, at);
    if (length == 0) return true;
    if (!first) first = line;
    at += length - 1;
  }
  if (first)
    problems.push_back(Diagnostic{first, false,
                                  "the file is UTF-8: its Japanese reaches a user of code page "
                                  "932 as other characters; save it in code page 932 "
                                  "(Shift_JIS)",
                                  NameOf(Warning::Encoding),
                                  {}});
  return true;
}

}  // namespace

namespace {

// A UTF-8 script as it ships, in code page 932. A line with a character
// that code page lacks is told, and checked with "?" in its place.
std::string In932(const std::string& utf8, std::vector<Diagnostic>& problems) {
  std::string whole;
  if (console::Utf8To932(utf8, whole)) return whole;
  whole.clear();
  int line = 1;
  for (size_t start = 0; start < utf8.size(); ++line) {
    size_t end = utf8.find('\n', start);
    end = end == std::string::npos ? utf8.size() : end + 1;
    const std::string part = utf8.substr(start, end - start);
    std::string converted;
    if (!console::Utf8To932(part, converted)) {
      converted.clear();
      for (size_t at = 0; at < part.size();) {
        size_t length = std::max<size_t>(Utf8Sequence(part, at), 1);
        std::string one;
        converted += console::Utf8To932(part.substr(at, length), one) ? one : "?";
        at += length;
      }
      problems.push_back(Diagnostic{line, true,
                                    "this line holds a character that code page 932 lacks, so "
                                    "the script cannot ship with it; it is checked with \"?\" "
                                    "in its place",
                                    "file-encoding",
                                    {}});
    }
    whole += converted;
    start = end;
  }
  return whole;
}

}  // namespace

bool CheckScript(const std::string& text, const std::vector<SymbolValue>& symbols,
                 std::vector<Diagnostic>& problems, std::string& usage, int codePage,
                 const std::string& srcDir, const std::vector<std::string>& enabled) {
  for (const SymbolValue& symbol : symbols)
    if (!BuiltInNamed(symbol.first)) {
      usage = symbol.first + " is not a built-in symbol: --symbol takes " + BuiltInNames();
      return false;
    }
  problems.clear();
  std::vector<Diagnostic> encoding;
  if (!CheckEncoding(text, codePage == 65001, encoding)) {
    problems = encoding;
    return true;
  }
  ResetWorld(codePage == 65001 ? In932(text, encoding) : text);
  World& world = TheWorld();
  for (const SymbolValue& symbol : symbols) StandInOf(world, *BuiltInNamed(symbol.first)) = symbol.second;
  // As in a process of its own, the updater's stack of lists starts empty,
  // and its run ends.
  FreeAllProcLists();
  problems = Checker(world, srcDir).Run();
  problems.erase(std::remove_if(problems.begin(), problems.end(),
                                [&](const Diagnostic& problem) {
                                  return !problem.Error && IsOffByDefault(problem.Name) &&
                                         std::find(enabled.begin(), enabled.end(),
                                                   problem.Name) == enabled.end();
                                }),
                 problems.end());
  problems.insert(problems.begin(), encoding.begin(), encoding.end());
  FreeAllProcLists();
  journal::End(false);
  return true;
}

bool FileChecksum(const std::string& path, std::string& checksum) {
  uint32_t crc = 0;
  bool read = ReadChecksum(path, crc);
  if (read) checksum = Hex(crc);
  return read;
}

const WarningKind Warnings[] = {
#define WARNING(identifier, name, told, what) {name, Told::told, what},
#include "warnings.inc"
#undef WARNING
};
const int WarningCount = sizeof Warnings / sizeof Warnings[0];

const char* NameOf(Warning warning) { return Warnings[static_cast<int>(warning)].Name; }

const WarningKind* FindWarning(const std::string& name) {
  for (const WarningKind& warning : Warnings)
    if (name == warning.Name) return &warning;
  return nullptr;
}

bool IsOffByDefault(const std::string& name) {
  const WarningKind* warning = FindWarning(name);
  return warning && warning->When == Told::Off;
}

bool FileDigest(const std::string& path, std::string& digest) { return ReadDigest(path, digest); }

VersionFound FileVersionOf(const std::string& path, FileVersion& version) {
  return ReadVersion(path, version);
}

}  // namespace check
