// The Parse and Execute operations of each procedure kind; the table that
// dispatches to them is in kinds.cpp.
#pragma once

#include "procs/proc_list.h"

PROC_INFO* ParseMsgBox(const char* section);
bool ExecuteMsgBox(PROC_INFO* record);
