// What the other Windows halves take from the files' half (Windows only).
#pragma once

#include <windows.h>

#include <cstdint>

namespace os {

// True when the open `file` is the file `path` names itself, not one that
// a link or a junction on the way leads to. With `longNames`, short names
// in `path` are read as the long ones they stand for. Systems without the
// call (before Vista) are taken at their word.
bool ReachedDirectly(HANDLE file, const char* path, bool longNames = false);

// WriteFile until all `count` bytes are written; false when a write fails.
bool WriteAll(HANDLE file, const uint8_t* data, DWORD count);

}  // namespace os
