#include "procs/registry_data.h"

#include <cstdio>
#include <cstring>

#include "base/report.h"
#include "os/basics.h"

namespace registry {
namespace {

const struct {
  const char* Short;
  const char* Full;
  os::RegistryRoot Root;
} Roots[] = {
    {"HKLM", "HKEY_LOCAL_MACHINE", os::RegistryRoot::LocalMachine},
    {"HKCU", "HKEY_CURRENT_USER", os::RegistryRoot::CurrentUser},
    {"HKCR", "HKEY_CLASSES_ROOT", os::RegistryRoot::ClassesRoot},
    {"HKU", "HKEY_USERS", os::RegistryRoot::Users},
};

constexpr uint32_t NotFound = 2;  // the system's code for a key that is not there

// The longest text of a value the log shows, in UTF-8 bytes.
constexpr int32_t ShownLength = 200;

}  // namespace

const char* RootWord(os::RegistryRoot root) {
  for (const auto& each : Roots)
    if (each.Root == root) return each.Short;
  return "";
}

bool RootOfWord(const TextString& word, os::RegistryRoot& root) {
  for (const auto& each : Roots)
    if (word.Equals(each.Short) || word.Equals(each.Full)) {
      root = each.Root;
      return true;
    }
  return false;
}

TextString Place::Text() const {
  TextString text(RootWord(Root));
  if (Path.Length() > 0) text.Append("\\").Append(Path);
  return text;
}

TextString ValueText(const Place& place, const TextString& name) {
  return place.Text().Append("\\").Append(name.Length() > 0 ? name.Text() : "(default)");
}

bool ParseKey(const TextString& key, Place& place) {
  if (!RootOfWord(key.Item(0, "\\"), place.Root)) return false;
  place.Path = key.ItemCount("\\") > 1 ? key.Items(1, -1, "\\") : TextString();
  // One closing "\" names the same key.
  if (place.Path.Length() > 0 && place.Path.Item(-1, "\\").Length() == 0)
    place.Path = place.Path.Items(0, -2, "\\");
  return true;
}

bool ParseView(const TextString& view, uint32_t& flag) {
  bool own = view.Length() == 0;
  if (!own && !view.Equals("64") && !view.Equals("32")) return false;
  flag = !os::IsSystem64Bit() ? 0 : view.Equals("32") ? os::KeyView32 : os::KeyView64;
  return true;
}

bool Value::Same(const Value& other) const {
  if (Present != other.Present) return false;
  return !Present || (Type == other.Type && Data.Equals(other.Data));
}

bool Read(os::RegistryHandle key, const char* name, Value& value) {
  value.Present = false;
  value.Data.Free();
  uint32_t size = 0;
  switch (os::RegistryValueInfo(key, name, value.Type, size)) {
    case os::ValueFound::Absent:
      return true;
    case os::ValueFound::Failed:
      return false;
    case os::ValueFound::Found:
      break;
  }
  value.Present = true;
  if (size == 0) return true;
  if (size >= 0x7FFFFFFFu || !value.Data.Reserve(static_cast<int32_t>(size))) return false;
  return os::RegistryRead(key, name, value.Data.Data(), size);
}

bool ReadAt(const Place& place, const char* name, Value& value) {
  os::OwnedKey key;
  value.Present = false;
  value.Data.Free();
  if (!os::RegistryOpen(place.Root, place.Path.Text(), os::KeyRead | place.View, key.Receive()))
    return os::LastFailure() == NotFound;
  return Read(key.Get(), name, value);
}

bool WriteAt(const Place& place, const char* name, const Value& value) {
  os::OwnedKey key;
  uint32_t access = os::KeyChange | place.View;
  if (!value.Present) {
    if (!os::RegistryOpen(place.Root, place.Path.Text(), access, key.Receive()))
      return os::LastFailure() == NotFound;
    return os::RegistryDeleteValue(key.Get(), name) != os::ValueFound::Failed;
  }
  return os::RegistryCreate(place.Root, place.Path.Text(), access, key.Receive()) !=
             os::KeyOpening::Failed &&
         os::RegistrySet(key.Get(), name, value.Type, value.Data.Data(),
                         static_cast<uint32_t>(value.Data.Size));
}

TextString Describe(const Value& value) {
  if (!value.Present) return TextString("absent");
  char text[64];
  uint64_t number = 0;
  const int32_t size = value.Data.Size;
  switch (value.Type) {
    case os::registry_type::Sz:
    case os::registry_type::ExpandSz: {
      TextString data;
      if (size > 0 && data.Reserve(size + 1)) {
        memcpy(data.Buffer(), value.Data.Data(), static_cast<size_t>(size));
        data.Buffer()[size] = '\0';
      }
      TextString shown = ToUtf8(data.Text());
      // Cut at a character's start; a control character would break the
      // log's line.
      if (shown.Length() > ShownLength) {
        int32_t cut = ShownLength;
        while (cut > 0 && (static_cast<uint8_t>(shown.Text()[cut]) & 0xC0) == 0x80) --cut;
        shown = shown.Mid(0, cut - 1).Append("...");
      }
      for (char* at = shown.Buffer(); *at; ++at)
        if (static_cast<uint8_t>(*at) < 0x20 || *at == 0x7F) *at = '?';
      return TextString(value.Type == os::registry_type::Sz ? "REG_SZ \"" : "REG_EXPAND_SZ \"")
          .Append(shown)
          .Append("\"");
    }
    case os::registry_type::Dword:
    case os::registry_type::Qword:
      if (size == (value.Type == os::registry_type::Dword ? 4 : 8)) {
        memcpy(&number, value.Data.Data(), static_cast<size_t>(size));
        snprintf(text, sizeof text, "%s %llu (0x%0*llX)",
                 size == 4 ? "REG_DWORD" : "REG_QWORD", static_cast<unsigned long long>(number),
                 size * 2, static_cast<unsigned long long>(number));
        return TextString(text);
      }
      break;
    default:
      break;
  }
  const char* names[] = {"REG_NONE", "REG_SZ", "REG_EXPAND_SZ", "REG_BINARY", "REG_DWORD",
                         "REG_DWORD_BIG_ENDIAN", "REG_LINK", "REG_MULTI_SZ"};
  if (value.Type < sizeof names / sizeof names[0])
    snprintf(text, sizeof text, "%s, %d bytes", names[value.Type], static_cast<int>(size));
  else
    snprintf(text, sizeof text, "type %u, %d bytes", static_cast<unsigned>(value.Type),
             static_cast<int>(size));
  return TextString(text);
}

bool ParseNumber(const TextString& text, int bytes, uint64_t& number) {
  const char* at = text.Text();
  bool hex = at[0] == '0' && (at[1] == 'x' || at[1] == 'X');
  if (hex) at += 2;
  if (!*at) return false;
  const uint64_t most = bytes == 4 ? 0xFFFFFFFFull : ~0ull;
  const unsigned base = hex ? 16 : 10;
  number = 0;
  for (; *at; ++at) {
    unsigned digit;
    if (*at >= '0' && *at <= '9') digit = static_cast<unsigned>(*at - '0');
    else if (hex && *at >= 'a' && *at <= 'f') digit = static_cast<unsigned>(*at - 'a' + 10);
    else if (hex && *at >= 'A' && *at <= 'F') digit = static_cast<unsigned>(*at - 'A' + 10);
    else return false;
    if (number > (most - digit) / base) return false;
    number = number * base + digit;
  }
  return true;
}

}  // namespace registry
