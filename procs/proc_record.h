// Parsing a procedure record, written once for every kind.
//
// The kinds differ only in their record type, object name and keys; the
// steps are the same: allocate the record or report message 3, read MODE and
// then the kind's keys in order, and at the first missing key (reported by
// the read) free the record and give null.
#pragma once

#include <new>

#include "script/script_file.h"
#include "base/report.h"
#include "procs/proc_list.h"

// One key of a kind: its description, and the field it is read into, as
// text with ReadValue (ReadOptionalValue for an optional key) or, when Text
// is null, as a number with ReadNumber.
template <typename Record>
struct RecordKey {
  KeyDescription About;
  TextString Record::*Text;
  int32_t Record::*Number;
  // For an optional key whose meaning changes once it is written, even
  // empty: set to whether it was.
  bool Record::*Written = nullptr;
};

template <typename Record>
PROC_INFO* ParseRecordKeys(const char* section, const ProcKind& kind,
                           const RecordKey<Record>* keys, int keyCount) {
  Record* record = new (std::nothrow) Record;
  if (!record) {
    ShowError(MsgOutOfMemory, kind.ObjectName);
    return nullptr;
  }
  // The header's own: a record's field of the same name (a NAME key's) must
  // not take it.
  static_cast<PROC_INFO*>(record)->Name.Assign(section);
  bool complete = ReadValue(section, "MODE", record->Mode);
  for (int i = 0; complete && i < keyCount; ++i) {
    const RecordKey<Record>& key = keys[i];
    if (!key.Text)
      complete = ReadNumber(section, key.About.Key, record->*key.Number);
    else if (MayBeLeftOut(key.About.Role)) {
      bool written = ReadOptionalValue(section, key.About.Key, record->*key.Text);
      if (key.Written) record->*key.Written = written;
    }
    else
      complete = ReadValue(section, key.About.Key, record->*key.Text);
  }
  if (!complete) {
    delete record;
    return nullptr;
  }
  return record;
}

// The kind's description is made from the same rows.
template <typename Record, int KeyCount>
PROC_INFO* ParseRecord(const char* section, const ProcKind& kind,
                       const RecordKey<Record> (&keys)[KeyCount]) {
  return ParseRecordKeys<Record>(section, kind, keys, KeyCount);
}

// A kind with no keys besides MODE.
template <typename Record>
PROC_INFO* ParseRecord(const char* section, const ProcKind& kind) {
  return ParseRecordKeys<Record>(section, kind, nullptr, 0);
}
