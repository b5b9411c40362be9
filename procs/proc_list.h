// Procedure records, procedure lists and the stack of live lists.
//
// A script names its procedures in comma lists. A list is turned into a
// ProcList (a null-terminated array of records built from the named
// sections), pushed on the ProcListArray, run in order until a procedure
// fails, and freed. While a list runs it is on top of the stack, so the top
// is always the list that holds the procedure now executing.
#pragma once

#include <cstdint>

#include "base/byte_buffer.h"
#include "base/text_string.h"
#include "procs/kind_description.h"

// The header every procedure record begins with.
struct PROC_INFO {
  TextString Name;      // the section name as it stood in the list, trimmed
  TextString Mode;      // the section's MODE value, expanded
  bool Result = false;  // the procedure's result flag, set by its Execute

  PROC_INFO() = default;
  PROC_INFO(const PROC_INFO&) = delete;
  PROC_INFO& operator=(const PROC_INFO&) = delete;
  virtual ~PROC_INFO() = default;  // records are freed through the header
};

// One kind of procedure: its MODE word, what it is (the record type named in
// message 3, its keys after MODE in reading order, its other effects) and
// its two operations. Parse makes a record from a section or gives null
// after reporting why; Execute carries the procedure out and gives false to
// stop the run, after its own report (or silently, where the kind says so).
struct ProcKind {
  const char* Word;
  const char* ObjectName;
  TableView<KeyDescription> Keys;
  unsigned Effects;  // kind_effect flags
  PROC_INFO* (*Parse)(const char* section);
  bool (*Execute)(PROC_INFO* record);
};

// The kinds in the order in which a MODE value is matched against them.
extern const ProcKind* const ProcKinds[];
extern const int ProcKindCount;

// A null-terminated array of records, owning them.
using ProcList = PROC_INFO**;

// The stack of live lists: their pointers' bytes in a ByteBuffer, the last
// one on top. It owns the lists on it.
struct ProcListStack {
  int32_t Count = 0;
  ByteBuffer Lists;
};
extern ProcListStack ProcListArray;

// The kind whose word equals `mode` (ASCII case ignored), or null.
const ProcKind* KindOfMode(const TextString& mode);
// Reads the MODE of `section` and makes its record with that kind's Parse;
// null after a report (a missing key, a MODE that is no kind, or the kind's
// own). BuildProcList makes each record with it.
PROC_INFO* ParseProc(const char* section);

ProcList BuildProcList(const TextString& list, int32_t count);
bool RunProcList(ProcList list);
int32_t FreeProcList(ProcList list);
bool PushProcList(ProcList list);
ProcList TopProcList();
PROC_INFO* FindProc(ProcList list, const char* name);
void FreeAllProcLists();
