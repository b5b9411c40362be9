// The Windows half of the OS seam.
#include <windows.h>
#include <shlobj.h>

#include <cstdlib>
#include <cstring>

#include "base/text_string.h"
#include "os/os.h"

namespace {

// Wide text converted from a multi-byte code page, owned for one call.
class WideText {
 public:
  WideText(const char* text, UINT codePage) : m_text(nullptr) {
    int count = MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
    if (count <= 0) return;
    m_text = static_cast<wchar_t*>(malloc(count * sizeof(wchar_t)));
    if (m_text && MultiByteToWideChar(codePage, 0, text, -1, m_text, count) != count) {
      free(m_text);
      m_text = nullptr;
    }
  }
  ~WideText() { free(m_text); }
  WideText(const WideText&) = delete;
  WideText& operator=(const WideText&) = delete;

  bool Valid() const { return m_text != nullptr; }
  const wchar_t* Text() const { return m_text ? m_text : L""; }

 private:
  wchar_t* m_text;
};

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

bool CopyOneFile(const char* source, const char* target, bool failIfExists) {
  return CopyFileA(source, target, failIfExists) != FALSE;
}

bool ReplaceWithFile(const char* from, const char* to) {
  if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
  // The Windows 95 family has no MoveFileExA: there the old target goes
  // first. A target that cannot be deleted (read-only, in use) stays whole.
  if (GetLastError() != ERROR_CALL_NOT_IMPLEMENTED) return false;
  if (GetFileAttributesA(to) != INVALID_FILE_ATTRIBUTES && !DeleteFileA(to)) return false;
  return MoveFileA(from, to) != FALSE;
}

bool DeleteOneFile(const char* path) { return DeleteFileA(path) != FALSE; }

bool SetAttributes(const char* path, uint32_t value) {
  return SetFileAttributesA(path, value) != FALSE;
}

bool MakeDirectory(const char* path) { return CreateDirectoryA(path, nullptr) != FALSE; }

bool IsExistingFile(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsExistingDirectory(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool ForEachEntry(const char* pattern, EntryVisitor visit, void* context) {
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA(pattern, &entry);
  if (search == INVALID_HANDLE_VALUE) return true;
  bool complete = true;
  do {
    if (!visit(context, entry.cFileName, entry.dwFileAttributes)) {
      complete = false;
      break;
    }
  } while (FindNextFileA(search, &entry));
  FindClose(search);
  return complete;
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
  if (!file.IsOpen()) return false;
  FILETIME written = {};
  GetFileTime(file.Handle(), nullptr, nullptr, &written);
  file.Close();
  FILETIME local;
  SYSTEMTIME calendar;
  if (!FileTimeToLocalFileTime(&written, &local) || !FileTimeToSystemTime(&local, &calendar))
    return false;
  date.Year = calendar.wYear;
  date.Month = calendar.wMonth;
  date.Day = calendar.wDay;
  return true;
}

bool ReadFileBlocks(const char* path, uint32_t& lowSize, BlockConsumer consume, void* context) {
  ReadOnlyFile file(path);
  if (!file.IsOpen()) return false;
  DWORD high = 0;
  DWORD low = GetFileSize(file.Handle(), &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
  if (low == 0 && high == 0) return false;
  lowSize = low;
  uint8_t* block = static_cast<uint8_t*>(malloc(ReadBlockSize));
  if (!block) return false;
  bool complete = true;
  for (;;) {
    DWORD count = 0;
    if (!ReadFile(file.Handle(), block, ReadBlockSize, &count, nullptr)) {
      complete = false;
      break;
    }
    if (count == 0) break;
    consume(context, block, count);
  }
  free(block);
  return complete;
}

bool RunProgram(const char* application, const char* commandLine, const char* directory,
                WaitFor wait) {
  // CreateProcessA may write into the command line.
  TextString writable(commandLine);
  STARTUPINFOA startup;
  memset(&startup, 0, sizeof(startup));
  startup.cb = sizeof(startup);  // 68
  PROCESS_INFORMATION process;
  memset(&process, 0, sizeof(process));
  if (!CreateProcessA(application, writable.Buffer(), nullptr, nullptr, FALSE, 0, nullptr,
                      directory, &startup, &process))
    return false;
  DWORD waited = wait == WaitFor::Exit ? WaitForSingleObject(process.hProcess, INFINITE)
                                       : WaitForInputIdle(process.hProcess, INFINITE);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return waited != WAIT_FAILED;
}

bool SaveShellLink(const char* target, const char* workingDirectory, const char* arguments,
                   int showCommand, const char* linkPath) {
  IShellLinkA* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                              reinterpret_cast<void**>(&link))))
    return false;
  link->SetPath(target);
  link->SetWorkingDirectory(workingDirectory);
  if (arguments) link->SetArguments(arguments);
  if (showCommand) link->SetShowCmd(showCommand);
  IPersistFile* file = nullptr;
  if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
    link->Release();
    return false;
  }
  // A path that does not fit is a failed shortcut, never a save from a cut
  // or unterminated buffer.
  wchar_t widePath[MAX_PATH];
  bool saved = MultiByteToWideChar(CP_ACP, 0, linkPath, -1, widePath, MAX_PATH) > 0 &&
               SUCCEEDED(file->Save(widePath, TRUE));
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
  key = opened;
  return true;
}

void RegistryClose(RegistryHandle key) { RegCloseKey(static_cast<HKEY>(key)); }

uint32_t RegistryValueSize(RegistryHandle key, const char* name) {
  DWORD size = 0;
  if (RegQueryValueExA(static_cast<HKEY>(key), name, nullptr, nullptr, nullptr, &size) !=
      ERROR_SUCCESS)
    return 0;
  return size;
}

bool RegistryRead(RegistryHandle key, const char* name, void* buffer, uint32_t size) {
  DWORD count = size;
  return RegQueryValueExA(static_cast<HKEY>(key), name, nullptr, nullptr,
                          static_cast<BYTE*>(buffer), &count) == ERROR_SUCCESS;
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
  return MessageBoxW(nullptr, wideText.Text(), wideCaption.Text(), style);
}

}  // namespace os
