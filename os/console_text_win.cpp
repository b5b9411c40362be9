#include <windows.h>

#include <string>

#include "os/console_text.h"

// The C runtime expands "*" and "?" in the arguments, as a Windows user's
// shell does not: `updater-check crc *.exe`.
extern "C" {
int _dowildcard = -1;
}

namespace console {
namespace {

const UINT CodePage932 = 932;

std::wstring Wide(const std::string& text, UINT codePage, DWORD flags = 0) {
  if (text.empty()) return std::wstring();
  int size = MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()),
                                 nullptr, 0);
  if (size <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()), &wide[0], size);
  return wide;
}

// `usedDefault` is null where the code page cannot tell (CP_UTF8).
std::string Narrow(const std::wstring& wide, UINT codePage, BOOL* usedDefault) {
  if (wide.empty()) return std::string();
  int size = WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), nullptr,
                                 0, nullptr, usedDefault);
  if (size <= 0) return std::string();
  std::string text(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), &text[0], size,
                      nullptr, usedDefault);
  return text;
}

void Write(DWORD which, const std::string& text) {
  HANDLE stream = GetStdHandle(which);
  if (stream == INVALID_HANDLE_VALUE || stream == nullptr || text.empty()) return;
  DWORD mode = 0;
  DWORD written = 0;
  if (GetConsoleMode(stream, &mode)) {
    std::wstring wide = Wide(text, CP_UTF8);
    WriteConsoleW(stream, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
  } else {
    // A file or a pipe takes UTF-8, as the tools write it everywhere.
    WriteFile(stream, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  }
}

}  // namespace

std::string Utf8From932(const std::string& text) {
  return Narrow(Wide(text, CodePage932), CP_UTF8, nullptr);
}

bool Utf8To932(const std::string& text, std::string& converted) {
  std::wstring wide = Wide(text, CP_UTF8, MB_ERR_INVALID_CHARS);
  BOOL usedDefault = FALSE;
  converted = Narrow(wide, CodePage932, &usedDefault);
  return !usedDefault && (text.empty() || !wide.empty());
}

std::string Utf8FromNative(const std::string& text) {
  return Narrow(Wide(text, CP_ACP), CP_UTF8, nullptr);
}

std::string NativeFromUtf8(const std::string& text) {
  return Narrow(Wide(text, CP_UTF8), CP_ACP, nullptr);
}

void WriteOut(const std::string& text) { Write(STD_OUTPUT_HANDLE, text); }
void WriteError(const std::string& text) { Write(STD_ERROR_HANDLE, text); }

}  // namespace console
