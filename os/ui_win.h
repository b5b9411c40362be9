// What the other Windows halves take from the user interface's half
// (Windows only): before the run waits for a program, the progress window
// is brought up to date, since it shows what the run waits for.
#pragma once

#include <windows.h>

namespace progress {

// Has the open window draw what is to be shown now, and waits until it has.
void DrawNow();
// The same, then waits for `handle` (null: for nothing but the time); gives
// what WaitForSingleObject(handle, milliseconds) gives.
DWORD DrawThenWait(HANDLE handle, DWORD milliseconds = INFINITE);

}  // namespace progress
