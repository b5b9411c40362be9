// File versions: the version text a script writes ("2", "2.1", "2.1.0.15")
// and the file version of a program's fixed version information, read from
// the program's own bytes (its PE resource section), so that the updater and
// the script checker read the format the same way on every system.
#pragma once

#include <cstdint>

#include "base/text_string.h"

// A version as four 16-bit numbers, major first: comparing two of them as
// numbers compares the versions part by part.
using FileVersion = uint64_t;

// One to four decimal numbers of 0 to 65535 separated by "."; missing
// parts are 0. False, leaving `version` as it was, for anything else.
bool ParseVersionText(const char* text, FileVersion& version);
// All four parts: "1.10.0.0".
TextString VersionText(FileVersion version);

// Where the bytes of a file come from.
class FileBytes {
 public:
  virtual uint64_t Size() = 0;
  // Exactly `count` bytes at `offset` (within Size), or false.
  virtual bool Read(uint64_t offset, void* out, uint32_t count) = 0;

 protected:
  ~FileBytes() = default;
};

enum class VersionFound {
  Found,       // `version` holds the file version
  NoVersion,   // not a program, or one without version information
  Unreadable,  // a read of the file failed
  NotOpened,   // (a path's) the file could not be opened, or is missing
};

// The file version (dwFileVersionMS, dwFileVersionLS) of the first version
// resource of the program in `file`. Every offset and size in the file is
// checked against what was read: a damaged file is one without a version.
VersionFound ReadFileVersion(FileBytes& file, FileVersion& version);

// The same for the file at `path`, opened through the seam sharing
// everything (a running program's file is read), and closed again.
VersionFound ReadFileVersion(const char* path, FileVersion& version);
