// MAKEDIR: makes sure each directory of DIR exists. One item makes one level,
// so a new nested path lists its levels outermost first. Anything already
// there under the name, a file included, is passed over.
#include "procs/proc_list.h"

#include "base/files.h"
#include "base/report.h"
#include "base/run_events.h"
#include "os/files.h"
#include "procs/comma_lists.h"
#include "procs/journal.h"
#include "procs/proc_record.h"

// This kind's description, at the end of the file.
extern const ProcKind MakeDirKind;

namespace {

struct MAKEDIR_INFO : PROC_INFO {
  TextString Dir;  // directory paths, separated by ","
};

const RecordKey<MAKEDIR_INFO> Keys[] = {
    {DescribeKey("DIR", KeyRole::Leading, ValueForm::Paths, PathUse::MakesFolders),
     &MAKEDIR_INFO::Dir, nullptr},
};

}  // namespace

static PROC_INFO* ParseMakeDir(const char* section) {
  return ParseRecord(section, MakeDirKind, Keys);
}

static bool ExecuteMakeDir(PROC_INFO* record) {
  MAKEDIR_INFO* makeDir = static_cast<MAKEDIR_INFO*>(record);
  int32_t count = CountPositions(*makeDir, makeDir->Dir, "DIR");
  if (count == 0) return false;
  // A run that can be undone records the folders it will make first, in one
  // flush.
  if (journal::Active()) {
    for (int32_t i = 0; i < count; ++i) {
      TextString path = ListItem(makeDir->Dir, i);
      if (!FileExists(path.Text()) && !journal::PlanFolder(path.Text())) return false;
    }
    if (!journal::Commit()) return false;
  }
  for (int32_t i = 0; i < count; ++i) {
    TextString path = ListItem(makeDir->Dir, i);
    if (!FileExists(path.Text()) && !MakeFolder(path.Text())) return false;
  }
  makeDir->Result = true;
  return true;
}

extern const ProcKind MakeDirKind = {
    "MAKEDIR", "MAKEDIR_INFO", Keys, 0, ParseMakeDir, ExecuteMakeDir};
