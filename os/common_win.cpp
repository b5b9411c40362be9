// What the seam's Windows halves share: see common_win.h.
#include "os/common_win.h"

#include <cstring>

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

OwnAccount::OwnAccount() : m_area(256) {
  OwnedHandle token;
  DWORD size = 0;
  m_known = m_area.Data() &&
            OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token.Receive()) &&
            GetTokenInformation(token.Get(), TokenUser, m_area.Data(), 256, &size);
  if (!m_known) g_failure = GetLastError();
}

PSID OwnAccount::Get() const {
  return m_known ? reinterpret_cast<const TOKEN_USER*>(m_area.Data())->User.Sid : nullptr;
}

bool OwnSidText(OwnedText& text) {
  using SidTextFunction = BOOL(WINAPI*)(PSID, LPSTR*);
  text.Close();
  auto sidText = AdvapiFunction<SidTextFunction>("ConvertSidToStringSidA");
  if (!sidText) return FailedWith(ERROR_PROC_NOT_FOUND, false);
  OwnAccount own;
  char* made = nullptr;
  if (!own.Get()) return false;
  if (!sidText(own.Get(), &made)) return Failed(false);
  OwnedLocal allocated(made);
  text.Receive() = NewText(made);
  return text.IsOpen() || FailedWith(ERROR_NOT_ENOUGH_MEMORY, false);
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

bool WideToUtf8(const wchar_t* wide, OwnedText& utf8) {
  utf8.Close();
  int size = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return false;
  char* text = static_cast<char*>(malloc(size));
  if (!text) return false;
  utf8.Receive() = text;
  if (WideCharToMultiByte(CP_UTF8, 0, wide, -1, text, size, nullptr, nullptr) != size) {
    utf8.Close();
    return false;
  }
  return true;
}

char* NewText(const char* first, const char* second, const char* third, const char* fourth) {
  const char* pieces[] = {first, second, third, fourth};
  size_t size = 1;
  for (const char* piece : pieces) size += strlen(piece);
  char* text = static_cast<char*>(malloc(size));
  if (!text) return nullptr;
  text[0] = '\0';
  for (const char* piece : pieces) strcat(text, piece);
  return text;
}

}  // namespace os
