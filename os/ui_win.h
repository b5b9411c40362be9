// What the other Windows halves take from the user interface's half
// (Windows only): the waits for a program handle the progress window's
// messages.
#pragma once

#include <windows.h>

namespace progress {

// The open window, or null.
HWND Window();
// Handles the window's messages now, where it is open.
void HandleWaitingMessages();
// Waits for `handle` (null: for nothing but the time) while handling the
// window's messages; gives what WaitForSingleObject(handle, milliseconds)
// gives.
DWORD WaitHandlingMessages(HANDLE handle, DWORD milliseconds = INFINITE);

}  // namespace progress
