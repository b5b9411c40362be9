// The OS seam: the registry. See os/basics.h for the seam as a whole and for
// the reasons of failed calls.
#pragma once

#include <cstdint>

#include "os/owned.h"

namespace os {

enum class RegistryRoot { LocalMachine, CurrentUser, ClassesRoot, Users };

// Access rights (KEY_READ, and KEY_QUERY_VALUE | KEY_SET_VALUE), and the view
// of the registry a call sees, added to them: without a view flag, the
// program's own (a 32-bit program on 64-bit Windows sees the 32-bit view).
constexpr uint32_t KeyRead = 0x20019;
constexpr uint32_t KeyChange = 0x0003;
constexpr uint32_t KeyView64 = 0x0100;  // KEY_WOW64_64KEY
constexpr uint32_t KeyView32 = 0x0200;  // KEY_WOW64_32KEY

// The types of value the program writes and tells apart.
namespace registry_type {
constexpr uint32_t Sz = 1;
constexpr uint32_t ExpandSz = 2;
constexpr uint32_t Binary = 3;
constexpr uint32_t Dword = 4;
constexpr uint32_t MultiSz = 7;
constexpr uint32_t Qword = 11;
}  // namespace registry_type

// An open registry key. Of a type of its own, so that it cannot pass for a
// file, a process or a lock.
struct RegistryObject;
using RegistryHandle = RegistryObject*;

void RegistryClose(RegistryHandle key);  // RegCloseKey
using OwnedKey = Owned<RegistryObject, RegistryClose>;

// RegOpenKeyExA. False, leaving `key` untouched, when the key does not open
// (the system's code 2 where it is not there).
bool RegistryOpen(RegistryRoot root, const char* path, uint32_t access, RegistryHandle& key);
// RegCreateKeyExA: opens the key, made where it is missing (with the keys
// above it); Made when its disposition says it was.
enum class KeyOpening { Opened, Made, Failed };
KeyOpening RegistryCreate(RegistryRoot root, const char* path, uint32_t access,
                          RegistryHandle& key);
// RegQueryValueExA without a buffer: a value's type and the byte size of
// its data. Absent is an answer.
enum class ValueFound { Found, Absent, Failed };
ValueFound RegistryValueInfo(RegistryHandle key, const char* name, uint32_t& type,
                             uint32_t& size);
// RegQueryValueExA: reads at most `size` bytes of a value's data into
// `buffer`; the type is not asked for.
bool RegistryRead(RegistryHandle key, const char* name, void* buffer, uint32_t size);
// RegSetValueExA.
bool RegistrySet(RegistryHandle key, const char* name, uint32_t type, const void* data,
                 uint32_t size);
// RegDeleteValueA: Found when it was deleted, Absent when it was not there.
ValueFound RegistryDeleteValue(RegistryHandle key, const char* name);
// Removes the key at `path` where it has neither values nor keys below it
// (RegOpenKeyExA, RegQueryInfoKeyA, then RegDeleteKeyExA with the view of
// `access`, looked up by name; RegDeleteKeyA where the system lacks it and
// no view is asked).
enum class KeyRemoval { Removed, NotEmpty, Absent, Failed };
KeyRemoval RegistryRemoveEmptyKey(RegistryRoot root, const char* path, uint32_t access);

// Whether Windows is 64-bit, whatever the bits of the program: the 64-bit
// build, or IsWow64Process (looked up by name) for the 32-bit one.
bool IsSystem64Bit();
// The SID of the account the process runs as, as text ("S-1-5-21-..."):
// OpenProcessToken, GetTokenInformation (TokenUser) and
// ConvertSidToStringSidA (looked up by name). False, with no text, where
// the system has none (the Windows 95 family) or it cannot be read.
bool CurrentUserSid(OwnedText& sid);

}  // namespace os
