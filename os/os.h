// The one door to the operating system.
//
// Nothing else in the program includes windows.h. os_win.cpp implements these
// calls on Windows, making exactly the platform calls named beside each one;
// the native tests link a double (tests/fake) that keeps a small world in
// memory. All texts are zero-terminated byte strings in the system's ANSI code
// page unless a name says UTF-8. (The console tools' text, console_text.h,
// is the seam's other door: its Windows half is console_text_win.cpp.)
#pragma once

#include <cstdint>

class TextString;

namespace os {

// The owner of a handle that crosses the seam: it closes the handle with
// the seam's own `CloseIt` when it goes, on every road out of the code that
// holds it. A call that closes the handle itself takes it from its owner
// (the overloads beside those calls, below). Not copied; moved.
template <void (*CloseIt)(void*)>
class Owned {
 public:
  Owned() = default;
  ~Owned() { Close(); }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  Owned(Owned&& other) : m_handle(other.Release()) {}
  Owned& operator=(Owned&& other) {
    if (this != &other) {
      Close();
      m_handle = other.Release();
    }
    return *this;
  }

  void* Get() const { return m_handle; }
  bool IsOpen() const { return m_handle != nullptr; }
  // Closes what it holds and gives the place for a call that opens a handle.
  void*& Receive() {
    Close();
    return m_handle;
  }
  // Gives the handle up to a call that closes it.
  void* Release() {
    void* handle = m_handle;
    m_handle = nullptr;
    return handle;
  }
  // Closes it now, where that must come before what follows.
  void Close() {
    if (m_handle) CloseIt(Release());
  }

 private:
  void* m_handle = nullptr;
};

// Message box styles and answers, with the platform's values.
namespace box {
constexpr uint32_t Ok = 0x0;
constexpr uint32_t YesNo = 0x4;
constexpr uint32_t IconError = 0x10;
constexpr uint32_t IconQuestion = 0x20;
constexpr uint32_t IconWarning = 0x30;
constexpr uint32_t IconInformation = 0x40;
constexpr uint32_t DefaultButton2 = 0x100;
constexpr uint32_t ButtonsMask = 0xF;  // MB_TYPEMASK
constexpr uint32_t IconMask = 0xF0;    // MB_ICONMASK

constexpr int IdOk = 1;
constexpr int IdCancel = 2;
constexpr int IdYes = 6;
constexpr int IdNo = 7;
}  // namespace box

// --- Process-wide set-up --------------------------------------------------

// Keeps DLLs in the program's own folder (often a downloads folder) from being
// loaded in place of system DLLs. Must run before anything else loads a DLL.
void RestrictDllSearch();
void InitializeCom();    // CoInitialize(NULL); the result is not examined
void UninitializeCom();  // CoUninitialize()

// GetCommandLineA: the whole command line, the program's own name first.
const char* ProcessCommandLine();

// --- Text -------------------------------------------------------------------

// IsDBCSLeadByte: true when `byte` begins a double-byte character of the
// system's ANSI code page; never in a single-byte code page.
bool IsLeadByte(uint8_t byte);

// --- Profile files ----------------------------------------------------------

// GetPrivateProfileStringA: the key's value, or `fallback` when the section or
// the key is absent, cut to size - 1 bytes and terminated. Gives its length.
uint32_t ReadProfileString(const char* file, const char* section, const char* key,
                           const char* fallback, char* buffer, uint32_t size);

// GetPrivateProfileSectionA: the section's lines as consecutive zero-terminated
// strings ended by an empty one. Gives the bytes written before that end.
uint32_t ReadProfileSection(const char* file, const char* section, char* buffer,
                            uint32_t size);

// --- Files and the program itself -----------------------------------------

// GetModuleFileNameA(NULL, buffer, size): the program's own full path.
uint32_t ModuleFileName(char* buffer, uint32_t size);

// FindFirstFileA and FindClose: true when the search finds at least one entry.
bool FindAnyEntry(const char* pattern);

bool DeleteOneFile(const char* path);                  // DeleteFileA
bool SetAttributes(const char* path, uint32_t value);  // SetFileAttributesA
bool MakeDirectory(const char* path);                  // CreateDirectoryA(path, NULL)
// GetFileAttributesA: true when `path` names an existing file that is not a
// directory (no wildcards).
bool IsExistingFile(const char* path);
// GetFileAttributesA: true when `path` names an existing directory; a
// trailing backslash and a drive root ("C:\") are understood.
bool IsExistingDirectory(const char* path);

constexpr uint32_t AttributeDirectory = 0x10;  // FILE_ATTRIBUTE_DIRECTORY
constexpr uint32_t AttributeNormal = 0x80;     // FILE_ATTRIBUTE_NORMAL

// FindFirstFileW, FindNextFileW until ERROR_NO_MORE_FILES, FindClose: calls
// `visit` with each entry's name in the ANSI code page and its attributes,
// in the order the search delivers them, until it gives false. A name is
// converted without best fit (WideCharToMultiByte, WC_NO_BEST_FIT_CHARS),
// for best fit would give another file's name ("..¥x" as "..\x"); where the
// long name has no exact ANSI form, its short name is given if that has
// one. Otherwise `exact` is false and `name` has "?" for what has no form,
// fit only for a report.
using EntryVisitor = bool (*)(void* context, const char* name, uint32_t attributes,
                              bool exact);
enum class Listing {
  Complete,  // every entry visited (none for a pattern without matches, or
             // whose folder does not exist)
  Stopped,   // `visit` gave false
  Failed,    // the folder could not be listed, or the listing broke off
};
Listing ForEachEntry(const char* pattern, EntryVisitor visit, void* context);

// Files are read with CreateFileA (GENERIC_READ, FILE_SHARE_READ,
// OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL): a file that others only read (a
// running program's own file among them) opens, while no one may write it
// meanwhile; a file someone holds for writing, or exclusively, does not.

// The last-write date of a file in local time: CreateFileA as above,
// GetFileTime, CloseHandle, FileTimeToLocalFileTime, FileTimeToSystemTime.
// False when it cannot be opened or converted.
struct CalendarDate {
  uint16_t Year;
  uint16_t Month;
  uint16_t Day;
};
bool FileWriteDate(const char* path, CalendarDate& date);

// Reads a whole file, opened with CreateFileA as above, in blocks of at most
// ReadBlockSize bytes (ReadFile), handing each to `consume` in order.
// `lowSize` receives the low 32 bits of the file's size (GetFileSize). False
// when the file does not open, is empty, or a read fails; the handle is
// closed on every road.
// 256 KiB: each block is still in the second-level cache when it is
// checksummed, which measured faster than larger blocks.
constexpr uint32_t ReadBlockSize = 1u << 18;
using BlockConsumer = void (*)(void* context, const uint8_t* data, uint32_t count);
bool ReadFileBlocks(const char* path, uint32_t& lowSize, BlockConsumer consume, void* context);

// --- Files the run creates ----------------------------------------------------
//
// A copy is written into a file the run creates beside its target and holds
// open, shared with no one, until the file is in the target's place or gone:
// no other file can be taken for it, and nothing is moved or deleted by a
// name that another program could have put there.

using FileHandle = void*;

enum class Creation { Created, NameTaken, Failed };
// CreateFileA(path, GENERIC_READ | GENERIC_WRITE | DELETE, no sharing,
// CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT): a new
// file, never anything already at `path` (a link included). NameTaken when
// something is there.
Creation CreateNewFile(const char* path, FileHandle& file);

// Writes the whole of `source`, opened as files are read (above), into
// `file` (ReadFile, WriteFile), gives it the source's last-write time
// (GetFileTime, SetFileTime) and flushes it (FlushFileBuffers), so that its
// data is on the disk before it takes a target's place. `attributes`
// receives the source's (GetFileAttributesA). False on any failure.
bool CopyIntoFile(const char* source, FileHandle file, uint32_t& attributes);

enum class Placement { Placed, Refused, Unsupported };
// Gives `file` the attributes and puts it in place of `target`, replacing
// what is there unless `replace` is false, through its handle
// (SetFileInformationByHandle with FileBasicInfo, then FileRenameInfo), and
// closes it. Refused leaves it open and where it was; so does Unsupported,
// on systems without that call (before Vista).
Placement PlaceFile(FileHandle file, const char* target, uint32_t attributes,
                    bool replace = true);

// Deletes `file` through its handle (SetFileInformationByHandle with
// FileBasicInfo, FileDispositionInfo) and closes it; on systems without that
// call, closes it and deletes `path` (SetFileAttributesA, DeleteFileA).
// False when the file is still there.
bool DiscardFile(FileHandle file, const char* path);

void CloseFile(FileHandle file);  // CloseHandle
using OwnedFile = Owned<CloseFile>;

// PlaceFile and DiscardFile on an owned file: the owner gives up the handle
// that the call closed.
inline Placement PlaceFile(OwnedFile& file, const char* target, uint32_t attributes,
                           bool replace = true) {
  Placement placement = PlaceFile(file.Get(), target, attributes, replace);
  if (placement == Placement::Placed) file.Release();
  return placement;
}
inline bool DiscardFile(OwnedFile& file, const char* path) {
  return DiscardFile(file.Release(), path);
}

// A file opened to be read anywhere in it (CreateFileA with GENERIC_READ,
// sharing read, write and delete, OPEN_EXISTING; GetFileSizeEx), as a
// running program's file or one another program writes allows: the reader
// locks nothing.
bool OpenToRead(const char* path, OwnedFile& file, uint64_t& size);
// SetFilePointerEx and ReadFile: exactly `count` bytes at `offset`.
bool ReadAt(FileHandle file, uint64_t offset, void* out, uint32_t count);

// The road of systems without the calls above, by name.
enum class Move { Moved, Failed, Unsupported };
// MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH).
// Unsupported where the call is missing (the Windows 95 family).
Move MoveReplacing(const char* from, const char* to);
// MoveFileA(from, to): fails when something is at `to`.
bool MoveOneFile(const char* from, const char* to);

// --- Changes that can be undone -------------------------------------------------

// MoveFileExA(from, to, MOVEFILE_WRITE_THROUGH), MoveFileA where that call is
// missing: renames a file within its volume, never replacing anything at
// `to`. The system allows it for a running program's file or a loaded DLL,
// not for a file someone holds without sharing its deletion.
bool MoveAside(const char* from, const char* to);
// MoveFileExA(path, NULL, MOVEFILE_DELAY_UNTIL_REBOOT): the file is removed
// when the system next starts (needs administrator rights).
bool RemoveAtRestart(const char* path);
bool RemoveEmptyDirectory(const char* path);  // RemoveDirectoryA
// GetFileAttributesA; false when the path names nothing.
bool AttributesOf(const char* path, uint32_t& attributes);
constexpr uint32_t AttributeReadOnly = 0x1;  // FILE_ATTRIBUTE_READONLY
// True when the folder `path` exists and is reached with no link, junction
// or other reparse point on the way, itself included: its final path
// (GetFinalPathNameByHandleW, opened with FILE_FLAG_BACKUP_SEMANTICS and
// FILE_FLAG_OPEN_REPARSE_POINT) is its full path with long names
// (GetFullPathNameW, GetLongPathNameW). Systems without that call (before
// Vista) look only at the folder's own attributes.
bool IsDirectFolder(const char* path);
// The programs that hold `path` open, as "name (process id)" separated by
// ", ", in UTF-8: the Restart Manager (RmStartSession, RmRegisterResources,
// RmGetList, RmEndSession, loaded from the system folder at run time, since
// systems before Vista lack it). False when none can be named.
bool ProgramsHolding(const char* path, TextString& utf8Names);

// --- What the undo proves before it touches a file ------------------------

// A file as the system knows it, whatever its name (GetFileInformationByHandle):
// its volume's serial number and its file index, with its size, times,
// attributes and links. FAT, FAT32 and exFAT number a file by its folder
// entry, which a rename changes: on such a volume `StableIndex` is false
// (GetVolumeInformationByHandleW, where the system has it; else the index is
// taken as unstable), and only the size and times can tell a file.
struct FileIdentity {
  uint32_t Volume = 0;
  uint64_t Index = 0;
  uint64_t Size = 0;
  uint64_t WriteTime = 0;     // FILETIME units
  uint64_t CreationTime = 0;  // FILETIME units
  uint32_t Attributes = 0;
  uint32_t Links = 0;
  bool StableIndex = true;
};
bool IdentityOf(FileHandle file, FileIdentity& identity);

// Opens the entry at `path` itself, never what a link leads to, in order to
// prove what it is and then move, delete or change it through the handle:
// CreateFileA(path, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
// sharing read, write and delete, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT
// | FILE_FLAG_BACKUP_SEMANTICS), then IdentityOf. A running program's file
// opens; one that another program holds without sharing is Held (sharing or
// lock violation); a folder is Folder (and closed).
enum class Opening { Opened, Missing, Held, Folder, Failed };
Opening OpenToChange(const char* path, OwnedFile& file, FileIdentity& identity);
// Gives the open file the name `to`, never replacing anything there
// (SetFileInformationByHandle with FileRenameInfo); the handle stays open.
// Unsupported on systems without that call (before Vista).
Placement RenameOpenFile(FileHandle file, const char* to);
// SetFileInformationByHandle with FileBasicInfo: the attributes, nothing
// else. False also where the call is missing (before Vista).
bool SetOpenFileAttributes(FileHandle file, uint32_t attributes);

// `path` as a full path (GetFullPathNameA, from the current folder), with a
// drive that is mapped to a network share written as the share's own path
// (GetDriveTypeA, WNetGetUniversalNameA from mpr.dll, loaded from the system
// folder at run time), so that any account, started in any folder, finds
// the same file by it. False when it cannot be made.
bool FullPathForAll(const char* path, TextString& full);
// The one name of the file at `path` that every road to it shares, in
// UTF-8 upper case: its final path (GetFinalPathNameByHandleW, normalized,
// long names, a share's own path for a mapped drive), else FullPathForAll
// with long names (GetLongPathNameA), upper-cased (CharUpperBuffW). False
// when the file cannot be named.
bool CanonicalName(const char* path, TextString& utf8);

// --- The journals' own place and the run's lock ------------------------------

// Whether no one but the system, the administrators and the run's own
// account can own the folder at `path` or write in it: opened itself
// (FILE_FLAG_OPEN_REPARSE_POINT; a link or junction, or a folder reached
// through one, is Foreign), its owner and every entry of its access list
// that allows a change (GetSecurityInfo; no list at all is Foreign).
enum class FolderTrust { Trusted, Missing, Foreign, Failed };
FolderTrust TrustOfFolder(const char* path);
// CreateDirectoryA with a protected access list that admits the system and
// the administrators only (owned by the administrators), or, where
// `ownAccount`, the run's own account beside them (owned by it): nothing
// is inherited from the folder above.
bool MakeProtectedFolder(const char* path, bool ownAccount);
// Takes the folder at `path` back (SeTakeOwnershipPrivilege and
// SeRestorePrivilege, SetSecurityInfo through a handle of the folder
// itself): the owner and the access list of MakeProtectedFolder. A link or
// junction at `path` is left as it is (its target is never changed), and
// gives true: renaming it moves only the link.
bool ReclaimFolder(const char* path, bool ownAccount);

// The lock of a run: a mutex that this process holds while it lasts
// (CreateMutexW, WaitForSingleObject with no wait; one left by a process
// that ended is taken). Administrators: named in the private namespace
// "Updater", bound to the administrators' group, which no other account can
// create or open (CreateBoundaryDescriptorW, AddSIDToBoundaryDescriptor,
// CreatePrivateNamespaceW or OpenPrivateNamespaceW), Unsupported where the
// system has none; Global: "Global\<name>"; Session: "Local\<name>", the
// session's own. Held where another process holds it.
enum class LockScope { Administrators, Global, Session };
enum class Locking { Taken, Held, Unsupported, Failed };
using LockHandle = void*;
Locking TakeLock(const char* name, LockScope scope, LockHandle& lock);
void ReleaseLock(LockHandle lock);  // ReleaseMutex, CloseHandle
using OwnedLock = Owned<ReleaseLock>;

// Bytes no one can foresee (RtlGenRandom, SystemFunction036 of advapi32).
// False where the system cannot give them.
bool RandomBytes(void* out, uint32_t count);

// The journal of a run that can be undone, in the journals' own folder:
// CreateFileA(path, GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ,
// CREATE_NEW when `create` else OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT).
// A journal that is a link, a folder, a file of more than one hard link, or
// reached through a link or junction (GetFinalPathNameByHandleW against the
// path given) is Failed (and closed).
enum class JournalOpening { Opened, Missing, Exists, InUse, Failed };
JournalOpening OpenJournal(const char* path, bool create, FileHandle& journal);
// Reads the journal from its start (ReadFile), handing each block to
// `consume`; false when a read fails.
bool ReadJournal(FileHandle journal, BlockConsumer consume, void* context);
// Writes `count` bytes at the journal's end (WriteFile at the offset of all
// ones), not yet flushed. The journal is removed with RenameOpenFile and
// DiscardFile, and closed with CloseFile.
bool AppendToJournal(FileHandle journal, const char* bytes, uint32_t count);
// Flushes what was written to the disk (FlushFileBuffers).
bool FlushJournal(FileHandle journal);

// --- Processes ----------------------------------------------------------------

// CreateProcessA(application, commandLine, NULL, NULL, FALSE, 0, NULL,
// directory, STARTUPINFOA of size 68, PROCESS_INFORMATION), the thread's
// handle closed at once. `application` may be null. False when the start
// fails.
using ProcessHandle = void*;
bool StartProgram(const char* application, const char* commandLine, const char* directory,
                  ProcessHandle& process);
// WaitForSingleObject(INFINITE) and GetExitCodeProcess for WaitFor::Exit, or
// WaitForInputIdle(INFINITE) for WaitFor::InputIdle, then CloseHandle.
// False when the wait fails; `exitCode` is set after a wait for the exit.
enum class WaitFor { Exit, InputIdle };
bool WaitForProgram(ProcessHandle process, WaitFor wait, uint32_t& exitCode);
// CloseHandle: a process that is not waited for.
void CloseProcess(ProcessHandle process);
using OwnedProcess = Owned<CloseProcess>;
inline bool WaitForProgram(OwnedProcess& process, WaitFor wait, uint32_t& exitCode) {
  return WaitForProgram(process.Release(), wait, exitCode);
}

// --- Shortcuts ------------------------------------------------------------------

// Saves a shell link through COM: CoCreateInstance(CLSID_ShellLink,
// IID_IShellLinkA), SetPath, SetWorkingDirectory, SetArguments (when
// `arguments` is not null), SetShowCmd (when `showCommand` is not 0),
// QueryInterface(IID_IPersistFile), Save(wide link path, TRUE), Release.
// False when the object cannot be made, the link path does not fit 260 wide
// characters, or the save fails.
bool SaveShellLink(const char* target, const char* workingDirectory, const char* arguments,
                   int showCommand, const char* linkPath);

// --- System queries -------------------------------------------------------

// GetWindowsDirectoryA and GetSystemDirectoryA into `buffer` of `size` bytes.
uint32_t WindowsDirectory(char* buffer, uint32_t size);
uint32_t SystemDirectory(char* buffer, uint32_t size);

// GetVersionExA with an OSVERSIONINFOA of size 148: its platform id, or 0
// when the call fails. 2 is the NT platform, 1 the Windows 95 family.
uint32_t PlatformId();

// The file-system path of shell folder `folder` (a CSIDL number), written
// into `buffer` of FolderPathSize bytes: SHGetSpecialFolderLocation, then
// SHGetPathFromIDListA, then the list is freed through SHGetMalloc.
constexpr int FolderPathSize = 260;
enum class FolderResult { NoLocation, NoPath, Found };
FolderResult FolderPath(int folder, char* buffer);

// A read-only registry key (RegOpenKeyExA, RegQueryValueExA, RegCloseKey).
enum class RegistryRoot { LocalMachine };
using RegistryHandle = void*;
constexpr uint32_t KeyRead = 0x20019;
// False, leaving `key` untouched, when the key does not open.
bool RegistryOpen(RegistryRoot root, const char* path, uint32_t access, RegistryHandle& key);
void RegistryClose(RegistryHandle key);
using OwnedKey = Owned<RegistryClose>;
// The byte size of a value's data, 0 when absent or not reported.
uint32_t RegistryValueSize(RegistryHandle key, const char* name);
// Reads at most `size` bytes of a value's data into `buffer`; the type is
// not asked for.
bool RegistryRead(RegistryHandle key, const char* name, void* buffer, uint32_t size);

// --- The run's log and its circumstances --------------------------------------

// Opens the log at `path` for appending: CreateFileA(path, FILE_APPEND_DATA,
// FILE_SHARE_READ, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT), or, where
// it is missing and its folder is reached with no link on the way
// (IsDirectFolder), CREATE_NEW. A log reached through a link is refused
// (and closed unwritten): a reparse point or a file of more than one hard
// link (GetFileInformationByHandle), or one whose final path is not the path
// given (GetFinalPathNameByHandleW against GetFullPathNameW, where those
// calls exist). No file is made before that is known. False when it does
// not open or is refused.
bool OpenLog(const char* path, FileHandle& log);
// WriteFile of `count` bytes at the end of the log.
bool AppendToLog(FileHandle log, const char* bytes, uint32_t count);

struct LocalTime {
  uint16_t Year, Month, Day, Hour, Minute, Second, Milliseconds;
};
void CurrentLocalTime(LocalTime& time);  // GetLocalTime
uint32_t Milliseconds();                 // GetTickCount: for spans of time

uint32_t AnsiCodePage();  // GetACP
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

// --- Why an action failed ---------------------------------------------------

// The system's error code (GetLastError at the failure; for a shortcut, the
// Win32 code its failed HRESULT carries, else the HRESULT) of the last call
// above that failed to change, read or start what it was asked to; 0 when
// none has failed since ClearFailure. An answer such as "no such file" from
// IsExistingFile, or a name taken for CreateNewFile, is not a failure.
uint32_t LastFailure();
void ClearFailure();
// The system's text for `code` (FormatMessageW in the user's language), in
// UTF-8 without its closing line break. False when the system has none.
bool FailureText(uint32_t code, TextString& utf8);

// --- The progress window (PROGRESS=1) -----------------------------------------

// Opens the progress window, centred on the screen and titled `utf8Caption`:
// a line that says what is being done, a bar for the current file, one for
// the run, and a Cancel button labelled `utf8Cancel` (comctl32's progress
// bars, loaded only now; the system's message font). The process becomes
// DPI-aware first (SetProcessDPIAware, where the system has it). While it
// is open, boxes are owned by it, the copy and checksum loops move its file
// bar by the bytes they read and handle its messages, and so do the waits
// for a program (MsgWaitForMultipleObjects). False when it cannot be made:
// the run goes on without it.
bool OpenProgress(const char* utf8Caption, const char* utf8Cancel);
void CloseProgress();
// What is being done now (UTF-8); the file bar starts again from empty.
void ShowProgressText(const char* utf8Text);
// The run's bar: `done` of `total` steps.
void ShowRunProgress(uint32_t done, uint32_t total);
// Handles the window's messages; true when Cancel (or the close box) was
// pressed since the last call.
bool TakeCancelPress();

// --- Reports ----------------------------------------------------------------

// The text of catalogue message `id` in UTF-8, cut to fit `size` bytes and
// terminated (LoadStringW with the program's own module). Gives its length,
// 0 when the catalogue has no text for `id`. The catalogue is read as wide
// text so that it reaches the user exactly whatever the ANSI code page is.
int LoadMessageText(unsigned id, char* buffer, int size);

// Converts ANSI text to UTF-8 (MultiByteToWideChar with CP_ACP, then
// WideCharToMultiByte with CP_UTF8). False, with `utf8` empty, on failure.
bool AnsiToUtf8(const char* ansi, TextString& utf8);

// A modal box owned by the progress window while it is open, else by no
// window (MessageBoxW after converting from UTF-8, which shows ANSI text
// exactly as MessageBoxA would). Gives the button
// pressed, or 0 when no box could be shown.
int MessageBoxUtf8(const char* text, const char* caption, uint32_t style);

}  // namespace os
