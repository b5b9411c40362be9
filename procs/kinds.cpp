// Every procedure kind of the script language, in the order in which both
// the list builder and the runner match a MODE value against them (ASCII
// letter case ignored). Each kind's whole behaviour lives in its own file.
//
//   EXIST    FILE                      tests that every listed file exists
//   DATE     FILE, DATE                tests whether a file is older than a date
//   SWITCH   PROC, 0, 1                runs list 1 or 0 by another's Result
//   MSGBOX   FLAG, TYPE, TEXT, ISABORT shows a box; the answer is the Result
//   COPY     FROM, TO                  copies files, replacing targets
//   LAUNCH   FILE, PARAM, ISWAIT       starts programs and waits for each
//   DELETE   FILE                      deletes files
//   LINK     SRC, PARAM, SHOWCMD, DST  creates shortcuts
//   OSVER    (none)                    tests for the NT platform
//   MAKEDIR  DIR                       creates directories
//   ATTR     FILE, ARG                 sets file attributes
//   CRC      FILE, TYPE, CRC           compares or shows file checksums
//
// A kind without operations yet is known by its word but cannot be used:
// a list naming it is reported like an unknown MODE.
#include "procs/kinds.h"

const ProcKind ProcKinds[] = {
    {"EXIST", ParseExist, ExecuteExist},
    {"DATE", ParseDate, ExecuteDate},
    {"SWITCH", ParseSwitch, ExecuteSwitch},
    {"MSGBOX", ParseMsgBox, ExecuteMsgBox},
    {"COPY", ParseCopy, ExecuteCopy},
    {"LAUNCH", ParseLaunch, ExecuteLaunch},
    {"DELETE", ParseDelete, ExecuteDelete},
    {"LINK", ParseLink, ExecuteLink},
    {"OSVER", ParseOsVer, ExecuteOsVer},
    {"MAKEDIR", ParseMakeDir, ExecuteMakeDir},
    {"ATTR", ParseAttr, ExecuteAttr},
    {"CRC", ParseCrc, ExecuteCrc},
};

const int ProcKindCount = sizeof(ProcKinds) / sizeof(ProcKinds[0]);
