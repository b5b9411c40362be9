#include "symbols/system_queries.h"

#include "os/registry.h"
#include "os/shell.h"

namespace {

const char* const AppPathsKey = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
constexpr uint32_t PlatformNt = 2;

}  // namespace

RegistryKey::RegistryKey(os::RegistryRoot root, const char* path)
    : m_root(root), m_path(path) {}

RegistryKey::~RegistryKey() = default;

bool RegistryKey::Open(uint32_t access) {
  return os::RegistryOpen(m_root, m_path.Text(), access, m_key.Receive());
}

void RegistryKey::Close() { m_key.Close(); }

uint32_t RegistryKey::ValueSize(const char* name) const {
  uint32_t type = 0, size = 0;
  return m_key.IsOpen() && os::RegistryValueInfo(m_key.Get(), name, type, size) ==
                               os::ValueFound::Found
             ? size
             : 0;
}

bool RegistryKey::ReadStringValue(const char* name, TextString& text) const {
  uint32_t size = ValueSize(name);
  // A size that leaves no room for a terminator cannot be a path anyway.
  if (size == 0 || size >= 0x7FFFFFFFu) return false;
  // One zero byte more than the data, never written by the read: a value
  // stored without its terminator, or of another type, still ends inside
  // the buffer.
  TextString data;
  if (!data.Reserve(static_cast<int32_t>(size) + 1)) return false;
  if (!os::RegistryRead(m_key.Get(), name, data.Buffer(), size)) return false;
  return text.SetText(data.Text());
}

bool RegistryKey::QueryStringValue(const char* name, TextString& text, uint32_t view) {
  bool read = Open(os::KeyRead | view) && ReadStringValue(name, text);
  Close();
  return read;
}

bool LookupAppPath(const char* program, TextString& text, bool wantDefault) {
  TextString path(AppPathsKey);
  path.Append(program);
  RegistryKey key(os::RegistryRoot::LocalMachine, path.Text());
  return key.QueryStringValue(wantDefault ? "" : "PATH", text);
}

bool IsWindowsNT() { return os::PlatformId() == PlatformNt; }

bool GetFolderPath(TextString& text, int folder) {
  char area[os::FolderPathSize] = {};
  os::FolderResult result = os::FolderPath(folder, area);
  if (result == os::FolderResult::NoLocation) return false;
  area[sizeof area - 1] = '\0';
  if (result == os::FolderResult::NoPath) {
    text.Assign("");
    return false;
  }
  return text.SetText(area);
}
