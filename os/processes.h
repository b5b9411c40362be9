// The OS seam: processes. Starting a program, waiting for it, and naming the
// programs that hold a file. See os/basics.h for the seam as a whole and for
// the reasons of failed calls.
#pragma once

#include <cstdint>

#include "os/owned.h"

namespace os {

// The system's handle of a started program. Of a type of its own, so that
// it cannot pass for a file, a registry key or a lock.
struct ProcessObject;
using ProcessHandle = ProcessObject*;

// CloseHandle: a process that is not waited for.
void CloseProcess(ProcessHandle process);
using OwnedProcess = Owned<ProcessObject, CloseProcess>;

// CreateProcessA(application, commandLine, NULL, NULL, FALSE, 0, NULL,
// directory, STARTUPINFOA of size 68, PROCESS_INFORMATION), the thread's
// handle closed at once. `application` may be null. False when the start
// fails.
bool StartProgram(const char* application, const char* commandLine, const char* directory,
                  ProcessHandle& process);
// Waits for the program, then closes its handle (CloseHandle). For
// WaitFor::Exit, WaitForSingleObject(INFINITE) and GetExitCodeProcess; for
// WaitFor::InputIdle, WaitForInputIdle(INFINITE). The progress window, on
// its own thread (os/ui.h), shows what the run waits for meanwhile. False
// when the wait fails;
// `exitCode` is set after a wait for the exit.
enum class WaitFor { Exit, InputIdle };
bool WaitForProgram(ProcessHandle process, WaitFor wait, uint32_t& exitCode);
inline bool WaitForProgram(OwnedProcess& process, WaitFor wait, uint32_t& exitCode) {
  return WaitForProgram(process.Release(), wait, exitCode);
}

// The programs that hold `path` open, as the Restart Manager lists them
// (RmStartSession, RmRegisterResources, RmGetList, RmEndSession, loaded from
// the system folder at run time, since systems before Vista lack it):
// `visit` is told of each in the order listed, with its name in UTF-8 (a
// name with no UTF-8 form is left out) and its process id. Where more hold
// it than are listed at once (16), none is listed and `unlisted` receives
// how many hold it; else 0. False when the system cannot tell.
using HolderVisitor = void (*)(void* context, const char* utf8Name, uint32_t processId);
bool ProgramsHolding(const char* path, HolderVisitor visit, void* context, uint32_t& unlisted);

}  // namespace os
