#include "script/script_file.h"

#include <cstring>

#include "base/report.h"
#include "os/basics.h"
#include "symbols/expansion.h"
#include "symbols/symbol_table.h"

TextString ModulePath;
TextString ScriptPath;

namespace {

const char* const MissingValue = "NO_DATA";

// The value as the profile function gives it, or false when it reads as
// missing. `area` must hold ValueLength + 2 bytes.
bool ReadRaw(const char* file, const char* section, const char* key, char* area) {
  os::ReadProfileString(file, section, key, MissingValue, area, ValueLength + 1);
  return !TextString(area).Equals(MissingValue);
}

// True when `text` begins, after white space, with an optional sign and a
// digit: the values that a "%d" scan stores.
bool BeginsWithNumber(const char* text) {
  while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
  if (*text == '+' || *text == '-') ++text;
  return *text >= '0' && *text <= '9';
}

}  // namespace

bool ReadString(const char* file, const char* section, const char* key, TextString& text) {
  char area[ValueLength + 2] = {};
  if (!ReadRaw(file, section, key, area)) return false;
  text.Assign(area);
  return true;
}

bool ReadInt(const char* file, const char* section, const char* key, int32_t& number) {
  char area[ValueLength + 2] = {};
  if (!ReadRaw(file, section, key, area)) return false;
  if (BeginsWithNumber(area)) number = TextString(area).ToInt();
  return true;
}

int ReadSection(const char* file, const char* section, TextString& text) {
  TextString area;
  if (!area.Reserve(SectionAreaSize)) return 0;
  char* lines = area.Buffer();
  // The platform gives the size less two when the section did not fit; its
  // last line is then cut off somewhere and is not taken. Lines that fit
  // exactly give the same number, but then the last of them ends with its
  // own zero before the two that close the area, where a cut line runs on
  // up to them.
  bool cut = os::ReadProfileSection(file, section, lines, SectionAreaSize) ==
                 static_cast<uint32_t>(SectionAreaSize - 2) &&
             lines[SectionAreaSize - 3] != '\0';
  // The last two bytes stay zero whatever the platform wrote, so the walk
  // below always finds the empty string that ends the lines.
  lines[SectionAreaSize - 2] = '\0';
  lines[SectionAreaSize - 1] = '\0';
  int count = 0;
  for (const char* line = lines; *line;) {
    const char* next = line + strlen(line) + 1;
    if (*line != ';' && !(cut && *next == '\0')) {
      if (text.Length() > 0) text.Append("\n");
      text.Append(line);
      ++count;
    }
    line = next;
  }
  return count;
}

bool ReadOptionalValue(const char* section, const char* key, TextString& text) {
  if (!ReadString(ScriptPath.Text(), section, key, text)) return false;
  ExpandValue(text);
  return true;
}

bool ReadValue(const char* section, const char* key, TextString& text) {
  if (ReadOptionalValue(section, key, text)) return true;
  ShowError(MsgBadScriptFormat, section, key);
  return false;
}

bool ReadNumber(const char* section, const char* key, int32_t& number) {
  if (!ReadInt(ScriptPath.Text(), section, key, number)) {
    ShowError(MsgBadScriptFormat, section, key);
    return false;
  }
  return true;
}

void LoadScriptSymbols() {
  TextString lines;
  ReadSection(ScriptPath.Text(), "DEFINE", lines);
  LoadSymbols(lines, ModulePath);
}
