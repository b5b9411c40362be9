// The Parse and Execute operations of each procedure kind; the table that
// dispatches to them is in kinds.cpp.
#pragma once

#include "procs/proc_list.h"

PROC_INFO* ParseMsgBox(const char* section);
bool ExecuteMsgBox(PROC_INFO* record);
PROC_INFO* ParseCopy(const char* section);
bool ExecuteCopy(PROC_INFO* record);
PROC_INFO* ParseLaunch(const char* section);
bool ExecuteLaunch(PROC_INFO* record);
PROC_INFO* ParseExist(const char* section);
bool ExecuteExist(PROC_INFO* record);
PROC_INFO* ParseSwitch(const char* section);
bool ExecuteSwitch(PROC_INFO* record);
PROC_INFO* ParseDate(const char* section);
bool ExecuteDate(PROC_INFO* record);
PROC_INFO* ParseDelete(const char* section);
bool ExecuteDelete(PROC_INFO* record);
PROC_INFO* ParseLink(const char* section);
bool ExecuteLink(PROC_INFO* record);
PROC_INFO* ParseOsVer(const char* section);
bool ExecuteOsVer(PROC_INFO* record);
PROC_INFO* ParseMakeDir(const char* section);
bool ExecuteMakeDir(PROC_INFO* record);
PROC_INFO* ParseAttr(const char* section);
bool ExecuteAttr(PROC_INFO* record);
PROC_INFO* ParseCrc(const char* section);
bool ExecuteCrc(PROC_INFO* record);
