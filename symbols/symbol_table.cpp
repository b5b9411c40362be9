#include "symbols/symbol_table.h"

#include <cstring>
#include <new>

#include "os/registry.h"
#include "os/shell.h"
#include "symbols/expansion.h"
#include "symbols/system_queries.h"

SymbolList SymbolTable;

SymbolList::SymbolList() : SymbolCount(0), m_totalLength(0) {}

SymbolList::~SymbolList() { Clear(); }

TextString** SymbolList::Slots() const {
  return reinterpret_cast<TextString**>(const_cast<uint8_t*>(m_slots.Data()));
}

const TextString& SymbolList::Entry(int32_t index) const { return *Slots()[index]; }

void SymbolList::Clear() {
  for (int32_t i = 0; i < SymbolCount; ++i) delete Slots()[i];
  m_slots.Free();
  SymbolCount = 0;
  m_totalLength = 0;
}

bool SymbolList::Add(const TextString& entry) {
  if (entry.Length() > MaxLength - m_totalLength) return false;
  // Room for twice as many slots at a time, so that a long DEFINE section
  // is not copied slot by slot.
  int32_t slots = m_slots.Size / static_cast<int32_t>(sizeof(TextString*));
  if (SymbolCount == slots) {
    ByteBuffer larger;
    int32_t wanted = slots > 0 ? slots * 2 : 16;
    if (!larger.Reserve(wanted * static_cast<int32_t>(sizeof(TextString*)))) return false;
    for (int32_t i = 0; i < SymbolCount; ++i)
      reinterpret_cast<TextString**>(larger.Data())[i] = Slots()[i];
    m_slots.Assign(larger);
    if (m_slots.Size != larger.Size) return false;
  }
  TextString* copy = new (std::nothrow) TextString(entry);
  if (!copy) return false;
  if (copy->Length() != entry.Length()) {
    delete copy;
    return false;
  }
  Slots()[SymbolCount++] = copy;
  m_totalLength += entry.Length();
  return true;
}

bool SymbolList::Replace(int32_t index, const TextString& entry) {
  TextString& old = *Slots()[index];
  if (entry.Length() - old.Length() > MaxLength - m_totalLength) return false;
  TextString copy(entry);
  if (copy.Length() != entry.Length()) return false;
  m_totalLength += entry.Length() - old.Length();
  old.Assign(copy);
  return true;
}

namespace {

constexpr int DirectoryAreaSize = 260;
const char* const CurrentVersionKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

// The index of the first entry named `name`, or -1. Only names are read.
int32_t FindSymbol(const char* name) {
  for (int32_t i = 0; i < SymbolTable.SymbolCount; ++i)
    if (SymbolTable.Entry(i).Item(0, "=").Equals(name)) return i;
  return -1;
}

// Puts `value` in place of entry `index`'s value part; any text after a
// second "=" stays behind it. An entry that has no "=" gets one, so that a
// bare DEFINE line naming a built-in cannot make it stand for nothing.
void SetSymbolValue(int32_t index, const char* value) {
  // A line feed would make the entry two lines.
  if (TextString(value).CountOf("\n") > 0) return;
  TextString entry(SymbolTable.Entry(index));
  if (!entry.ReplaceItem(1, "=", value)) entry.Append("=").Append(value);
  SymbolTable.Replace(index, entry);
}

// What a built-in symbol stands for when the system cannot give its value:
// its own name. References then stay as written ("<Desktop>\App"), and the
// paths built from them fail visibly instead of leading somewhere else, as
// an empty value would ("\App", the root of the current drive). Expanding
// the name again only gives the name again, within the fixed step count.
void DefineBuiltIn(const char* name, const TextString& value, bool found) {
  DefineSymbol(name, found && value.Length() > 0 ? value : TextString(name));
}

// <Win> and <Sys>: a failed call gives 0, a too small area the size needed.
void DefineDirectory(const char* name, uint32_t (*query)(char*, uint32_t)) {
  char area[DirectoryAreaSize] = {};
  uint32_t length = query(area, sizeof area);
  area[sizeof area - 1] = '\0';
  DefineBuiltIn(name, TextString(area), length > 0 && length < sizeof area);
}

// <Desktop> and <Programs>: on the NT platform the folder shared by all
// users, elsewhere the user's own. When the shell cannot give that one, the
// other is the nearest place that is still the desktop or the Start menu.
bool FolderOf(int folder, TextString& path) {
  return GetFolderPath(path, folder) && path.Length() > 0;
}

// A place as the system records it for its own programs: a 32-bit program
// on 64-bit Windows is otherwise told the 32-bit one.
bool SystemsOwnPlace(const char* value, TextString& path) {
  RegistryKey versionKey(os::RegistryRoot::LocalMachine, CurrentVersionKey);
  return versionKey.QueryStringValue(value, path, os::IsSystem64Bit() ? os::KeyView64 : 0) &&
         path.Length() > 0;
}

// The temporary folder, without the trailing backslash the system gives.
bool TempFolder(TextString& path) {
  char area[DirectoryAreaSize] = {};
  uint32_t length = os::TempDirectory(area, sizeof area);
  if (length == 0 || length >= sizeof area) return false;
  if (length > 3 && area[length - 1] == '\\') area[length - 1] = '\0';
  path.Assign(area);
  return path.Length() > 0;
}

void DefineFolder(const char* name, int shared, int own) {
  bool nt = IsWindowsNT();
  TextString path;
  bool found = FolderOf(nt ? shared : own, path) || FolderOf(nt ? own : shared, path);
  DefineBuiltIn(name, path, found);
}

}  // namespace

const BuiltInSymbol BuiltInSymbols[] = {
    {"<Win>", SymbolSource::WindowsFolder, 0, 0},
    {"<Sys>", SymbolSource::SystemFolder, 0, 0},
    {"<Src>", SymbolSource::ProgramFolder, 0, 0},
    {"<Desktop>", SymbolSource::ShellFolder, folder::CommonDesktopDirectory,
     folder::DesktopDirectory},
    {"<Programs>", SymbolSource::ShellFolder, folder::CommonPrograms, folder::Programs},
    {"<ProgramFiles>", SymbolSource::SystemsOwnPlace, folder::ProgramFiles, 0, "ProgramFilesDir"},
    {"<ProgramFiles32>", SymbolSource::PlaceFolder, folder::ProgramFilesX86, folder::ProgramFiles},
    {"<CommonFiles>", SymbolSource::SystemsOwnPlace, folder::ProgramFilesCommon, 0,
     "CommonFilesDir"},
    {"<ProgramData>", SymbolSource::PlaceFolder, folder::CommonAppData, 0},
    {"<AppData>", SymbolSource::PlaceFolder, folder::AppData, 0},
    {"<LocalAppData>", SymbolSource::PlaceFolder, folder::LocalAppData, 0},
    {"<Temp>", SymbolSource::TempFolder, 0, 0},
};
const int BuiltInSymbolCount = sizeof(BuiltInSymbols) / sizeof(BuiltInSymbols[0]);

bool LoadSymbols(const TextString& defineLines, const TextString& modulePath) {
  SymbolTable.Clear();
  // One entry a line. A line feed is never part of a double-byte character,
  // so a plain byte search finds every line's end.
  if (defineLines.Length() > 0) {
    for (const char* line = defineLines.Text();;) {
      const char* end = strchr(line, '\n');
      TextString entry =
          defineLines.Slice(line, end ? end - 1 : line + strlen(line) - 1);
      SymbolTable.Add(entry);
      if (!end) break;
      line = end + 1;
    }
  }

  // After the DEFINE lines, so that a line of the same name keeps its place
  // but not its value: the script cannot override a built-in.
  for (int i = 0; i < BuiltInSymbolCount; ++i) {
    const BuiltInSymbol& symbol = BuiltInSymbols[i];
    if (!symbol.Fixed() && FindSymbol(symbol.Name) >= 0) continue;  // the script's own
    TextString place;
    switch (symbol.Source) {
      case SymbolSource::WindowsFolder:
        DefineDirectory(symbol.Name, os::WindowsDirectory);
        break;
      case SymbolSource::SystemFolder:
        DefineDirectory(symbol.Name, os::SystemDirectory);
        break;
      case SymbolSource::ProgramFolder:
        // "C:" for a program in a drive's root.
        DefineBuiltIn(symbol.Name, modulePath.Items(0, -2, "\\"), modulePath.ItemCount("\\") >= 2);
        break;
      case SymbolSource::ShellFolder:
        DefineFolder(symbol.Name, symbol.Shared, symbol.Own);
        break;
      case SymbolSource::PlaceFolder:
        if (FolderOf(symbol.Shared, place) || (symbol.Own && FolderOf(symbol.Own, place)))
          DefineSymbol(symbol.Name, place);
        break;
      case SymbolSource::SystemsOwnPlace:
        if (SystemsOwnPlace(symbol.Value, place) || FolderOf(symbol.Shared, place))
          DefineSymbol(symbol.Name, place);
        break;
      case SymbolSource::TempFolder:
        if (TempFolder(place)) DefineSymbol(symbol.Name, place);
        break;
    }
  }

  // Only now, so that DEFINE values may refer to the built-ins.
  ExpandSymbolValues();
  return true;
}

bool LookupSymbol(const char* name, TextString& value) {
  int32_t index = FindSymbol(name);
  if (index < 0) return false;
  TextString entryName;
  SymbolAt(index, entryName, value);
  return true;
}

void SymbolAt(int32_t index, TextString& name, TextString& value) {
  const TextString& entry = SymbolTable.Entry(index);
  name.Assign(entry.Item(0, "="));
  value.Assign(entry.Item(1, "="));
}

void DefineSymbol(const char* name, const TextString& value) {
  int32_t index = FindSymbol(name);
  if (index >= 0) {
    SetSymbolValue(index, value.Text());
    return;
  }
  TextString entry(name);
  // Same reason as in SetSymbolValue: one entry is one line.
  if (entry.Append("=").Append(value).CountOf("\n") > 0) return;
  SymbolTable.Add(entry);
}

void ExpandSymbolValues() {
  for (int32_t i = 0; i < SymbolTable.SymbolCount; ++i) {
    TextString name;
    TextString value;
    SymbolAt(i, name, value);
    if (ExpandValue(value)) SetSymbolValue(i, value.Text());
  }
}
