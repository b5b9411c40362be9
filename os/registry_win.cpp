// The Windows half of os/registry.h.
#include <windows.h>

#include "os/common_win.h"
#include "os/registry.h"

namespace {

HKEY Native(os::RegistryHandle key) { return reinterpret_cast<HKEY>(key); }

}  // namespace

namespace os {

bool RegistryOpen(RegistryRoot /*root*/, const char* path, uint32_t access, RegistryHandle& key) {
  HKEY opened = nullptr;
  LONG result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, access, &opened);
  if (result != ERROR_SUCCESS) return FailedWith(result, false);
  key = reinterpret_cast<RegistryHandle>(opened);
  return true;
}

void RegistryClose(RegistryHandle key) { RegCloseKey(Native(key)); }

uint32_t RegistryValueSize(RegistryHandle key, const char* name) {
  DWORD size = 0;
  LONG result = RegQueryValueExA(Native(key), name, nullptr, nullptr, nullptr, &size);
  return result == ERROR_SUCCESS ? size : FailedWith(result, 0u);
}

bool RegistryRead(RegistryHandle key, const char* name, void* buffer, uint32_t size) {
  DWORD count = size;
  LONG result =
      RegQueryValueExA(Native(key), name, nullptr, nullptr, static_cast<BYTE*>(buffer), &count);
  return result == ERROR_SUCCESS || FailedWith(result, false);
}

}  // namespace os
