// holdfile: holds files open the way another program would, for the cases
// of files in use.
//
//   holdfile MARKER read|none FILE [read|none FILE]...
//
// Opens each FILE for reading, sharing reading with others ("read", as a
// program that only reads a file does) or sharing nothing ("none"), then
// creates MARKER and keeps the files open until MARKER is deleted (or 60
// seconds have passed). Exit code 0, or 2 when a file or MARKER cannot be
// opened.
#include <windows.h>

#include <cstring>
#include <vector>

int main(int argc, char** argv) {
  if (argc < 4 || argc % 2) return 2;
  std::vector<HANDLE> held;
  for (int i = 2; i + 1 < argc; i += 2) {
    DWORD share = strcmp(argv[i], "read") == 0 ? FILE_SHARE_READ : 0;
    HANDLE file = CreateFileA(argv[i + 1], GENERIC_READ, share, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 2;
    held.push_back(file);
  }
  HANDLE marker = CreateFileA(argv[1], GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (marker == INVALID_HANDLE_VALUE) return 2;
  CloseHandle(marker);
  for (int waited = 0; waited < 6000 && GetFileAttributesA(argv[1]) != INVALID_FILE_ATTRIBUTES;
       ++waited)
    Sleep(10);
  for (HANDLE file : held) CloseHandle(file);
  return 0;
}
