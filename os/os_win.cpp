// The Windows half of the OS seam.
#include <windows.h>
#include <aclapi.h>          // types only: the security calls are looked up at run time
#include <shlobj.h>
#include <restartmanager.h>  // its types only: the calls are looked up at run time
#include <winnetwk.h>        // types only: mpr.dll is loaded at run time

#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "base/characters.h"
#include "base/text_string.h"
#include "os/basics.h"
#include "os/files.h"
#include "os/journal_support.h"
#include "os/log.h"
#include "os/processes.h"
#include "os/registry.h"
#include "os/shell.h"
#include "os/ui.h"
#include "os/progress_win.h"
#include "os/wide_text_win.h"

namespace {

// Converts wide text to UTF-8 into `utf8`; false, leaving it empty, on failure.
bool WideToUtf8(const wchar_t* wide, TextString& utf8) {
  utf8.Assign("");
  int size = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 0 || !utf8.Reserve(size)) return false;
  if (WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8.Buffer(), size, nullptr, nullptr) != size) {
    utf8.Assign("");
    return false;
  }
  return true;
}

// The reason of the last failed action (os::LastFailure).
DWORD g_failure = 0;

// Keeps the calling thread's last error as the reason of a failed action,
// and gives `result`: `return Failed(false);` right after the failed call.
template <typename Result>
Result Failed(Result result) {
  g_failure = GetLastError();
  return result;
}

template <typename Result>
Result FailedWith(DWORD code, Result result) {
  g_failure = code;
  return result;
}

template <typename Function>
Function KernelFunction(const char* name) {
  FARPROC address = GetProcAddress(GetModuleHandleA("kernel32.dll"), name);
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
}

}  // namespace

namespace os {

void RestrictDllSearch() {
  // Looked up by name: the calls are missing on the oldest systems, where
  // the program must still start.
  typedef BOOL(WINAPI * SetDefaultDllDirectoriesFunction)(DWORD);
  typedef BOOL(WINAPI * SetDllDirectoryFunction)(LPCSTR);
  const DWORD searchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
  if (auto setDefault = KernelFunction<SetDefaultDllDirectoriesFunction>("SetDefaultDllDirectories"))
    setDefault(searchSystem32);
  // Takes the current directory out of the search order where the above is
  // not available.
  if (auto setDirectory = KernelFunction<SetDllDirectoryFunction>("SetDllDirectoryA"))
    setDirectory("");
}

void InitializeCom() { CoInitialize(nullptr); }
void UninitializeCom() { CoUninitialize(); }

const char* ProcessCommandLine() { return GetCommandLineA(); }

bool IsLeadByte(uint8_t byte) { return IsDBCSLeadByte(byte) != FALSE; }

uint32_t ReadProfileString(const char* file, const char* section, const char* key,
                           const char* fallback, char* buffer, uint32_t size) {
  return GetPrivateProfileStringA(section, key, fallback, buffer, size, file);
}

uint32_t ReadProfileSection(const char* file, const char* section, char* buffer,
                            uint32_t size) {
  return GetPrivateProfileSectionA(section, buffer, size, file);
}

uint32_t ModuleFileName(char* buffer, uint32_t size) {
  return GetModuleFileNameA(nullptr, buffer, size);
}

bool FindAnyEntry(const char* pattern) {
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA(pattern, &entry);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  return true;
}

bool DeleteOneFile(const char* path) { return DeleteFileA(path) || Failed(false); }

bool SetAttributes(const char* path, uint32_t value) {
  return SetFileAttributesA(path, value) || Failed(false);
}

bool MakeDirectory(const char* path) { return CreateDirectoryA(path, nullptr) || Failed(false); }

bool IsExistingFile(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsExistingDirectory(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

namespace {

// `wide` in the ANSI code page, with no character made to fit: false when
// one has no exact form there (or the name does not fit `size`).
bool ExactAnsiName(const wchar_t* wide, char* ansi, int size) {
  BOOL lossy = FALSE;
  int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, ansi, size, nullptr,
                                   &lossy);
  return length > 0 && !lossy;
}

// A search handle, closed on every road.
class FileSearch {
 public:
  FileSearch(const wchar_t* pattern, WIN32_FIND_DATAW& entry)
      : m_handle(FindFirstFileW(pattern, &entry)) {}
  ~FileSearch() {
    if (Found()) FindClose(m_handle);
  }
  FileSearch(const FileSearch&) = delete;
  FileSearch& operator=(const FileSearch&) = delete;

  bool Found() const { return m_handle != INVALID_HANDLE_VALUE; }
  bool Next(WIN32_FIND_DATAW& entry) { return FindNextFileW(m_handle, &entry) != FALSE; }

 private:
  HANDLE m_handle;
};

}  // namespace

Listing ForEachEntry(const char* pattern, EntryVisitor visit, void* context) {
  WideText widePattern(pattern, CP_ACP);
  if (!widePattern.Valid()) return Listing::Failed;
  WIN32_FIND_DATAW entry;
  FileSearch search(widePattern.Text(), entry);
  if (!search.Found()) {
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
                   error == ERROR_NO_MORE_FILES
               ? Listing::Complete
               : Listing::Failed;
  }
  do {
    // The long name, else the short one; else the long one with "?" for
    // what has no form here, for a report.
    char name[MAX_PATH * 2] = {};
    bool exact = ExactAnsiName(entry.cFileName, name, sizeof name);
    if (!exact && entry.cAlternateFileName[0]) {
      char shortName[sizeof entry.cAlternateFileName * 2] = {};
      if (ExactAnsiName(entry.cAlternateFileName, shortName, sizeof shortName)) {
        memcpy(name, shortName, sizeof shortName);
        exact = true;
      }
    }
    name[sizeof name - 1] = '\0';
    if (!visit(context, name, entry.dwFileAttributes, exact)) return Listing::Stopped;
  } while (search.Next(entry));
  return GetLastError() == ERROR_NO_MORE_FILES ? Listing::Complete : Listing::Failed;
}

namespace {

// A file opened for reading that others may read but not write meanwhile, so
// that it cannot change while it is read.
class ReadOnlyFile {
 public:
  explicit ReadOnlyFile(const char* path)
      : m_handle(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~ReadOnlyFile() { Close(); }
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

  bool IsOpen() const { return m_handle != INVALID_HANDLE_VALUE; }
  HANDLE Handle() const { return m_handle; }
  void Close() {
    if (IsOpen()) CloseHandle(m_handle);
    m_handle = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE m_handle;
};

}  // namespace

bool FileWriteDate(const char* path, CalendarDate& date) {
  ReadOnlyFile file(path);
  if (!file.IsOpen()) return Failed(false);
  FILETIME written = {};
  if (!GetFileTime(file.Handle(), nullptr, nullptr, &written)) return Failed(false);
  file.Close();
  FILETIME local;
  SYSTEMTIME calendar;
  if (!FileTimeToLocalFileTime(&written, &local) || !FileTimeToSystemTime(&local, &calendar))
    return Failed(false);
  date.Year = calendar.wYear;
  date.Month = calendar.wMonth;
  date.Day = calendar.wDay;
  return true;
}

bool ReadFileBlocks(const char* path, uint32_t& lowSize, BlockConsumer consume, void* context) {
  ReadOnlyFile file(path);
  if (!file.IsOpen()) return Failed(false);
  DWORD high = 0;
  DWORD low = GetFileSize(file.Handle(), &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return Failed(false);
  if (low == 0 && high == 0) return FailedWith(ERROR_HANDLE_EOF, false);  // nothing to read
  lowSize = low;
  uint8_t* block = static_cast<uint8_t*>(malloc(ReadBlockSize));
  if (!block) return FailedWith(ERROR_NOT_ENOUGH_MEMORY, false);
  bool complete = true;
  const uint64_t size = (uint64_t(high) << 32) | low;
  uint64_t done = 0;
  for (;;) {
    DWORD count = 0;
    if (!ReadFile(file.Handle(), block, ReadBlockSize, &count, nullptr)) {
      complete = Failed(false);
      break;
    }
    if (count == 0) break;
    consume(context, block, count);
    progress::FileBytes(done += count, size);
  }
  free(block);
  return complete;
}

namespace {

// A block of memory for one call, released on every road.
class Block {
 public:
  explicit Block(size_t size) : m_data(static_cast<uint8_t*>(malloc(size))) {}
  ~Block() { free(m_data); }
  Block(const Block&) = delete;
  Block& operator=(const Block&) = delete;
  uint8_t* Data() const { return m_data; }

 private:
  uint8_t* m_data;
};

using SetInformationFunction = BOOL(WINAPI*)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);

// Looked up by name: systems before Vista lack it and must still start.
// (Not kept in a function's static: guarding its first use would bring in
// the library's exception machinery.)
SetInformationFunction SetInformation() {
  return KernelFunction<SetInformationFunction>("SetFileInformationByHandle");
}

// The attributes a file may be given; anything else means "normal".
DWORD SettableAttributes(uint32_t attributes) {
  DWORD settable = attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                 FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                 FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
  return settable ? settable : FILE_ATTRIBUTE_NORMAL;
}

bool SetAttributesByHandle(SetInformationFunction set, HANDLE file, uint32_t attributes) {
  FILE_BASIC_INFO basic = {};  // times of 0 stay as they are
  basic.FileAttributes = SettableAttributes(attributes);
  return set(file, FileBasicInfo, &basic, sizeof basic) != FALSE;
}

bool WriteAll(HANDLE file, const uint8_t* data, DWORD count) {
  while (count > 0) {
    DWORD written = 0;
    if (!WriteFile(file, data, count, &written, nullptr) || written == 0) return false;
    data += written;
    count -= written;
  }
  return true;
}

}  // namespace

Creation CreateNewFile(const char* path, FileHandle& file) {
  HANDLE created = CreateFileA(path, GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                               CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                               nullptr);
  if (created == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES
               ? Creation::NameTaken
               : FailedWith(error, Creation::Failed);
  }
  file = static_cast<FileHandle>(created);
  return Creation::Created;
}

bool CopyIntoFile(const char* source, FileHandle file, uint32_t& attributes) {
  HANDLE target = static_cast<HANDLE>(file);
  ReadOnlyFile from(source);
  if (!from.IsOpen()) return Failed(false);
  DWORD sourceAttributes = GetFileAttributesA(source);
  if (sourceAttributes == INVALID_FILE_ATTRIBUTES) return Failed(false);
  Block block(ReadBlockSize);
  if (!block.Data()) return FailedWith(ERROR_NOT_ENOUGH_MEMORY, false);
  LARGE_INTEGER size = {};
  GetFileSizeEx(from.Handle(), &size);
  uint64_t done = 0;
  for (;;) {
    DWORD count = 0;
    if (!ReadFile(from.Handle(), block.Data(), ReadBlockSize, &count, nullptr))
      return Failed(false);
    if (count == 0) break;
    if (!WriteAll(target, block.Data(), count)) return Failed(false);
    progress::FileBytes(done += count, static_cast<uint64_t>(size.QuadPart));
  }
  FILETIME written;
  if (!GetFileTime(from.Handle(), nullptr, nullptr, &written) ||
      !SetFileTime(target, nullptr, nullptr, &written) || !FlushFileBuffers(target))
    return Failed(false);
  attributes = sourceAttributes;
  return true;
}

namespace {

// Gives the open file the name `target` (FileRenameInfo), replacing what is
// there where `replace`.
bool RenameByHandle(SetInformationFunction set, HANDLE file, const char* target, bool replace) {
  WideText wideTarget(target, CP_ACP);
  if (!wideTarget.Valid()) return Failed(false);
  size_t length = wcslen(wideTarget.Text());
  size_t size = sizeof(FILE_RENAME_INFO) + length * sizeof(wchar_t);
  Block area(size);
  if (!area.Data()) return FailedWith(ERROR_NOT_ENOUGH_MEMORY, false);
  memset(area.Data(), 0, size);
  FILE_RENAME_INFO* rename = reinterpret_cast<FILE_RENAME_INFO*>(area.Data());
  rename->ReplaceIfExists = replace ? TRUE : FALSE;
  rename->FileNameLength = static_cast<DWORD>(length * sizeof(wchar_t));
  memcpy(rename->FileName, wideTarget.Text(), length * sizeof(wchar_t));
  return set(file, FileRenameInfo, rename, static_cast<DWORD>(size)) || Failed(false);
}

}  // namespace

Placement PlaceFile(FileHandle file, const char* target, uint32_t attributes, bool replace) {
  SetInformationFunction set = SetInformation();
  if (!set) return Placement::Unsupported;
  HANDLE handle = static_cast<HANDLE>(file);
  if (!SetAttributesByHandle(set, handle, attributes)) return Failed(Placement::Refused);
  if (!RenameByHandle(set, handle, target, replace)) return Placement::Refused;
  CloseHandle(handle);
  return Placement::Placed;
}

bool DiscardFile(FileHandle file, const char* path) {
  HANDLE handle = static_cast<HANDLE>(file);
  if (SetInformationFunction set = SetInformation()) {
    // A read-only file cannot be deleted as it is.
    FILE_DISPOSITION_INFO disposition = {TRUE};
    bool deleted = SetAttributesByHandle(set, handle, FILE_ATTRIBUTE_NORMAL) &&
                   set(handle, FileDispositionInfo, &disposition, sizeof disposition);
    CloseHandle(handle);
    return deleted;
  }
  CloseHandle(handle);
  SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
  return DeleteFileA(path) != FALSE;
}

void CloseFile(FileHandle file) { CloseHandle(static_cast<HANDLE>(file)); }

Move MoveReplacing(const char* from, const char* to) {
  if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return Move::Moved;
  return GetLastError() == ERROR_CALL_NOT_IMPLEMENTED ? Move::Unsupported : Failed(Move::Failed);
}

bool MoveOneFile(const char* from, const char* to) { return MoveFileA(from, to) || Failed(false); }

bool MoveAside(const char* from, const char* to) {
  if (MoveFileExA(from, to, MOVEFILE_WRITE_THROUGH)) return true;
  return (GetLastError() == ERROR_CALL_NOT_IMPLEMENTED && MoveFileA(from, to)) || Failed(false);
}

bool RemoveAtRestart(const char* path) {
  return MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) || Failed(false);
}

bool RemoveEmptyDirectory(const char* path) { return RemoveDirectoryA(path) != FALSE; }

bool AttributesOf(const char* path, uint32_t& attributes) {
  DWORD found = GetFileAttributesA(path);
  if (found == INVALID_FILE_ATTRIBUTES) return false;
  attributes = found;
  return true;
}

bool StartProgram(const char* application, const char* commandLine, const char* directory,
                  ProcessHandle& started) {
  // CreateProcessA may write into the command line. A copy that could not
  // be made must not start the program with an empty line instead.
  TextString writable(commandLine);
  if (strcmp(writable.Text(), commandLine) != 0) return FailedWith(ERROR_NOT_ENOUGH_MEMORY, false);
  STARTUPINFOA startup;
  memset(&startup, 0, sizeof(startup));
  startup.cb = sizeof(startup);  // 68
  PROCESS_INFORMATION process;
  memset(&process, 0, sizeof(process));
  if (!CreateProcessA(application, writable.Buffer(), nullptr, nullptr, FALSE, 0, nullptr,
                      directory, &startup, &process))
    return Failed(false);
  CloseHandle(process.hThread);
  started = static_cast<ProcessHandle>(process.hProcess);
  return true;
}

bool WaitForProgram(ProcessHandle process, WaitFor wait, uint32_t& exitCode) {
  HANDLE handle = static_cast<HANDLE>(process);
  bool waited;
  if (wait == WaitFor::Exit) {
    DWORD code = 0;
    waited = progress::WaitHandlingMessages(handle) != WAIT_FAILED &&
             GetExitCodeProcess(handle, &code);
    exitCode = code;
  } else {
    // With the progress window open, its messages are handled meanwhile.
    DWORD step = progress::Window() ? 33 : INFINITE;
    DWORD idle;
    while ((idle = WaitForInputIdle(handle, step)) == WAIT_TIMEOUT)
      progress::HandleWaitingMessages();
    waited = idle != WAIT_FAILED;
  }
  if (!waited) Failed(false);
  CloseHandle(handle);
  return waited;
}

void CloseProcess(ProcessHandle process) { CloseHandle(static_cast<HANDLE>(process)); }

namespace {

// A failed HRESULT as a reason: the Win32 code it carries, where it carries one.
bool FailedCall(HRESULT result) {
  return FailedWith(HRESULT_FACILITY(result) == FACILITY_WIN32 ? HRESULT_CODE(result)
                                                               : static_cast<DWORD>(result),
                    false);
}

}  // namespace

bool SaveShellLink(const char* target, const char* workingDirectory, const char* arguments,
                   int showCommand, const char* linkPath) {
  IShellLinkA* link = nullptr;
  HRESULT result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IShellLinkA, reinterpret_cast<void**>(&link));
  if (FAILED(result)) return FailedCall(result);
  link->SetPath(target);
  link->SetWorkingDirectory(workingDirectory);
  if (arguments) link->SetArguments(arguments);
  if (showCommand) link->SetShowCmd(showCommand);
  IPersistFile* file = nullptr;
  result = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
  if (FAILED(result)) {
    link->Release();
    return FailedCall(result);
  }
  // A path that does not fit is a failed shortcut, never a save from a cut
  // or unterminated buffer.
  wchar_t widePath[MAX_PATH];
  bool saved = MultiByteToWideChar(CP_ACP, 0, linkPath, -1, widePath, MAX_PATH) > 0 ||
               Failed(false);
  if (saved) {
    result = file->Save(widePath, TRUE);
    saved = SUCCEEDED(result) || FailedCall(result);
  }
  file->Release();
  link->Release();
  return saved;
}

uint32_t WindowsDirectory(char* buffer, uint32_t size) {
  return GetWindowsDirectoryA(buffer, size);
}

uint32_t SystemDirectory(char* buffer, uint32_t size) {
  return GetSystemDirectoryA(buffer, size);
}

uint32_t PlatformId() {
  OSVERSIONINFOA version;
  memset(&version, 0, sizeof(version));
  version.dwOSVersionInfoSize = sizeof(version);  // 148
  GetVersionExA(&version);
  return version.dwPlatformId;
}

FolderResult FolderPath(int folder, char* buffer) {
  LPITEMIDLIST items = nullptr;
  if (SHGetSpecialFolderLocation(nullptr, folder, &items) != S_OK) return FolderResult::NoLocation;
  bool found = SHGetPathFromIDListA(items, buffer) != FALSE;
  IMalloc* allocator = nullptr;
  if (SUCCEEDED(SHGetMalloc(&allocator))) {
    allocator->Free(items);
    allocator->Release();
  }
  return found ? FolderResult::Found : FolderResult::NoPath;
}

bool RegistryOpen(RegistryRoot /*root*/, const char* path, uint32_t access, RegistryHandle& key) {
  HKEY opened = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, access, &opened) != ERROR_SUCCESS) return false;
  key = reinterpret_cast<RegistryHandle>(opened);
  return true;
}

void RegistryClose(RegistryHandle key) { RegCloseKey(reinterpret_cast<HKEY>(key)); }

uint32_t RegistryValueSize(RegistryHandle key, const char* name) {
  DWORD size = 0;
  if (RegQueryValueExA(reinterpret_cast<HKEY>(key), name, nullptr, nullptr, nullptr, &size) !=
      ERROR_SUCCESS)
    return 0;
  return size;
}

bool RegistryRead(RegistryHandle key, const char* name, void* buffer, uint32_t size) {
  DWORD count = size;
  return RegQueryValueExA(reinterpret_cast<HKEY>(key), name, nullptr, nullptr,
                          static_cast<BYTE*>(buffer), &count) == ERROR_SUCCESS;
}

namespace {

using FinalPathFunction = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);

// `path` without the prefix the system puts before a final path: "\\?\" for a
// drive's path, "\\?\UNC\" (standing for "\\") for a share's.
const wchar_t* WithoutFinalPrefix(wchar_t* path) {
  if (wcsncmp(path, L"\\\\?\\UNC\\", 8) == 0) {
    path[6] = L'\\';
    return path + 6;
  }
  return wcsncmp(path, L"\\\\?\\", 4) == 0 ? path + 4 : path;
}

// True when the open `file` is the file `path` names itself, not one that
// a link or a junction on the way leads to. With `longNames`, short names
// in `path` are read as the long ones they stand for. Systems without the
// call (before Vista) are taken at their word.
bool ReachedDirectly(HANDLE file, const char* path, bool longNames = false) {
  FinalPathFunction finalPath = KernelFunction<FinalPathFunction>("GetFinalPathNameByHandleW");
  if (!finalPath) return true;
  WideText widePath(path, CP_ACP);
  if (!widePath.Valid()) return false;
  DWORD fullSize = GetFullPathNameW(widePath.Text(), 0, nullptr, nullptr);
  DWORD finalSize = finalPath(file, nullptr, 0, 0);
  if (fullSize == 0 || finalSize == 0) return false;
  Block full((fullSize + 1) * sizeof(wchar_t));
  Block found((finalSize + 1) * sizeof(wchar_t));
  wchar_t* fullText = reinterpret_cast<wchar_t*>(full.Data());
  wchar_t* foundText = reinterpret_cast<wchar_t*>(found.Data());
  if (!fullText || !foundText ||
      GetFullPathNameW(widePath.Text(), fullSize + 1, fullText, nullptr) == 0 ||
      finalPath(file, foundText, finalSize + 1, 0) == 0)
    return false;
  if (longNames) {
    DWORD longSize = GetLongPathNameW(fullText, nullptr, 0);
    Block longName((longSize + 1) * sizeof(wchar_t));
    wchar_t* longText = reinterpret_cast<wchar_t*>(longName.Data());
    if (longSize == 0 || !longText || GetLongPathNameW(fullText, longText, longSize + 1) == 0)
      return false;
    return lstrcmpiW(WithoutFinalPrefix(foundText), longText) == 0;
  }
  return lstrcmpiW(WithoutFinalPrefix(foundText), fullText) == 0;
}

// A handle of any kind, closed on every road.
class AutoCloseHandle {
 public:
  explicit AutoCloseHandle(HANDLE handle) : m_handle(handle) {}
  ~AutoCloseHandle() {
    if (IsOpen()) CloseHandle(m_handle);
  }
  AutoCloseHandle(const AutoCloseHandle&) = delete;
  AutoCloseHandle& operator=(const AutoCloseHandle&) = delete;
  bool IsOpen() const { return m_handle != INVALID_HANDLE_VALUE && m_handle != nullptr; }
  HANDLE Handle() const { return m_handle; }

 private:
  HANDLE m_handle;
};

}  // namespace

bool OpenToRead(const char* path, OwnedFile& file, uint64_t& size) {
  HANDLE opened = CreateFileA(path, GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (opened == INVALID_HANDLE_VALUE) return Failed(false);
  file.Receive() = static_cast<FileHandle>(opened);
  LARGE_INTEGER length;
  if (!GetFileSizeEx(opened, &length)) return Failed(false);
  size = static_cast<uint64_t>(length.QuadPart);
  return true;
}

bool ReadAt(FileHandle file, uint64_t offset, void* out, uint32_t count) {
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(offset);
  DWORD read = 0;
  if (!SetFilePointerEx(static_cast<HANDLE>(file), at, nullptr, FILE_BEGIN) ||
      !ReadFile(static_cast<HANDLE>(file), out, count, &read, nullptr))
    return Failed(false);
  return read == count || FailedWith(ERROR_HANDLE_EOF, false);
}

bool OpenLog(const char* path, FileHandle& log) {
  const DWORD access = FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
  const DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
  HANDLE file = CreateFileA(path, access, FILE_SHARE_READ, nullptr, OPEN_EXISTING, flags, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    if (GetLastError() != ERROR_FILE_NOT_FOUND) return Failed(false);
    // A new log is made only in a folder reached with no link on the way.
    TextString full;
    if (!FullPathForAll(path, full)) return false;
    const char* last = FindLastCharacter(full.Text(), '\\');
    if (!last) return false;
    int32_t cut = static_cast<int32_t>(last - full.Text());
    TextString folder = full.Mid(0, cut == 2 ? cut : cut - 1);  // a drive's root keeps its "\\"
    if (!IsDirectFolder(folder.Text())) return FailedWith(ERROR_ACCESS_DENIED, false);
    file = CreateFileA(path, access, FILE_SHARE_READ, nullptr, CREATE_NEW, flags, nullptr);
    if (file == INVALID_HANDLE_VALUE) return Failed(false);
  }
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(file, &information) ||
      (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
      information.nNumberOfLinks != 1 || !ReachedDirectly(file, path)) {
    CloseHandle(file);
    return FailedWith(ERROR_ACCESS_DENIED, false);
  }
  log = static_cast<FileHandle>(file);
  return true;
}

bool AppendToLog(FileHandle log, const char* bytes, uint32_t count) {
  return WriteAll(static_cast<HANDLE>(log), reinterpret_cast<const uint8_t*>(bytes), count);
}

bool IsDirectFolder(const char* path) {
  AutoCloseHandle folder(CreateFileA(path, FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                     nullptr));
  BY_HANDLE_FILE_INFORMATION information;
  return folder.IsOpen() && GetFileInformationByHandle(folder.Handle(), &information) &&
         (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
         !(information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
         ReachedDirectly(folder.Handle(), path, true);
}

namespace {

// The Restart Manager's calls, from the system folder's DLL; absent before
// Vista.
class RestartManager {
 public:
  using StartFunction = DWORD(WINAPI*)(DWORD*, DWORD, WCHAR*);
  using EndFunction = DWORD(WINAPI*)(DWORD);
  using RegisterFunction = DWORD(WINAPI*)(DWORD, UINT, LPCWSTR*, UINT, void*, UINT, LPCWSTR*);
  using ListFunction = DWORD(WINAPI*)(DWORD, UINT*, UINT*, void*, DWORD*);

  RestartManager() : m_module(nullptr) {
    char path[MAX_PATH + 16] = {};
    UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    lstrcatA(path, "\\rstrtmgr.dll");
    m_module = LoadLibraryA(path);
  }
  ~RestartManager() {
    if (m_module) FreeLibrary(m_module);
  }
  RestartManager(const RestartManager&) = delete;
  RestartManager& operator=(const RestartManager&) = delete;

  template <typename Function>
  Function Get(const char* name) const {
    if (!m_module) return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(m_module, name)));
  }

 private:
  HMODULE m_module;
};

}  // namespace

bool ProgramsHolding(const char* path, TextString& utf8Names) {
  utf8Names.Assign("");
  RestartManager manager;
  auto start = manager.Get<RestartManager::StartFunction>("RmStartSession");
  auto end = manager.Get<RestartManager::EndFunction>("RmEndSession");
  auto add = manager.Get<RestartManager::RegisterFunction>("RmRegisterResources");
  auto list = manager.Get<RestartManager::ListFunction>("RmGetList");
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
    TextString name;
    WCHAR own[CCH_RM_MAX_APP_NAME + 1];
    lstrcpynW(own, processes[i].strAppName, CCH_RM_MAX_APP_NAME + 1);
    if (!WideToUtf8(own, name)) continue;
    char number[32];
    wsprintfA(number, " (%lu)", static_cast<unsigned long>(processes[i].Process.dwProcessId));
    if (utf8Names.Length() > 0) utf8Names.Append(", ");
    utf8Names.Append(name).Append(number);
  }
  if (count == 0 && needed > 0) {
    char number[48];
    wsprintfA(number, "%u programs", needed);
    utf8Names.Assign(number);
  }
  return utf8Names.Length() > 0;
}

JournalOpening OpenJournal(const char* path, bool create, FileHandle& journal) {
  HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr,
                            create ? CREATE_NEW : OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    g_failure = GetLastError();
    switch (g_failure) {
      case ERROR_FILE_NOT_FOUND:
      case ERROR_PATH_NOT_FOUND: return JournalOpening::Missing;
      case ERROR_FILE_EXISTS:
      case ERROR_ALREADY_EXISTS: return JournalOpening::Exists;
      case ERROR_SHARING_VIOLATION:
      case ERROR_LOCK_VIOLATION: return JournalOpening::InUse;
    }
    return JournalOpening::Failed;
  }
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(file, &information) ||
      (information.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) ||
      information.nNumberOfLinks != 1 || !ReachedDirectly(file, path, true)) {
    CloseHandle(file);
    return FailedWith(ERROR_ACCESS_DENIED, JournalOpening::Failed);
  }
  journal = static_cast<FileHandle>(file);
  return JournalOpening::Opened;
}

bool ReadJournal(FileHandle journal, BlockConsumer consume, void* context) {
  HANDLE file = static_cast<HANDLE>(journal);
  if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return false;
  Block block(ReadBlockSize);
  if (!block.Data()) return false;
  for (;;) {
    DWORD count = 0;
    if (!ReadFile(file, block.Data(), ReadBlockSize, &count, nullptr)) return false;
    if (count == 0) return true;
    consume(context, block.Data(), count);
  }
}

bool AppendToJournal(FileHandle journal, const char* bytes, uint32_t count) {
  HANDLE file = static_cast<HANDLE>(journal);
  // An offset of all ones writes at the end of the file, wherever a read
  // has left its pointer, in one call.
  OVERLAPPED atEnd = {};
  atEnd.Offset = 0xFFFFFFFF;
  atEnd.OffsetHigh = 0xFFFFFFFF;
  DWORD written = 0;
  return (WriteFile(file, bytes, count, &written, &atEnd) && written == count) || Failed(false);
}

bool FlushJournal(FileHandle journal) {
  return FlushFileBuffers(static_cast<HANDLE>(journal)) || Failed(false);
}

namespace {

template <typename Function>
Function AdvapiFunction(const char* name) {
  FARPROC address = GetProcAddress(GetModuleHandleA("advapi32.dll"), name);
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
}

uint64_t Joined(DWORD high, DWORD low) { return (uint64_t(high) << 32) | low; }
uint64_t Joined(const FILETIME& time) { return Joined(time.dwHighDateTime, time.dwLowDateTime); }

// Whether the volume of `file` numbers its files lastingly: not FAT, FAT32
// or exFAT, which number a file by its folder entry. Asked once per volume
// in turn; systems without the call (before Vista) are not asked, and their
// indexes are not trusted.
bool HasLastingIndexes(HANDLE file, DWORD volume) {
  using VolumeFunction = BOOL(WINAPI*)(HANDLE, LPWSTR, DWORD, LPDWORD, LPDWORD, LPDWORD, LPWSTR,
                                       DWORD);
  static DWORD s_volume = 0;
  static bool s_known = false, s_lasting = false;
  if (s_known && s_volume == volume) return s_lasting;
  auto ask = KernelFunction<VolumeFunction>("GetVolumeInformationByHandleW");
  wchar_t system[MAX_PATH + 1] = {};
  if (!ask || !ask(file, nullptr, 0, nullptr, nullptr, nullptr, system, MAX_PATH)) return false;
  s_volume = volume;
  s_known = true;
  s_lasting = lstrcmpiW(system, L"FAT") != 0 && lstrcmpiW(system, L"FAT32") != 0 &&
              lstrcmpiW(system, L"exFAT") != 0;
  return s_lasting;
}

}  // namespace

bool IdentityOf(FileHandle file, FileIdentity& identity) {
  HANDLE handle = static_cast<HANDLE>(file);
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(handle, &information)) return Failed(false);
  identity.Volume = information.dwVolumeSerialNumber;
  identity.Index = Joined(information.nFileIndexHigh, information.nFileIndexLow);
  identity.Size = Joined(information.nFileSizeHigh, information.nFileSizeLow);
  identity.WriteTime = Joined(information.ftLastWriteTime);
  identity.CreationTime = Joined(information.ftCreationTime);
  identity.Attributes = information.dwFileAttributes;
  identity.Links = information.nNumberOfLinks;
  identity.StableIndex = HasLastingIndexes(handle, information.dwVolumeSerialNumber);
  return true;
}

Opening OpenToChange(const char* path, OwnedFile& file, FileIdentity& identity) {
  HANDLE opened = CreateFileA(path, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (opened == INVALID_HANDLE_VALUE) {
    g_failure = GetLastError();
    switch (g_failure) {
      case ERROR_FILE_NOT_FOUND:
      case ERROR_PATH_NOT_FOUND: return Opening::Missing;
      case ERROR_SHARING_VIOLATION:
      case ERROR_LOCK_VIOLATION: return Opening::Held;
    }
    return Opening::Failed;
  }
  file.Receive() = static_cast<FileHandle>(opened);
  if (!IdentityOf(file.Get(), identity)) {
    file.Close();
    return Opening::Failed;
  }
  if (identity.Attributes & FILE_ATTRIBUTE_DIRECTORY) {
    file.Close();
    return Opening::Folder;
  }
  return Opening::Opened;
}

Placement RenameOpenFile(FileHandle file, const char* to) {
  SetInformationFunction set = SetInformation();
  if (!set) return Placement::Unsupported;
  return RenameByHandle(set, static_cast<HANDLE>(file), to, false) ? Placement::Placed
                                                                    : Placement::Refused;
}

bool SetOpenFileAttributes(FileHandle file, uint32_t attributes) {
  SetInformationFunction set = SetInformation();
  return (set && SetAttributesByHandle(set, static_cast<HANDLE>(file), attributes)) ||
         Failed(false);
}

namespace {

// Whether the drive of letter `letter` is mapped to a network share
// (GetDriveTypeA), asked once per drive: the answer costs a look at the
// volume, and a run asks for every file it changes.
bool IsMappedDrive(char letter) {
  static uint8_t s_known[26];  // 0 not asked, 1 local, 2 mapped
  char upper = static_cast<char>(letter & ~0x20);
  if (upper < 'A' || upper > 'Z') return false;
  uint8_t& known = s_known[upper - 'A'];
  if (!known) {
    char root[] = {upper, ':', '\\', '\0'};
    known = GetDriveTypeA(root) == DRIVE_REMOTE ? 2 : 1;
  }
  return known == 2;
}

}  // namespace

bool FullPathForAll(const char* path, TextString& full) {
  DWORD size = GetFullPathNameA(path, 0, nullptr, nullptr);
  if (size == 0) return Failed(false);
  if (!full.Reserve(static_cast<int32_t>(size) + 1)) return FailedWith(ERROR_NOT_ENOUGH_MEMORY, false);
  DWORD length = GetFullPathNameA(path, size + 1, full.Buffer(), nullptr);
  if (length == 0 || length > size) return Failed(false);
  full.Compact();
  const char* text = full.Text();
  if (!(text[0] && text[1] == ':' && text[2] == '\\')) return true;
  if (!IsMappedDrive(text[0])) return true;
  // A mapped drive is the user's own: the share's path is everyone's.
  using UniversalFunction = DWORD(WINAPI*)(LPCSTR, DWORD, LPVOID, LPDWORD);
  char module[MAX_PATH + 16] = {};
  UINT folderLength = GetSystemDirectoryA(module, MAX_PATH);
  if (folderLength == 0 || folderLength >= MAX_PATH) return true;
  lstrcatA(module, "\\mpr.dll");
  HMODULE mpr = LoadLibraryA(module);
  if (!mpr) return true;
  auto universal = reinterpret_cast<UniversalFunction>(
      reinterpret_cast<void (*)()>(GetProcAddress(mpr, "WNetGetUniversalNameA")));
  DWORD bytes = 1024;
  Block area(bytes);
  if (universal && area.Data() &&
      universal(text, UNIVERSAL_NAME_INFO_LEVEL, area.Data(), &bytes) == NO_ERROR) {
    const UNIVERSAL_NAME_INFOA* info = reinterpret_cast<const UNIVERSAL_NAME_INFOA*>(area.Data());
    if (info->lpUniversalName && info->lpUniversalName[0]) full.Assign(info->lpUniversalName);
  }
  FreeLibrary(mpr);
  return true;
}

bool CanonicalName(const char* path, TextString& utf8) {
  AutoCloseHandle file(CreateFileA(path, FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file.IsOpen()) return Failed(false);
  FinalPathFunction finalPath = KernelFunction<FinalPathFunction>("GetFinalPathNameByHandleW");
  DWORD size = finalPath ? finalPath(file.Handle(), nullptr, 0, 0) : 0;
  Block area((size + 1) * sizeof(wchar_t));
  wchar_t* wide = reinterpret_cast<wchar_t*>(area.Data());
  const wchar_t* name = nullptr;
  if (size > 0 && wide && finalPath(file.Handle(), wide, size + 1, 0) > 0) {
    name = WithoutFinalPrefix(wide);
  }
  // Before Vista: the full path every account resolves, with long names.
  TextString full;
  char longName[MAX_PATH * 2] = {};
  if (!name) {
    if (!FullPathForAll(path, full)) return false;
    DWORD length = GetLongPathNameA(full.Text(), longName, sizeof longName);
    if (length > 0 && length < sizeof longName) full.Assign(longName);
  }
  WideText converted(full.Text(), CP_ACP);
  if (!name) name = converted.Text();
  size_t length = wcslen(name);
  Block upper((length + 1) * sizeof(wchar_t));
  wchar_t* text = reinterpret_cast<wchar_t*>(upper.Data());
  if (!text || length == 0) return FailedWith(ERROR_NOT_ENOUGH_MEMORY, false);
  memcpy(text, name, (length + 1) * sizeof(wchar_t));
  CharUpperBuffW(text, static_cast<DWORD>(length));
  return WideToUtf8(text, utf8) || FailedWith(ERROR_NO_UNICODE_TRANSLATION, false);
}

namespace {

// The security calls, looked up by name: the Windows 95 family has none.
using GetSecurityFunction = DWORD(WINAPI*)(HANDLE, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID*,
                                           PSID*, PACL*, PACL*, PSECURITY_DESCRIPTOR*);
using SetSecurityFunction = DWORD(WINAPI*)(HANDLE, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID,
                                           PSID, PACL, PACL);
using ConvertFunction = BOOL(WINAPI*)(LPCSTR, DWORD, PSECURITY_DESCRIPTOR*, PULONG);
using SidTextFunction = BOOL(WINAPI*)(PSID, LPSTR*);

// A well-known account of the NT authority: the system (18), or the
// administrators' group (32, 544).
class KnownSid {
 public:
  KnownSid(BYTE count, DWORD first, DWORD second = 0) : m_sid(nullptr) {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    AllocateAndInitializeSid(&nt, count, first, second, 0, 0, 0, 0, 0, 0, &m_sid);
  }
  ~KnownSid() {
    if (m_sid) FreeSid(m_sid);
  }
  KnownSid(const KnownSid&) = delete;
  KnownSid& operator=(const KnownSid&) = delete;
  PSID Get() const { return m_sid; }

 private:
  PSID m_sid;
};

// The account the process runs as, from its token.
class OwnAccount {
 public:
  OwnAccount() : m_area(256) {
    HANDLE token = nullptr;
    DWORD size = 0;
    m_known = m_area.Data() && OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) &&
              GetTokenInformation(token, TokenUser, m_area.Data(), 256, &size);
    if (token) CloseHandle(token);
  }
  PSID Get() const {
    return m_known ? reinterpret_cast<const TOKEN_USER*>(m_area.Data())->User.Sid : nullptr;
  }

 private:
  Block m_area;
  bool m_known;
};

bool SameSid(PSID one, PSID other) { return one && other && EqualSid(one, other); }

// The system, the administrators, the run's own account, and the creator
// (who can only be one of those, since no one else may create there).
bool IsAdmitted(PSID sid, const OwnAccount& own) {
  KnownSid system(1, SECURITY_LOCAL_SYSTEM_RID);
  KnownSid administrators(2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS);
  SID_IDENTIFIER_AUTHORITY creator = SECURITY_CREATOR_SID_AUTHORITY;
  PSID creatorOwner = nullptr;
  AllocateAndInitializeSid(&creator, 1, SECURITY_CREATOR_OWNER_RID, 0, 0, 0, 0, 0, 0, 0,
                           &creatorOwner);
  bool admitted = SameSid(sid, system.Get()) || SameSid(sid, administrators.Get()) ||
                  SameSid(sid, own.Get()) || SameSid(sid, creatorOwner);
  if (creatorOwner) FreeSid(creatorOwner);
  return admitted;
}

// The protection of the journals' folder, as a security descriptor: the
// system and the administrators, and where `ownAccount` the run's account.
// Freed with LocalFree.
PSECURITY_DESCRIPTOR ProtectionFor(bool ownAccount) {
  auto convert = AdvapiFunction<ConvertFunction>("ConvertStringSecurityDescriptorToSecurityDescriptorA");
  auto sidText = AdvapiFunction<SidTextFunction>("ConvertSidToStringSidA");
  if (!convert) return nullptr;
  TextString sddl(ownAccount ? "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)"
                             : "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)");
  if (ownAccount) {
    OwnAccount own;
    char* text = nullptr;
    if (!sidText || !own.Get() || !sidText(own.Get(), &text)) return nullptr;
    sddl.Append("(A;OICI;FA;;;").Append(text).Append(")");
    LocalFree(text);
  }
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  return convert(sddl.Text(), 1 /* SDDL_REVISION_1 */, &descriptor, nullptr) ? descriptor : nullptr;
}

// Enables or disables a privilege of the process's token.
void UsePrivilege(const char* name, bool enable) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return;
  TOKEN_PRIVILEGES privileges = {};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
  if (LookupPrivilegeValueA(nullptr, name, &privileges.Privileges[0].Luid))
    AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
  CloseHandle(token);
}

// The folder itself, never what a link leads to.
HANDLE OpenFolderItself(const char* path, DWORD access) {
  return CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                     nullptr);
}

}  // namespace

FolderTrust TrustOfFolder(const char* path) {
  AutoCloseHandle folder(OpenFolderItself(path, READ_CONTROL | FILE_READ_ATTRIBUTES));
  if (!folder.IsOpen()) {
    DWORD error = GetLastError();
    g_failure = error;
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FolderTrust::Missing
                                                                          : FolderTrust::Failed;
  }
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(folder.Handle(), &information)) return Failed(FolderTrust::Failed);
  if (!(information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
      (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
      !ReachedDirectly(folder.Handle(), path, true))
    return FolderTrust::Foreign;
  auto getSecurity = AdvapiFunction<GetSecurityFunction>("GetSecurityInfo");
  if (!getSecurity) return FolderTrust::Trusted;  // a system without accounts
  PSID owner = nullptr;
  PACL list = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  DWORD error = getSecurity(folder.Handle(), SE_FILE_OBJECT,
                            OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                            nullptr, &list, nullptr, &descriptor);
  if (error != ERROR_SUCCESS) return FailedWith(error, FolderTrust::Failed);
  OwnAccount own;
  bool trusted = IsAdmitted(owner, own) && list;
  // Any change allowed to anyone else: writing or adding, deleting, or
  // changing the protection or the owner, on the folder or what it holds.
  const ACCESS_MASK changes = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                              FILE_DELETE_CHILD | FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC |
                              WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
  for (DWORD i = 0; trusted && i < list->AceCount; ++i) {
    ACE_HEADER* header = nullptr;
    if (!GetAce(list, i, reinterpret_cast<void**>(&header))) {
      trusted = false;
    } else if (header->AceType == ACCESS_ALLOWED_ACE_TYPE) {
      ACCESS_ALLOWED_ACE* allowed = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
      if ((allowed->Mask & changes) && !IsAdmitted(&allowed->SidStart, own)) trusted = false;
    } else if (header->AceType != ACCESS_DENIED_ACE_TYPE) {
      trusted = false;  // a kind this reading does not know: not trusted
    }
  }
  LocalFree(descriptor);
  return trusted ? FolderTrust::Trusted : FolderTrust::Foreign;
}

bool MakeProtectedFolder(const char* path, bool ownAccount) {
  PSECURITY_DESCRIPTOR descriptor = ProtectionFor(ownAccount);
  if (!descriptor) return CreateDirectoryA(path, nullptr) || Failed(false);
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
  bool made = CreateDirectoryA(path, &attributes) != FALSE;
  if (!made) g_failure = GetLastError();
  LocalFree(descriptor);
  return made;
}

bool ReclaimFolder(const char* path, bool ownAccount) {
  auto setSecurity = AdvapiFunction<SetSecurityFunction>("SetSecurityInfo");
  PSECURITY_DESCRIPTOR descriptor = ProtectionFor(ownAccount);
  if (!setSecurity || !descriptor) {
    if (descriptor) LocalFree(descriptor);
    return FailedWith(ERROR_CALL_NOT_IMPLEMENTED, false);
  }
  UsePrivilege(SE_TAKE_OWNERSHIP_NAME, true);
  UsePrivilege(SE_RESTORE_NAME, true);
  bool taken = false;
  AutoCloseHandle folder(OpenFolderItself(path, WRITE_OWNER | WRITE_DAC | READ_CONTROL |
                                                    FILE_READ_ATTRIBUTES));
  BY_HANDLE_FILE_INFORMATION information;
  if (!folder.IsOpen() || !GetFileInformationByHandle(folder.Handle(), &information)) {
    g_failure = GetLastError();
  } else if (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    taken = true;  // a link: it is moved aside as it is, its target untouched
  } else {
    PSID owner = nullptr;
    PACL list = nullptr;
    BOOL defaulted = FALSE, present = FALSE;
    GetSecurityDescriptorOwner(descriptor, &owner, &defaulted);
    GetSecurityDescriptorDacl(descriptor, &present, &list, &defaulted);
    OwnAccount own;
    DWORD error = setSecurity(folder.Handle(), SE_FILE_OBJECT,
                              OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                  PROTECTED_DACL_SECURITY_INFORMATION,
                              owner ? owner : own.Get(), nullptr, list, nullptr);
    taken = error == ERROR_SUCCESS;
    if (!taken) g_failure = error;
  }
  UsePrivilege(SE_RESTORE_NAME, false);
  UsePrivilege(SE_TAKE_OWNERSHIP_NAME, false);
  LocalFree(descriptor);
  return taken;
}

namespace {

// The administrators' private namespace, opened once and kept while the
// process lives, so that the names in it stay reachable.
HANDLE g_namespace = nullptr;

bool OpenAdministratorsNamespace() {
  if (g_namespace) return true;
  using CreateBoundaryFunction = HANDLE(WINAPI*)(LPCWSTR, ULONG);
  using AddSidFunction = BOOL(WINAPI*)(HANDLE*, PSID);
  using CreateNamespaceFunction = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, LPVOID, LPCWSTR);
  using OpenNamespaceFunction = HANDLE(WINAPI*)(LPVOID, LPCWSTR);
  using DeleteBoundaryFunction = VOID(WINAPI*)(HANDLE);
  auto createBoundary = KernelFunction<CreateBoundaryFunction>("CreateBoundaryDescriptorW");
  auto addSid = KernelFunction<AddSidFunction>("AddSIDToBoundaryDescriptor");
  auto createNamespace = KernelFunction<CreateNamespaceFunction>("CreatePrivateNamespaceW");
  auto openNamespace = KernelFunction<OpenNamespaceFunction>("OpenPrivateNamespaceW");
  auto deleteBoundary = KernelFunction<DeleteBoundaryFunction>("DeleteBoundaryDescriptor");
  if (!createBoundary || !addSid || !createNamespace || !openNamespace || !deleteBoundary)
    return false;
  HANDLE boundary = createBoundary(L"Updater", 0);
  if (!boundary) return false;
  KnownSid administrators(2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS);
  PSECURITY_DESCRIPTOR descriptor = ProtectionFor(false);
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
  if (administrators.Get() && addSid(&boundary, administrators.Get())) {
    g_namespace = createNamespace(descriptor ? &attributes : nullptr, boundary, L"Updater");
    if (!g_namespace) g_namespace = openNamespace(boundary, L"Updater");
  }
  if (descriptor) LocalFree(descriptor);
  deleteBoundary(boundary);
  return g_namespace != nullptr;
}

}  // namespace

Locking TakeLock(const char* name, LockScope scope, LockHandle& lock) {
  TextString full;
  switch (scope) {
    case LockScope::Administrators:
      if (!OpenAdministratorsNamespace()) return Locking::Unsupported;
      full.Assign("Updater\\");
      break;
    case LockScope::Global:
      full.Assign("Global\\");
      break;
    case LockScope::Session:
      full.Assign("Local\\");
      break;
  }
  full.Append(name);
  WideText wide(full.Text(), CP_ACP);
  if (!wide.Valid()) return FailedWith(ERROR_INVALID_NAME, Locking::Failed);
  HANDLE mutex = CreateMutexW(nullptr, FALSE, wide.Text());
  if (!mutex && scope != LockScope::Administrators && GetLastError() == ERROR_CALL_NOT_IMPLEMENTED)
    mutex = CreateMutexA(nullptr, FALSE, name);  // the Windows 95 family: one namespace
  if (!mutex) return Failed(Locking::Failed);
  switch (WaitForSingleObject(mutex, 0)) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED:  // its last holder ended without letting go
      lock = static_cast<LockHandle>(mutex);
      return Locking::Taken;
    case WAIT_TIMEOUT:
      CloseHandle(mutex);
      return Locking::Held;
  }
  g_failure = GetLastError();
  CloseHandle(mutex);
  return Locking::Failed;
}

void ReleaseLock(LockHandle lock) {
  ReleaseMutex(static_cast<HANDLE>(lock));
  CloseHandle(static_cast<HANDLE>(lock));
}

bool RandomBytes(void* out, uint32_t count) {
  using RandomFunction = BOOLEAN(WINAPI*)(PVOID, ULONG);
  auto random = AdvapiFunction<RandomFunction>("SystemFunction036");
  return (random && random(out, count)) || FailedWith(ERROR_CALL_NOT_IMPLEMENTED, false);
}

void CurrentLocalTime(LocalTime& time) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  time = LocalTime{now.wYear,   now.wMonth,  now.wDay,         now.wHour,
                   now.wMinute, now.wSecond, now.wMilliseconds};
}

uint32_t Milliseconds() { return GetTickCount(); }

uint32_t AnsiCodePage() { return GetACP(); }

Elevation RunElevation() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return Elevation::Unknown;
  TOKEN_ELEVATION elevation = {};
  DWORD size = 0;
  bool known = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
  CloseHandle(token);
  if (!known) return Elevation::Unknown;
  return elevation.TokenIsElevated ? Elevation::Elevated : Elevation::NotElevated;
}

BoxesSeen WhoSeesBoxes() {
  USEROBJECTFLAGS flags = {};
  DWORD size = 0;
  if (HWINSTA station = GetProcessWindowStation())
    if (GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof flags, &size) &&
        !(flags.dwFlags & WSF_VISIBLE))
      return BoxesSeen::StationHidden;
  OSVERSIONINFOA version;
  memset(&version, 0, sizeof(version));
  version.dwOSVersionInfoSize = sizeof(version);
  DWORD session = 1;
  // Before Vista, session 0 is the console's, where the first user works.
  if (GetVersionExA(&version) && version.dwMajorVersion >= 6 &&
      ProcessIdToSessionId(GetCurrentProcessId(), &session) && session == 0)
    return BoxesSeen::SessionZero;
  return BoxesSeen::Seen;
}

uint32_t LastFailure() { return g_failure; }
void ClearFailure() { g_failure = 0; }

bool FailureText(uint32_t code, TextString& utf8) {
  wchar_t* text = nullptr;
  DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  if (length == 0 || !text) return false;
  while (length > 0 && (text[length - 1] == L'\r' || text[length - 1] == L'\n' ||
                        text[length - 1] == L' '))
    text[--length] = L'\0';
  bool converted = length > 0 && WideToUtf8(text, utf8);
  LocalFree(text);
  return converted;
}

int LoadMessageText(unsigned id, char* buffer, int size) {
  if (size <= 0) return 0;
  buffer[0] = '\0';
  wchar_t wide[TextString::MessageAreaSize] = {};
  if (LoadStringW(GetModuleHandleA(nullptr), id, wide, TextString::MessageAreaSize) <= 0) return 0;
  TextString utf8;
  if (!WideToUtf8(wide, utf8)) return 0;
  // The catalogue's texts fit; cutting is only a bound.
  int length = utf8.Length() < size ? utf8.Length() : size - 1;
  memcpy(buffer, utf8.Text(), length);
  buffer[length] = '\0';
  return length;
}

bool AnsiToUtf8(const char* ansi, TextString& utf8) {
  WideText wide(ansi, CP_ACP);
  if (!wide.Valid()) {
    utf8.Assign("");
    return false;
  }
  return WideToUtf8(wide.Text(), utf8);
}

int MessageBoxUtf8(const char* text, const char* caption, uint32_t style) {
  WideText wideText(text, CP_UTF8);
  WideText wideCaption(caption, CP_UTF8);
  return MessageBoxW(progress::Window(), wideText.Text(), wideCaption.Text(), style);
}

}  // namespace os
