#include "procs/comma_lists.h"

#include <cstring>

#include "base/characters.h"
#include "base/report.h"
#include "base/run_events.h"
#include "os/files.h"

int32_t CountPositions(const PROC_INFO& record, const TextString& leading,
                       const char* leadingKey) {
  int32_t count = leading.ItemCount(",");
  if (count == 0) ShowError(MsgBadItemCount, record.Name.Text(), leadingKey);
  return count;
}

TextString ListItem(const TextString& list, int32_t position) {
  TextString item = list.Item(position, ",");
  item.Trim(" ");
  return item;
}

bool DirectoryOfPath(const char* path, TextString& directory) {
  // The last backslash that is a character of its own, never the second
  // byte of a double-byte character.
  const char* last = FindLastCharacter(path, '\\');
  if (!last || last == path) return false;
  int32_t length = static_cast<int32_t>(last - path);
  if (!directory.Reserve(length + 1)) return false;
  memcpy(directory.Buffer(), path, length);
  return true;
}

bool MakeFolder(const char* path) {
  if (!StartingAction(FileAction::FolderMade, path)) return false;
  if (!os::MakeDirectory(path)) {
    ShowError(MsgMakeDirFailed, path);
    return false;
  }
  ReportFileAction(FileAction::FolderMade, path);
  return true;
}
