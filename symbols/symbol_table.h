// The symbol table: the names that values refer to in angle brackets.
//
// Each entry is one definition line, name "=" value, the brackets belonging
// to the name ("<Win>=C:\Windows"). The value is the text between the first
// "=" and the next one. Names match without regard to ASCII letter case, and
// the first entry with a name wins. The table is filled once at start-up and
// only read afterwards.
#pragma once

#include <cstdint>

#include "base/byte_buffer.h"
#include "base/text_string.h"

// The entries in table order, each a text of its own: a lookup reads only
// the names, and changing an entry copies only that entry, however large
// the table grows. Its total length is bounded (MaxLength), far beyond any
// honest script, so that symbols which hold each other many times over
// cannot make start-up take minutes and megabytes.
class SymbolList {
 public:
  static constexpr int32_t MaxLength = 1 << 20;

  SymbolList();
  ~SymbolList();
  SymbolList(const SymbolList&) = delete;
  SymbolList& operator=(const SymbolList&) = delete;

  int32_t SymbolCount;

  // Entry `index`, from 0 to SymbolCount - 1.
  const TextString& Entry(int32_t index) const;
  void Clear();
  // Adds an entry at the end; false (the table unchanged) when memory runs
  // out or the table would pass MaxLength.
  bool Add(const TextString& entry);
  // Puts `entry` in place of entry `index`, on the same terms.
  bool Replace(int32_t index, const TextString& entry);

 private:
  TextString** Slots() const;
  ByteBuffer m_slots;       // one TextString* a slot; SymbolCount of them in use
  int32_t m_totalLength;    // of all entries
};
extern SymbolList SymbolTable;

// The built-in symbols, said once: each name, in the order they are
// defined, with where its value comes from. The start-up defines them from
// here; the script checker names them and gives them its stand-in values
// from here, and a test holds the guide's table of symbols to it.
//
// The first five always hold the system's answer, whatever DEFINE says; the
// usual places after them are defined only where no DEFINE entry has their
// name, and not at all where the system has no such folder.
enum class SymbolSource : uint8_t {
  WindowsFolder,  // the system's Windows folder
  SystemFolder,   // the system folder
  ProgramFolder,  // the program's own folder, without a trailing backslash
  ShellFolder,    // a shell folder: all users' on the NT platform, else the user's
  PlaceFolder,    // a usual place: shell folder Shared, else Own (0: none)
  SystemsOwnPlace,  // a usual place as the system records it for its own
                    // programs (Value under the current version's key, in
                    // the 64-bit view on 64-bit Windows), else shell folder Shared
  TempFolder,     // the temporary folder
};
struct BuiltInSymbol {
  const char* Name;
  SymbolSource Source;
  int Shared, Own;  // the folder numbers (CSIDL)
  const char* Value = nullptr;  // SystemsOwnPlace: the registry value
  bool Fixed() const { return Source < SymbolSource::PlaceFolder; }
};
extern const BuiltInSymbol BuiltInSymbols[];
extern const int BuiltInSymbolCount;

// Fills the table anew: the lines of the script's DEFINE section (joined by
// line feeds, as a section read gives them), then the built-ins (<Src> is
// the folder of `modulePath`), then one expansion pass over every value.
// Always true.
bool LoadSymbols(const TextString& defineLines, const TextString& modulePath);

// False, leaving `value` untouched, when no entry has that name.
bool LookupSymbol(const char* name, TextString& value);

// The name and the value of entry `index`, from 0 to SymbolCount - 1.
void SymbolAt(int32_t index, TextString& name, TextString& value);

// Gives the first entry named `name` the value, or appends a new entry.
void DefineSymbol(const char* name, const TextString& value);

// Expands every entry's value in table order, so a value sees the entries
// above it expanded and those below it as written. A value whose expansion
// would take the table past its bound stays as written.
void ExpandSymbolValues();
