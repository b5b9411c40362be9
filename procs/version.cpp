// VERSION: a test for outdated programs. Its Result becomes true at the first
// file of FILE whose file version (the fixed version information of its
// version resource, four 16-bit numbers compared major first) is lower than
// VERSION, or that has no version, is missing or cannot be read, as DATE
// counts an unreadable file as old. A VERSION value that is not one to four
// numbers is reported when the procedure runs, like a bad TYPE.
#include "procs/proc_list.h"

#include "base/file_version.h"
#include "base/report.h"
#include "base/run_events.h"
#include "os/basics.h"
#include "os/files.h"
#include "procs/comma_lists.h"
#include "procs/proc_record.h"

// This kind's description, at the end of the file.
extern const ProcKind VersionKind;

namespace {

struct VERSION_INFO : PROC_INFO {
  TextString File;     // paths, separated by ","
  TextString Version;  // "2", "2.1", "2.1.0.15": missing parts are 0
};

const RecordKey<VERSION_INFO> Keys[] = {
    {DescribeKey("FILE", KeyRole::Leading, ValueForm::Paths, PathUse::Reads),
     &VERSION_INFO::File, nullptr},
    {DescribeKey("VERSION", KeyRole::Single, ValueForm::Version), &VERSION_INFO::Version,
     nullptr},
};

// True when `path` is a program of `wanted` or a later version. The log
// learns the version read, or why there is none.
bool VersionAtLeast(const char* path, FileVersion wanted) {
  FileVersion version = 0;
  const char* none = "";
  switch (ReadFileVersion(path, version)) {
    case VersionFound::Found:
      ReportFileAction(FileAction::VersionRead, path, VersionText(version).Text());
      return version >= wanted;
    case VersionFound::NoVersion: none = "none, no version information"; break;
    case VersionFound::Unreadable: none = "none, the file could not be read"; break;
    case VersionFound::NotOpened:
      none = os::IsExistingFile(path) ? "none, the file could not be opened"
                                      : "none, no such file";
      break;
  }
  ReportFileAction(FileAction::VersionRead, path, none, os::LastFailure());
  return false;
}

}  // namespace

static PROC_INFO* ParseVersion(const char* section) {
  return ParseRecord(section, VersionKind, Keys);
}

static bool ExecuteVersion(PROC_INFO* record) {
  VERSION_INFO* test = static_cast<VERSION_INFO*>(record);
  int32_t count = CountPositions(*test, test->File, "FILE");
  if (count == 0) return false;
  FileVersion wanted = 0;
  if (!ParseVersionText(test->Version.Text(), wanted)) {
    ShowError(MsgBadSymbol, test->Version.Text());
    return false;
  }
  for (int32_t i = 0; i < count; ++i) {
    if (!VersionAtLeast(ListItem(test->File, i).Text(), wanted)) {
      test->Result = true;  // the first older, unversioned or unreadable file decides
      return true;
    }
  }
  return true;
}

extern const ProcKind VersionKind = {
    "VERSION", "VERSION_INFO", Keys, kind_effect::Tests, ParseVersion, ExecuteVersion};
