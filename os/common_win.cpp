// What the seam's Windows halves share: see common_win.h.
#include "os/common_win.h"

#include "base/text_string.h"

namespace os {

DWORD g_failure = 0;

FARPROC KernelProcedure(const char* name) {
  return GetProcAddress(GetModuleHandleA("kernel32.dll"), name);
}

FARPROC AdvapiProcedure(const char* name) {
  return GetProcAddress(GetModuleHandleA("advapi32.dll"), name);
}

HMODULE LoadSystemModule(const char* name) {
  char path[MAX_PATH + 16] = {};
  UINT length = GetSystemDirectoryA(path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  lstrcatA(path, name);
  return LoadLibraryA(path);
}

WideText::WideText(const char* text, UINT codePage) {
  int count = MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
  if (count <= 0) return;
  wchar_t* wide = static_cast<wchar_t*>(malloc(count * sizeof(wchar_t)));
  if (wide && MultiByteToWideChar(codePage, 0, text, -1, wide, count) != count) {
    free(wide);
    wide = nullptr;
  }
  Receive() = wide;
}

bool WideToUtf8(const wchar_t* wide, TextString& utf8) {
  utf8.Assign("");
  int size = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 0 || !utf8.Reserve(size)) return false;
  if (WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8.Buffer(), size, nullptr, nullptr) != size) {
    utf8.Assign("");
    return false;
  }
  return true;
}

}  // namespace os
