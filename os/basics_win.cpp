// The Windows half of os/basics.h.
#include <windows.h>

#include <cstring>

#include "os/basics.h"
#include "os/common_win.h"
#include "os/ui_win.h"

namespace os {

uint32_t LastFailure() { return g_failure; }
void ClearFailure() { g_failure = 0; }
void KeepFailure(uint32_t code) { g_failure = code; }

bool FailureText(uint32_t code, OwnedText& utf8) {
  wchar_t* text = nullptr;
  DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  OwnedLocal allocated(text);
  if (length == 0 || !text) return false;
  while (length > 0 && (text[length - 1] == L'\r' || text[length - 1] == L'\n' ||
                        text[length - 1] == L' '))
    text[--length] = L'\0';
  return length > 0 && WideToUtf8(text, utf8);
}

void RestrictDllSearch() {
  // Looked up by name: the calls are missing on the oldest systems, where
  // the program must still start.
  typedef BOOL(WINAPI * SetDefaultDllDirectoriesFunction)(DWORD);
  typedef BOOL(WINAPI * SetDllDirectoryFunction)(LPCSTR);
  const DWORD searchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
  if (auto setDefault = KernelFunction<SetDefaultDllDirectoriesFunction>("SetDefaultDllDirectories"))
    setDefault(searchSystem32);
  // Takes the current directory out of the search order where the above is
  // not available.
  if (auto setDirectory = KernelFunction<SetDllDirectoryFunction>("SetDllDirectoryA"))
    setDirectory("");
}

void InitializeCom() { CoInitialize(nullptr); }
void UninitializeCom() { CoUninitialize(); }

const char* ProcessCommandLine() { return GetCommandLineA(); }

uint32_t ModuleFileName(char* buffer, uint32_t size) {
  DWORD length = GetModuleFileNameA(nullptr, buffer, size);
  return length ? length : Failed(length);
}

uint32_t ReadProfileString(const char* file, const char* section, const char* key,
                           const char* fallback, char* buffer, uint32_t size) {
  return GetPrivateProfileStringA(section, key, fallback, buffer, size, file);
}

uint32_t ReadProfileSection(const char* file, const char* section, char* buffer,
                            uint32_t size) {
  return GetPrivateProfileSectionA(section, buffer, size, file);
}

bool IsLeadByte(uint8_t byte) { return IsDBCSLeadByte(byte) != FALSE; }

uint32_t AnsiCodePage() { return GetACP(); }

bool AnsiToUtf8(const char* ansi, OwnedText& utf8) {
  utf8.Close();
  WideText wide(ansi, CP_ACP);
  return (wide.Valid() && WideToUtf8(wide.Text(), utf8)) || Failed(false);
}

void CurrentLocalTime(LocalTime& time) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  time = LocalTime{now.wYear,   now.wMonth,  now.wDay,         now.wHour,
                   now.wMinute, now.wSecond, now.wMilliseconds};
}

uint32_t Milliseconds() { return GetTickCount(); }

void PauseRun(uint32_t milliseconds) { progress::DrawThenWait(nullptr, milliseconds); }

Elevation RunElevation() {
  OwnedHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token.Receive()))
    return Elevation::Unknown;
  TOKEN_ELEVATION elevation = {};
  DWORD size = 0;
  bool known = GetTokenInformation(token.Get(), TokenElevation, &elevation, sizeof elevation,
                                   &size);
  token.Close();
  if (!known) return Elevation::Unknown;
  return elevation.TokenIsElevated ? Elevation::Elevated : Elevation::NotElevated;
}

BoxesSeen WhoSeesBoxes() {
  USEROBJECTFLAGS flags = {};
  DWORD size = 0;
  if (HWINSTA station = GetProcessWindowStation())
    if (GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof flags, &size) &&
        !(flags.dwFlags & WSF_VISIBLE))
      return BoxesSeen::StationHidden;
  OSVERSIONINFOA version;
  memset(&version, 0, sizeof(version));
  version.dwOSVersionInfoSize = sizeof(version);
  DWORD session = 1;
  // Before Vista, session 0 is the console's, where the first user works.
  if (GetVersionExA(&version) && version.dwMajorVersion >= 6 &&
      ProcessIdToSessionId(GetCurrentProcessId(), &session) && session == 0)
    return BoxesSeen::SessionZero;
  return BoxesSeen::Seen;
}

}  // namespace os
