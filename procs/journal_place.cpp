#include "procs/journal_place.h"

#include <cstdio>
#include <cstring>

#include "base/seam_text.h"
#include "os/basics.h"
#include "os/files.h"
#include "os/journal_support.h"
#include "os/shell.h"
#include "symbols/system_queries.h"

namespace journal {
namespace {

const char* const FolderName = "Updater";
const char* const Extension = ".journal";
const char* const SecretName = "lock.key";
constexpr int32_t SecretLength = 32;  // hexadecimal digits: 128 bits
constexpr int LocalAppDataFolder = 0x1C;  // CSIDL_LOCAL_APPDATA

bool IsHexDigits(const char* text, int32_t length) {
  for (int32_t i = 0; i < length; ++i)
    if (!text[i] || !strchr("0123456789ABCDEF", text[i])) return false;
  return true;
}

TextString HexOf(const uint8_t* bytes, int count) {
  char text[3];
  TextString hex;
  for (int i = 0; i < count; ++i) {
    snprintf(text, sizeof text, "%02X", static_cast<unsigned>(bytes[i]));
    hex.Append(text);
  }
  return hex;
}

void Collect(void* context, const uint8_t* data, uint32_t count) {
  TextString& text = *static_cast<TextString*>(context);
  for (uint32_t i = 0; i < count && text.Length() <= SecretLength; ++i) {
    char one[2] = {static_cast<char>(data[i]), '\0'};
    text.Append(one);
  }
}

// The secret of the protected folder, made on first use. Only the system
// and the administrators can read it there, so only they can name the lock.
bool FolderSecret(const Place& place, TextString& secret) {
  TextString path(place.Folder);
  path.Append("\\").Append(SecretName);
  os::OwnedFile file;
  switch (os::OpenJournal(path.Text(), false, file.Receive())) {
    case os::JournalOpening::Opened:
      secret.Assign("");
      if (!os::ReadJournal(file.Get(), Collect, &secret)) return false;
      return secret.Length() == SecretLength && IsHexDigits(secret.Text(), SecretLength);
    case os::JournalOpening::Missing:
      break;
    default:
      return false;
  }
  uint8_t bytes[SecretLength / 2];
  if (!os::RandomBytes(bytes, sizeof bytes)) return false;
  secret = HexOf(bytes, sizeof bytes);
  // Another start may make it at the same moment: the one made first counts.
  switch (os::OpenJournal(path.Text(), true, file.Receive())) {
    case os::JournalOpening::Opened:
      return os::AppendToJournal(file.Get(), secret.Text(),
                                 static_cast<uint32_t>(secret.Length())) &&
             os::FlushJournal(file.Get());
    case os::JournalOpening::Exists:
      return FolderSecret(place, secret);
    default:
      return false;
  }
}

}  // namespace

TextString HashName(const TextString& text) {
  uint64_t hash = 0xCBF29CE484222325ull;
  for (const char* at = text.Text(); *at; ++at) {
    hash ^= static_cast<uint8_t>(*at);
    hash *= 0x100000001B3ull;
  }
  char digits[20];
  snprintf(digits, sizeof digits, "%08X%08X", static_cast<unsigned>(hash >> 32),
           static_cast<unsigned>(hash & 0xFFFFFFFFu));
  return TextString(digits);
}

TextString JournalPath(const TextString& folder, const TextString& name) {
  TextString path(folder);
  path.Append("\\").Append(name).Append(Extension);
  return path;
}

bool NameOfJournal(const char* fileName, TextString& name) {
  if (strlen(fileName) != 16 + strlen(Extension) || !IsHexDigits(fileName, 16) ||
      strcmp(fileName + 16, Extension) != 0)
    return false;
  name = TextString(fileName).Mid(0, 15);
  return name.Length() == 16;
}

bool FindPlace(const TextString& scriptPath, Place& place) {
  place.Elevated = os::RunElevation() != os::Elevation::NotElevated;
  TextString base;
  if (place.Elevated) {
    // A folder that does not fit the area was cut: it is no folder.
    char area[os::FolderPathSize] = {};
    uint32_t length = os::WindowsDirectory(area, sizeof area);
    if (length == 0 || length >= sizeof area) return false;
    base.Assign(area);
  } else if (!GetFolderPath(base, LocalAppDataFolder) || base.Length() == 0) {
    return false;
  }
  place.Folder = base;
  if (place.Folder.Length() > 0 && place.Folder.Text()[place.Folder.Length() - 1] != '\\')
    place.Folder.Append("\\");
  place.Folder.Append(FolderName);
  TextString canonical;
  if (!SeamText(os::CanonicalName, scriptPath.Text(), canonical)) return false;
  place.Name = HashName(canonical);
  place.Journal = JournalPath(place.Folder, place.Name);
  return place.Journal.Length() <= 259;
}

bool SecureFolder(const Place& place, const TextString& token) {
  const char* folder = place.Folder.Text();
  switch (os::TrustOfFolder(folder)) {
    case os::FolderTrust::Trusted:
      return true;
    case os::FolderTrust::Missing:
      return os::MakeProtectedFolder(folder, !place.Elevated);
    case os::FolderTrust::Foreign:
    case os::FolderTrust::Failed:
      break;
  }
  TextString aside(place.Folder);
  aside.Append(".").Append(token).Append(".foreign");
  return os::ReclaimFolder(folder, !place.Elevated) && os::MoveAside(folder, aside.Text()) &&
         os::MakeProtectedFolder(folder, !place.Elevated);
}

os::Locking TakeRunLock(const Place& place, const TextString& name, os::OwnedLock& lock) {
  TextString lockName("Updater-");
  if (!place.Elevated) return os::TakeLock(lockName.Append(name).Text(), os::LockScope::Session, lock.Receive());
  TextString inNamespace(lockName);
  inNamespace.Append(name);
  os::Locking taken = os::TakeLock(inNamespace.Text(), os::LockScope::Administrators, lock.Receive());
  if (taken != os::Locking::Unsupported) return taken;
  TextString secret;
  if (!FolderSecret(place, secret)) return os::Locking::Failed;
  lockName.Append(secret).Append("-").Append(name);
  return os::TakeLock(lockName.Text(), os::LockScope::Global, lock.Receive());
}

}  // namespace journal
