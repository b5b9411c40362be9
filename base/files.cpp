#include "base/files.h"

#include "base/characters.h"
#include "os/files.h"

bool FileExists(const char* path) {
  const char* last = FindLastCharacter(path, '\\');
  if (last && last[1] == '\0') return os::IsExistingDirectory(path);
  return os::FindAnyEntry(path);
}
