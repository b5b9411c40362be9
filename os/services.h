// The OS seam: services. Asking the service manager to stop or start a
// service, reading its state, and the wait that follows for a service's
// own process to end (the pauses between two looks at its state are
// os::PauseRun, os/basics.h). See os/basics.h for the seam as a whole and
// for the reasons of failed calls.
#pragma once

#include <cstdint>

#include "os/owned.h"
#include "os/processes.h"

namespace os {

// The service manager, opened to reach its services, and one service.
// Each of a type of its own, so that neither can pass for the other, nor
// for a file, a process or a registry key.
struct ServiceManagerObject;
using ServiceManagerHandle = ServiceManagerObject*;
struct ServiceObject;
using ServiceHandle = ServiceObject*;

void CloseServiceManager(ServiceManagerHandle manager);  // CloseServiceHandle
void CloseService(ServiceHandle service);                // CloseServiceHandle
using OwnedServiceManager = Owned<ServiceManagerObject, CloseServiceManager>;
using OwnedService = Owned<ServiceObject, CloseService>;

// The system's codes for what a service did not do, for the reason of a
// wait that the caller itself ends (KeepFailure).
namespace service_error {
constexpr uint32_t RequestTimeout = 1053;  // ERROR_SERVICE_REQUEST_TIMEOUT
constexpr uint32_t NotActive = 1062;       // ERROR_SERVICE_NOT_ACTIVE
}  // namespace service_error

// OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT).
bool OpenServiceManager(ServiceManagerHandle& manager);

// OpenServiceA(manager, name, SERVICE_QUERY_STATUS | SERVICE_STOP |
// SERVICE_START): a run that changes a service must be able to change it
// back. Missing where no service has that name (ERROR_SERVICE_DOES_NOT_EXIST,
// kept as the reason as well).
enum class ServiceOpening { Opened, Missing, Failed };
ServiceOpening OpenNamedService(ServiceManagerHandle manager, const char* name,
                                ServiceHandle& service);

// A service's state, with the platform's values (SERVICE_STOPPED...).
enum class ServiceState : uint32_t {
  Stopped = 1,
  StartPending = 2,
  StopPending = 3,
  Running = 4,
  ContinuePending = 5,
  PausePending = 6,
  Paused = 7,
};
struct ServiceStatus {
  ServiceState State = ServiceState::Stopped;
  uint32_t ExitCode = 0;   // its Win32 exit code, once stopped
  uint32_t WaitHint = 0;   // the milliseconds its pending change may take
  uint32_t ProcessId = 0;  // its process, 0 when none runs or the system cannot tell
  bool SharesProcess = false;  // SERVICE_WIN32_SHARE_PROCESS: its process hosts others
};
// QueryServiceStatusEx(SC_STATUS_PROCESS_INFO), looked up at run time:
// systems before Windows 2000 lack it and answer through
// QueryServiceStatus, without the process.
bool QueryService(ServiceHandle service, ServiceStatus& status);

// Asking for a change: Done where the service is already where it was
// asked to go (a stop: ERROR_SERVICE_NOT_ACTIVE; a start:
// ERROR_SERVICE_ALREADY_RUNNING), which is no failure.
enum class ServiceAsked { Asked, Done, Failed };
ServiceAsked AskServiceToStop(ServiceHandle service);   // ControlService(SERVICE_CONTROL_STOP)
ServiceAsked AskServiceToStart(ServiceHandle service);  // StartServiceA(service, 0, NULL)

// OpenProcess(SYNCHRONIZE, FALSE, processId): a service's process, held so
// that its end can be waited for even after its id is given to another.
bool OpenServiceProcess(uint32_t processId, ProcessHandle& process);
// WaitForSingleObject(process, milliseconds); while the progress window is
// open, with MsgWaitForMultipleObjects, its messages handled meanwhile.
// TimedOut is no failure: the caller says why it waited no longer.
enum class ProcessWait { Ended, TimedOut, Failed };
ProcessWait WaitForProcessEnd(ProcessHandle process, uint32_t milliseconds);

}  // namespace os
