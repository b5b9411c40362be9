#include "procs/proc_list.h"

#include <cstdlib>
#include <cstring>

#include "base/report.h"
#include "base/run_events.h"
#include "os/basics.h"
#include "procs/comma_lists.h"
#include "script/script_file.h"

ProcListStack ProcListArray;

namespace {

const int32_t PointerSize = static_cast<int32_t>(sizeof(ProcList));

ProcList ListAt(int32_t index) {
  ProcList list;
  memcpy(&list, ProcListArray.Lists.Data() + index * PointerSize, sizeof(list));
  return list;
}

}  // namespace

const ProcKind* KindOfMode(const TextString& mode) {
  for (int i = 0; i < ProcKindCount; ++i)
    if (mode.Equals(ProcKinds[i]->Word)) return ProcKinds[i];
  return nullptr;
}

PROC_INFO* ParseProc(const char* section) {
  TextString mode;
  if (!ReadValue(section, "MODE", mode)) return nullptr;
  const ProcKind* kind = KindOfMode(mode);
  if (!kind || !kind->Parse) {
    ShowError(MsgBadSymbol, mode.Text());
    return nullptr;
  }
  return kind->Parse(section);
}

ProcList BuildProcList(const TextString& list, int32_t count) {
  if (count <= 0) {
    ShowError(MsgBadProcCount);
    return nullptr;
  }
  ProcList procs = static_cast<ProcList>(calloc(static_cast<size_t>(count) + 1, sizeof(PROC_INFO*)));
  if (!procs) {
    ShowError(MsgOutOfMemory, "ProcList");
    return nullptr;
  }
  // Every section is read before the first procedure runs, so a script
  // error anywhere in the list stops the run before the list does anything.
  for (int32_t i = 0; i < count; ++i) {
    procs[i] = ParseProc(ListItem(list, i).Text());
    if (!procs[i]) {
      FreeProcList(procs);
      return nullptr;
    }
  }
  if (!PushProcList(procs)) {
    ShowError(MsgOutOfMemory, "ProcListArray");
    FreeProcList(procs);
    return nullptr;
  }
  return procs;
}

bool RunProcList(ProcList list) {
  if (!list) return true;
  for (PROC_INFO** slot = list; *slot; ++slot) {
    const ProcKind* kind = KindOfMode((*slot)->Mode);
    if (!kind || !kind->Execute) {
      ShowError(MsgBadSymbol, (*slot)->Mode.Text());
      return false;
    }
    if (!RunGoesOn()) return false;  // the user ended the run
    os::ClearFailure();  // a report of this procedure gives its own reason
    Observer().ProcedureStarted((*slot)->Name.Text(), (*slot)->Mode.Text());
    bool succeeded = kind->Execute(*slot);
    Observer().ProcedureEnded((*slot)->Name.Text(), (*slot)->Result, succeeded);
    if (!succeeded) return false;
  }
  return true;
}

int32_t FreeProcList(ProcList list) {
  if (!list) return 0;
  for (PROC_INFO** slot = list; *slot; ++slot) {
    delete *slot;
    *slot = nullptr;
  }
  // A list whose building failed never reached the stack.
  for (int32_t i = ProcListArray.Count - 1; i >= 0; --i) {
    if (ListAt(i) == list) {
      ProcListArray.Lists.Remove(i * PointerSize, PointerSize);
      --ProcListArray.Count;
      break;
    }
  }
  free(list);
  return ProcListArray.Count;
}

bool PushProcList(ProcList list) {
  if (!list) return false;
  if (!ProcListArray.Lists.AppendBytes(&list, PointerSize)) return false;
  ++ProcListArray.Count;
  return true;
}

ProcList TopProcList() {
  if (ProcListArray.Count <= 0) return nullptr;
  return ListAt(ProcListArray.Count - 1);
}

PROC_INFO* FindProc(ProcList list, const char* name) {
  if (!list) return nullptr;
  for (PROC_INFO** slot = list; *slot; ++slot)
    if ((*slot)->Name.Equals(name)) return *slot;
  return nullptr;
}

void FreeAllProcLists() {
  while (FreeProcList(TopProcList()) > 0) {
  }
}
