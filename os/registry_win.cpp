// The Windows half of os/registry.h.
#include <windows.h>

#include "os/registry.h"

namespace {

HKEY Native(os::RegistryHandle key) { return reinterpret_cast<HKEY>(key); }

}  // namespace

namespace os {

bool RegistryOpen(RegistryRoot /*root*/, const char* path, uint32_t access, RegistryHandle& key) {
  HKEY opened = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, access, &opened) != ERROR_SUCCESS) return false;
  key = reinterpret_cast<RegistryHandle>(opened);
  return true;
}

void RegistryClose(RegistryHandle key) { RegCloseKey(Native(key)); }

uint32_t RegistryValueSize(RegistryHandle key, const char* name) {
  DWORD size = 0;
  if (RegQueryValueExA(Native(key), name, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS)
    return 0;
  return size;
}

bool RegistryRead(RegistryHandle key, const char* name, void* buffer, uint32_t size) {
  DWORD count = size;
  return RegQueryValueExA(Native(key), name, nullptr, nullptr, static_cast<BYTE*>(buffer),
                          &count) == ERROR_SUCCESS;
}

}  // namespace os
