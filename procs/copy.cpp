// COPY: copies each source of FROM to the target at the same position of TO,
// replacing a target that exists. The first copy that fails is reported and
// ends the run; the copies made before it stay.
//
// A copy never leaves a half-written target: the file is copied to a fresh
// name beside the target and put in the target's place only once it is
// whole, so the target holds either its old content or all of the new one.
// The temporary file is removed on every road where it is not moved in.
#include "procs/kinds.h"

#include "app/updater.h"
#include "base/report.h"
#include "os/os.h"
#include "procs/comma_lists.h"
#include "procs/proc_record.h"

namespace {

struct COPY_INFO : PROC_INFO {
  TextString From;  // source paths, separated by ","
  TextString To;    // target paths; item i is the target of source i
};

const RecordKey<COPY_INFO> Keys[] = {
    {"FROM", &COPY_INFO::From, nullptr},
    {"TO", &COPY_INFO::To, nullptr},
};

// How many names beside the target are tried for the temporary copy. Only a
// leftover of an interrupted run (or another program's file) takes a name.
constexpr int TemporaryNameCount = 10;

constexpr uint32_t NormalAttributes = 0x80;  // FILE_ATTRIBUTE_NORMAL

// Removes a temporary copy that did not reach its place. The copy carries
// the source's attributes, and a read-only file cannot be deleted as it is.
void DiscardTemporary(const char* temporary) {
  os::SetAttributes(temporary, NormalAttributes);
  os::DeleteOneFile(temporary);
}

// Copies `source` to `target` through a temporary file in the target's
// folder. False on any failure, with the target as it was and no temporary
// file left.
bool CopyReplacing(const TextString& source, const TextString& target) {
  // An empty target names no file; a suffix must not turn it into one in
  // the current directory.
  if (target.Length() == 0) return false;
  for (int attempt = 0; attempt < TemporaryNameCount; ++attempt) {
    char suffix[] = ".~upd0";
    suffix[sizeof(suffix) - 2] = static_cast<char>('0' + attempt);
    TextString temporary = target.Concat(suffix);
    if (temporary.Length() != target.Length() + static_cast<int32_t>(sizeof(suffix)) - 1)
      return false;  // no memory for the name
    // A name already in use is never written to, nor deleted: it is not ours.
    if (FileExists(temporary.Text())) continue;
    if (!os::CopyOneFile(source.Text(), temporary.Text(), true)) {
      // The name was free, so whatever the failed copy left there is ours.
      if (os::IsExistingFile(temporary.Text())) DiscardTemporary(temporary.Text());
      return false;
    }
    if (os::ReplaceWithFile(temporary.Text(), target.Text())) return true;
    DiscardTemporary(temporary.Text());
    return false;
  }
  return false;
}

}  // namespace

PROC_INFO* ParseCopy(const char* section) {
  return ParseRecord(section, "COPY_INFO", Keys);
}

bool ExecuteCopy(PROC_INFO* record) {
  COPY_INFO* copy = static_cast<COPY_INFO*>(record);
  int32_t count = CountPositions(*copy, copy->From, "FROM");
  if (count == 0) return false;
  for (int32_t i = 0; i < count; ++i) {
    // A missing target (TO shorter than FROM) is the empty text, which fails.
    TextString source = ListItem(copy->From, i);
    TextString target = ListItem(copy->To, i);
    if (!CopyReplacing(source, target)) {
      ShowError(MsgCopyFailed, source.Text(), target.Text());
      return false;
    }
  }
  copy->Result = true;
  return true;
}
