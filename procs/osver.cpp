// OSVER: a test of the platform. Its Result becomes true on the NT platform
// and false on the Windows 95 family, whatever the version within either.
#include "procs/proc_list.h"

#include "procs/proc_record.h"
#include "symbols/system_queries.h"

// This kind's description, at the end of the file.
extern const ProcKind OsVerKind;

namespace {

struct OSVER_INFO : PROC_INFO {};

}  // namespace

static PROC_INFO* ParseOsVer(const char* section) {
  return ParseRecord<OSVER_INFO>(section, OsVerKind);
}

static bool ExecuteOsVer(PROC_INFO* record) {
  // Written either way: the answer is the platform's, asked afresh.
  record->Result = IsWindowsNT();
  return true;
}

extern const ProcKind OsVerKind = {
    "OSVER", "OSVER_INFO", {}, kind_effect::Tests, ParseOsVer, ExecuteOsVer};
