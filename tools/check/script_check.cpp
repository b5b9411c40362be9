#include "script_check.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <tuple>

#include "script/script_file.h"
#include "app/run_record.h"
#include "app/updater.h"
#include "base/report.h"
#include "check_world.h"
#include "procs/comma_lists.h"
#include "procs/crc.h"
#include "procs/journal.h"
#include "procs/proc_list.h"
#include "procs/msgbox.h"
#include "procs/switch.h"
#include "symbols/expansion.h"
#include "symbols/symbol_table.h"
#include "os/console_text.h"

namespace check {
namespace {

using profile::Lower;

// Script text (code page 932) as the output's UTF-8. Every piece of a
// diagnostic that comes from the script passes here, once.
std::string Shown(const std::string& text) { return console::Utf8From932(text); }
std::string Quoted(const std::string& text) { return "\"" + Shown(text) + "\""; }

std::string Hex(uint32_t value) {
  char text[16];
  snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
  return text;
}

// A report's text on one line.
std::string OneLine(const std::string& text) {
  std::string line;
  for (char c : text) {
    if (c != '\n') line += c;
    else if (!line.empty() && line.back() != ' ') line += ' ';
  }
  return line;
}

// What each report the checker can meet means, for those who do not read
// the updater's own messages.
const char* Meaning(unsigned id) {
  const char* meaning = "";
  switch (id) {
#define REPORT(id, name, arguments, reason, text_meaning, text) \
  case id:                                                     \
    meaning = text_meaning;                                    \
    break;
#define TEXT(id, name, text)
#include "res/messages.inc"
#undef REPORT
#undef TEXT
  }
  return *meaning ? meaning : "the updater reports";
}

// "message 10": how the guide names a report.
std::string MessageName(MessageId id) { return "message " + std::to_string(id); }

bool WrittenAsHex(const TextString& item) {
  const char* text = item.Text();
  if (text[0] != '0' || text[1] != 'x' || !text[2]) return false;
  for (const char* c = text + 2; *c; ++c)
    if (!isxdigit(static_cast<unsigned char>(*c))) return false;
  return true;
}

// The items of a comma list as the kinds take them, trimmed of blanks.
std::vector<std::string> ItemsOf(const std::string& value) {
  TextString list(value.c_str());
  std::vector<std::string> items;
  for (int32_t i = 0; i < list.ItemCount(","); ++i) items.push_back(ListItem(list, i).Text());
  return items;
}

// An empty path in a report comes from an empty item of a list.
bool HasEmptyItem(const std::string& value) {
  for (const std::string& item : ItemsOf(value))
    if (item.empty()) return true;
  return false;
}

class Checker {
 public:
  Checker(World& world, const std::string& srcDir) : world_(world), srcDir_(srcDir) {}

  std::vector<Diagnostic> Run();

 private:
  // Values that the updater takes without a word, by their form.
  void DateForm(const std::string& value, int line, const char* key);
  void NoWildcards(const std::string& value, int line, const char* key);
  void AttributePatterns(const std::string& value, int line, const char* key);
  void AbortNumbers(const std::string& value, int line, const char* key);
  void FlagForm(const std::string& value, int line, const char* key);
  void ShowCommands(const std::string& value, int line, const char* key);
  void FullPaths(const std::string& value, int line, const char* key);
  void ProgramPaths(const std::string& value, int line, const char* key);

  enum class ListState { Checking, Checked };
  enum class Outcome { Checked, LeadsBack };

  // An error, under the name of its kind.
  void Add(const std::string& name, int line, const std::string& text);
  // A warning, under its name (-Wname, -Wno-name), with a second place
  // that explains it.
  void Warn(const char* name, int line, const std::string& text, int noteLine = 0,
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
  void CheckUnattendedAnswer(const PROC_INFO* record, const ProcKind& kind);
  void CheckShippedFiles();
  bool UnderSrc(const std::string& path) const;
  std::string ShippedPath(const std::string& item) const;
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

void Checker::Add(const std::string& name, int line, const std::string& text) {
  problems_.push_back(Diagnostic{line, true, text, name, {}});
}

void Checker::Warn(const char* name, int line, const std::string& text, int noteLine,
                   const std::string& note) {
  problems_.push_back(Diagnostic{line, false, text, name, {}});
  if (noteLine) problems_.back().Notes.emplace_back(noteLine, note);
}

// The number of single-byte edits that turn `a` into `b`, ASCII case aside;
// two neighbours swapped count as one edit ("FORM" for "FROM").
size_t EditDistance(const std::string& a, const std::string& b) {
  auto same = [&](size_t i, size_t j) {
    return tolower(static_cast<unsigned char>(a[i])) == tolower(static_cast<unsigned char>(b[j]));
  };
  std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
  for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (size_t i = 1; i <= a.size(); ++i)
    for (size_t j = 1; j <= b.size(); ++j) {
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1,
                          d[i - 1][j - 1] + (same(i - 1, j - 1) ? 0 : 1)});
      if (i > 1 && j > 1 && same(i - 1, j - 2) && same(i - 2, j - 1))
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  return d[a.size()][b.size()];
}

// The candidate nearest `word`, where it is near enough to be a slip of it
// (at most two edits, and fewer than half its letters); "" otherwise.
std::string NearestOf(const std::string& word, const std::vector<std::string>& candidates) {
  std::string best;
  size_t bestDistance = 3;
  for (const std::string& candidate : candidates) {
    size_t distance = EditDistance(word, candidate);
    if (distance > 0 && distance < bestDistance && distance * 2 < std::max<size_t>(word.size(), 2)) {
      best = candidate;
      bestDistance = distance;
    }
  }
  return best;
}

// Message 6 has one text for several mistakes: which key held the word,
// and what it may be, says which.
std::string Checker::WordHint(const Report& report, const std::string& section,
                              ProcList list) const {
  if (report.Id != MsgBadSymbol || report.Arguments.empty() || section.empty()) return "";
  const std::string& word = report.Arguments[0];
  std::vector<std::string> allowed;
  std::string key;
  for (size_t read : ReadsOf(section))
    if (key.empty() && expanded_.at(read) == word) key = world_.Reads[read].Key;
  const KeyDescription* about = DescriptionOf(section, key);
  if (profile::SameName(key, "MODE")) {
    for (int i = 0; i < ProcKindCount; ++i) allowed.push_back(ProcKinds[i]->Word);
  } else if (about && about->Form == ValueForm::Version) {
    return "; the " + key + " value " + Quoted(word) +
           " is not a version: write one to four numbers of 0 to 65535 separated by \".\" "
           "(2, 2.1, 2.1.0.15)";
  } else if (about && about->Form == ValueForm::Word) {
    for (int i = 0; i < about->Words.Count(); ++i) allowed.push_back(about->Words[i]);
  } else if (about && (about->Form == ValueForm::Condition || about->Form == ValueForm::ProcName)) {
    std::string names;
    for (PROC_INFO** slot = list; slot && *slot; ++slot)
      names += (names.empty() ? "" : ", ") + std::string((*slot)->Name.Text());
    std::string name = TextString(word.c_str()).Item(0, ",").Text();
    std::vector<std::string> candidates;
    for (PROC_INFO** slot = list; slot && *slot; ++slot) candidates.push_back((*slot)->Name.Text());
    std::string near = NearestOf(name, candidates);
    return "; " + key + " names " + Quoted(name) + ", which is no procedure of this list (" +
           Shown(names) + ")" + (near.empty() ? "" : ": did you mean " + Quoted(near) + "?");
  } else {
    return "";
  }
  std::string words;
  for (const std::string& each : allowed) words += (words.empty() ? "" : ", ") + each;
  std::string near = NearestOf(word, allowed);
  return "; the " + key + " word " + Quoted(word) + " is none of " + words +
         (near.empty() ? "" : ": did you mean " + near + "?");
}

void Checker::AddReport(const Report& report, int line, const std::string& section,
                        ProcList list) {
  std::vector<std::pair<int, std::string>> notes;
  std::string hint = WordHint(report, section, list);
  // A section whose MODE is unknown was never read to its end.
  if (report.Id == MsgBadSymbol && !list && !section.empty()) unfinished_.insert(Lower(section));
  if (!hint.empty()) {
    // The precise text first, the updater's own message after it.
    Add("message-" + std::to_string(report.Id), line,
        hint.substr(2) + " (" + MessageName(static_cast<MessageId>(report.Id)) + ": " + OneLine(report.Text) +
            ")");
    return;
  }
  // A program named without its folder: the updater has no folder to start
  // it in, and never searches the path for it.
  if (report.Id == MsgLaunchFailed && !report.Arguments.empty()) {
    std::string file = report.Arguments[0];
    if (file.size() >= 2 && file.front() == '"' && file.back() == '"')
      file = file.substr(1, file.size() - 2);
    if (!file.empty() && file.find('\\') == std::string::npos)
      hint = "; " + Quoted(file) +
             " has no folder: a program is started only from its own folder, never found on "
             "the search path; write it in full, such as <Sys>\\" + Shown(file);
  }
  // A missing key or section is often one written a little differently.
  if (report.Id == MsgBadScriptFormat && report.Arguments.size() == 2) {
    const std::string& section = report.Arguments[0];
    unfinished_.insert(Lower(section));
    const std::string& key = report.Arguments[1];
    std::vector<std::string> names;
    if (world_.Script.HasSection(section.c_str())) {
      std::map<std::string, int> lines;
      for (const profile::Entry* entry : world_.Script.SectionEntries(section.c_str())) {
        names.push_back(entry->Key);
        lines[entry->Key] = entry->Line;
      }
      std::string near = NearestOf(key, names);
      if (!near.empty()) {
        hint = "; did you mean " + key + " where " + Shown(near) + " is written?";
        line = lines[near];
        // Checked on as meant, as a compiler goes on after an error.
        if (world_.TakenAs.emplace(Lower(section) + "\n" + Lower(key), near).second) {
          notes.emplace_back(line, Shown(near) + " is taken as " + key +
                                       " for the rest of the check");
          keyTaken_ = true;
        }
      }
    } else {
      for (const profile::Section& candidate : world_.Script.Sections())
        names.push_back(candidate.Name);
      std::string near = NearestOf(section, names);
      if (!near.empty())
        hint = "; no section [" + Shown(section) + "]: did you mean [" + Shown(near) + "]?";
      // A list built from a symbol: the name was written in DEFINE.
      for (const profile::Entry* entry : world_.Script.SectionEntries("DEFINE"))
        if (entry->HasValue && Lower(entry->Value).find(Lower(section)) != std::string::npos)
          notes.emplace_back(entry->Line, "the name " + Quoted(section) + " comes from " +
                                              Shown(entry->Key) + ", defined here");
    }
  }
  Add("message-" + std::to_string(report.Id), line,
      std::string(Meaning(report.Id)) + " (" + MessageName(static_cast<MessageId>(report.Id)) + ": " +
          OneLine(report.Text) + ")" + hint);
  problems_.back().Notes = notes;
}

std::vector<Report> Checker::TakeReports(size_t from) {
  std::vector<Report> taken(world_.Reports.begin() + static_cast<std::ptrdiff_t>(from),
                            world_.Reports.end());
  world_.Reports.resize(from);
  return taken;
}

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

// Builds the list section by section, so that every section's problems are
// told, not only the first; a section that cannot be built stands in the
// list as a bare record, so that its name can still be looked up, and so do
// `standIns` after the list's own.
Checker::Outcome Checker::CheckList(const TextString& list, int origin,
                                    const std::vector<std::string>& standIns) {
  std::string key = list.Text();
  auto state = lists_.find(key);
  if (state != lists_.end())
    return state->second == ListState::Checking ? Outcome::LeadsBack : Outcome::Checked;
  lists_[key] = ListState::Checking;

  int32_t count = list.ItemCount(",");
  size_t slots = static_cast<size_t>(count) + standIns.size();
  ProcList procs = static_cast<ProcList>(calloc(slots + 1, sizeof(PROC_INFO*)));
  if (!procs) return Outcome::Checked;
  for (size_t i = 0; i < slots; ++i) {
    PROC_INFO* record = nullptr;
    TextString section = i < static_cast<size_t>(count)
                             ? ListItem(list, static_cast<int32_t>(i))
                             : TextString(standIns[i - count].c_str());
    if (i < static_cast<size_t>(count)) record = ParseSection(section, origin);
    if (!record) {
      record = new PROC_INFO;
      record->Name.Assign(section);
    }
    procs[i] = record;
  }
  PushProcList(procs);
  for (int32_t i = 0; i < count; ++i) Examine(procs, i);
  FreeProcList(procs);
  lists_[key] = ListState::Checked;
  return Outcome::Checked;
}

// Makes the record of `section` as the updater does. Where a required key
// is missing and a near one is written, that one is taken in its place and
// the section made again, so that the rest of it is checked too.
PROC_INFO* Checker::ParseSection(const TextString& section, int origin) {
  const int mostTaken = 8;
  for (int attempt = 0;; ++attempt) {
    keyTaken_ = false;
    size_t reads = world_.Reads.size();
    size_t reports = world_.Reports.size();
    PROC_INFO* record = ParseProc(section.Text());
    NoteReads(reads);
    for (const Report& report : TakeReports(reports))
      AddReport(report, ParseLine(report, origin), section.Text());
    if (record) unfinished_.erase(Lower(section.Text()));
    if (record || !keyTaken_ || attempt == mostTaken) return record;
  }
}

// A section that no list reaches is checked as if a list named it, with
// every other section of the script beside it, so that its conditions and
// branches find what they name. The order of a list that does not exist
// cannot be judged.
void Checker::CheckUnreached() {
  std::vector<std::string> names;
  for (const profile::Section& section : world_.Script.Sections()) names.push_back(section.Name);
  for (const profile::Section& section : world_.Script.Sections()) {
    std::string name = Lower(section.Name);
    bool read = false;
    for (const ScriptRead& each : world_.Reads) read = read || Lower(each.Section) == name;
    if (read || !world_.Script.FindKey(section.Name.c_str(), "MODE")) continue;
    std::vector<std::string> others;
    for (const std::string& other : names)
      if (Lower(other) != name) others.push_back(other);
    unreached_ = true;
    CheckList(TextString(section.Name.c_str()), section.Line, others);
    FreeAllProcLists();
    unreached_ = false;
  }
}

// Runs the procedure's own Execute (a SWITCH only as far as its lookup)
// against a view of its list in which every Result is true, then one in
// which every Result is false, so that a condition never hides what stands
// behind it; then once more with only the procedures before it in view. A
// name that only the full list resolves names a procedure that has not run
// yet when this one runs. The views are stand-ins of the list's procedures,
// pushed as the live list for the lookups: no record of the run changes.
void Checker::Examine(ProcList list, int32_t index) {
  PROC_INFO* record = list[index];
  const ProcKind* kind = KindOfMode(record->Mode);
  if (!kind || !kind->Execute) return;  // a section that could not be built
  bool decides = (kind->Effects & kind_effect::Branches) != 0;
  int32_t count = 0;
  while (list[count]) ++count;
  auto step = [&](int32_t inView, bool result) {
    ProcList view = static_cast<ProcList>(calloc(static_cast<size_t>(count) + 1, sizeof(PROC_INFO*)));
    if (!view) return;
    for (int32_t i = 0; i < inView; ++i) {
      view[i] = new PROC_INFO;
      view[i]->Name.Assign(list[i]->Name);
      view[i]->Mode.Assign(list[i]->Mode);
      view[i]->Result = result;
    }
    PushProcList(view);
    if (decides) SwitchDecider(record);
    else kind->Execute(record);
    FreeProcList(view);
  };
  size_t reports = world_.Reports.size();
  size_t links = world_.LinkPaths.size();
  step(count, true);
  step(count, false);
  std::vector<Report> full = TakeReports(reports);
  step(index, false);
  std::vector<Report> early = TakeReports(reports);

  std::string section = record->Name.Text();
  for (const Report& report : full) AddReport(report, ExecuteLine(report, section), section, list);
  for (const Report& report : early) {
    if (unreached_) break;
    bool alsoInFull = false;
    for (const Report& other : full)
      alsoInFull = alsoInFull || (other.Id == report.Id && other.Arguments == report.Arguments);
    if (alsoInFull || report.Id != MsgBadSymbol || report.Arguments.empty()) continue;
    Warn("order", ExecuteLine(report, section),
        Quoted(report.Arguments[0]) +
            " names no procedure that runs before this one in its list: the one it names "
            "stands after it (or is itself), so its Result is always false here");
  }
  CheckShortcutPaths(section, links);

  if (decides) {
    FollowBranches(record);
  } else {
    CheckCompanionLists(record, *kind);
    CheckValueForms(record, *kind);
    NoteDeletions(record, *kind);
    NoteGuardedCopies(record, *kind);
    CheckUnattendedAnswer(record, *kind);
  }
}

// Shortcuts the procedure would have saved from `from` on.
void Checker::CheckShortcutPaths(const std::string& section, size_t from) {
  for (size_t i = from; i < world_.LinkPaths.size(); ++i) {
    const std::string& path = world_.LinkPaths[i];
    std::string stem = path.substr(0, path.rfind('.'));  // less the extension the kind adds
    if (stem.size() < 4 || Lower(stem.substr(stem.size() - 4)) != ".lnk") continue;
    int line = SectionLine(section, 1);
    for (size_t read : ReadsOf(section))
      if (expanded_[read].find(stem) != std::string::npos) {
        line = world_.Reads[read].Entry->Line;
        break;
      }
    Warn("link-extension", line,
        "the shortcut is saved as " + Quoted(path) +
            ": \".LNK\" is always added, so leave it out of the path");
  }
  world_.LinkPaths.resize(from);
}

void Checker::FollowBranches(PROC_INFO* record) {
  std::string section = record->Name.Text();
  // The files a test found when its Result is true: a guard for list 1.
  std::vector<std::string> found;
  world_.Quiet = true;
  const PROC_INFO* decider = SwitchDecider(record);
  world_.Quiet = false;
  const ProcKind* test = decider ? KindOfMode(decider->Mode) : nullptr;
  // A version test's list 1 runs when one of its files is older.
  std::vector<std::string> tested;
  std::vector<VersionGuard> versionGuard;
  for (int k = 0; test && k < test->Keys.Count(); ++k) {
    std::string value;
    int line = 0;
    if (!ReadValueOf(decider->Name.Text(), test->Keys[k].Key, value, line)) continue;
    if (test->Keys[k].Form == ValueForm::Version)
      versionGuard.push_back(VersionGuard{{}, value, test->Keys[k].Key, line});
    if (test->Keys[k].Role == KeyRole::Leading)
      for (const std::string& item : ItemsOf(value)) tested.push_back(Lower(item));
  }
  if (test && (test->Effects & kind_effect::FindsFiles)) found = tested;
  for (VersionGuard& guard : versionGuard) guard.Files = tested;
  for (bool result : {true, false}) {
    const TextString& branch = SwitchBranch(record, result);
    if (branch.ItemCount(",") == 0) continue;
    int origin = ValueLine(section, branch.Text());
    size_t guards = found_.size();
    size_t versionGuards = versionGuards_.size();
    if (result) {
      found_.insert(found_.end(), found.begin(), found.end());
      versionGuards_.insert(versionGuards_.end(), versionGuard.begin(), versionGuard.end());
    }
    Outcome outcome = CheckList(branch, origin);
    found_.resize(guards);
    versionGuards_.resize(versionGuards);
    if (outcome == Outcome::LeadsBack)
      Add("endless-switch", origin,
          "SWITCH " + Quoted(section) + " leads back into the list " + Quoted(branch.Text()) +
              ", which is still running: the lists would nest without end, until the "
              "updater stops the run");
  }
}

// A file that a procedure deletes must be there, or the run stops half
// done; the deletion is kept to be judged once every file the script makes
// is known.
void Checker::NoteDeletions(const PROC_INFO* record, const ProcKind& kind) {
  for (int k = 0; k < kind.Keys.Count(); ++k) {
    const KeyDescription& key = kind.Keys[k];
    std::string value;
    int line = 0;
    if (key.Use != PathUse::Removes || !ReadValueOf(record->Name.Text(), key.Key, value, line))
      continue;
    for (const std::string& item : ItemsOf(value)) {
      bool guarded = std::find(found_.begin(), found_.end(), Lower(item)) != found_.end();
      deletions_.push_back(Deletion{item, line, key.Key, guarded});
    }
  }
}

void Checker::CheckDeletions() {
  std::vector<std::string> made;
  MadeFiles(made, nullptr);
  for (const Deletion& deletion : deletions_) {
    // A wildcard is an error of its own.
    if (deletion.Guarded || deletion.File.empty() ||
        deletion.File.find_first_of("*?") != std::string::npos ||
        std::find(made.begin(), made.end(), Lower(deletion.File)) != made.end())
      continue;
    Warn("unguarded-delete", deletion.Line,
        std::string(deletion.Key) + " item " + Quoted(deletion.File) +
            " is a file the script neither makes nor finds first: on a PC without it the "
            "deletion fails (" + MessageName(MsgDeleteFailed) +
            ") and the run stops half done; delete it in the list 1 "
            "of a SWITCH whose PROC is an EXIST of that file");
  }
}

// A list key longer than the kind's leading list has items that are never
// used. The kind's description names its leading list.
void Checker::CheckCompanionLists(const PROC_INFO* record, const ProcKind& kind) {
  std::string leading;
  for (int k = 0; k < kind.Keys.Count(); ++k)
    if (kind.Keys[k].Role == KeyRole::Leading) leading = kind.Keys[k].Key;
  if (leading.empty()) return;

  std::string section = record->Name.Text();
  int32_t count = 0;
  for (size_t read : ReadsOf(section))
    if (profile::SameName(world_.Reads[read].Key, leading.c_str()))
      count = TextString(expanded_[read].c_str()).ItemCount(",");
  if (count == 0) return;
  for (size_t read : ReadsOf(section)) {
    const std::string& key = world_.Reads[read].Key;
    int32_t items = TextString(expanded_[read].c_str()).ItemCount(",");
    if (items > count && !profile::SameName(key, leading.c_str()))
      Warn("unused-items", world_.Reads[read].Entry->Line,
          Shown(key) + " has " + std::to_string(items) + " items but " + leading + " only " +
              std::to_string(count) + ": the items after item " + std::to_string(count) +
              " are never used");
  }
}

// Values that the updater takes without a word, but that are almost always
// a slip, by the form the kind gives each key.
void Checker::CheckValueForms(const PROC_INFO* record, const ProcKind& kind) {
  std::string section = record->Name.Text();
  for (int i = 0; i < kind.Keys.Count(); ++i) {
    const KeyDescription& key = kind.Keys[i];
    std::string value;
    int line = 0;
    if (!ReadValueOf(section, key.Key, value, line)) continue;
    switch (key.Form) {
      case ValueForm::Files:
        NoWildcards(value, line, key.Key);
        FullPaths(value, line, key.Key);
        break;
      case ValueForm::Patterns:
        AttributePatterns(value, line, key.Key);
        FullPaths(value, line, key.Key);
        break;
      case ValueForm::Paths:
        FullPaths(value, line, key.Key);
        break;
      case ValueForm::Programs:
        ProgramPaths(value, line, key.Key);
        break;
      case ValueForm::HexNumbers:
        CheckHexItems(value, line, key.Key, false);
        break;
      case ValueForm::Checksums:  // an empty item asks for a box that shows the checksum
        CheckHexItems(value, line, key.Key, true);
        break;
      case ValueForm::Date:
        DateForm(value, line, key.Key);
        break;
      case ValueForm::WindowStates:
        ShowCommands(value, line, key.Key);
        break;
      case ValueForm::AbortNumbers:
        AbortNumbers(value, line, key.Key);
        break;
      case ValueForm::Condition:
        FlagForm(value, line, key.Key);
        break;
      case ValueForm::Version:  // a malformed one is the kind's own report
      case ValueForm::Text:
      case ValueForm::ProcName:
      case ValueForm::ProcList:
      case ValueForm::Word:
        break;  // told by the kind's own reports, if at all
    }
  }
}

// The expanded value of `key` in `section`, and its line; false when the
// updater did not read it.
bool Checker::ReadValueOf(const std::string& section, const char* key, std::string& value,
                          int& line) const {
  for (size_t read : ReadsOf(section))
    if (profile::SameName(world_.Reads[read].Key, key)) {
      value = expanded_.at(read);
      line = world_.Reads[read].Entry->Line;
      return true;
    }
  return false;
}

// The files and folders the script makes (lower-cased), and for each file a
// copy makes, the copy's source and line.
void Checker::MadeFiles(std::vector<std::string>& made,
                        std::map<std::string, std::pair<std::string, int>>* copiedFrom) const {
  for (const auto& section : sectionReads_) {
    const ProcKind* kind = KindOf(section.first);
    std::vector<std::string> sources;
    for (int k = 0; kind && k < kind->Keys.Count(); ++k) {
      const KeyDescription& key = kind->Keys[k];
      std::string value;
      int line = 0;
      if (!ReadValueOf(section.first, key.Key, value, line)) continue;
      if (key.Role == KeyRole::Leading && key.Use == PathUse::Reads) sources = ItemsOf(value);
      if (key.Use != PathUse::Writes && key.Use != PathUse::MakesFolders) continue;
      const std::vector<std::string> items = ItemsOf(value);
      for (size_t i = 0; i < items.size(); ++i) {
        made.push_back(Lower(items[i]));
        if (copiedFrom && key.Role == KeyRole::Companion && i < sources.size())
          copiedFrom->emplace(Lower(items[i]), std::make_pair(sources[i], line));
      }
    }
  }
}

// The kind of `section` by the MODE the updater read, or null.
const ProcKind* Checker::KindOf(const std::string& section) const {
  std::string mode;
  int line = 0;
  if (!ReadValueOf(section, "MODE", mode, line)) return nullptr;
  return KindOfMode(TextString(mode.c_str()));
}

const KeyDescription* Checker::DescriptionOf(const std::string& section,
                                             const std::string& key) const {
  const ProcKind* kind = KindOf(section);
  for (int i = 0; kind && i < kind->Keys.Count(); ++i)
    if (profile::SameName(key, kind->Keys[i].Key)) return &kind->Keys[i];
  return nullptr;
}

// Files under <Src> that a procedure reads or starts must ship in the folder
// given with --src, and a checksum must be that of the file there. Files the
// script makes itself (what it writes, and what lies in the folders it
// makes) do not ship; a checksum of a file the script copies from <Src> is
// that of the copy's source.
void Checker::CheckShippedFiles() {
  if (srcDir_.empty()) return;
  std::vector<std::string> made;  // lower-cased files and folders the script makes
  std::map<std::string, std::pair<std::string, int>> copiedFrom;  // source and line, by target
  MadeFiles(made, &copiedFrom);
  auto isMade = [&](const std::string& path) {
    for (const std::string& item : made)
      if (Lower(path) == item || Lower(path).compare(0, item.size() + 1, item + "\\") == 0)
        return true;
    return false;
  };
  for (const auto& section : sectionReads_) {
    const ProcKind* kind = KindOf(section.first);
    if (!kind) continue;
    std::string checksums;
    const char* checksumKey = "";
    int crcLine = 0;
    for (int k = 0; k < kind->Keys.Count(); ++k)
      if (kind->Keys[k].Form == ValueForm::Checksums &&
          ReadValueOf(section.first, kind->Keys[k].Key, checksums, crcLine))
        checksumKey = kind->Keys[k].Key;
    const std::vector<std::string> values = ItemsOf(checksums);
    for (int k = 0; k < kind->Keys.Count(); ++k) {
      const KeyDescription& key = kind->Keys[k];
      std::string files;
      int line = 0;
      if ((key.Use != PathUse::Reads && key.Use != PathUse::Starts) ||
          !ReadValueOf(section.first, key.Key, files, line))
        continue;
      const std::vector<std::string> items = ItemsOf(files);
      for (size_t i = 0; i < items.size(); ++i) {
        std::string item = items[i];
        const std::pair<std::string, int>* copy = nullptr;
        auto copied = copiedFrom.find(Lower(item));
        if (copied != copiedFrom.end() && UnderSrc(copied->second.first)) {
          copy = &copied->second;
          item = copy->first;
        } else if (!UnderSrc(item) || isMade(item)) {
          continue;
        }
        std::string shipped = ShippedPath(item);
        // The file is read as the crc command reads it, within this check.
        uint32_t crc = 0;
        bool read = (ReadingFiles(world_), GetFileData(shipped.c_str(), crc));
        if (!read) {
          // A copy's missing source is told at the copy.
          if (!copy)
            Add("missing-file", line,
                std::string(key.Key) + " item " + Quoted(item) +
                    " is not in the folder that ships: " + console::Utf8FromNative(shipped) +
                    " is missing (or empty)");
          continue;
        }
        std::string expected = i < values.size() ? values[i] : "";
        if (expected.empty() || TextString(expected.c_str()).ToHex() == crc) continue;
        Add("stale-checksum", crcLine,
            std::string(checksumKey) + " item " + Quoted(expected) + " is not the checksum of " +
                console::Utf8FromNative(shipped) + ", " + Hex(crc) +
                (copy ? ", which the script copies to " + Quoted(items[i]) : std::string()) +
                ": the test fails for the file that ships");
        if (copy)
          problems_.back().Notes.emplace_back(
              copy->second, "the copy of " + Quoted(copy->first) + " to " + Quoted(items[i]));
      }
    }
  }
}

// True when `path` lies under <Src>, the folder beside the program.
bool Checker::UnderSrc(const std::string& path) const {
  const std::string src = Lower(world_.ModuleDirectory + "\\");
  return Lower(path).compare(0, src.size(), src) == 0;
}

// The file in the folder that ships for `item`, a path under <Src>: the
// name as the checking system has it. Separators are turned while the text
// is UTF-8, where a 0x5C byte is always one.
std::string Checker::ShippedPath(const std::string& item) const {
  std::string rest = Shown(item.substr(world_.ModuleDirectory.size() + 1));
  std::replace(rest.begin(), rest.end(), '\\', '/');
  return srcDir_ + "/" + console::NativeFromUtf8(rest);
}

// A copy, in a version test's list 1, of a file that test reads.
void Checker::NoteGuardedCopies(const PROC_INFO* record, const ProcKind& kind) {
  if (versionGuards_.empty()) return;
  std::vector<std::string> sources, targets;
  int line = 0;
  for (int k = 0; k < kind.Keys.Count(); ++k) {
    const KeyDescription& key = kind.Keys[k];
    std::string value;
    int keyLine = 0;
    if (!ReadValueOf(record->Name.Text(), key.Key, value, keyLine)) continue;
    if (key.Role == KeyRole::Leading && key.Use == PathUse::Reads) sources = ItemsOf(value);
    if (key.Role == KeyRole::Companion && key.Use == PathUse::Writes) {
      targets = ItemsOf(value);
      line = keyLine;
    }
  }
  for (size_t i = 0; i < targets.size() && i < sources.size(); ++i)
    for (const VersionGuard& guard : versionGuards_)
      if (std::find(guard.Files.begin(), guard.Files.end(), Lower(targets[i])) !=
          guard.Files.end())
        guardedCopies_.push_back(GuardedCopy{guard, sources[i], targets[i], line});
}

// A version-guarded copy from <Src> must not install a program older than
// the version the test asks for: the update would go back a version, and
// the test would find the file older at every run after it.
void Checker::CheckDowngrades() {
  if (srcDir_.empty()) return;
  for (const GuardedCopy& copy : guardedCopies_) {
    FileVersion wanted = 0;
    if (!UnderSrc(copy.Source) ||
        !ParseVersionText(copy.Guard.Version.c_str(), wanted))
      continue;
    std::string shipped = ShippedPath(copy.Source);
    FileVersion version = 0;
    VersionFound found = (ReadingFiles(world_), ReadFileVersion(shipped.c_str(), version));
    // A missing source is told at the copy.
    if (found == VersionFound::NotOpened || (found == VersionFound::Found && version >= wanted))
      continue;
    const std::string& value = copy.Guard.Version;
    std::string from = console::Utf8FromNative(shipped);
    if (found == VersionFound::Found)
      Add("downgrade", copy.Guard.Line,
          std::string(copy.Guard.Key) + " " + Quoted(value) +
              " is newer than the program that ships: " + from + " is version " +
              VersionText(version).Text() + ", and the update copies it over " +
              Quoted(copy.Target) + " when that file is older than " + Quoted(value) +
              ": it may put an older program in place of the one it replaces, and the test "
              "finds the file older again at every run");
    else
      Add("downgrade", copy.Guard.Line,
          std::string(copy.Guard.Key) + " " + Quoted(value) + " tests " + Quoted(copy.Target) +
              ", which the update copies from " + from +
              ", a file without version information: the test finds it older at every run, "
              "and the update runs again each time");
    problems_.back().Notes.emplace_back(
        copy.Line, "the copy of " + Quoted(copy.Source) + " to " + Quoted(copy.Target));
  }
}

// An unattended script's yes/no box takes its answer key, else its default
// button: an author should say which.
void Checker::CheckUnattendedAnswer(const PROC_INFO* record, const ProcKind& kind) {
  if (!TheRun.Unattended() || !(kind.Effects & kind_effect::ShowsBox)) return;
  std::string section = record->Name.Text();
  const KeyDescription* answer = nullptr;
  const KeyDescription* type = nullptr;
  for (int i = 0; i < kind.Keys.Count(); ++i) {
    const KeyDescription& key = kind.Keys[i];
    if (key.Form != ValueForm::Word) continue;
    (key.Role == KeyRole::Optional ? answer : type) = &key;
  }
  std::string value;
  int line = 0;
  if (!answer || !type || world_.Script.FindKey(section.c_str(), answer->Key) ||
      !ReadValueOf(section, type->Key, value, line))
    return;
  const char* taken = UnattendedDefaultAnswer(TextString(value.c_str()));
  if (taken)
    Warn("unattended-answer", line,
        "the script runs unattended, so this " + Shown(value) + " box is answered " + taken +
            ", its default button: write " + answer->Key + "=" + answer->Words[0] + " or " +
            answer->Key + "=" + answer->Words[1] + " to say which");
}

void Checker::CheckHexItems(const std::string& value, int line, const char* key, bool emptyAsks) {
  for (const std::string& each : ItemsOf(value)) {
    TextString item(each.c_str());
    if (item.Length() == 0 && emptyAsks) continue;
    if (item.Length() > 0 && WrittenAsHex(item)) continue;
    Warn("hex-value", line,
        std::string(key) + " item " + Quoted(item.Text()) +
            " is not written as \"0x\" and hexadecimal digits: it reads as " + Hex(item.ToHex()));
  }
}

// True when `text` is digits only (and not empty).
bool AllDigits(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(),
                                      [](char c) { return c >= '0' && c <= '9'; });
}

void Checker::DateForm(const std::string& value, int line, const char* key) {
  TextString date(value.c_str());
  bool parts = date.ItemCount("/") == 3;
  for (int32_t i = 0; parts && i < 3; ++i) parts = AllDigits(date.Item(i, "/").Text());
  if (!parts) {
    Warn("date", line,
        std::string(key) + " " + Quoted(value) + " is not year/month/day in digits: it reads as " +
            std::to_string(date.Item(0, "/").ToInt()) + "/" +
            std::to_string(date.Item(1, "/").ToInt()) + "/" +
            std::to_string(date.Item(2, "/").ToInt()));
    return;
  }
  int32_t year = date.Item(0, "/").ToInt();
  int32_t month = date.Item(1, "/").ToInt();
  int32_t day = date.Item(2, "/").ToInt();
  if (year < 1000)
    Warn("date", line,
        std::string(key) + " " + Quoted(value) + " reads as the year " + std::to_string(year) +
            ": no file is older than that, so the test never finds an old file "
            "(write the year with four digits)");
  else if (month < 1 || month > 12 || day < 1 || day > 31)
    Warn("date", line,
        std::string(key) + " " + Quoted(value) + " is no date: month 1 to 12, day 1 to 31");
}

// DELETE takes no wildcards: the system is asked for a file of that name.
void Checker::NoWildcards(const std::string& value, int line, const char* key) {
  for (const std::string& item : ItemsOf(value)) {
    if (item.find_first_of("*?") != std::string::npos)
      Add("delete-wildcard", line,
          std::string(key) + " item " + Quoted(item) +
              " holds a wildcard: DELETE takes none, so this deletion always fails (" +
              MessageName(MsgDeleteFailed) + "); name each file");
  }
}

// ATTR takes one pattern, "*.*" as the last part; any other wildcard goes to
// the system as a name and fails.
void Checker::AttributePatterns(const std::string& value, int line, const char* key) {
  for (const std::string& item : ItemsOf(value)) {
    if (item.find_first_of("*?") != std::string::npos &&
        !TextString(item.c_str()).Item(-1, "\\").Equals("*.*"))
      Add("attr-wildcard", line,
          std::string(key) + " item " + Quoted(item) +
              " holds a wildcard other than a last part of exactly \"*.*\": the attribute "
              "change always fails (" + MessageName(MsgAttributesFailed) + ")");
  }
}

void Checker::AbortNumbers(const std::string& value, int line, const char* key) {
  const std::vector<std::string> numbers = ItemsOf(value);
  bool form = numbers.size() == 2;
  for (const std::string& item : numbers)
    form = form && AllDigits(item[0] == '-' ? item.substr(1) : item);
  if (form) return;
  // Each answer's item as the box reads it: its leading number, else 0.
  TextString list(value.c_str());
  std::string reads;
  for (int32_t i = 0; i < 2; ++i) {
    int32_t number = list.Item(i, ",").ToInt();
    reads += std::string(i ? ", " : "") + (i ? "No " : "OK/Yes ") +
             (number ? "ends the run" : "goes on");
  }
  Warn("abort-numbers", line,
      std::string(key) + " " + Quoted(value) + " is not two numbers \"ok,no\": it reads as " +
          std::to_string(list.Item(0, ",").ToInt()) + "," +
          std::to_string(list.Item(1, ",").ToInt()) + " (" + reads +
          "), a missing or non-number item reading as 0");
}

void Checker::FlagForm(const std::string& value, int line, const char* key) {
  TextString flag(value.c_str());
  if (flag.Length() == 0 || flag.ItemCount(",") >= 2) return;
  Warn("flag", line,
      std::string(key) + " " + Quoted(value) +
          " names no result: write \"name,1\" or \"name,0\"; without the number the box is "
          "always shown");
}

// A path with a drive or a share, or one that a symbol or an App Paths group
// begins.
bool IsFullPath(const std::string& item) {
  return (item.size() >= 3 && item[1] == ':' && item[2] == '\\') ||
         item.compare(0, 2, "\\\\") == 0 || (!item.empty() && (item[0] == '<' || item[0] == '{'));
}

// A relative path follows the folder the updater is started in, which a
// deployment tool chooses (often the system folder).
void Checker::FullPaths(const std::string& value, int line, const char* key) {
  for (const std::string& item : ItemsOf(value)) {
    if (item.empty() || IsFullPath(item) || item == "*.*") continue;
    Warn("relative-path", line,
        std::string(key) + " item " + Quoted(item) +
            " is a relative path: it follows the folder the updater is started in, not the "
            "script's; begin it with a symbol such as <Src>");
  }
}

// A program's path without a drive or a share is taken from the folder the
// updater is started in: never the search path, nor the script's folder. A
// name without any folder is never started at all, which the kind reports.
void Checker::ProgramPaths(const std::string& value, int line, const char* key) {
  for (const std::string& each : ItemsOf(value)) {
    std::string item = each;
    if (item.size() >= 2 && item.front() == '"' && item.back() == '"')
      item = item.substr(1, item.size() - 2);
    if (item.find('\\') == std::string::npos || IsFullPath(item)) continue;
    Warn("relative-path", line,
        std::string(key) + " item " + Quoted(each) +
            " is a relative path: the system looks for the program in the folder the updater "
            "is started in (" + Quoted(item.substr(0, item.rfind('\\'))) +
            " under it), which a deployment tool chooses; begin it with a symbol such as "
            "<Src> or <Sys>");
  }
}

void Checker::ShowCommands(const std::string& value, int line, const char* key) {
  for (const std::string& item : ItemsOf(value)) {
    if (!item.empty() && !AllDigits(item))
      Warn("show-command", line,
          std::string(key) + " item " + Quoted(item) +
              " is not a number: it reads as 0, the shell's default window (1 normal, 2 "
              "minimized, 3 maximized)");
  }
}

void Checker::CheckValues() {
  for (const auto& noted : expanded_) {
    const ScriptRead& read = world_.Reads[noted.first];
    int line = read.Entry->Line;
    const std::string& written = read.Entry->Value;
    size_t comment = written.find(';');
    if (comment != std::string::npos && comment > 0 &&
        (written[comment - 1] == ' ' || written[comment - 1] == '\t'))
      Warn("inline-comment", line,
          "the value holds " + Quoted(written.substr(comment)) +
              ": a value has no comment after it, so that text is part of the value");
    if (read.Cut)
      Warn("value-length", line,
          "the value is " + std::to_string(read.Entry->Value.size()) +
              " bytes long: the updater reads only its first " +
              std::to_string(read.Served.size()) + " bytes (129 Japanese characters take 258)");
    CheckReferences(TextString(noted.second.c_str()), line);
    CheckOnOff(read, noted.second, line);
  }
  for (const AppPathLookup& lookup : world_.AppPathLookups) {
    int line = 1;
    if (lookup.ReadsBefore > 0) {
      const ScriptRead& read = world_.Reads[lookup.ReadsBefore - 1];
      line = read.Entry ? read.Entry->Line : SectionLine(read.Section, 1);
      // A DEFINE value: the line that names the program.
      if (read.Key.empty())
        for (const profile::Entry* entry : world_.Script.SectionEntries(read.Section.c_str()))
          if (Lower(entry->Value).find(Lower(lookup.Program)) != std::string::npos) {
            line = entry->Line;
            break;
          }
    }
    Warn("app-paths", line,
        "the App Paths entry of " + Quoted(lookup.Program) +
            " is looked up on the target machine, which the checker cannot see; where that "
            "machine has none, the group stays in the value as written");
  }
}

// The keys of UPDATER that turn an ability on take a number: a word reads
// as 0, which leaves it off.
void Checker::CheckOnOff(const ScriptRead& read, const std::string& value, int line) {
  if (!profile::SameName(read.Section, UpdaterSection)) return;
  std::string trimmed = ListItem(TextString(value.c_str()), 0).Text();
  size_t digit = trimmed[0] == '-' || trimmed[0] == '+' ? 1 : 0;
  if (digit < trimmed.size() && isdigit(static_cast<unsigned char>(trimmed[digit]))) {
    if (profile::SameName(read.Key, RunKeys[KeyProgress].Key) &&
        TextString(value.c_str()).ToInt() != 0 &&
        TheRun.Unattended())
      Warn("progress-unattended", line,
           "PROGRESS=" + Shown(value) +
               " shows nothing: an unattended run never has a window, so no one could "
               "press its Cancel");
    return;
  }
  for (int i = 0; i < RunKeyCount; ++i) {
    const RunKey& key = RunKeys[i];
    if (key.Form == RunKeyForm::OnOff && profile::SameName(read.Key, key.Key))
      Warn("on-off", line,
           std::string(key.Key) + "=" + Shown(value) + " reads as 0: " + key.Off + "; write " +
               key.Key + "=1 to turn it on, or leave the key out");
  }
}

// Angle-bracket groups that expansion left in a value.
void Checker::CheckReferences(const TextString& value, int line) {
  int32_t count = value.GroupCount("<", ">");
  for (int32_t i = 0; i < count; ++i) {
    TextString group = value.Group(i, "<", ">");
    TextString ignored;
    if (LookupSymbol(group.Text(), ignored))
      Warn("late-symbol", line,
          Shown(group.Text()) +
              " stays as written: it came in with another symbol's value, after the value's "
              "expansion steps were used up");
    else
      Warn("unknown-symbol", line, Shown(group.Text()) + " names no symbol: it stays as written");
  }
}

// The DEFINE lines, matched with the table's entries in order by name.
void Checker::CheckDefines() {
  const ScriptRead* define = nullptr;
  for (const ScriptRead& read : world_.Reads)
    if (read.Key.empty()) define = define ? define : &read;
  if (!define) return;
  std::vector<const profile::Entry*> lines = world_.Script.SectionEntries(define->Section.c_str());
  size_t next = 0;
  std::map<std::string, int> firstLines;
  for (int32_t i = 0; i < SymbolTable.SymbolCount && next < lines.size(); ++i) {
    TextString name;
    TextString value;
    SymbolAt(i, name, value);
    while (next < lines.size() && lines[next]->Key != name.Text()) ++next;
    if (next == lines.size()) break;  // the built-ins, after the script's own
    const profile::Entry& entry = *lines[next++];
    int line = entry.Line;
    CheckReferences(value, line);
    const std::string& written = entry.Written;
    if (written.size() >= 2 && (written.front() == '"' || written.front() == '\'') &&
        written.back() == written.front())
      Warn("quoted-value", line,
          "the value of " + Quoted(name.Text()) + " is in quotes, which a symbol keeps: every "
          "value that uses it holds them (" + Quoted(value.Text()) + "); leave them out, a "
          "path with blanks needs none");
    std::string text = name.Text();
    if (text.size() < 2 || text.front() != '<' || text.back() != '>')
      Warn("symbol-name", line,
          "the symbol " + Quoted(text) +
              " has no angle brackets in its name, so no value can refer to it");
    auto first = firstLines.find(Lower(text));
    if (first != firstLines.end())
      Warn("symbol-twice", line,
          Quoted(text) + " is defined before, at line " + std::to_string(first->second) +
              ": that first definition is the one used",
          first->second, "the definition of " + Quoted(text) + " that is used");
    else
      firstLines[Lower(text)] = line;
  }
  if (define->Cut && define->LinesTaken < lines.size())
    Warn("section-length", lines[define->LinesTaken]->Line,
        "the section does not fit the updater's section buffer: this line and the ones "
        "after it are not read");
}

void Checker::CheckLayout() {
  for (int line : world_.Script.StrayLines()) {
    Warn("stray-line", line, "this line stands before the first section: nothing reads it");
  }

  std::map<std::string, int> sections;
  for (const profile::Section& section : world_.Script.Sections()) {
    std::string name = Lower(section.Name);
    auto first = sections.find(name);
    if (first != sections.end()) {
      Warn("section-twice", section.Line,
          "section [" + Shown(section.Name) + "] is written again (first at line " +
              std::to_string(first->second) + "): only the first is read",
          first->second, "section [" + Shown(section.Name) + "] is first written here");
      continue;
    }
    sections[name] = section.Line;
    if (!reached_.count(name))
      Warn("unreached", section.Line,
          "section [" + Shown(section.Name) +
              "] is named by no procedure list that the updater reaches: it never runs");
  }
  // Keys of the sections read key by key; a section read whole (DEFINE)
  // has its own check.
  for (const ScriptRead& each : world_.Reads)
    if (each.Key.empty()) sections.erase(Lower(each.Section));
  for (const auto& section : sections) {
    std::map<std::string, int> keys;
    std::set<std::string> asked;  // the keys the updater read here
    for (const ScriptRead& each : world_.Reads)
      if (profile::SameName(each.Section, section.first.c_str())) asked.insert(Lower(each.Key));
    for (const auto& taken : world_.TakenAs)
      if (taken.first.compare(0, section.first.size() + 1, section.first + "\n") == 0)
        asked.insert(Lower(taken.second));
    // A section the updater read to its end: whatever it did not ask for is
    // never read (a section a missing key stopped was not read to its end).
    bool whole = !asked.empty() && !unfinished_.count(section.first);
    for (const profile::Entry* entry : world_.Script.SectionEntries(section.first.c_str())) {
      if (!entry->HasValue && !asked.empty() && entry->Key[0] != ';')
        Warn("unknown-key", entry->Line,
             "this line has no \"=\": nothing reads it (write KEY=VALUE)");
      if (!entry->HasValue || entry->Key.empty() || entry->Key[0] == ';') continue;
      if (whole && !asked.count(Lower(entry->Key))) {
        std::vector<std::string> known(asked.begin(), asked.end());
        std::string near = NearestOf(Lower(entry->Key), known);
        for (char& c : near) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
        Warn("unknown-key", entry->Line,
             Shown(entry->Key) + " is no key of this section: nothing reads it" +
                 (near.empty() ? "" : "; did you mean " + near + "?"));
      }
      auto first = keys.find(Lower(entry->Key));
      if (first == keys.end()) keys[Lower(entry->Key)] = entry->Line;
      else
        Warn("key-twice", entry->Line,
            Shown(entry->Key) + " is given before in this section, at line " +
                std::to_string(first->second) + ": only that first one is read",
            first->second, Shown(entry->Key) + " as it is read");
    }
  }
}

int Checker::SectionLine(const std::string& section, int fallback) const {
  for (const profile::Section& candidate : world_.Script.Sections())
    if (profile::SameName(candidate.Name, section.c_str())) return candidate.Line;
  return fallback;
}

int Checker::KeyLine(const std::string& section, const char* key) const {
  const profile::Entry* entry = world_.Script.FindKey(section.c_str(), key);
  return entry ? entry->Line : SectionLine(section, 1);
}

// A report made while a section was read belongs to the line read last: a
// key that reads as missing, else its section, else the list naming it.
int Checker::ParseLine(const Report& report, int origin) const {
  if (report.ReadsBefore == 0) return origin;
  const ScriptRead& read = world_.Reads[report.ReadsBefore - 1];
  if (read.Entry) return read.Entry->Line;
  return SectionLine(read.Section, origin);
}

// A report made while a procedure ran belongs to the key it names, or to
// the first key whose value holds what it names.
int Checker::ExecuteLine(const Report& report, const std::string& section) const {
  const std::vector<std::string>& arguments = report.Arguments;
  if (arguments.size() == 2 && profile::SameName(arguments[0], section.c_str()) &&
      world_.Script.FindKey(section.c_str(), arguments[1].c_str()))
    return KeyLine(section, arguments[1].c_str());
  for (const std::string& argument : arguments)
    for (size_t read : ReadsOf(section))
      if (argument.empty() ? HasEmptyItem(expanded_.at(read))
                           : expanded_.at(read).find(argument) != std::string::npos)
        return world_.Reads[read].Entry->Line;
  return SectionLine(section, 1);
}

int Checker::ValueLine(const std::string& section, const std::string& value) const {
  for (size_t read : ReadsOf(section))
    if (expanded_.at(read) == value) return world_.Reads[read].Entry->Line;
  return SectionLine(section, 1);
}

void Checker::NoteReads(size_t from) {
  for (size_t i = from; i < world_.Reads.size(); ++i) {
    const ScriptRead& read = world_.Reads[i];
    if (read.Key.empty() || !read.Entry || expanded_.count(i)) continue;
    std::vector<size_t>& reads = sectionReads_[Lower(read.Section)];
    bool known = false;
    for (size_t other : reads) known = known || profile::SameName(world_.Reads[other].Key, read.Key.c_str());
    if (known) continue;
    TextString value(read.Served.c_str());
    world_.Quiet = true;
    ExpandValue(value);
    world_.Quiet = false;
    expanded_[i] = value.Text();
    reads.push_back(i);
  }
}

const std::vector<size_t>& Checker::ReadsOf(const std::string& section) const {
  static const std::vector<size_t> none;
  auto found = sectionReads_.find(Lower(section));
  return found == sectionReads_.end() ? none : found->second;
}

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
    case SymbolSource::ShellFolder:
      break;
  }
  return world.Folders[symbol.Shared];  // the platform is NT's
}

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

// The length of the UTF-8 sequence that starts at `at`, 0 when none does.
size_t Utf8Sequence(const std::string& text, size_t at) {
  unsigned char lead = static_cast<unsigned char>(text[at]);
  size_t length = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
  if (lead >= 0xF5 || at + length > text.size()) return 0;
  for (size_t i = 1; i < length; ++i)
    if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return 0;
  return length;
}

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
                                  "encoding",
                                  {}});
  return true;
}

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

bool CheckScript(const std::string& text, const std::vector<SymbolValue>& symbols,
                 std::vector<Diagnostic>& problems, std::string& usage, int codePage,
                 const std::string& srcDir) {
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
  problems.insert(problems.begin(), encoding.begin(), encoding.end());
  FreeAllProcLists();
  journal::End(false);
  return true;
}

bool FileChecksum(const std::string& path, std::string& checksum) {
  ResetWorld("");
  uint32_t crc = 0;
  bool read = (ReadingFiles(TheWorld()), GetFileData(path.c_str(), crc));
  if (read) checksum = Hex(crc);
  return read;
}

VersionFound FileVersionOf(const std::string& path, FileVersion& version) {
  ResetWorld("");
  ReadingFiles reading(TheWorld());
  return ReadFileVersion(path.c_str(), version);
}

}  // namespace check
