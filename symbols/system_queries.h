// Facts about the running system: the platform, shell folders and what the
// registry's App Paths list records for a program.
//
// Every failure of the system turns into a plain false; nothing here shows a
// message, and the caller decides what follows.
#pragma once

#include <cstdint>

#include "base/text_string.h"
#include "os/registry.h"

// Shell folder numbers (CSIDL) the built-in symbols are taken from.
namespace folder {
constexpr int Programs = 2;
constexpr int DesktopDirectory = 16;
constexpr int CommonPrograms = 23;
constexpr int CommonDesktopDirectory = 25;
constexpr int AppData = 0x1A;
constexpr int LocalAppData = 0x1C;
constexpr int CommonAppData = 0x23;
constexpr int ProgramFiles = 0x26;
constexpr int ProgramFilesX86 = 0x2A;
constexpr int ProgramFilesCommon = 0x2B;
}  // namespace folder

// A read-only registry key below a predefined root. Lives on the stack of
// the operation that reads it and closes the key on every way out.
class RegistryKey {
 public:
  RegistryKey(os::RegistryRoot root, const char* path);
  virtual ~RegistryKey();
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  // Closes the key first if it is open; true when the key opened.
  bool Open(uint32_t access);
  void Close();
  // The byte size of the named value's data; 0 when the key is closed or
  // the value is absent.
  uint32_t ValueSize(const char* name) const;
  // The named value's data as text, whatever its type. False, leaving
  // `text` untouched, when the value is absent, empty or cannot be read.
  bool ReadStringValue(const char* name, TextString& text) const;
  // Open for reading (with `view`, a KeyView flag or 0), ReadStringValue,
  // Close.
  bool QueryStringValue(const char* name, TextString& text, uint32_t view = 0);

 private:
  os::RegistryRoot m_root;
  TextString m_path;
  os::OwnedKey m_key;
};

// The App Paths entry of `program` (a file name such as "x.exe"): its
// default value when `wantDefault`, else its PATH value. False, leaving
// `text` untouched, when either is missing.
bool LookupAppPath(const char* program, TextString& text, bool wantDefault);

// True on the NT platform, whatever its version; asked afresh each time.
bool IsWindowsNT();

// The file-system path of shell folder `folder` (a CSIDL number). False when
// the shell cannot locate the folder (`text` untouched) or gives it no path
// (`text` empty).
bool GetFolderPath(TextString& text, int folder);
