// What the other Windows halves take from the files' half (Windows only).
#pragma once

#include <windows.h>

#include <cstdint>

#include "os/files.h"

namespace os {

// True when the open `file` is the file `path` names itself, not one that
// a link or a junction on the way leads to. With `longNames`, short names
// in `path` are read as the long ones they stand for. Systems without the
// call (before Vista) are taken at their word.
bool ReachedDirectly(HANDLE file, const char* path, bool longNames = false);

// ReadFile in blocks of ReadBlockSize from where the file's pointer is to
// its end, handing each block to `consume` and then, where given, telling
// `told` of the bytes read so far of `total`. False, with its reason kept,
// when no block can be had or a read fails.
bool ReadAllBlocks(HANDLE file, uint64_t total, BlockConsumer consume, void* context,
                   BytesDone told, void* toldContext);

// WriteFile until all `count` bytes are written; false when a write fails.
bool WriteAll(HANDLE file, const uint8_t* data, DWORD count);

}  // namespace os
