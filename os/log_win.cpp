// The Windows half of os/log.h.
#include <windows.h>

#include "base/characters.h"
#include "base/text_string.h"
#include "os/common_win.h"
#include "os/files.h"
#include "os/files_win.h"
#include "os/log.h"

namespace os {

bool OpenLog(const char* path, FileHandle& log) {
  const DWORD access = FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
  const DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
  OwnedHandle file(
      Opened(CreateFileA(path, access, FILE_SHARE_READ, nullptr, OPEN_EXISTING, flags, nullptr)));
  if (!file.IsOpen()) {
    if (GetLastError() != ERROR_FILE_NOT_FOUND) return Failed(false);
    // A new log is made only in a folder reached with no link on the way.
    TextString full;
    if (!FullPathForAll(path, full)) return false;
    const char* last = FindLastCharacter(full.Text(), '\\');
    if (!last) return false;
    int32_t cut = static_cast<int32_t>(last - full.Text());
    TextString folder = full.Mid(0, cut == 2 ? cut : cut - 1);  // a drive's root keeps its "\\"
    if (!IsDirectFolder(folder.Text())) return FailedWith(ERROR_ACCESS_DENIED, false);
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
  return WriteAll(static_cast<HANDLE>(log), reinterpret_cast<const uint8_t*>(bytes), count);
}

}  // namespace os
