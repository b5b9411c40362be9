// A program for the LAUNCH cases that records how it was started: its own
// path, its command line and its current directory, one per line, in a file
// named after itself with ".txt" added. With "/sleep" anywhere in its
// command line it waits half a second first, so that a caller that does not
// wait for its exit would look before the file is there.
#include <windows.h>

#include <cstring>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char module[MAX_PATH] = {};
  if (!GetModuleFileNameA(nullptr, module, MAX_PATH - 4)) return 1;
  char directory[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, directory);
  const char* commandLine = GetCommandLineA();
  if (strstr(commandLine, "/sleep")) Sleep(500);

  char reportPath[MAX_PATH] = {};
  lstrcpyA(reportPath, module);
  lstrcatA(reportPath, ".txt");
  HANDLE report = CreateFileA(reportPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (report == INVALID_HANDLE_VALUE) return 2;
  const char* lines[] = {module, commandLine, directory};
  for (const char* line : lines) {
    DWORD written = 0;
    WriteFile(report, line, lstrlenA(line), &written, nullptr);
    WriteFile(report, "\n", 1, &written, nullptr);
  }
  CloseHandle(report);
  return 0;
}
