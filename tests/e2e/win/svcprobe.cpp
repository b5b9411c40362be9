// svcprobe: a service for the cases of the SERVICE procedure, as a
// product's own service would be.
//
//   svcprobe NAME LOG LINGER [MODE]
//   svcprobe - LOG 0 note
//
// Runs as the service NAME (its command line as the service manager starts
// it). It reports that it runs and appends "running <pid>" to LOG. Asked to
// stop, it reports that it has stopped, then its process goes on for LINGER
// seconds, as a service whose clean-up outlives its stopped state, before
// it appends "ended <pid>" and ends. MODE "fail" reports that it stops
// again while starting, as a broken update's service does. The second form
// runs as a plain program: it appends "note <pid>" to LOG and ends, so that
// a script can mark a moment in the same log. Every line of LOG begins with
// the milliseconds of the system's tick count.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

char g_name[256];
char g_log[MAX_PATH];
DWORD g_linger = 0;
bool g_fail = false;
SERVICE_STATUS_HANDLE g_status = nullptr;
HANDLE g_stop = nullptr;

void Note(const char* what) {
  FILE* log = fopen(g_log, "a");
  if (!log) return;
  fprintf(log, "%lu %s %lu\n", static_cast<unsigned long>(GetTickCount()), what,
          static_cast<unsigned long>(GetCurrentProcessId()));
  fclose(log);
}

void Report(DWORD state, DWORD exitCode = NO_ERROR) {
  SERVICE_STATUS status = {};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
  status.dwWin32ExitCode = exitCode;
  status.dwWaitHint = 2000;
  SetServiceStatus(g_status, &status);
}

DWORD WINAPI Control(DWORD control, DWORD, void*, void*) {
  if (control == SERVICE_CONTROL_STOP) {
    Report(SERVICE_STOP_PENDING);
    SetEvent(g_stop);
  }
  return NO_ERROR;
}

void WINAPI ServiceMain(DWORD, char**) {
  g_status = RegisterServiceCtrlHandlerExA(g_name, Control, nullptr);
  if (!g_status) return;
  if (g_fail) {
    Report(SERVICE_START_PENDING);
    Note("failed");
    Report(SERVICE_STOPPED, ERROR_SERVICE_SPECIFIC_ERROR);
    return;
  }
  g_stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  Report(SERVICE_RUNNING);
  Note("running");
  WaitForSingleObject(g_stop, INFINITE);
  Note("stopped");
  Report(SERVICE_STOPPED);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  lstrcpynA(g_name, argv[1], sizeof g_name);
  lstrcpynA(g_log, argv[2], sizeof g_log);
  g_linger = static_cast<DWORD>(atoi(argv[3]));
  g_fail = argc > 4 && strcmp(argv[4], "fail") == 0;
  if (argc > 4 && strcmp(argv[4], "note") == 0) {
    Note("note");
    return 0;
  }
  SERVICE_TABLE_ENTRYA table[] = {{g_name, ServiceMain}, {nullptr, nullptr}};
  if (!StartServiceCtrlDispatcherA(table)) return 3;
  // The service has told the manager it stopped; its process lingers on.
  Sleep(g_linger * 1000);
  Note("ended");
  return 0;
}
