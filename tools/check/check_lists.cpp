// The procedure lists as the updater builds and runs them: every list a
// SWITCH may choose, every procedure examined with its conditions on and
// off, and what a list names that it cannot find.
#include "checker.h"

#include <algorithm>
#include <cstdlib>

#include "base/report.h"
#include "procs/comma_lists.h"
#include "procs/proc_list.h"
#include "procs/switch.h"
#include "script/script_file.h"
#include "symbols/symbol_table.h"

namespace check {

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
    world_.ListsStandIns = kind->Keys.Count() > 0 && kind->Keys[0].Use == PathUse::Reads;
    if (decides) SwitchDecider(record);
    else kind->Execute(record);
    world_.ListsStandIns = false;
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
    Warn(Warning::Order, ExecuteLine(report, section),
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
    UnverifiedPrograms(record, *kind);
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
    Warn(Warning::LinkExtension, line,
        "the shortcut is saved as " + Quoted(path) +
            ": \".LNK\" is always added, so leave it out of the path");
  }
  world_.LinkPaths.resize(from);
}

void Checker::FollowBranches(PROC_INFO* record) {
  std::string section = record->Name.Text();
  // The files a test found when its Result is true: a guard for list 1.
  std::vector<std::string> found;
  // The procedure that decides, as the SWITCH finds it in its own list;
  // where there is none, its Examine has told so.
  std::string name;
  int nameLine = 0;
  const PROC_INFO* decider = nullptr;
  if (ReadValueOf(section, "PROC", name, nameLine)) {
    TextString trimmed(name.c_str());
    trimmed.Trim(" ");
    decider = FindProc(TopProcList(), trimmed.Text());
  }
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
    Warn(Warning::UnguardedDelete, deletion.Line,
        std::string(deletion.Key) + " item " + Quoted(deletion.File) +
            " is a file the script neither makes nor finds first: on a PC without it the "
            "deletion fails (" + MessageName(MsgDeleteFailed) +
            ") and the run stops half done; delete it in the list 1 "
            "of a SWITCH whose PROC is an EXIST of that file");
  }
}

// Angle-bracket groups that expansion left in a value.
void Checker::CheckReferences(const TextString& value, int line) {
  int32_t count = value.GroupCount("<", ">");
  for (int32_t i = 0; i < count; ++i) {
    TextString group = value.Group(i, "<", ">");
    TextString ignored;
    if (LookupSymbol(group.Text(), ignored))
      Warn(Warning::LateSymbol, line,
          Shown(group.Text()) +
              " stays as written: it came in with another symbol's value, after the value's "
              "expansion steps were used up");
    else
      Warn(Warning::UnknownSymbol, line, Shown(group.Text()) + " names no symbol: it stays as written");
  }
}

}  // namespace check
