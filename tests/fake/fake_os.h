// A test double of the OS seam: a small world in memory that the native unit
// tests set up and then inspect. Reset() before each test. Its calls of the
// seam (fake_os.cpp, a section per topic header of os/) stand on the os
// floor alone, as the Windows half does, and keep a reason for each failure
// as it does (os/basics.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace fake {

struct Box {
  std::string text;     // UTF-8
  std::string caption;  // UTF-8
  unsigned style;
  bool owned = false;   // by the progress window
};

void Reset();

// Files and directories. Paths are matched without regard to ASCII case, as
// Windows does; a drive root ("C:") always exists, and SetFile makes the
// missing directories above a file. Profile reads see the same files.
void SetFile(const std::string& path, const std::string& contents);
void RemoveFile(const std::string& path);
void MakeDir(const std::string& path);
bool FileExists(const std::string& path);
bool DirExists(const std::string& path);
std::string FileContents(const std::string& path);
// Every file, as "path" lines in name order, for checking that nothing else
// was left behind.
std::string FileList();
unsigned FileAttributes(const std::string& path);
void SetFileAttributesTo(const std::string& path, unsigned attributes);
void SetFileDate(const std::string& path, unsigned year, unsigned month, unsigned day);
// A locked file cannot be opened, replaced or deleted, as while another
// process holds it open.
void LockFile(const std::string& path, bool locked = true);
// A directory listing gives the file at `path` under `name` (as a listing
// through a code page gives a name it cannot hold: "cafe.txt" for
// "café.txt", or with "\" for "¥"), exact or not.
void ListAs(const std::string& path, const std::string& name, bool exact);
// The file at `path` is a link to another one (a log is not written through it).
void MarkAsLink(const std::string& path);
// Every directory listing fails, as for a folder that cannot be read.
void FailListings(bool fail = true);
// The system's age: 0 today's; 1 without calls through file handles (before
// Vista), so copies are put in place by name; 2 without a replacing move
// either (the Windows 95 family).
void UseOldSystem(int age);
// The next move of a file to `path` fails (as when the disk fails meanwhile).
void FailNextMoveInto(const std::string& path);
// A file with `contents` appears at `path` just before the run creates a
// file there, or puts one there: another program's, between a check and the
// creation.
void AppearsBeforeCreation(const std::string& path, const std::string& contents);
// The next file copy writes this many bytes of the target, then fails.
void FailNextCopyAfter(size_t bytes);
// The signature the system finds on the file at `path` (copied with it):
// "by NAME" (verified, signed by NAME, in the tests' UTF-8 as ANSI), "bad"
// (it does not verify), "untrusted" (nor does its chain), "unchecked" (the
// system cannot check signatures), or "" (none, the default).
void SignFile(const std::string& path, const std::string& signature);
// The size of the blocks in which whole files are read (small by default,
// to exercise block boundaries).
void SetReadBlockSize(unsigned size);

// A running program's own file (or a loaded DLL): it can be read and
// renamed, as the system allows, but not deleted, written or replaced.
void RunFrom(const std::string& path);
// Another program holds the file open without sharing its deletion (it is
// locked), and the system names those programs as `holders`, as the log words
// them: "app.exe (42)", several separated by ", ", or "20 programs" where
// there are too many to list.
void HoldBy(const std::string& path, const std::string& holders);
// Another program holds the file without sharing (as LockFile) for
// `milliseconds` of the double's clock from now, then lets it go, as a
// scanner does; a replace over it is refused (access denied), as the
// system refuses one over any open file.
void HoldFor(const std::string& path, uint32_t milliseconds);
// Another program locks a region of the file at `path` for `milliseconds`:
// it opens, but a copy of it fails part-way (a lock violation) until then.
void LockRegionFor(const std::string& path, uint32_t milliseconds);
// Paths the system removes when it next starts, in the order asked.
const std::vector<std::string>& RemovedAtRestart();
// The folder is reached through a link or junction (or is one).
void MarkFolderAsLink(const std::string& path);
// Nothing can be created in the folder, as on read-only media.
void MakeFolderReadOnly(const std::string& path);

// Someone who may create files in `folder` puts one with `contents` under
// the kept name that the next move aside there is about to take.
void TakeKeptNameIn(const std::string& folder, const std::string& contents);
// A volume without stable file indexes (FAT, exFAT): a file's index
// changes when it is renamed. `root` is "E:" or "\\\\server\\share".
void UseFatVolume(const std::string& root);
// Whether the run has administrator rights: 0 elevated (the default), 1 not
// elevated (its removals at restart are refused), 2 unknown (old systems).
void SetElevation(int elevation);
// The system refuses to remove files when it next starts, as for a run
// without administrator rights.
void RefuseRemovalAtRestart(bool refuse = true);
// The system has no private namespaces (before Vista).
void WithoutPrivateNamespace(bool without = true);
// The journal's flushes since Reset.
unsigned Flushes();
// The folder relative paths are taken from (C:\Work by default).
void SetCurrentDirectory(const std::string& path);
// A drive letter mapped to a share ("Z:", "\\\\server\\share").
void MapDrive(const std::string& drive, const std::string& share);
// A short name that stands for a long one, as the system resolves it.
void ShortName(const std::string& shortPath, const std::string& longPath);
// Another account owns the folder, or may write in it (made if missing).
void MakeFolderForeign(const std::string& path);
// The folder was made, or taken back, with the protection that admits the
// system and the administrators only.
bool IsFolderProtected(const std::string& path);
// Another account (or the run, "run") holds a lock of that full name:
// "updater\\NAME" (the administrators' private namespace), "global\\NAME" or
// "local\\NAME", in lower case.
void HoldLock(const std::string& name, const std::string& account);
// The locks the run holds now.
std::vector<std::string> LocksHeld();

// Power cuts. Every call of the seam is counted; CutAt(n) stops the world at
// call n: the disk stays as it was before that call (a journal write cut
// there leaves part of its bytes, torn, as unflushed sectors do), and writes
// that were never flushed (the log's) are lost. The run itself goes on
// against a world that no longer counts; RestoreCut() then puts back the
// disk as the cut left it, with no program of the run holding anything, for
// the next start. Calls() counts the calls since the last Reset or
// RestoreCut.
void CutAt(unsigned call);
bool WasCut();
void RestoreCut();
unsigned Calls();
// The calls since Reset, by the name of the seam's call.
const std::map<std::string, unsigned>& CallsByName();
// Handles of the run still open: files, processes, registry keys and services.
size_t OpenHandles();
// Keeps a copy of the whole world, to go back to it for each of several
// starts from the same moment.
void KeepWorld();
void BackToKeptWorld();
// Every file and folder with its content, attributes and date, the
// removals at restart and the states of the services, for comparing whole
// states.
std::string DiskState();

void SetModulePath(const std::string& path);

// The system's ANSI code page as far as lead bytes go: 932 (the default) or
// any other number for a single-byte code page.
void SetCodePage(unsigned codePage);

// Programs started: the file that ran (as Windows resolves the command line
// when no application name is given), the command line, the directory and
// whether the start waited for the program's exit.
struct Launch {
  std::string started;
  std::string application;  // "(none)" when not given
  std::string commandLine;
  std::string directory;
  bool waitForExit;
};
const std::vector<Launch>& Launches();
void FailWaits(bool fail = true);
// The system has no SHA-256 (the oldest systems): no digest can be begun.
void WithoutDigests(bool without = true);
// No box can be shown: each gives 0, as the system does then.
void FailBoxes(bool fail = true);
// ANSI text converts to UTF-8 from code page 932, as the system converts it
// (by default the double takes the tests' UTF-8 as it is).
void ConvertAnsiFrom932(bool convert = true);
// How the run's boxes would be seen: 0 on a desktop (the default), 1 in a
// window station that is not interactive, 2 in session 0.
void SetBoxesSeen(int seen);
// The user's interface language, as the system's language id (0x0411,
// Japanese, by default; 0x0409 English).
void SetUiLanguage(uint16_t language);
// The exit code of every program the run waits for.
void SetExitCode(uint32_t code);

// Shortcuts saved.
struct Link {
  std::string target, workingDirectory, arguments;  // arguments "(none)" when not set
  int showCommand;
  std::string path;
};
const std::vector<Link>& Links();

// System queries. Defaults: C:\Windows, C:\Windows\system32, the NT
// platform (2), and the four shell folders under C:\Users\Public and
// C:\Users\me.
void SetWindowsDirectory(const std::string& path);
// The temporary folder as GetTempPathA gives it ("": the call fails).
void SetTempDirectory(const std::string& path);
void SetSystemDirectory(const std::string& path);
void SetPlatformId(unsigned id);
// A folder the shell cannot locate (`located` false) or whose path it cannot
// give (`path` empty).
void SetFolder(int csidl, bool located, const std::string& path);
// Registry values below HKEY_LOCAL_MACHINE, stored as the given bytes (a
// string value normally ends with its zero), as REG_SZ.
void SetRegistryValue(const std::string& keyPath, const std::string& name,
                      const std::string& bytes);

// Services. Each is installed with its state and, where it has one, the
// file of its program, which its process runs from (as RunFrom) while the
// process lives. A stop or start takes time on the double's clock, which
// moves only as the run looks at it (Milliseconds), pauses or waits: no
// real time passes.
struct ServiceSetup {
  bool running = true;
  std::string program;      // its program's file; "" for none
  uint32_t takes = 300;     // milliseconds each stop or start takes
  uint32_t lingers = 0;     // milliseconds its process lives on after it reports stopped
  bool hangs = false;       // a stop or start it is asked for never ends
  uint32_t failsWith = 0;   // a start ends with it stopped again, with this exit code
  bool denied = false;      // opening it is refused, as for a run without the rights
  bool dependents = false;  // running services depend on it: the system will not stop it
  bool shared = false;      // its process hosts other services, and outlives its stop
};
void InstallService(const std::string& name, const ServiceSetup& setup = ServiceSetup());
// "running", "stopped", "stop pending", "start pending", or "not installed",
// as the service is at the clock's time now.
std::string ServiceState(const std::string& name);
// What it was asked since Reset, in order ("stop,start").
std::string ServiceRequests(const std::string& name);

// The registry. Keys are written with their root (HKLM, HKCU, HKCR, HKU) and
// taken as they are written: no view applies (write the 32-bit view's
// HKLM\Software\WOW6432Node\X for it). HKCU is the run's account's key
// under HKU, HKCR is HKLM\Software\Classes. A value of `type` with the given
// bytes (its key and those above it made).
void SetRegistry(const std::string& key, const std::string& name, uint32_t type,
                 const std::string& bytes);
// A value as "SZ text", "EXPAND_SZ text", "DWORD 42", "QWORD 42", "TYPE 3
// 0A0B" for the others, or "(absent)".
std::string RegistryValue(const std::string& key, const std::string& name);
bool RegistryKeyExists(const std::string& key);
// Which Windows: 0 32-bit (one view: view flags are ignored); 1 64-bit (the
// default), the program 64-bit; 2 64-bit, the program 32-bit, whose view
// without a flag is the 32-bit one.
void UseRegistrySystem(int system);
// The run runs as the account of `sid` ("S-1-5-18": the system), whose key
// under HKU is HKCU from now on; "S-1-5-21-7-7-7-1001" by default.
void UseAccount(const std::string& sid);
// The key and those below it refuse any change (access denied); reads pass.
void DenyRegistryKey(const std::string& key);
// The registry's value sets after the next `after` fail (access denied).
void FailRegistrySets(unsigned after = 0);

// The progress window: whether it is open, how often it was opened, its
// caption and button, each text it showed and the run's bar as last set.
struct Progress {
  bool open = false;
  int opened = 0;
  std::string caption, cancel;
  std::vector<std::string> texts;
  uint32_t done = 0, total = 0;
  uint64_t fileBytes = 0;  // the file bar: the bytes it was last told of
};
const Progress& ProgressWindow();
// Cancel is pressed once the window has shown `texts` texts.
void PressCancelAfter(size_t texts);
// The window cannot be made.
void FailProgressWindow();

// Message boxes shown so far, and the answers the next boxes give (a box
// with no queued answer gives its default: OK, Yes, or No for the styles
// whose default is the second button).
const std::vector<Box>& Boxes();
void QueueAnswer(int answer);

}  // namespace fake
