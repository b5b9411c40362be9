// VERSION: a test for outdated programs. Its Result becomes true at the first
// file of FILE whose file version (the fixed version information of its
// version resource, four 16-bit numbers compared major first) is lower than
// VERSION, or that has no version, is missing or cannot be read, as DATE
// counts an unreadable file as old. A VERSION value that is not one to four
// numbers is reported when the procedure runs, like a bad TYPE.
#include "procs/kinds.h"

#include "base/file_version.h"
#include "base/report.h"
#include "os/os.h"
#include "procs/comma_lists.h"
#include "procs/proc_record.h"

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

// A file's bytes through the seam, opened once, sharing everything.
class SeamFile : public FileBytes {
 public:
  explicit SeamFile(const char* path) : opened_(os::OpenToRead(path, file_, size_)) {}
  bool Opened() const { return opened_; }
  uint64_t Size() override { return size_; }
  bool Read(uint64_t offset, void* out, uint32_t count) override {
    return os::ReadAt(file_.Get(), offset, out, count);
  }

 private:
  os::OwnedFile file_;
  uint64_t size_ = 0;
  bool opened_;
};

// True when `path` is a program of `wanted` or a later version.
bool VersionAtLeast(const char* path, FileVersion wanted) {
  SeamFile file(path);
  FileVersion version = 0;
  return file.Opened() && ReadFileVersion(file, version) == VersionFound::Found &&
         version >= wanted;
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
