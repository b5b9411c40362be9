// The Windows half of os/files.h.
#include <windows.h>
#include <winnetwk.h>  // types only: mpr.dll is loaded at run time

#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "os/common_win.h"
#include "os/files.h"
#include "os/files_win.h"

namespace {

using os::Block;
using os::Failed;
using os::FailedWith;

// `wide` in the ANSI code page, with no character made to fit: false when
// one has no exact form there (or the name does not fit `size`).
bool ExactAnsiName(const wchar_t* wide, char* ansi, int size) {
  BOOL lossy = FALSE;
  int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, ansi, size, nullptr,
                                   &lossy);
  return length > 0 && !lossy;
}

// A directory search (FindClose).
void CloseSearch(void* search) { FindClose(search); }
using OwnedSearch = os::Owned<void, CloseSearch>;

// A file opened for reading that others may read but not write meanwhile, so
// that it cannot change while it is read; null where it does not open.
HANDLE OpenReadOnly(const char* path) {
  return os::Opened(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
}

using SetInformationFunction = BOOL(WINAPI*)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);

// Looked up by name: systems before Vista lack it and must still start.
// (Not kept in a function's static: guarding its first use would bring in
// the library's exception machinery.)
SetInformationFunction SetInformation() {
  return os::KernelFunction<SetInformationFunction>("SetFileInformationByHandle");
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

// Gives the open file the name `target` (FileRenameInfo), replacing what is
// there where `replace`.
bool RenameByHandle(SetInformationFunction set, HANDLE file, const char* target, bool replace) {
  os::WideText wideTarget(target, CP_ACP);
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

HANDLE Native(os::FileHandle file) { return static_cast<HANDLE>(file); }

using FinalPathFunction = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);

// `path` without the prefix the system puts before a final path: "\\?\" for a
// drive's path, "\\?\UNC\" (standing for "\\") for a share's.
wchar_t* WithoutFinalPrefix(wchar_t* path) {
  if (wcsncmp(path, L"\\\\?\\UNC\\", 8) == 0) {
    path[6] = L'\\';
    return path + 6;
  }
  return wcsncmp(path, L"\\\\?\\", 4) == 0 ? path + 4 : path;
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
  auto ask = os::KernelFunction<VolumeFunction>("GetVolumeInformationByHandleW");
  wchar_t system[MAX_PATH + 1] = {};
  if (!ask || !ask(file, nullptr, 0, nullptr, nullptr, nullptr, system, MAX_PATH)) return false;
  s_volume = volume;
  s_known = true;
  s_lasting = lstrcmpiW(system, L"FAT") != 0 && lstrcmpiW(system, L"FAT32") != 0 &&
              lstrcmpiW(system, L"exFAT") != 0;
  return s_lasting;
}

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

namespace os {

bool WriteAll(HANDLE file, const uint8_t* data, DWORD count) {
  while (count > 0) {
    DWORD written = 0;
    if (!WriteFile(file, data, count, &written, nullptr) || written == 0) return false;
    data += written;
    count -= written;
  }
  return true;
}

bool ReadAllBlocks(HANDLE file, uint64_t total, BlockConsumer consume, void* context,
                   BytesDone told, void* toldContext) {
  Block block(ReadBlockSize);
  if (!block.Data()) return FailedWith(ERROR_NOT_ENOUGH_MEMORY, false);
  uint64_t done = 0;
  for (;;) {
    DWORD count = 0;
    if (!ReadFile(file, block.Data(), ReadBlockSize, &count, nullptr)) return Failed(false);
    if (count == 0) return true;
    consume(context, block.Data(), count);
    if (told) told(toldContext, done += count, total);
  }
}

bool ReachedDirectly(HANDLE file, const char* path, bool longNames) {
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

// --- By name --------------------------------------------------------------

bool FindAnyEntry(const char* pattern) {
  WIN32_FIND_DATAA entry;
  OwnedSearch search(Opened(FindFirstFileA(pattern, &entry)));
  return search.IsOpen();
}

bool DeleteOneFile(const char* path) { return DeleteFileA(path) || Failed(false); }

bool SetAttributes(const char* path, uint32_t value) {
  return SetFileAttributesA(path, value) || Failed(false);
}

bool MakeDirectory(const char* path) { return CreateDirectoryA(path, nullptr) || Failed(false); }

bool RemoveEmptyDirectory(const char* path) { return RemoveDirectoryA(path) || Failed(false); }

bool IsExistingFile(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsExistingDirectory(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool AttributesOf(const char* path, uint32_t& attributes) {
  DWORD found = GetFileAttributesA(path);
  if (found == INVALID_FILE_ATTRIBUTES) return false;
  attributes = found;
  return true;
}

bool IsDirectFolder(const char* path) {
  OwnedHandle folder(Opened(CreateFileA(path, FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                        nullptr)));
  BY_HANDLE_FILE_INFORMATION information;
  return folder.IsOpen() && GetFileInformationByHandle(folder.Get(), &information) &&
         (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
         !(information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
         ReachedDirectly(folder.Get(), path, true);
}

Listing ForEachEntry(const char* pattern, EntryVisitor visit, void* context) {
  WideText widePattern(pattern, CP_ACP);
  if (!widePattern.Valid()) return Failed(Listing::Failed);
  WIN32_FIND_DATAW entry;
  OwnedSearch search(Opened(FindFirstFileW(widePattern.Text(), &entry)));
  if (!search.IsOpen()) {
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
                   error == ERROR_NO_MORE_FILES
               ? Listing::Complete
               : FailedWith(error, Listing::Failed);
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
  } while (FindNextFileW(search.Get(), &entry));
  return GetLastError() == ERROR_NO_MORE_FILES ? Listing::Complete : Failed(Listing::Failed);
}

// --- Reading whole files ----------------------------------------------------

bool FileWriteDate(const char* path, CalendarDate& date) {
  OwnedHandle file(OpenReadOnly(path));
  if (!file.IsOpen()) return Failed(false);
  FILETIME written = {};
  if (!GetFileTime(file.Get(), nullptr, nullptr, &written)) return Failed(false);
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

bool ReadFileBlocks(const char* path, uint32_t& lowSize, BlockConsumer consume, void* context,
                    BytesDone told, void* toldContext) {
  OwnedHandle file(OpenReadOnly(path));
  if (!file.IsOpen()) return Failed(false);
  DWORD high = 0;
  DWORD low = GetFileSize(file.Get(), &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return Failed(false);
  if (low == 0 && high == 0) return FailedWith(ERROR_HANDLE_EOF, false);  // nothing to read
  lowSize = low;
  return ReadAllBlocks(file.Get(), Joined(high, low), consume, context, told, toldContext);
}

// --- Open files -------------------------------------------------------------

void CloseFile(FileHandle file) { CloseHandle(Native(file)); }

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

bool OpenSharingRead(const char* path, OwnedFile& file) {
  file.Receive() = static_cast<FileHandle>(OpenReadOnly(path));
  return file.IsOpen() || Failed(false);
}

bool ReadAt(FileHandle file, uint64_t offset, void* out, uint32_t count) {
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(offset);
  DWORD read = 0;
  if (!SetFilePointerEx(Native(file), at, nullptr, FILE_BEGIN) ||
      !ReadFile(Native(file), out, count, &read, nullptr))
    return Failed(false);
  return read == count || FailedWith(ERROR_HANDLE_EOF, false);
}

bool ReadToEnd(FileHandle file, BlockConsumer consume, void* context) {
  return ReadAllBlocks(Native(file), 0, consume, context, nullptr, nullptr);
}

// --- Files the run creates ----------------------------------------------------

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

namespace {

// A large file's blocks are handed to the consumer (a digest) on a thread
// of its own, through a ring of blocks, so that the digest of one block is
// computed while the copy reads and writes the next: the digest then costs
// a copy little more than the time the slower of the two takes. A small
// file's are consumed in the copy's own loop, since starting a thread would
// cost more than its digest.
constexpr uint64_t ConsumedAsideFrom = 16u << 20;
constexpr LONG RingBlocks = 4;

class ConsumerThread {
 public:
  ConsumerThread(BlockConsumer consume, void* context) : m_consume(consume), m_context(context) {
    m_free = CreateSemaphoreW(nullptr, RingBlocks, RingBlocks, nullptr);
    m_full = CreateSemaphoreW(nullptr, 0, RingBlocks, nullptr);
    bool ready = m_free && m_full;
    for (LONG i = 0; i < RingBlocks; ++i) {
      m_blocks[i] = static_cast<uint8_t*>(malloc(ReadBlockSize));
      ready = ready && m_blocks[i];
    }
    if (ready) m_thread = CreateThread(nullptr, 0, Consume, this, 0, nullptr);
  }
  // Ends the thread once it has consumed every block handed to it.
  ~ConsumerThread() {
    if (m_thread) {
      if (!m_ended) Hand(0);
      WaitForSingleObject(m_thread, INFINITE);
      CloseHandle(m_thread);
    }
    for (LONG i = 0; i < RingBlocks; ++i) free(m_blocks[i]);
    if (m_free) CloseHandle(m_free);
    if (m_full) CloseHandle(m_full);
  }
  ConsumerThread(const ConsumerThread&) = delete;
  ConsumerThread& operator=(const ConsumerThread&) = delete;

  bool Started() const { return m_thread != nullptr; }
  // The next block to read into, once the thread is done with it.
  uint8_t* Take() {
    if (!m_holding) WaitForSingleObject(m_free, INFINITE);
    m_holding = true;
    return m_blocks[m_next];
  }
  // Hands the block taken, holding `count` bytes (0: the end), to the thread.
  void Hand(DWORD count) {
    Take();
    m_counts[m_next] = count;
    m_next = (m_next + 1) % RingBlocks;
    m_holding = false;
    m_ended = count == 0;
    ReleaseSemaphore(m_full, 1, nullptr);
  }

 private:
  static DWORD WINAPI Consume(void* self) {
    ConsumerThread& ring = *static_cast<ConsumerThread*>(self);
    for (LONG i = 0;; i = (i + 1) % RingBlocks) {
      WaitForSingleObject(ring.m_full, INFINITE);
      if (ring.m_counts[i] == 0) return 0;
      ring.m_consume(ring.m_context, ring.m_blocks[i], ring.m_counts[i]);
      ReleaseSemaphore(ring.m_free, 1, nullptr);
    }
  }

  BlockConsumer m_consume;
  void* m_context;
  HANDLE m_free = nullptr, m_full = nullptr, m_thread = nullptr;
  uint8_t* m_blocks[RingBlocks] = {};
  DWORD m_counts[RingBlocks] = {};
  LONG m_next = 0;
  bool m_holding = false, m_ended = false;
};

// Copies the blocks of `from` into `target`, each handed to the consumer's
// thread before it is written.
bool CopyConsumingAside(HANDLE from, HANDLE target, uint64_t total, BytesDone told,
                        void* toldContext, ConsumerThread& ring) {
  uint64_t done = 0;
  for (;;) {
    uint8_t* block = ring.Take();
    DWORD count = 0;
    if (!ReadFile(from, block, ReadBlockSize, &count, nullptr)) return Failed(false);
    ring.Hand(count);
    if (count == 0) return true;
    if (!WriteAll(target, block, count)) return Failed(false);
    told(toldContext, done += count, total);
  }
}

// The same in one loop, each block consumed (where `consume` is given)
// before it is written.
bool CopyConsumingHere(HANDLE from, HANDLE target, uint64_t total, BytesDone told,
                       void* toldContext, BlockConsumer consume, void* consumeContext) {
  Block block(ReadBlockSize);
  if (!block.Data()) return FailedWith(ERROR_NOT_ENOUGH_MEMORY, false);
  uint64_t done = 0;
  for (;;) {
    DWORD count = 0;
    if (!ReadFile(from, block.Data(), ReadBlockSize, &count, nullptr)) return Failed(false);
    if (count == 0) return true;
    if (consume) consume(consumeContext, block.Data(), count);
    if (!WriteAll(target, block.Data(), count)) return Failed(false);
    told(toldContext, done += count, total);
  }
}

}  // namespace

bool CopyIntoFile(FileHandle source, FileHandle file, uint32_t& attributes, BytesDone told,
                  void* toldContext, BlockConsumer consume, void* consumeContext) {
  HANDLE target = Native(file);
  HANDLE from = Native(source);
  BY_HANDLE_FILE_INFORMATION information;
  LARGE_INTEGER start = {};  // a check of the file may have read it already
  if (!GetFileInformationByHandle(from, &information) ||
      !SetFilePointerEx(from, start, nullptr, FILE_BEGIN))
    return Failed(false);
  LARGE_INTEGER size = {};
  GetFileSizeEx(from, &size);
  const uint64_t total = static_cast<uint64_t>(size.QuadPart);
  if (consume && total >= ConsumedAsideFrom) {
    // Where the thread cannot be had, the blocks are consumed here.
    ConsumerThread ring(consume, consumeContext);
    if (ring.Started() ? !CopyConsumingAside(from, target, total, told, toldContext, ring)
                       : !CopyConsumingHere(from, target, total, told, toldContext, consume,
                                            consumeContext))
      return false;
  } else if (!CopyConsumingHere(from, target, total, told, toldContext, consume,
                                consumeContext)) {
    return false;
  }
  FILETIME written;
  if (!GetFileTime(from, nullptr, nullptr, &written) ||
      !SetFileTime(target, nullptr, nullptr, &written) || !FlushFileBuffers(target))
    return Failed(false);
  attributes = information.dwFileAttributes;
  return true;
}

bool EmptyFile(FileHandle file) {
  HANDLE handle = Native(file);
  LARGE_INTEGER start = {};
  return (SetFilePointerEx(handle, start, nullptr, FILE_BEGIN) && SetEndOfFile(handle)) ||
         Failed(false);
}

Placement PlaceFile(FileHandle file, const char* target, uint32_t attributes, bool replace) {
  SetInformationFunction set = SetInformation();
  if (!set) return Placement::Unsupported;
  HANDLE handle = Native(file);
  if (!SetAttributesByHandle(set, handle, attributes)) return Failed(Placement::Refused);
  if (!RenameByHandle(set, handle, target, replace)) return Placement::Refused;
  CloseHandle(handle);
  return Placement::Placed;
}

bool DiscardFile(FileHandle file, const char* path) {
  HANDLE handle = Native(file);
  if (SetInformationFunction set = SetInformation()) {
    // A read-only file cannot be deleted as it is.
    FILE_DISPOSITION_INFO disposition = {TRUE};
    bool deleted = (SetAttributesByHandle(set, handle, FILE_ATTRIBUTE_NORMAL) &&
                    set(handle, FileDispositionInfo, &disposition, sizeof disposition)) ||
                   Failed(false);
    CloseHandle(handle);
    return deleted;
  }
  CloseHandle(handle);
  SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
  return DeleteFileA(path) || Failed(false);
}

// --- Moves by name ------------------------------------------------------------

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

// --- What the undo proves before it touches a file ------------------------

bool IdentityOf(FileHandle file, FileIdentity& identity) {
  HANDLE handle = Native(file);
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
  return RenameByHandle(set, Native(file), to, false) ? Placement::Placed : Placement::Refused;
}

bool SetOpenFileAttributes(FileHandle file, uint32_t attributes) {
  SetInformationFunction set = SetInformation();
  return (set && SetAttributesByHandle(set, Native(file), attributes)) || Failed(false);
}

// --- Names every account shares -----------------------------------------------

bool FullPathForAll(const char* path, OwnedText& full) {
  DWORD size = GetFullPathNameA(path, 0, nullptr, nullptr);
  if (size == 0) return Failed(false);
  char* text = static_cast<char*>(malloc(size + 1));
  full.Receive() = text;
  if (!text) return FailedWith(ERROR_NOT_ENOUGH_MEMORY, false);
  DWORD length = GetFullPathNameA(path, size + 1, text, nullptr);
  if (length == 0 || length > size) return Failed(false);
  if (!(text[0] && text[1] == ':' && text[2] == '\\')) return true;
  if (!IsMappedDrive(text[0])) return true;
  // A mapped drive is the user's own: the share's path is everyone's.
  using UniversalFunction = DWORD(WINAPI*)(LPCSTR, DWORD, LPVOID, LPDWORD);
  OwnedModule mpr(LoadSystemModule("\\mpr.dll"));
  if (!mpr.IsOpen()) return true;
  auto universal = ModuleFunction<UniversalFunction>(mpr.Get(), "WNetGetUniversalNameA");
  DWORD bytes = 1024;
  Block area(bytes);
  if (universal && area.Data() &&
      universal(text, UNIVERSAL_NAME_INFO_LEVEL, area.Data(), &bytes) == NO_ERROR) {
    const UNIVERSAL_NAME_INFOA* info = reinterpret_cast<const UNIVERSAL_NAME_INFOA*>(area.Data());
    if (info->lpUniversalName && info->lpUniversalName[0])
      if (char* share = NewText(info->lpUniversalName)) full.Receive() = share;
  }
  return true;
}

bool CanonicalName(const char* path, OwnedText& utf8) {
  OwnedHandle file(Opened(CreateFileA(path, FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                      nullptr)));
  if (!file.IsOpen()) return Failed(false);
  FinalPathFunction finalPath = KernelFunction<FinalPathFunction>("GetFinalPathNameByHandleW");
  DWORD size = finalPath ? finalPath(file.Get(), nullptr, 0, 0) : 0;
  Block area((size + 1) * sizeof(wchar_t));
  wchar_t* wide = reinterpret_cast<wchar_t*>(area.Data());
  wchar_t* name = nullptr;
  if (size > 0 && wide && finalPath(file.Get(), wide, size + 1, 0) > 0) {
    name = WithoutFinalPrefix(wide);
  }
  // Before Vista: the full path every account resolves, with long names.
  OwnedText full;
  char longName[MAX_PATH * 2] = {};
  const char* ansi = "";
  if (!name) {
    if (!FullPathForAll(path, full)) return false;
    DWORD length = GetLongPathNameA(full.Get(), longName, sizeof longName);
    ansi = length > 0 && length < sizeof longName ? longName : full.Get();
  }
  WideText converted(ansi, CP_ACP);
  if (!name) name = converted.Get();
  size_t length = name ? wcslen(name) : 0;
  if (length == 0) return FailedWith(ERROR_NOT_ENOUGH_MEMORY, false);
  CharUpperBuffW(name, static_cast<DWORD>(length));  // in place: the text is this call's own
  return WideToUtf8(name, utf8) || FailedWith(ERROR_NO_UNICODE_TRANSLATION, false);
}

}  // namespace os
