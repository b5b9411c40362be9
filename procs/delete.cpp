// DELETE: deletes each file of FILE in turn. The first file that cannot be
// deleted (missing, a directory, refused by the system) is reported and ends
// the run; files deleted before it stay deleted.
//
// In a run that can be undone (ROLLBACK=1) a file is not deleted but kept
// aside (procs/journal.h), and so is a running program's file; what cannot
// be deleted otherwise (missing, a folder, read-only) fails as ever.
#include "procs/kinds.h"

#include "base/report.h"
#include "base/run_events.h"
#include "os/os.h"
#include "procs/comma_lists.h"
#include "procs/journal.h"
#include "procs/proc_record.h"

namespace {

struct DELETE_INFO : PROC_INFO {
  TextString File;  // paths, separated by ","
};

const RecordKey<DELETE_INFO> Keys[] = {
    {DescribeKey("FILE", KeyRole::Leading, ValueForm::Files, PathUse::Removes),
     &DELETE_INFO::File, nullptr},
};

enum class Deletion { Done, Failed, Reported };

Deletion DeleteKeeping(const TextString& path) {
  journal::Replacement files;
  switch (journal::SetAside(path, true, files)) {
    case journal::Aside::Moved:
      return Deletion::Done;
    case journal::Aside::Failed:
      return Deletion::Reported;
    case journal::Aside::Absent:
    case journal::Aside::Refused:
      break;
  }
  return Deletion::Failed;
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
  for (int32_t i = 0; i < count; ++i) {
    TextString path = ListItem(del->File, i);
    if (!StartingAction(FileAction::Deleted, path.Text())) return false;
    Deletion deleted;
    if (journal::Active()) deleted = DeleteKeeping(path);
    else deleted = os::DeleteOneFile(path.Text()) ? Deletion::Done : Deletion::Failed;
    if (deleted == Deletion::Failed) ShowError(MsgDeleteFailed, path.Text());
    if (deleted != Deletion::Done) return false;
    ReportFileAction(FileAction::Deleted, path.Text());
  }
  del->Result = true;
  return true;
}

extern const ProcKind DeleteKind = {"DELETE", "DELETE_INFO", Keys, 0, ParseDelete, ExecuteDelete};
