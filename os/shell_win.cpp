// The Windows half of os/shell.h.
#include <windows.h>
#include <shlobj.h>

#include <cstring>

#include "os/common_win.h"
#include "os/shell.h"

namespace {

// A failed HRESULT as a reason: the Win32 code it carries, where it carries one.
bool FailedCall(HRESULT result) {
  return os::FailedWith(HRESULT_FACILITY(result) == FACILITY_WIN32 ? HRESULT_CODE(result)
                                                                   : static_cast<DWORD>(result),
                        false);
}

// A COM object, released on every road.
template <typename Interface>
void ReleaseObject(Interface* object) {
  object->Release();
}
template <typename Interface>
using OwnedObject = os::Owned<Interface, ReleaseObject<Interface>>;

}  // namespace

namespace os {

bool SaveShellLink(const char* target, const char* workingDirectory, const char* arguments,
                   int showCommand, const char* linkPath) {
  OwnedObject<IShellLinkA> link;
  HRESULT result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IShellLinkA, reinterpret_cast<void**>(&link.Receive()));
  if (FAILED(result)) return FailedCall(result);
  link.Get()->SetPath(target);
  link.Get()->SetWorkingDirectory(workingDirectory);
  if (arguments) link.Get()->SetArguments(arguments);
  if (showCommand) link.Get()->SetShowCmd(showCommand);
  OwnedObject<IPersistFile> file;
  result = link.Get()->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file.Receive()));
  if (FAILED(result)) return FailedCall(result);
  // A path that does not fit is a failed shortcut, never a save from a cut
  // or unterminated buffer.
  wchar_t widePath[MAX_PATH];
  if (MultiByteToWideChar(CP_ACP, 0, linkPath, -1, widePath, MAX_PATH) <= 0) return Failed(false);
  result = file.Get()->Save(widePath, TRUE);
  return SUCCEEDED(result) || FailedCall(result);
}

uint32_t WindowsDirectory(char* buffer, uint32_t size) {
  UINT length = GetWindowsDirectoryA(buffer, size);
  return length ? length : Failed(length);
}

uint32_t SystemDirectory(char* buffer, uint32_t size) {
  UINT length = GetSystemDirectoryA(buffer, size);
  return length ? length : Failed(length);
}

uint32_t TempDirectory(char* buffer, uint32_t size) {
  DWORD length = GetTempPathA(size, buffer);
  return length ? length : Failed(length);
}

uint32_t PlatformId() {
  OSVERSIONINFOA version;
  memset(&version, 0, sizeof(version));
  version.dwOSVersionInfoSize = sizeof(version);  // 148
  if (!GetVersionExA(&version)) Failed(false);
  return version.dwPlatformId;
}

FolderResult FolderPath(int folder, char* buffer) {
  LPITEMIDLIST items = nullptr;
  HRESULT result = SHGetSpecialFolderLocation(nullptr, folder, &items);
  if (result != S_OK) {
    FailedCall(result);
    return FolderResult::NoLocation;
  }
  bool found = SHGetPathFromIDListA(items, buffer) || Failed(false);
  IMalloc* allocator = nullptr;
  if (SUCCEEDED(SHGetMalloc(&allocator))) {
    allocator->Free(items);
    allocator->Release();
  }
  return found ? FolderResult::Found : FolderResult::NoPath;
}

}  // namespace os
