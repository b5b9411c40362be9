// Every procedure kind, each described and carried out in its own file; the
// table that holds them in matching order is in kinds.cpp.
#pragma once

#include "procs/proc_list.h"

extern const ProcKind ExistKind;
extern const ProcKind DateKind;
extern const ProcKind SwitchKind;
extern const ProcKind MsgBoxKind;
extern const ProcKind CopyKind;
extern const ProcKind LaunchKind;
extern const ProcKind DeleteKind;
extern const ProcKind LinkKind;
extern const ProcKind OsVerKind;
extern const ProcKind MakeDirKind;
extern const ProcKind AttrKind;
extern const ProcKind CrcKind;
extern const ProcKind VersionKind;
