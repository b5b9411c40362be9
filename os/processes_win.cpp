// The Windows half of os/processes.h.
#include <windows.h>
#include <restartmanager.h>  // its types only: the calls are looked up at run time

#include <cstring>

#include "os/common_win.h"
#include "os/processes.h"
#include "os/ui_win.h"

namespace {

HANDLE Native(os::ProcessHandle process) { return static_cast<HANDLE>(process); }

}  // namespace

namespace os {

bool StartProgram(const char* application, const char* commandLine, const char* directory,
                  ProcessHandle& started) {
  // CreateProcessA may write into the command line. A copy that could not
  // be made must not start the program with an empty line instead.
  OwnedText writable(NewText(commandLine));
  if (!writable.IsOpen()) return FailedWith(ERROR_NOT_ENOUGH_MEMORY, false);
  STARTUPINFOA startup;
  memset(&startup, 0, sizeof(startup));
  startup.cb = sizeof(startup);  // 68
  PROCESS_INFORMATION process;
  memset(&process, 0, sizeof(process));
  if (!CreateProcessA(application, writable.Get(), nullptr, nullptr, FALSE, 0, nullptr,
                      directory, &startup, &process))
    return Failed(false);
  CloseHandle(process.hThread);
  started = static_cast<ProcessHandle>(process.hProcess);
  return true;
}

bool WaitForProgram(ProcessHandle process, WaitFor wait, uint32_t& exitCode) {
  OwnedHandle handle(Native(process));
  bool waited;
  if (wait == WaitFor::Exit) {
    DWORD code = 0;
    waited = progress::DrawThenWait(handle.Get()) != WAIT_FAILED &&
             GetExitCodeProcess(handle.Get(), &code);
    exitCode = code;
  } else {
    progress::DrawNow();
    waited = WaitForInputIdle(handle.Get(), INFINITE) != WAIT_FAILED;
  }
  return waited || Failed(false);
}

void CloseProcess(ProcessHandle process) { CloseHandle(Native(process)); }

bool ProgramsHolding(const char* path, HolderVisitor visit, void* context, uint32_t& unlisted) {
  using StartFunction = DWORD(WINAPI*)(DWORD*, DWORD, WCHAR*);
  using EndFunction = DWORD(WINAPI*)(DWORD);
  using RegisterFunction = DWORD(WINAPI*)(DWORD, UINT, LPCWSTR*, UINT, void*, UINT, LPCWSTR*);
  using ListFunction = DWORD(WINAPI*)(DWORD, UINT*, UINT*, void*, DWORD*);
  unlisted = 0;
  // From the system folder's DLL; absent before Vista.
  OwnedModule manager(LoadSystemModule("\\rstrtmgr.dll"));
  StartFunction start = nullptr;
  EndFunction end = nullptr;
  RegisterFunction add = nullptr;
  ListFunction list = nullptr;
  if (manager.IsOpen()) {
    start = ModuleFunction<StartFunction>(manager.Get(), "RmStartSession");
    end = ModuleFunction<EndFunction>(manager.Get(), "RmEndSession");
    add = ModuleFunction<RegisterFunction>(manager.Get(), "RmRegisterResources");
    list = ModuleFunction<ListFunction>(manager.Get(), "RmGetList");
  }
  WideText widePath(path, CP_ACP);
  if (!start || !end || !add || !list || !widePath.Valid()) return false;
  DWORD session = 0;
  WCHAR key[CCH_RM_SESSION_KEY + 1] = {};
  if (start(&session, 0, key) != ERROR_SUCCESS) return false;
  LPCWSTR files[] = {widePath.Text()};
  UINT needed = 0;
  UINT count = 0;
  DWORD reasons = 0;
  const UINT most = 16;  // enough to name who holds it; the rest are counted
  Block entries(most * sizeof(RM_PROCESS_INFO));
  bool listed = false;
  if (entries.Data() && add(session, 1, files, 0, nullptr, 0, nullptr) == ERROR_SUCCESS) {
    count = most;
    DWORD result = list(session, &needed, &count, entries.Data(), &reasons);
    listed = result == ERROR_SUCCESS || result == ERROR_MORE_DATA;
    if (result == ERROR_MORE_DATA) count = 0;
  }
  end(session);
  if (!listed) return false;
  const RM_PROCESS_INFO* processes = reinterpret_cast<const RM_PROCESS_INFO*>(entries.Data());
  for (UINT i = 0; i < count && i < most; ++i) {
    OwnedText name;
    WCHAR own[CCH_RM_MAX_APP_NAME + 1];
    lstrcpynW(own, processes[i].strAppName, CCH_RM_MAX_APP_NAME + 1);
    if (WideToUtf8(own, name)) visit(context, name.Get(), processes[i].Process.dwProcessId);
  }
  if (count == 0) unlisted = needed;
  return true;
}

}  // namespace os
