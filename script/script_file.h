// Reading the script file.
//
// The script is an INI-style profile file, read only through the platform's
// profile functions and never cached: every read goes to the file. A value
// holds at most ValueLength characters as written; the text "NO_DATA", in any
// letter case, reads as a missing key.
#pragma once

#include <cstdint>

#include "base/text_string.h"

// Where the program and its script are, set by start-up.
extern TextString ModulePath;  // the program's own full path
extern TextString ScriptPath;  // the program's path with the extension "ini"

constexpr int ValueLength = 258;
constexpr int SectionAreaSize = 32767;

// Raw reads: false, with the output untouched, when the key is absent.
bool ReadString(const char* file, const char* section, const char* key, TextString& text);
// A value that does not begin with a decimal number still reads as present
// and leaves `number` as it was.
bool ReadInt(const char* file, const char* section, const char* key, int32_t& number);

// Appends the section's lines that do not begin with ";" to `text`, joined by
// line feeds; gives the number of lines taken.
int ReadSection(const char* file, const char* section, TextString& text);

// Reads of the script at ScriptPath that report message 2 for a missing key.
// ReadValue also expands the value; ReadNumber does not.
bool ReadValue(const char* section, const char* key, TextString& text);
bool ReadNumber(const char* section, const char* key, int32_t& number);
// A key that may be absent: read and expanded like ReadValue, with no
// report; false, with `text` untouched, when it is absent.
bool ReadOptionalValue(const char* section, const char* key, TextString& text);

// Fills the symbol table from the script's DEFINE section and the program's
// place (LoadSymbols).
void LoadScriptSymbols();
