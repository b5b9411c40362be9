// Every procedure kind of the script language, in the order in which both
// the list builder and the runner match a MODE value against them (ASCII
// letter case ignored). Each kind's keys, effects and whole behaviour live
// in its own file, which defines its description; adding a kind is its file
// and its two lines here. What it does to files is told through the file
// actions of base/run_events.h, whose rows give the log and the progress
// window their words.
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
extern const ProcKind RegistryKind;
extern const ProcKind RegValueKind;
extern const ProcKind ServiceKind;

const ProcKind* const ProcKinds[] = {
    &ExistKind,  &DateKind, &SwitchKind, &MsgBoxKind,  &CopyKind, &LaunchKind,
    &DeleteKind, &LinkKind, &OsVerKind,  &MakeDirKind, &AttrKind, &CrcKind,
    &VersionKind, &RegistryKind, &RegValueKind, &ServiceKind,
};

const int ProcKindCount = sizeof(ProcKinds) / sizeof(ProcKinds[0]);
