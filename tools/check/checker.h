// The script checker's machinery, shared by the files that make it up, a
// concern each: script_check.cpp (the run of the updater's own start-up and
// lists, and the entry), check_lists.cpp (lists, branches and what they
// name), check_values.cpp (values by their form, the run keys, DEFINE and
// the layout), check_shipped.cpp (the folder that ships) and
// check_reports.cpp (what is told, and at which line).
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "base/report.h"
#include "check_world.h"
#include "procs/proc_list.h"
#include "script_check.h"

namespace check {

using profile::Lower;

// Script text (code page 932) as the output's UTF-8. Every piece of a
// diagnostic that comes from the script passes here, once.
std::string Shown(const std::string& text);
std::string Quoted(const std::string& text);
std::string Hex(uint32_t value);
// A report's text on one line.
std::string OneLine(const std::string& text);
// What a report means, for those who do not read the updater's own texts.
const char* Meaning(unsigned id);
// "message 10": how the guide names a report.
std::string MessageName(MessageId id);
// The updater's own reading of a real file, in a world that reads files.
bool ReadChecksum(const std::string& path, uint32_t& crc);
// A real file's SHA-256 digest in lower-case hexadecimal digits.
bool ReadDigest(const std::string& path, std::string& hex);
VersionFound ReadVersion(const std::string& path, FileVersion& version);
bool WrittenAsHex(const TextString& item);
// The items of a comma list as the kinds take them, trimmed of blanks.
std::vector<std::string> ItemsOf(const std::string& value);
// Whether a FROM item names a folder's files: a wildcard in its last part.
bool IsFolderItem(const std::string& item);
// An empty path in a report comes from an empty item of a list.
bool HasEmptyItem(const std::string& value);
// The one of `candidates` nearest to `word` by a slip or two, or "".
std::string NearestOf(const std::string& word, const std::vector<std::string>& candidates);

class Checker {
 public:
  Checker(World& world, const std::string& srcDir) : world_(world), srcDir_(srcDir) {}

  std::vector<Diagnostic> Run();

 private:
  // Values that the updater takes without a word, by their form.
  void DateForm(const std::string& value, int line, const char* key);
  void NoWildcards(const std::string& value, int line, const char* key);
  void FolderPatterns(const std::string& value, int line, const char* key);
  void AttributePatterns(const std::string& value, int line, const char* key);
  void AbortNumbers(const std::string& value, int line, const char* key);
  void FlagForm(const std::string& value, int line, const char* key);
  void ShowCommands(const std::string& value, int line, const char* key);
  void FullPaths(const std::string& value, int line, const char* key);
  void ProgramPaths(const std::string& value, int line, const char* key);
  void RegistryData(const std::string& section, const ProcKind& kind, const std::string& value,
                    int line, const char* key);

  enum class ListState { Checking, Checked };
  enum class Outcome { Checked, LeadsBack };

  // An error, under the name of its kind.
  void Add(const std::string& name, int line, const std::string& text);
  // A warning, under its name (-Wname, -Wno-name), with a second place
  // that explains it.
  void Warn(Warning warning, int line, const std::string& text, int noteLine = 0,
            const std::string& note = "");
  void AddReport(const Report& report, int line, const std::string& section = "",
                 ProcList list = nullptr);
  std::string WordHint(const Report& report, const std::string& section, ProcList list) const;
  std::vector<Report> TakeReports(size_t from);

  void StartUp();
  Outcome CheckList(const TextString& list, int origin,
                    const std::vector<std::string>& standIns = {});
  void CheckUnreached();
  PROC_INFO* ParseSection(const TextString& section, int origin);
  void NoteDeletions(const PROC_INFO* record, const ProcKind& kind);
  void CheckDeletions();
  void MadeFiles(std::vector<std::string>& made,
                 std::map<std::string, std::pair<std::string, int>>* copiedFrom) const;
  void Examine(ProcList list, int32_t index);
  void CheckShortcutPaths(const std::string& section, size_t from);
  void FollowBranches(PROC_INFO* record);
  void CheckCompanionLists(const PROC_INFO* record, const ProcKind& kind);
  void CheckValueForms(const PROC_INFO* record, const ProcKind& kind);
  void WaitsForExitCodes(const std::string& section, const ProcKind& kind, int line);
  void CheckUnattendedAnswer(const PROC_INFO* record, const ProcKind& kind);
  void CheckShippedFiles();
  void UnverifiedPrograms(const PROC_INFO* record, const ProcKind& kind);
  std::vector<std::string> PathsUnderSrc(const std::string& text) const;
  bool UnderSrc(const std::string& path) const;
  std::string ShippedPath(const std::string& item) const;
  std::vector<std::string> ShippedFolderFiles(const std::string& item) const;
  void NoteGuardedCopies(const PROC_INFO* record, const ProcKind& kind);
  void CheckDowngrades();
  bool ReadValueOf(const std::string& section, const char* key, std::string& value,
                   int& line) const;
  const ProcKind* KindOf(const std::string& section) const;
  const KeyDescription* DescriptionOf(const std::string& section, const std::string& key) const;
  void CheckHexItems(const std::string& value, int line, const char* key, bool emptyAsks);

  void CheckValues();
  void CheckReferences(const TextString& value, int line);
  void CheckOnOff(const ScriptRead& read, const std::string& value, int line);
  void CheckDefines();
  void CheckLayout();

  // Where a report belongs.
  int ParseLine(const Report& report, int origin) const;
  int ExecuteLine(const Report& report, const std::string& section) const;
  int SectionLine(const std::string& section, int fallback) const;
  int ValueLine(const std::string& section, const std::string& value) const;
  int KeyLine(const std::string& section, const char* key) const;

  // Expands the values of the reads from `from` on, as the updater holds
  // them, and files the reads by section.
  void NoteReads(size_t from);
  const std::vector<size_t>& ReadsOf(const std::string& section) const;

  World& world_;
  std::string srcDir_;  // the folder that ships, "" for none
  std::vector<Diagnostic> problems_;
  std::map<std::string, ListState> lists_;
  std::map<size_t, std::string> expanded_;                    // by read
  std::set<std::string> unfinished_;  // lower-cased sections a missing key stopped
  std::set<std::string> reached_;     // lower-cased sections the run's own lists reach
  bool unreached_ = false;            // checking a section that no list reaches
  bool keyTaken_ = false;             // a near key was just taken for a missing one
  // Lower-cased files that the EXIST tests deciding the lists being checked
  // have found, innermost last.
  std::vector<std::string> found_;
  struct Deletion {
    std::string File;
    int Line;
    const char* Key;
    bool Guarded;
  };
  std::vector<Deletion> deletions_;
  // The VERSION tests whose list 1 (the file is older) is being checked,
  // innermost last, and the copies those lists make of the files tested.
  struct VersionGuard {
    std::vector<std::string> Files;  // lower-cased
    std::string Version;
    const char* Key;
    int Line;
  };
  std::vector<VersionGuard> versionGuards_;
  struct GuardedCopy {
    VersionGuard Guard;
    std::string Source, Target;
    int Line;
  };
  std::vector<GuardedCopy> guardedCopies_;
  std::map<std::string, std::vector<size_t>> sectionReads_;  // lower-cased section
};

}  // namespace check
