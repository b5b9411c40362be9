// What the seam's Windows halves share, and only they: the reason of the
// last failed call, calls looked up by name, owners of the system's handles
// and of memory, and wide text for the system's W calls. Declared in
// namespace os for the halves' brevity; no caller of the seam sees them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <type_traits>

#include "os/owned.h"

namespace os {

// --- The reason of the last failed call (LastFailure) -------------------------

extern DWORD g_failure;

// Keeps the calling thread's last error as the reason of a failed call, and
// gives `result`: `return Failed(false);` right after the failed call.
template <typename Result>
Result Failed(Result result) {
  g_failure = GetLastError();
  return result;
}

// Keeps `code` as the reason, for a failure the system gave no last error for.
template <typename Result>
Result FailedWith(DWORD code, Result result) {
  g_failure = code;
  return result;
}

// --- Calls looked up by name ----------------------------------------------------
//
// For the calls that some systems lack, which must still start the program,
// and for DLLs loaded only when they are needed. Null where it is missing.

template <typename Function>
Function FunctionAt(FARPROC address) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
}
template <typename Function>
Function ModuleFunction(HMODULE module, const char* name) {
  return FunctionAt<Function>(GetProcAddress(module, name));
}
// GetProcAddress in kernel32.dll and advapi32.dll (GetModuleHandleA).
FARPROC KernelProcedure(const char* name);
FARPROC AdvapiProcedure(const char* name);
template <typename Function>
Function KernelFunction(const char* name) {
  return FunctionAt<Function>(KernelProcedure(name));
}
template <typename Function>
Function AdvapiFunction(const char* name) {
  return FunctionAt<Function>(AdvapiProcedure(name));
}

// --- Owners -----------------------------------------------------------------------

// A handle that CloseHandle closes.
inline void CloseKernelObject(void* handle) { CloseHandle(handle); }
using OwnedHandle = Owned<void, CloseKernelObject>;

// The handle a call opened, or null where it failed: what CreateFileA and
// FindFirstFileW give then, INVALID_HANDLE_VALUE, is no handle to close.
inline HANDLE Opened(HANDLE handle) { return handle == INVALID_HANDLE_VALUE ? nullptr : handle; }

// What the system allocated for the caller to free with LocalFree.
inline void FreeLocal(void* memory) { LocalFree(memory); }
using OwnedLocal = Owned<void, FreeLocal>;

// A DLL loaded for a while (FreeLibrary).
using ModuleObject = std::remove_pointer<HMODULE>::type;
inline void ReleaseModule(ModuleObject* module) { FreeLibrary(module); }
using OwnedModule = Owned<ModuleObject, ReleaseModule>;
// LoadLibraryA of the DLL `name` ("\\mpr.dll") in the system folder
// (GetSystemDirectoryA), never one of that name elsewhere. Null when it
// does not load.
HMODULE LoadSystemModule(const char* name);

// A block of memory for one call (malloc), released on every road.
inline void FreeBlock(uint8_t* block) { free(block); }
class Block : public Owned<uint8_t, FreeBlock> {
 public:
  explicit Block(size_t size) : Owned(static_cast<uint8_t*>(malloc(size))) {}
  uint8_t* Data() const { return Get(); }
};

// --- The run's account ------------------------------------------------------------

// The account the process runs as, from its token (OpenProcessToken,
// GetTokenInformation TokenUser); null where it cannot be read.
class OwnAccount {
 public:
  OwnAccount();
  PSID Get() const;

 private:
  Block m_area;
  bool m_known;
};
// That account's SID as text (ConvertSidToStringSidA, looked up by name: the
// Windows 95 family has none); false, with no text, where there is none.
bool OwnSidText(OwnedText& text);

// --- Wide text ----------------------------------------------------------------------

// Wide text converted from a multi-byte code page, owned for one call.
inline void FreeWide(wchar_t* text) { free(text); }
class WideText : public Owned<wchar_t, FreeWide> {
 public:
  WideText(const char* text, UINT codePage);
  bool Valid() const { return IsOpen(); }
  const wchar_t* Text() const { return IsOpen() ? Get() : L""; }
};

// Converts wide text to UTF-8 into `utf8`; false, with no text, on failure.
bool WideToUtf8(const wchar_t* wide, OwnedText& utf8);

// --- Text -----------------------------------------------------------------------------

// The pieces one after another in a new text (malloc), or null where there
// is no memory for it.
char* NewText(const char* first, const char* second = "", const char* third = "",
             const char* fourth = "");

}  // namespace os
