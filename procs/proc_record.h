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

// One key of a kind: read as text with ReadValue, or, when Text is null, as a
// number with ReadNumber.
template <typename Record>
struct RecordKey {
  const char* Key;
  TextString Record::*Text;
  int32_t Record::*Number;
};

template <typename Record>
PROC_INFO* ParseRecordKeys(const char* section, const char* objectName,
                           const RecordKey<Record>* keys, int keyCount) {
  Record* record = new (std::nothrow) Record;
  if (!record) {
    ShowError(MsgOutOfMemory, objectName);
    return nullptr;
  }
  record->Name.Assign(section);
  bool complete = ReadValue(section, "MODE", record->Mode);
  for (int i = 0; complete && i < keyCount; ++i) {
    const RecordKey<Record>& key = keys[i];
    complete = key.Text ? ReadValue(section, key.Key, record->*key.Text)
                        : ReadNumber(section, key.Key, record->*key.Number);
  }
  if (!complete) {
    delete record;
    return nullptr;
  }
  return record;
}

template <typename Record, int KeyCount>
PROC_INFO* ParseRecord(const char* section, const char* objectName,
                       const RecordKey<Record> (&keys)[KeyCount]) {
  return ParseRecordKeys<Record>(section, objectName, keys, KeyCount);
}

// A kind with no keys besides MODE.
template <typename Record>
PROC_INFO* ParseRecord(const char* section, const char* objectName) {
  return ParseRecordKeys<Record>(section, objectName, nullptr, 0);
}
