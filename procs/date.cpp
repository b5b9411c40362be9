// DATE: a test for outdated files. Its Result becomes true at the first file
// of FILE that was last written, in local time, on a day before DATE
// (year/month/day), or that cannot be opened. The time of day plays no part.
#include "procs/proc_list.h"

#include "base/run_events.h"
#include "os/basics.h"
#include "os/files.h"
#include "procs/comma_lists.h"
#include "procs/proc_record.h"

// This kind's description, at the end of the file.
extern const ProcKind DateKind;

namespace {

struct DATE_INFO : PROC_INFO {
  TextString File;  // paths, separated by ","
  TextString Date;  // "year/month/day", the same for every file
};

const RecordKey<DATE_INFO> Keys[] = {
    {DescribeKey("FILE", KeyRole::Leading, ValueForm::Paths, PathUse::Reads),
     &DATE_INFO::File, nullptr},
    {DescribeKey("DATE", KeyRole::Single, ValueForm::Date), &DATE_INFO::Date, nullptr},
};

// A part of the date as the calendar fields hold it: a part that is missing
// or not a number is 0, and the comparison is made at the fields' 16-bit
// unsigned width.
uint16_t DatePart(const TextString& date, int32_t index) {
  return static_cast<uint16_t>(date.Item(index, "/").ToInt());
}

// True when `path` was last written on `date` or later; false when earlier
// or when the file cannot be opened (missing, a directory, held by another).
bool FileDateAtLeast(const char* path, const TextString& date) {
  os::CalendarDate written;
  if (!os::FileWriteDate(path, written)) {
    ReportFileAction(FileAction::ReadFailed, path, "", os::LastFailure());
    return false;
  }
  uint16_t year = DatePart(date, 0);
  uint16_t month = DatePart(date, 1);
  uint16_t day = DatePart(date, 2);
  if (written.Year != year) return written.Year > year;
  if (written.Month != month) return written.Month > month;
  return written.Day >= day;
}

}  // namespace

static PROC_INFO* ParseDate(const char* section) {
  return ParseRecord(section, DateKind, Keys);
}

static bool ExecuteDate(PROC_INFO* record) {
  DATE_INFO* test = static_cast<DATE_INFO*>(record);
  int32_t count = CountPositions(*test, test->File, "FILE");
  if (count == 0) return false;
  for (int32_t i = 0; i < count; ++i) {
    if (!FileDateAtLeast(ListItem(test->File, i).Text(), test->Date)) {
      test->Result = true;  // the first old or unreadable file decides
      return true;
    }
  }
  return true;
}

extern const ProcKind DateKind = {
    "DATE", "DATE_INFO", Keys, kind_effect::Tests, ParseDate, ExecuteDate};
