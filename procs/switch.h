// The two halves of a SWITCH's decision, for the script checker, which
// follows both branches of every SWITCH without running anything.
#pragma once

#include "procs/proc_list.h"

// The procedure of the list on top whose Result decides the SWITCH
// `record`; null after message 6 when the list has none of that name.
PROC_INFO* SwitchDecider(PROC_INFO* record);

// The list the SWITCH `record` runs when its deciding procedure's Result is
// `result`.
const TextString& SwitchBranch(const PROC_INFO* record, bool result);
