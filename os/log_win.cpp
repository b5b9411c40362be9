// The Windows half of os/log.h.
#include <windows.h>

#include "os/common_win.h"
#include "os/files.h"
#include "os/files_win.h"
#include "os/log.h"

namespace {

// The last backslash of `text` that is a character of its own, never the second
// byte of a double-byte character of the ANSI code page: a lead byte
// (IsDBCSLeadByte) and the byte after it, where that is 0x40 or above, are
// one character.
char* LastBackslash(char* text) {
  char* last = nullptr;
  for (char* at = text; *at; ++at) {
    uint8_t byte = static_cast<uint8_t>(*at);
    if (byte >= 0x80 && static_cast<uint8_t>(at[1]) >= 0x40 && IsDBCSLeadByte(byte))
      ++at;
    else if (*at == '\\')
      last = at;
  }
  return last;
}

}  // namespace

namespace os {

bool OpenLog(const char* path, FileHandle& log) {
  const DWORD access = FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
  const DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
  OwnedHandle file(
      Opened(CreateFileA(path, access, FILE_SHARE_READ, nullptr, OPEN_EXISTING, flags, nullptr)));
  if (!file.IsOpen()) {
    if (GetLastError() != ERROR_FILE_NOT_FOUND) return Failed(false);
    // A new log is made only in a folder reached with no link on the way.
    OwnedText full;
    if (!FullPathForAll(path, full)) return false;
    char* last = LastBackslash(full.Get());
    if (!last) return FailedWith(ERROR_BAD_PATHNAME, false);
    last[last - full.Get() == 2 ? 1 : 0] = '\0';  // the folder; a drive's root keeps its "\\"
    if (!IsDirectFolder(full.Get())) return FailedWith(ERROR_ACCESS_DENIED, false);
    file.Receive() =
        Opened(CreateFileA(path, access, FILE_SHARE_READ, nullptr, CREATE_NEW, flags, nullptr));
    if (!file.IsOpen()) return Failed(false);
  }
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(file.Get(), &information) ||
      (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
      information.nNumberOfLinks != 1 || !ReachedDirectly(file.Get(), path))
    return FailedWith(ERROR_ACCESS_DENIED, false);
  log = static_cast<FileHandle>(file.Release());
  return true;
}

bool AppendToLog(FileHandle log, const char* bytes, uint32_t count) {
  return WriteAll(static_cast<HANDLE>(log), reinterpret_cast<const uint8_t*>(bytes), count) ||
         Failed(false);
}

}  // namespace os
