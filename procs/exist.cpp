// EXIST: a test. Its Result becomes true when every file of FILE exists; a
// directory, or a wildcard pattern with at least one match, counts as
// existing. A missing file is an answer, never a failure.
#include "procs/proc_list.h"

#include "base/files.h"
#include "procs/comma_lists.h"
#include "procs/proc_record.h"

// This kind's description, at the end of the file.
extern const ProcKind ExistKind;

namespace {

struct EXIST_INFO : PROC_INFO {
  TextString File;  // paths or patterns, separated by ","
};

const RecordKey<EXIST_INFO> Keys[] = {
    {DescribeKey("FILE", KeyRole::Leading, ValueForm::Paths, PathUse::Reads),
     &EXIST_INFO::File, nullptr},
};

}  // namespace

static PROC_INFO* ParseExist(const char* section) {
  return ParseRecord(section, ExistKind, Keys);
}

static bool ExecuteExist(PROC_INFO* record) {
  EXIST_INFO* exist = static_cast<EXIST_INFO*>(record);
  int32_t count = CountPositions(*exist, exist->File, "FILE");
  if (count == 0) return false;
  // The first missing file decides; the files after it are not looked at.
  for (int32_t i = 0; i < count; ++i)
    if (!FileExists(ListItem(exist->File, i).Text())) return true;
  exist->Result = true;
  return true;
}

extern const ProcKind ExistKind = {
    "EXIST", "EXIST_INFO", Keys, kind_effect::Tests | kind_effect::FindsFiles, ParseExist,
    ExecuteExist};
