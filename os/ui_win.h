// What the other Windows halves take from the user interface's half
// (Windows only): the progress window owns the run's boxes, and the waits
// for a program handle its messages.
#pragma once

#include <windows.h>

#include <cstdint>

namespace progress {

// The open window, or null: the owner of the run's boxes.
HWND Window();
// `done` of `total` bytes of the current file read: moves the file bar and
// handles the window's messages, at most about 30 times a second.
void FileBytes(uint64_t done, uint64_t total);
// Handles the window's messages now, where it is open.
void HandleWaitingMessages();
// Waits for `handle` while handling the window's messages; gives what
// WaitForSingleObject(handle, INFINITE) gives.
DWORD WaitHandlingMessages(HANDLE handle);

}  // namespace progress
