// The Windows half of os/registry.h.
#include <windows.h>

#include "os/common_win.h"
#include "os/registry.h"

namespace {

using os::Failed;
using os::FailedWith;

HKEY Native(os::RegistryHandle key) { return reinterpret_cast<HKEY>(key); }

HKEY RootKey(os::RegistryRoot root) {
  switch (root) {
    case os::RegistryRoot::LocalMachine: return HKEY_LOCAL_MACHINE;
    case os::RegistryRoot::CurrentUser: return HKEY_CURRENT_USER;
    case os::RegistryRoot::ClassesRoot: return HKEY_CLASSES_ROOT;
    case os::RegistryRoot::Users: break;
  }
  return HKEY_USERS;
}

os::ValueFound Found(LONG result) {
  if (result == ERROR_SUCCESS) return os::ValueFound::Found;
  if (result == ERROR_FILE_NOT_FOUND) return os::ValueFound::Absent;
  return FailedWith(result, os::ValueFound::Failed);
}

}  // namespace

namespace os {

bool RegistryOpen(RegistryRoot root, const char* path, uint32_t access, RegistryHandle& key) {
  HKEY opened = nullptr;
  LONG result = RegOpenKeyExA(RootKey(root), path, 0, access, &opened);
  if (result != ERROR_SUCCESS) return FailedWith(result, false);
  key = reinterpret_cast<RegistryHandle>(opened);
  return true;
}

KeyOpening RegistryCreate(RegistryRoot root, const char* path, uint32_t access,
                          RegistryHandle& key) {
  HKEY opened = nullptr;
  DWORD disposition = 0;
  LONG result = RegCreateKeyExA(RootKey(root), path, 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                                nullptr, &opened, &disposition);
  if (result != ERROR_SUCCESS) return FailedWith(result, KeyOpening::Failed);
  key = reinterpret_cast<RegistryHandle>(opened);
  return disposition == REG_CREATED_NEW_KEY ? KeyOpening::Made : KeyOpening::Opened;
}

void RegistryClose(RegistryHandle key) { RegCloseKey(Native(key)); }

ValueFound RegistryValueInfo(RegistryHandle key, const char* name, uint32_t& type,
                             uint32_t& size) {
  DWORD kind = 0, bytes = 0;
  LONG result = RegQueryValueExA(Native(key), name, nullptr, &kind, nullptr, &bytes);
  type = kind;
  size = bytes;
  return Found(result);
}

bool RegistryRead(RegistryHandle key, const char* name, void* buffer, uint32_t size) {
  DWORD count = size;
  LONG result =
      RegQueryValueExA(Native(key), name, nullptr, nullptr, static_cast<BYTE*>(buffer), &count);
  return result == ERROR_SUCCESS || FailedWith(result, false);
}

bool RegistrySet(RegistryHandle key, const char* name, uint32_t type, const void* data,
                 uint32_t size) {
  LONG result = RegSetValueExA(Native(key), name, 0, type, static_cast<const BYTE*>(data), size);
  return result == ERROR_SUCCESS || FailedWith(result, false);
}

ValueFound RegistryDeleteValue(RegistryHandle key, const char* name) {
  return Found(RegDeleteValueA(Native(key), name));
}

KeyRemoval RegistryRemoveEmptyKey(RegistryRoot root, const char* path, uint32_t access) {
  const REGSAM view = access & (KeyView64 | KeyView32);
  OwnedKey key;
  LONG result = RegOpenKeyExA(RootKey(root), path, 0,
                              KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | view,
                              reinterpret_cast<HKEY*>(&key.Receive()));
  if (result == ERROR_FILE_NOT_FOUND) return KeyRemoval::Absent;
  if (result != ERROR_SUCCESS) return FailedWith(result, KeyRemoval::Failed);
  DWORD keys = 0, values = 0;
  result = RegQueryInfoKeyA(Native(key.Get()), nullptr, nullptr, nullptr, &keys, nullptr, nullptr,
                            &values, nullptr, nullptr, nullptr, nullptr);
  if (result != ERROR_SUCCESS) return FailedWith(result, KeyRemoval::Failed);
  if (keys > 0 || values > 0) return KeyRemoval::NotEmpty;
  key.Close();
  using DeleteKeyFunction = LONG(WINAPI*)(HKEY, LPCSTR, REGSAM, DWORD);
  if (auto deleteKey = AdvapiFunction<DeleteKeyFunction>("RegDeleteKeyExA"))
    result = deleteKey(RootKey(root), path, view, 0);
  else if (view == 0)
    result = RegDeleteKeyA(RootKey(root), path);
  else
    result = ERROR_PROC_NOT_FOUND;
  return result == ERROR_SUCCESS ? KeyRemoval::Removed : FailedWith(result, KeyRemoval::Failed);
}

bool IsSystem64Bit() {
#ifdef _WIN64
  return true;
#else
  using IsWow64Function = BOOL(WINAPI*)(HANDLE, PBOOL);
  BOOL wow64 = FALSE;
  auto isWow64 = KernelFunction<IsWow64Function>("IsWow64Process");
  return isWow64 && isWow64(GetCurrentProcess(), &wow64) && wow64;
#endif
}

bool CurrentUserSid(OwnedText& sid) { return OwnSidText(sid); }

}  // namespace os
