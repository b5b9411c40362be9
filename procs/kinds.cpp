// Every procedure kind of the script language, in the order in which both
// the list builder and the runner match a MODE value against them (ASCII
// letter case ignored). Each kind's keys, effects and whole behaviour live
// in its own file; adding a kind is its file and a row here.
#include "procs/kinds.h"

const ProcKind* const ProcKinds[] = {
    &ExistKind,  &DateKind, &SwitchKind, &MsgBoxKind,  &CopyKind, &LaunchKind,
    &DeleteKind, &LinkKind, &OsVerKind,  &MakeDirKind, &AttrKind, &CrcKind,
    &VersionKind,
};

const int ProcKindCount = sizeof(ProcKinds) / sizeof(ProcKinds[0]);
