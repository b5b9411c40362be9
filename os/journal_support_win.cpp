// The Windows half of os/journal_support.h.
#include <windows.h>
#include <aclapi.h>  // types only: the security calls are looked up at run time

#include "os/common_win.h"
#include "os/files_win.h"
#include "os/journal_support.h"

namespace {

using os::Failed;
using os::FailedWith;
using os::OwnedHandle;
using os::OwnedLocal;

// The security calls, looked up by name: the Windows 95 family has none.
using GetSecurityFunction = DWORD(WINAPI*)(HANDLE, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID*,
                                           PSID*, PACL*, PACL*, PSECURITY_DESCRIPTOR*);
using SetSecurityFunction = DWORD(WINAPI*)(HANDLE, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID,
                                           PSID, PACL, PACL);
using ConvertFunction = BOOL(WINAPI*)(LPCSTR, DWORD, PSECURITY_DESCRIPTOR*, PULONG);

// A well-known account of the NT authority: the system (18), or the
// administrators' group (32, 544). Null where it cannot be made.
void ReleaseSid(void* sid) { FreeSid(sid); }
using OwnedSid = os::Owned<void, ReleaseSid>;
PSID KnownSid(BYTE count, DWORD first, DWORD second = 0) {
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID sid = nullptr;
  AllocateAndInitializeSid(&nt, count, first, second, 0, 0, 0, 0, 0, 0, &sid);
  return sid;
}

bool SameSid(PSID one, PSID other) { return one && other && EqualSid(one, other); }

// The system, the administrators, the run's own account, and the creator
// (who can only be one of those, since no one else may create there).
bool IsAdmitted(PSID sid, const os::OwnAccount& own) {
  OwnedSid system(KnownSid(1, SECURITY_LOCAL_SYSTEM_RID));
  OwnedSid administrators(KnownSid(2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS));
  SID_IDENTIFIER_AUTHORITY creator = SECURITY_CREATOR_SID_AUTHORITY;
  OwnedSid creatorOwner;
  AllocateAndInitializeSid(&creator, 1, SECURITY_CREATOR_OWNER_RID, 0, 0, 0, 0, 0, 0, 0,
                           &creatorOwner.Receive());
  return SameSid(sid, system.Get()) || SameSid(sid, administrators.Get()) ||
         SameSid(sid, own.Get()) || SameSid(sid, creatorOwner.Get());
}

// The protection of the journals' folder, as a security descriptor: the
// system and the administrators, and where `ownAccount` the run's account.
// Null when it cannot be made.
void* ProtectionFor(bool ownAccount) {
  auto convert = os::AdvapiFunction<ConvertFunction>("ConvertStringSecurityDescriptorToSecurityDescriptorA");
  if (!convert) return nullptr;
  const char* sddl = "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
  os::OwnedText withAccount;
  if (ownAccount) {
    os::OwnedText text;
    if (!os::OwnSidText(text)) return nullptr;
    withAccount.Receive() =
        os::NewText("D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", "(A;OICI;FA;;;", text.Get(), ")");
    if (!withAccount.IsOpen()) return nullptr;
    sddl = withAccount.Get();
  }
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  return convert(sddl, 1 /* SDDL_REVISION_1 */, &descriptor, nullptr) ? descriptor : nullptr;
}

// Enables or disables a privilege of the process's token.
void UsePrivilege(const char* name, bool enable) {
  OwnedHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                        &token.Receive()))
    return;
  TOKEN_PRIVILEGES privileges = {};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
  if (LookupPrivilegeValueA(nullptr, name, &privileges.Privileges[0].Luid))
    AdjustTokenPrivileges(token.Get(), FALSE, &privileges, 0, nullptr, nullptr);
}

// The folder itself, never what a link leads to; null where it does not open.
HANDLE OpenFolderItself(const char* path, DWORD access) {
  return os::Opened(CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

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
  auto createBoundary = os::KernelFunction<CreateBoundaryFunction>("CreateBoundaryDescriptorW");
  auto addSid = os::KernelFunction<AddSidFunction>("AddSIDToBoundaryDescriptor");
  auto createNamespace = os::KernelFunction<CreateNamespaceFunction>("CreatePrivateNamespaceW");
  auto openNamespace = os::KernelFunction<OpenNamespaceFunction>("OpenPrivateNamespaceW");
  auto deleteBoundary = os::KernelFunction<DeleteBoundaryFunction>("DeleteBoundaryDescriptor");
  if (!createBoundary || !addSid || !createNamespace || !openNamespace || !deleteBoundary)
    return false;
  HANDLE boundary = createBoundary(L"Updater", 0);
  if (!boundary) return false;
  OwnedSid administrators(KnownSid(2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS));
  OwnedLocal descriptor(ProtectionFor(false));
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor.Get(), FALSE};
  if (administrators.Get() && addSid(&boundary, administrators.Get())) {
    g_namespace = createNamespace(descriptor.IsOpen() ? &attributes : nullptr, boundary, L"Updater");
    if (!g_namespace) g_namespace = openNamespace(boundary, L"Updater");
  }
  descriptor.Close();
  deleteBoundary(boundary);
  return g_namespace != nullptr;
}

HANDLE Native(os::FileHandle file) { return static_cast<HANDLE>(file); }

}  // namespace

namespace os {

// --- The journals' own place ------------------------------------------------

FolderTrust TrustOfFolder(const char* path) {
  OwnedHandle folder(OpenFolderItself(path, READ_CONTROL | FILE_READ_ATTRIBUTES));
  if (!folder.IsOpen()) {
    DWORD error = GetLastError();
    g_failure = error;
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FolderTrust::Missing
                                                                          : FolderTrust::Failed;
  }
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(folder.Get(), &information)) return Failed(FolderTrust::Failed);
  if (!(information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
      (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
      !ReachedDirectly(folder.Get(), path, true))
    return FolderTrust::Foreign;
  auto getSecurity = AdvapiFunction<GetSecurityFunction>("GetSecurityInfo");
  if (!getSecurity) return FolderTrust::Trusted;  // a system without accounts
  PSID owner = nullptr;
  PACL list = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  DWORD error = getSecurity(folder.Get(), SE_FILE_OBJECT,
                            OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                            nullptr, &list, nullptr, &descriptor);
  if (error != ERROR_SUCCESS) return FailedWith(error, FolderTrust::Failed);
  OwnedLocal allocated(descriptor);
  os::OwnAccount own;
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
  return trusted ? FolderTrust::Trusted : FolderTrust::Foreign;
}

bool MakeProtectedFolder(const char* path, bool ownAccount) {
  OwnedLocal descriptor(ProtectionFor(ownAccount));
  if (!descriptor.IsOpen()) return CreateDirectoryA(path, nullptr) || Failed(false);
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor.Get(), FALSE};
  return CreateDirectoryA(path, &attributes) || Failed(false);
}

bool ReclaimFolder(const char* path, bool ownAccount) {
  auto setSecurity = AdvapiFunction<SetSecurityFunction>("SetSecurityInfo");
  OwnedLocal descriptor(ProtectionFor(ownAccount));
  if (!setSecurity || !descriptor.IsOpen()) return FailedWith(ERROR_CALL_NOT_IMPLEMENTED, false);
  UsePrivilege(SE_TAKE_OWNERSHIP_NAME, true);
  UsePrivilege(SE_RESTORE_NAME, true);
  bool taken = false;
  OwnedHandle folder(
      OpenFolderItself(path, WRITE_OWNER | WRITE_DAC | READ_CONTROL | FILE_READ_ATTRIBUTES));
  BY_HANDLE_FILE_INFORMATION information;
  if (!folder.IsOpen() || !GetFileInformationByHandle(folder.Get(), &information)) {
    g_failure = GetLastError();
  } else if (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    taken = true;  // a link: it is moved aside as it is, its target untouched
  } else {
    PSID owner = nullptr;
    PACL list = nullptr;
    BOOL defaulted = FALSE, present = FALSE;
    GetSecurityDescriptorOwner(descriptor.Get(), &owner, &defaulted);
    GetSecurityDescriptorDacl(descriptor.Get(), &present, &list, &defaulted);
    os::OwnAccount own;
    DWORD error = setSecurity(folder.Get(), SE_FILE_OBJECT,
                              OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                  PROTECTED_DACL_SECURITY_INFORMATION,
                              owner ? owner : own.Get(), nullptr, list, nullptr);
    taken = error == ERROR_SUCCESS;
    if (!taken) g_failure = error;
  }
  UsePrivilege(SE_RESTORE_NAME, false);
  UsePrivilege(SE_TAKE_OWNERSHIP_NAME, false);
  return taken;
}

// --- The lock of a run ----------------------------------------------------------

Locking TakeLock(const char* name, LockScope scope, LockHandle& lock) {
  const char* space = "Local\\";
  if (scope == LockScope::Administrators) {
    if (!OpenAdministratorsNamespace()) return Locking::Unsupported;
    space = "Updater\\";
  } else if (scope == LockScope::Global) {
    space = "Global\\";
  }
  OwnedText full(NewText(space, name));
  if (!full.IsOpen()) return FailedWith(ERROR_NOT_ENOUGH_MEMORY, Locking::Failed);
  WideText wide(full.Get(), CP_ACP);
  if (!wide.Valid()) return FailedWith(ERROR_INVALID_NAME, Locking::Failed);
  HANDLE created = CreateMutexW(nullptr, FALSE, wide.Text());
  if (!created && scope != LockScope::Administrators && GetLastError() == ERROR_CALL_NOT_IMPLEMENTED)
    created = CreateMutexA(nullptr, FALSE, name);  // the Windows 95 family: one namespace
  if (!created) return Failed(Locking::Failed);
  OwnedHandle mutex(created);
  switch (WaitForSingleObject(mutex.Get(), 0)) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED:  // its last holder ended without letting go
      lock = static_cast<LockHandle>(mutex.Release());
      return Locking::Taken;
    case WAIT_TIMEOUT:
      return Locking::Held;
  }
  return Failed(Locking::Failed);
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

// --- The journal's file -----------------------------------------------------------

JournalOpening OpenJournal(const char* path, bool create, FileHandle& journal) {
  OwnedHandle file(Opened(CreateFileA(path, GENERIC_READ | GENERIC_WRITE | DELETE,
                                      FILE_SHARE_READ, nullptr, create ? CREATE_NEW : OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                                      nullptr)));
  if (!file.IsOpen()) {
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
  if (!GetFileInformationByHandle(file.Get(), &information) ||
      (information.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) ||
      information.nNumberOfLinks != 1 || !ReachedDirectly(file.Get(), path, true))
    return FailedWith(ERROR_ACCESS_DENIED, JournalOpening::Failed);
  journal = static_cast<FileHandle>(file.Release());
  return JournalOpening::Opened;
}

bool ReadJournal(FileHandle journal, BlockConsumer consume, void* context) {
  HANDLE file = Native(journal);
  if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER)
    return Failed(false);
  return ReadAllBlocks(file, 0, consume, context, nullptr, nullptr);
}

bool AppendToJournal(FileHandle journal, const char* bytes, uint32_t count) {
  // An offset of all ones writes at the end of the file, wherever a read
  // has left its pointer, in one call.
  OVERLAPPED atEnd = {};
  atEnd.Offset = 0xFFFFFFFF;
  atEnd.OffsetHigh = 0xFFFFFFFF;
  DWORD written = 0;
  return (WriteFile(Native(journal), bytes, count, &written, &atEnd) && written == count) ||
         Failed(false);
}

bool FlushJournal(FileHandle journal) {
  return FlushFileBuffers(Native(journal)) || Failed(false);
}

}  // namespace os
