// ATTR: gives each file of FILE the attribute mask at the same position of
// ARG ("0x" and hexadecimal digits; anything else is 0), replacing all its
// attributes at once. An item whose last component is exactly "*.*" stands
// for every file directly inside that directory; subdirectories are neither
// changed nor entered. The first file that cannot be changed is reported and
// ends the run.
#include "procs/proc_list.h"

#include <cstring>

#include "base/byte_buffer.h"
#include "base/characters.h"
#include "base/report.h"
#include "base/run_events.h"
#include "os/files.h"
#include "procs/comma_lists.h"
#include "procs/held_files.h"
#include "procs/journal.h"
#include "procs/proc_record.h"

// This kind's description, at the end of the file.
extern const ProcKind AttrKind;

namespace {

struct ATTR_INFO : PROC_INFO {
  TextString File;  // paths, separated by ","; the last component may be "*.*"
  TextString Arg;   // attribute masks; item i belongs to file i
};

const RecordKey<ATTR_INFO> Keys[] = {
    {DescribeKey("FILE", KeyRole::Leading, ValueForm::Patterns, PathUse::Changes),
     &ATTR_INFO::File, nullptr},
    {DescribeKey("ARG", KeyRole::Companion, ValueForm::HexNumbers), &ATTR_INFO::Arg, nullptr},
};

// In a run that can be undone, the files are first walked only to plan
// their changes (one flush for the procedure); the changes then follow the
// plan, and the first problem the walk met is reported after them, where
// it would have ended the run.
struct Plan {
  TextString Paths;   // "\n" after each
  ByteBuffer Values;  // the attributes for each
  bool Reported = false;      // the journal failed: reported
  bool Problem = false;       // the first problem met, not yet reported
  bool ProblemStarts = false;  // it is a file's own change that failed
  TextString ProblemPath;
  uint32_t ProblemValue = 0;
};

// A file or folder that cannot be changed: reported at once, or kept by the
// plan to be reported in its turn. Always false.
bool Unchangeable(Plan* plan, const char* path, uint32_t value, bool starts) {
  if (!plan) {
    ShowError(MsgAttributesFailed, path, value);
    return false;
  }
  plan->Problem = true;
  plan->ProblemStarts = starts;
  plan->ProblemPath.Assign(path);
  plan->ProblemValue = value;
  return false;
}

// Sets the attributes of `path`, reporting a failure; with a plan, only
// records the attributes they will replace.
bool ApplyAttributes(const char* path, uint32_t value, Plan* plan = nullptr) {
  if (plan) {
    uint32_t old = 0;
    if (!os::AttributesOf(path, old)) return Unchangeable(plan, path, value, true);
    if (!journal::PlanAttributes(path, old)) {
      plan->Reported = true;
      return false;
    }
    plan->Paths.Append(path).Append("\n");
    plan->Values.AppendBytes(&value, sizeof value);
    return true;
  }
  if (!StartingAction(FileAction::AttributesSet, path)) return false;
  held::Wait wait;
  while (!os::SetAttributes(path, value)) {
    if (wait.Again(held::Step::SetAttributes, path)) continue;
    ShowError(MsgAttributesFailed, path, value);
    return false;
  }
  ReportFileAction(FileAction::AttributesSet, path, "", value);
  return true;
}

struct DirectoryPass {
  const TextString* Directory;  // null: the search ran in the current directory
  uint32_t Value;
  Plan* Planned;  // null: the files are changed as they are found
};

// True when `name` names an entry of the folder itself: no folder part of
// its own, which a name the listing could not give exactly might carry.
bool IsPlainName(const char* name) {
  return !FindLastCharacter(name, '\\') && !FindLastCharacter(name, '/');
}

bool SetEntryAttributes(void* context, const char* name, uint32_t attributes, bool exact) {
  const DirectoryPass& pass = *static_cast<const DirectoryPass*>(context);
  if (attributes & os::AttributeDirectory) return true;  // ".", ".." and subdirectories
  TextString path;
  if (pass.Directory) path.Assign(*pass.Directory).Append("\\");
  path.Append(name);
  int32_t expected = (pass.Directory ? pass.Directory->Length() + 1 : 0) + TextString(name).Length();
  // A name this code page cannot hold exactly would name another file (or
  // one outside the folder), and so would one holding a folder separator:
  // it is reported, never acted on. So is a path cut short for want of
  // memory.
  if (!exact || !IsPlainName(name) || path.Length() != expected)
    return Unchangeable(pass.Planned, path.Text(), pass.Value, false);
  return ApplyAttributes(path.Text(), pass.Value, pass.Planned);
}

// Every file that the search for `pattern` ("...\*.*") finds. A pattern with
// no match, or whose directory does not exist, does nothing; a folder that
// cannot be listed, or a listing that breaks off, is reported.
bool SetDirectoryAttributes(const TextString& pattern, uint32_t value, Plan* plan) {
  // "*.*" alone searches the current directory, so its files are named by
  // their bare names there. Joining an empty directory part with "\" would
  // name files of the same names in the root of the current drive instead.
  TextString directory = pattern.Items(0, -2, "\\");
  bool alone = pattern.ItemCount("\\") == 1;
  DirectoryPass pass = {alone ? nullptr : &directory, value, plan};
  switch (os::ForEachEntry(pattern.Text(), SetEntryAttributes, &pass)) {
    case os::Listing::Complete:
      return true;
    case os::Listing::Stopped:
      return false;  // reported by the entry that stopped it
    case os::Listing::Failed:
      break;
  }
  return Unchangeable(plan, pattern.Text(), value, false);
}

// Every file of the procedure, changed or, with a plan, planned.
bool WalkFiles(const ATTR_INFO& attr, int32_t count, Plan* plan) {
  for (int32_t i = 0; i < count; ++i) {
    TextString file = ListItem(attr.File, i);
    uint32_t value = ListItem(attr.Arg, i).ToHex();
    // Only the exact "*.*" selects by directory; any other wildcard goes to
    // the system as a plain name and fails there.
    bool pattern = file.Item(-1, "\\").Equals("*.*");
    if (!(pattern ? SetDirectoryAttributes(file, value, plan)
                  : ApplyAttributes(file.Text(), value, plan)))
      return false;
  }
  return true;
}

// The changes of a plan, then the problem it met.
bool ApplyPlan(const Plan& plan) {
  if (plan.Reported || !journal::Commit()) return false;
  int32_t count = plan.Values.Size / static_cast<int32_t>(sizeof(uint32_t));
  for (int32_t i = 0; i < count; ++i) {
    uint32_t value;
    memcpy(&value, plan.Values.Data() + i * sizeof value, sizeof value);
    if (!ApplyAttributes(plan.Paths.Item(i, "\n").Text(), value)) return false;
  }
  if (!plan.Problem) return true;
  if (plan.ProblemStarts &&
      !StartingAction(FileAction::AttributesSet, plan.ProblemPath.Text()))
    return false;
  ShowError(MsgAttributesFailed, plan.ProblemPath.Text(), plan.ProblemValue);
  return false;
}

}  // namespace

static PROC_INFO* ParseAttr(const char* section) {
  return ParseRecord(section, AttrKind, Keys);
}

static bool ExecuteAttr(PROC_INFO* record) {
  ATTR_INFO* attr = static_cast<ATTR_INFO*>(record);
  int32_t count = CountPositions(*attr, attr->File, "FILE");
  if (count == 0) return false;
  if (journal::Active()) {
    Plan plan;
    WalkFiles(*attr, count, &plan);
    if (!ApplyPlan(plan)) return false;
  } else if (!WalkFiles(*attr, count, nullptr)) {
    return false;
  }
  attr->Result = true;
  return true;
}

extern const ProcKind AttrKind = {"ATTR", "ATTR_INFO", Keys, 0, ParseAttr, ExecuteAttr};
