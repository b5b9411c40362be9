// The Windows half of os/services.h.
#include <windows.h>

#include "os/common_win.h"
#include "os/services.h"
#include "os/ui_win.h"

namespace {

SC_HANDLE Native(os::ServiceManagerHandle manager) { return reinterpret_cast<SC_HANDLE>(manager); }
SC_HANDLE Native(os::ServiceHandle service) { return reinterpret_cast<SC_HANDLE>(service); }

// The answer to a request for a change: `done` is the code of a service
// that is already where it was asked to go.
os::ServiceAsked Answer(BOOL asked, DWORD done) {
  if (asked) return os::ServiceAsked::Asked;
  DWORD error = GetLastError();
  if (error == done) return os::ServiceAsked::Done;
  return os::FailedWith(error, os::ServiceAsked::Failed);
}

}  // namespace

namespace os {

void CloseServiceManager(ServiceManagerHandle manager) { CloseServiceHandle(Native(manager)); }

void CloseService(ServiceHandle service) { CloseServiceHandle(Native(service)); }

bool OpenServiceManager(ServiceManagerHandle& manager) {
  SC_HANDLE opened = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  if (!opened) return Failed(false);
  manager = reinterpret_cast<ServiceManagerHandle>(opened);
  return true;
}

ServiceOpening OpenNamedService(ServiceManagerHandle manager, const char* name,
                                ServiceHandle& service) {
  SC_HANDLE opened = OpenServiceA(Native(manager), name,
                                  SERVICE_QUERY_STATUS | SERVICE_STOP | SERVICE_START);
  if (!opened) {
    DWORD error = GetLastError();
    return FailedWith(error, error == ERROR_SERVICE_DOES_NOT_EXIST ? ServiceOpening::Missing
                                                                   : ServiceOpening::Failed);
  }
  service = reinterpret_cast<ServiceHandle>(opened);
  return ServiceOpening::Opened;
}

bool QueryService(ServiceHandle service, ServiceStatus& status) {
  using QueryFunction = BOOL(WINAPI*)(SC_HANDLE, SC_STATUS_TYPE, BYTE*, DWORD, DWORD*);
  SERVICE_STATUS_PROCESS found;
  ZeroMemory(&found, sizeof found);
  DWORD needed = 0;
  if (auto query = AdvapiFunction<QueryFunction>("QueryServiceStatusEx")) {
    if (!query(Native(service), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&found),
               sizeof found, &needed))
      return Failed(false);
  } else if (!QueryServiceStatus(Native(service), reinterpret_cast<SERVICE_STATUS*>(&found))) {
    return Failed(false);  // the fields of SERVICE_STATUS begin SERVICE_STATUS_PROCESS
  }
  status.State = static_cast<ServiceState>(found.dwCurrentState);
  status.ExitCode = found.dwWin32ExitCode;
  status.WaitHint = found.dwWaitHint;
  status.ProcessId = found.dwProcessId;
  status.SharesProcess = (found.dwServiceType & SERVICE_WIN32_SHARE_PROCESS) != 0;
  return true;
}

ServiceAsked AskServiceToStop(ServiceHandle service) {
  SERVICE_STATUS status;
  return Answer(ControlService(Native(service), SERVICE_CONTROL_STOP, &status),
                ERROR_SERVICE_NOT_ACTIVE);
}

ServiceAsked AskServiceToStart(ServiceHandle service) {
  return Answer(StartServiceA(Native(service), 0, nullptr), ERROR_SERVICE_ALREADY_RUNNING);
}

bool OpenServiceProcess(uint32_t processId, ProcessHandle& process) {
  HANDLE opened = OpenProcess(SYNCHRONIZE, FALSE, processId);
  if (!opened) return Failed(false);
  process = static_cast<ProcessHandle>(opened);
  return true;
}

ProcessWait WaitForProcessEnd(ProcessHandle process, uint32_t milliseconds) {
  switch (progress::DrawThenWait(static_cast<HANDLE>(process), milliseconds)) {
    case WAIT_OBJECT_0:
      return ProcessWait::Ended;
    case WAIT_TIMEOUT:
      return ProcessWait::TimedOut;
    default:
      return Failed(ProcessWait::Failed);
  }
}

}  // namespace os
