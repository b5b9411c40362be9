// LINK: saves a shortcut for each target of SRC at the path of DST with
// ".LNK" appended, with the arguments of PARAM and the window state of
// SHOWCMD, starting in the target's own directory. A shortcut that cannot be
// saved is no failure of the run: the procedure stops there, silently, with
// its Result false for a later test to see.
//
// In a run that can be undone (ROLLBACK=1) a shortcut that is there is kept
// aside before the new one is saved (procs/journal.h), and put back at once
// where the new one cannot be saved.
#include "procs/kinds.h"

#include "base/run_events.h"
#include "os/os.h"
#include "procs/comma_lists.h"
#include "procs/journal.h"
#include "procs/proc_record.h"

namespace {

struct SHORTCUT_INFO : PROC_INFO {
  TextString Src;      // target paths, separated by ","
  TextString Param;    // argument texts; item i belongs to shortcut i
  TextString ShowCmd;  // window-state numbers 1, 2 or 3
  TextString Dst;      // shortcut paths without the extension
};

const RecordKey<SHORTCUT_INFO> Keys[] = {
    {DescribeKey("SRC", KeyRole::Leading, ValueForm::Paths, PathUse::Reads),
     &SHORTCUT_INFO::Src, nullptr},
    {DescribeKey("PARAM", KeyRole::Companion, ValueForm::Text), &SHORTCUT_INFO::Param, nullptr},
    {DescribeKey("SHOWCMD", KeyRole::Companion, ValueForm::WindowStates),
     &SHORTCUT_INFO::ShowCmd, nullptr},
    {DescribeKey("DST", KeyRole::Companion, ValueForm::Paths, PathUse::Writes),
     &SHORTCUT_INFO::Dst, nullptr},
};

// The show command stored for a SHOWCMD number; 0 stores none, leaving the
// shell's default.
int ShowCommandOf(int32_t number) {
  switch (number) {
    case 1: return 1;  // SW_SHOWNORMAL
    case 2: return 7;  // SW_SHOWMINNOACTIVE
    case 3: return 3;  // SW_SHOWMAXIMIZED
    default: return 0;
  }
}

enum class Shortcut { Saved, NotSaved, Reported };

Shortcut CreateShortcut(const TextString& target, const TextString& linkPath,
                        const TextString& arguments, int32_t number) {
  TextString directory;  // stays empty for a target without a directory part
  DirectoryOfPath(target.Text(), directory);
  journal::Replacement files;
  bool kept = false;
  if (journal::Active()) {
    switch (journal::SetAside(linkPath, false, files)) {
      case journal::Aside::Moved:
        kept = true;
        break;
      case journal::Aside::Absent:
        break;
      case journal::Aside::Refused:
        ReportFileAction(FileAction::ShortcutFailed, linkPath.Text(), target.Text(),
                         os::LastFailure());
        return Shortcut::NotSaved;
      case journal::Aside::Failed:
        return Shortcut::Reported;
    }
  }
  if (!os::SaveShellLink(target.Text(), directory.Text(), arguments.Text(),
                         ShowCommandOf(number), linkPath.Text())) {
    ReportFileAction(FileAction::ShortcutFailed, linkPath.Text(), target.Text(),
                     os::LastFailure());
    return kept && !journal::PutBack(files) ? Shortcut::Reported : Shortcut::NotSaved;
  }
  ReportFileAction(FileAction::ShortcutSaved, linkPath.Text(), target.Text());
  return Shortcut::Saved;
}

}  // namespace

static PROC_INFO* ParseLink(const char* section) {
  return ParseRecord(section, LinkKind, Keys);
}

static bool ExecuteLink(PROC_INFO* record) {
  SHORTCUT_INFO* link = static_cast<SHORTCUT_INFO*>(record);
  int32_t count = CountPositions(*link, link->Src, "SRC");
  if (count == 0) return false;
  for (int32_t i = 0; i < count; ++i) {
    // The number goes untrimmed: the conversion passes over blanks itself.
    int32_t number = link->ShowCmd.Item(i, ",").ToInt();
    TextString linkPath = ListItem(link->Dst, i).Concat(".LNK");
    if (!StartingAction(FileAction::ShortcutSaved, linkPath.Text(), ListItem(link->Src, i).Text()))
      return false;
    switch (CreateShortcut(ListItem(link->Src, i), linkPath, ListItem(link->Param, i), number)) {
      case Shortcut::Saved:
        break;
      case Shortcut::NotSaved:
        return true;
      case Shortcut::Reported:
        return false;
    }
  }
  link->Result = true;
  return true;
}

extern const ProcKind LinkKind = {"LINK", "SHORTCUT_INFO", Keys, 0, ParseLink, ExecuteLink};
