// The OS seam: the shell and the platform. Shortcuts, the system's and the
// shell's folders, and which platform this is. See os/basics.h for the seam
// as a whole and for the reasons of failed calls.
#pragma once

#include <cstdint>

namespace os {

// Saves a shell link through COM: CoCreateInstance(CLSID_ShellLink,
// IID_IShellLinkA), SetPath, SetWorkingDirectory, SetArguments (when
// `arguments` is not null), SetShowCmd (when `showCommand` is not 0),
// QueryInterface(IID_IPersistFile), Save(wide link path, TRUE), Release.
// False when the object cannot be made, the link path does not fit 260 wide
// characters, or the save fails.
bool SaveShellLink(const char* target, const char* workingDirectory, const char* arguments,
                   int showCommand, const char* linkPath);

// GetWindowsDirectoryA and GetSystemDirectoryA into `buffer` of `size` bytes.
uint32_t WindowsDirectory(char* buffer, uint32_t size);
uint32_t SystemDirectory(char* buffer, uint32_t size);
// GetTempPathA: the temporary folder, with its trailing backslash; the same
// answers as the two above.
uint32_t TempDirectory(char* buffer, uint32_t size);

// GetVersionExA with an OSVERSIONINFOA of size 148: its platform id, or 0
// when the call fails. 2 is the NT platform, 1 the Windows 95 family.
uint32_t PlatformId();

// The file-system path of shell folder `folder` (a CSIDL number), written
// into `buffer` of FolderPathSize bytes: SHGetSpecialFolderLocation, then
// SHGetPathFromIDListA, then the list is freed through SHGetMalloc.
constexpr int FolderPathSize = 260;
enum class FolderResult { NoLocation, NoPath, Found };
FolderResult FolderPath(int folder, char* buffer);

}  // namespace os
