// DELETE: deletes each file of FILE in turn. The first file that cannot be
// deleted (missing, a directory, refused by the system) is reported and ends
// the run; files deleted before it stay deleted.
//
// In a run that can be undone (ROLLBACK=1) a file is not deleted but kept
// aside (procs/journal.h), and so is a running program's file; what cannot
// be deleted otherwise (missing, a folder, read-only) fails as ever.
#include "procs/proc_list.h"

#include <new>

#include "base/report.h"
#include "base/run_events.h"
#include "os/files.h"
#include "procs/comma_lists.h"
#include "procs/held_files.h"
#include "procs/journal.h"
#include "procs/proc_record.h"

// This kind's description, at the end of the file.
extern const ProcKind DeleteKind;

namespace {

struct DELETE_INFO : PROC_INFO {
  TextString File;  // paths, separated by ","
};

const RecordKey<DELETE_INFO> Keys[] = {
    {DescribeKey("FILE", KeyRole::Leading, ValueForm::Files, PathUse::Removes),
     &DELETE_INFO::File, nullptr},
};

// The deletions of one procedure in a run that can be undone: every file is
// planned and recorded first (one flush), then kept aside in turn. The first
// that cannot be is reported and ends the run.
bool DeleteAllKeeping(const DELETE_INFO& del, int32_t count) {
  journal::Replacement* files = new (std::nothrow) journal::Replacement[count];
  if (!files) {
    ShowError(MsgOutOfMemory, "DELETE_INFO");
    return false;
  }
  int32_t planned = 0;
  bool reported = false;
  for (; planned < count && !reported; ++planned) {
    journal::Recorded recorded = journal::Plan(ListItem(del.File, planned), false, true, files[planned]);
    if (recorded == journal::Recorded::Failed) reported = true;
    if (recorded != journal::Recorded::Yes) break;
  }
  bool deleted = !reported && journal::Commit();
  for (int32_t i = 0; deleted && i <= planned && i < count; ++i) {
    TextString path = ListItem(del.File, i);
    if (!StartingAction(FileAction::Deleted, path.Text())) {
      deleted = false;
    } else if (i == planned || journal::KeepAside(files[i]) != journal::Aside::Moved) {
      ShowError(MsgDeleteFailed, path.Text());
      deleted = false;
    } else {
      ReportFileAction(FileAction::Deleted, path.Text());
    }
  }
  delete[] files;
  return deleted;
}

}  // namespace

static PROC_INFO* ParseDelete(const char* section) {
  return ParseRecord(section, DeleteKind, Keys);
}

static bool ExecuteDelete(PROC_INFO* record) {
  DELETE_INFO* del = static_cast<DELETE_INFO*>(record);
  int32_t count = CountPositions(*del, del->File, "FILE");
  if (count == 0) return false;
  // No wildcards, no attribute change, no look beforehand: a file that is
  // already gone is as much a failure as one the system refuses.
  if (journal::Active()) {
    if (!DeleteAllKeeping(*del, count)) return false;
    del->Result = true;
    return true;
  }
  for (int32_t i = 0; i < count; ++i) {
    TextString path = ListItem(del->File, i);
    if (!StartingAction(FileAction::Deleted, path.Text())) return false;
    held::Wait wait;
    while (!os::DeleteOneFile(path.Text())) {
      if (wait.Again(held::Step::Delete, path.Text())) continue;
      ShowError(MsgDeleteFailed, path.Text());
      return false;
    }
    ReportFileAction(FileAction::Deleted, path.Text());
  }
  del->Result = true;
  return true;
}

extern const ProcKind DeleteKind = {"DELETE", "DELETE_INFO", Keys, 0, ParseDelete, ExecuteDelete};
