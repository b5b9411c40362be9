// The OS seam: the run's log file. See os/basics.h for the seam as a whole
// and for the reasons of failed calls.
#pragma once

#include <cstdint>

#include "os/files.h"

namespace os {

// Opens the log at `path` for appending: CreateFileA(path, FILE_APPEND_DATA,
// FILE_SHARE_READ, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT), or, where
// it is missing and its folder is reached with no link on the way
// (IsDirectFolder), CREATE_NEW. A log reached through a link is refused
// (and closed unwritten): a reparse point or a file of more than one hard
// link (GetFileInformationByHandle), or one whose final path is not the path
// given (GetFinalPathNameByHandleW against GetFullPathNameW, where those
// calls exist). No file is made before that is known. False when it does
// not open or is refused. It is closed with CloseFile (os/files.h).
bool OpenLog(const char* path, FileHandle& log);
// WriteFile of `count` bytes at the end of the log.
bool AppendToLog(FileHandle log, const char* bytes, uint32_t count);

}  // namespace os
