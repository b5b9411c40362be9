// nodesktop: runs a program where no one can see its windows, as a
// deployment tool's service does: in a window station of its own, which is
// not interactive.
//
//   nodesktop SECONDS PROGRAM [ARGUMENT]...
//
// Waits for the program's end, at most SECONDS, and exits with its exit
// code; with 124 when it had not ended by then (it is ended), 2 when it
// could not be started.
#include <windows.h>

#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  HWINSTA own = GetProcessWindowStation();
  HWINSTA hidden = CreateWindowStationA("nodesktop", 0, WINSTA_ALL_ACCESS, nullptr);
  if (!hidden || !SetProcessWindowStation(hidden)) return 2;
  HDESK desktop = CreateDesktopA("Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
  SetProcessWindowStation(own);
  if (!desktop) return 2;
  std::string commandLine;
  for (int i = 2; i < argc; ++i) commandLine += std::string(i > 2 ? " \"" : "\"") + argv[i] + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.lpDesktop = const_cast<char*>("nodesktop\\Default");
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process))
    return 2;
  CloseHandle(process.hThread);
  DWORD code = 124;
  if (WaitForSingleObject(process.hProcess, atoi(argv[1]) * 1000) == WAIT_OBJECT_0)
    GetExitCodeProcess(process.hProcess, &code);
  else
    TerminateProcess(process.hProcess, 124);
  CloseHandle(process.hProcess);
  CloseDesktop(desktop);
  CloseWindowStation(hidden);
  return static_cast<int>(code);
}
