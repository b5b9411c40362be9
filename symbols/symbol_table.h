// The symbol table: the names that values refer to in angle brackets.
//
// Each entry is one definition line, name "=" value, the brackets belonging
// to the name ("<Win>=C:\Windows"). The value is the text between the first
// "=" and the next one. Names match without regard to ASCII letter case, and
// the first entry with a name wins. The table is filled once at start-up and
// only read afterwards.
#pragma once

#include <cstdint>

#include "base/text_string.h"

struct SymbolList {
  int32_t SymbolCount = 0;
  TextString Entries;  // the entries in order, joined by single line feeds
};
extern SymbolList SymbolTable;

// Fills the table anew: the script's DEFINE lines, then the built-ins <Win>,
// <Sys>, <Src>, <Desktop> and <Programs>, then one expansion pass over every
// value. Always true.
bool LoadSymbols();

// False, leaving `value` untouched, when no entry has that name.
bool LookupSymbol(const char* name, TextString& value);

// The name and the value of entry `index`, from 0 to SymbolCount - 1.
void SymbolAt(int32_t index, TextString& name, TextString& value);

// Gives the first entry named `name` the value, or appends a new entry.
void DefineSymbol(const char* name, const TextString& value);

// Expands every entry's value in table order, so a value sees the entries
// above it expanded and those below it as written.
void ExpandSymbolValues();
