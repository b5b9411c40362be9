// The OS seam: the registry, read only. See os/basics.h for the seam as a
// whole and for the reasons of failed calls.
#pragma once

#include <cstdint>

#include "os/owned.h"

namespace os {

enum class RegistryRoot { LocalMachine };
constexpr uint32_t KeyRead = 0x20019;

// An open registry key. Of a type of its own, so that it cannot pass for a
// file, a process or a lock.
struct RegistryObject;
using RegistryHandle = RegistryObject*;

void RegistryClose(RegistryHandle key);  // RegCloseKey
using OwnedKey = Owned<RegistryObject, RegistryClose>;

// RegOpenKeyExA. False, leaving `key` untouched, when the key does not open.
bool RegistryOpen(RegistryRoot root, const char* path, uint32_t access, RegistryHandle& key);
// RegQueryValueExA: the byte size of a value's data, 0 when absent or not
// reported.
uint32_t RegistryValueSize(RegistryHandle key, const char* name);
// RegQueryValueExA: reads at most `size` bytes of a value's data into
// `buffer`; the type is not asked for.
bool RegistryRead(RegistryHandle key, const char* name, void* buffer, uint32_t size);

}  // namespace os
