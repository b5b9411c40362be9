// The OS seam: what the whole process needs of the system. Its set-up, the
// program's own path and command line, profile files, the code page, time,
// its rights, who sees its boxes, and why an action failed.
//
// The seam is a header per topic (os/basics.h, files.h, processes.h,
// registry.h, services.h, shell.h, trust.h, ui.h, journal_support.h, log.h);
// a file includes those whose calls it makes. Each topic's Windows half is the _win.cpp file
// of its name, making exactly the platform calls named beside each call,
// with what the halves share in common_win; only those files (and the
// console tools' own, console_text_win.cpp) include windows.h. The native
// tests link a double instead (tests/fake), and the script checker a world
// of its own (tools/check/os_check.cpp). A handle is of a type of its kind,
// and it and the text a call makes are owned by an Owned (os/owned.h).
// Texts are zero-terminated byte strings in the system's ANSI code page
// unless a name says UTF-8. The seam includes nothing above its own floor.
#pragma once

#include <cstdint>

#include "os/owned.h"

namespace os {

// --- Why an action failed ---------------------------------------------------
//
// Every call that fails to do what it was asked (to read, change, make,
// open, start or show something) keeps a reason for LastFailure, on every
// road to its failure, in the Windows half and in the double alike: the
// system's error code (GetLastError at the failure, the code a registry call
// returns, the Win32 code a failed HRESULT carries or else the HRESULT),
// or, where the system gives none, the code of what went wrong
// (ERROR_NOT_ENOUGH_MEMORY; ERROR_ACCESS_DENIED for a file reached through
// a link). An answer is no failure: a question answered no (IsExistingFile,
// AttributesOf, IsDirectFolder, a name taken for CreateNewFile, a lock
// Held, a catalogue without the text, Unsupported where the system lacks a
// call) need not keep one. Nor do ProgramsHolding and FailureText, which
// only explain a failure already kept and leave its reason as it was.

// The reason of the last call that failed; 0 when none has failed since
// ClearFailure.
uint32_t LastFailure();
void ClearFailure();
// Keeps `code` as the reason of a failure that the caller itself finds
// after calls that succeeded (a wait it ends: os/services.h).
void KeepFailure(uint32_t code);
// The system's text for `code` (FormatMessageW in the user's language), in
// UTF-8 without its closing line break. False, with no text, when the
// system has none.
bool FailureText(uint32_t code, OwnedText& utf8);

// --- Process-wide set-up --------------------------------------------------

// Keeps DLLs in the program's own folder (often a downloads folder) from being
// loaded in place of system DLLs. Must run before anything else loads a DLL.
void RestrictDllSearch();
void InitializeCom();    // CoInitialize(NULL); the result is not examined
void UninitializeCom();  // CoUninitialize()

// GetCommandLineA: the whole command line, the program's own name first.
const char* ProcessCommandLine();
// GetModuleFileNameA(NULL, buffer, size): the program's own full path.
uint32_t ModuleFileName(char* buffer, uint32_t size);

// --- Profile files ----------------------------------------------------------

// GetPrivateProfileStringA: the key's value, or `fallback` when the section or
// the key is absent, cut to size - 1 bytes and terminated. Gives its length.
uint32_t ReadProfileString(const char* file, const char* section, const char* key,
                           const char* fallback, char* buffer, uint32_t size);

// GetPrivateProfileSectionA: the section's lines as consecutive zero-terminated
// strings ended by an empty one. Gives the bytes written before that end.
uint32_t ReadProfileSection(const char* file, const char* section, char* buffer,
                            uint32_t size);

// --- The code page ----------------------------------------------------------

// IsDBCSLeadByte: true when `byte` begins a double-byte character of the
// system's ANSI code page; never in a single-byte code page.
bool IsLeadByte(uint8_t byte);

uint32_t AnsiCodePage();  // GetACP

// Converts ANSI text to UTF-8 (MultiByteToWideChar with CP_ACP, then
// WideCharToMultiByte with CP_UTF8). False, with no text, on failure.
bool AnsiToUtf8(const char* ansi, OwnedText& utf8);

// --- Time -------------------------------------------------------------------

struct LocalTime {
  uint16_t Year, Month, Day, Hour, Minute, Second, Milliseconds;
};
void CurrentLocalTime(LocalTime& time);  // GetLocalTime
uint32_t Milliseconds();                 // GetTickCount: for spans of time
// Sleep(milliseconds): a pause of the run, between two looks at something
// that takes its time (a service, a file another program holds); the
// progress window, on its own thread, is brought up to date first.
void PauseRun(uint32_t milliseconds);

// --- The run's rights and its boxes -------------------------------------------

// Whether the run has administrator rights: OpenProcessToken and
// GetTokenInformation (TokenElevation). Unknown where the system cannot
// tell (before Vista).
enum class Elevation { Elevated, NotElevated, Unknown };
Elevation RunElevation();
// Whether anyone can see the program's boxes. Not where its window station
// is not interactive (GetProcessWindowStation, GetUserObjectInformationA
// UOI_FLAGS without WSF_VISIBLE), nor, from Vista on (GetVersionExA), in
// session 0 (ProcessIdToSessionId), where no user's desktop is. Where the
// system cannot tell, the boxes are taken as seen.
enum class BoxesSeen { Seen, StationHidden, SessionZero };
BoxesSeen WhoSeesBoxes();

}  // namespace os
