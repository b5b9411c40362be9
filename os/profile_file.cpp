#include "os/profile_file.h"

#include <algorithm>
#include <cstring>

#include "os/code_page_932.h"

namespace profile {
namespace {

// A character as the system holds it once the text is in Unicode, kept as
// its code in code page 932: a byte, or lead << 8 | trail.
using Char = uint16_t;
using Chars = std::vector<Char>;

// What the system makes of a lead byte whose pair is no character: U+30FB.
const Char Unknown = 0x8145;

struct Range {
  Char first, last;
};
// Pairs of valid lead and trail bytes that code page 932 leaves unassigned.
const Range Unassigned[] = {
    {0x81AD, 0x81B7}, {0x81C0, 0x81C7}, {0x81CF, 0x81D9}, {0x81E9, 0x81EF}, {0x81F8, 0x81FB},
    {0x8240, 0x824E}, {0x8259, 0x825F}, {0x827A, 0x8280}, {0x829B, 0x829E}, {0x82F2, 0x82FC},
    {0x8397, 0x839E}, {0x83B7, 0x83BE}, {0x83D7, 0x83FC}, {0x8461, 0x846F}, {0x8492, 0x849E},
    {0x84BF, 0x84FC}, {0x8540, 0x86FC}, {0x875E, 0x875E}, {0x8776, 0x877D}, {0x879D, 0x87FC},
    {0x8840, 0x889E}, {0x9873, 0x989E}, {0xEAA5, 0xEAFC}, {0xEB40, 0xECFC}, {0xEEED, 0xEEEE},
    {0xEF40, 0xEFFC}, {0xFC4C, 0xFCFC},
};

struct Alias {
  Char first, last, to;
};
// The characters that code page 932 has twice (the NEC and IBM extensions):
// from the code converting back to Unicode does not give, to the one it
// does, run by run.
const Alias Aliases[] = {
    {0x8790, 0x8790, 0x81E0}, {0x8791, 0x8791, 0x81DF}, {0x8792, 0x8792, 0x81E7},
    {0x8795, 0x8795, 0x81E3}, {0x8796, 0x8796, 0x81DB}, {0x8797, 0x8797, 0x81DA},
    {0x879A, 0x879A, 0x81E6}, {0x879B, 0x879B, 0x81BF}, {0x879C, 0x879C, 0x81BE},
    {0xED40, 0xED62, 0xFA5C}, {0xED63, 0xED7E, 0xFA80}, {0xED80, 0xEDE0, 0xFA9C},
    {0xEDE1, 0xEDFC, 0xFB40}, {0xEE40, 0xEE62, 0xFB5C}, {0xEE63, 0xEE7E, 0xFB80},
    {0xEE80, 0xEEE0, 0xFB9C}, {0xEEE1, 0xEEEC, 0xFC40}, {0xEEEF, 0xEEF8, 0xFA40},
    {0xEEF9, 0xEEF9, 0x81CA}, {0xEEFA, 0xEEFC, 0xFA55}, {0xFA4A, 0xFA53, 0x8754},
    {0xFA54, 0xFA54, 0x81CA}, {0xFA58, 0xFA58, 0x878A}, {0xFA59, 0xFA59, 0x8782},
    {0xFA5A, 0xFA5A, 0x8784}, {0xFA5B, 0xFA5B, 0x81E6},
};

Char Pair(uint8_t lead, uint8_t trail) {
  Char code = static_cast<Char>(lead << 8 | trail);
  if (trail < 0x40 || trail == 0x7F || trail > 0xFC) return Unknown;
  for (const Range& range : Unassigned)
    if (code >= range.first && code <= range.last) return Unknown;
  for (const Alias& alias : Aliases)
    if (code >= alias.first && code <= alias.last)
      return static_cast<Char>(alias.to + (code - alias.first));
  return code;
}

// The text as characters. A lead byte takes the byte after it, whatever it
// is, but for a zero; a lead byte at the end is an unknown character in a
// file and nothing in an asked name.
Chars Decode(const std::string& text, bool askedName = false) {
  Chars chars;
  for (size_t i = 0; i < text.size(); ++i) {
    uint8_t byte = static_cast<uint8_t>(text[i]);
    if (!codepage::IsLeadByte932(byte)) {
      chars.push_back(byte);
    } else if (i + 1 < text.size() && text[i + 1] != '\0') {
      chars.push_back(Pair(byte, static_cast<uint8_t>(text[++i])));
    } else if (!askedName) {
      chars.push_back(Unknown);
    }
  }
  return chars;
}

uint32_t Width(Char c) { return c > 0xFF ? 2 : 1; }

void Put(Char c, char* out) {
  if (c > 0xFF) *out++ = static_cast<char>(c >> 8);
  *out = static_cast<char>(c & 0xFF);
}

std::string Encode(const Chars& chars) {
  std::string text;
  for (Char c : chars) {
    char bytes[2];
    Put(c, bytes);
    text.append(bytes, Width(c));
  }
  return text;
}

// The system's white space: VT, FF and Ctrl-Z too, not the ideographic space.
bool IsBlank(Char c) { return c == ' ' || (c >= '\t' && c <= '\r') || c == 0x1A; }

Chars Trim(const Chars& chars) {
  auto first = std::find_if_not(chars.begin(), chars.end(), IsBlank);
  auto last = std::find_if_not(chars.rbegin(), chars.rend(), IsBlank).base();
  return first < last ? Chars(first, last) : Chars();
}

// A name or value ends at a zero, as the system's strings do.
Chars UpToZero(Chars chars) {
  chars.erase(std::find(chars.begin(), chars.end(), Char(0)), chars.end());
  return chars;
}

// Only the ASCII letters fold: not the full-width ones, nor Greek, Cyrillic
// or Roman numerals, and never a byte of a double-byte character.
Char Fold(Char c) { return c >= 'A' && c <= 'Z' ? static_cast<Char>(c + 0x20) : c; }

bool Same(const Chars& a, const Chars& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Fold(a[i]) != Fold(b[i])) return false;
  return true;
}

bool IsComment(const Entry& entry) { return !entry.Key.empty() && entry.Key[0] == ';'; }

Entry ParseEntry(const Chars& line, int number) {
  auto equals = std::find(line.begin(), line.end(), Char('='));
  Chars name(line.begin(), equals);
  name.erase(std::find_if_not(name.rbegin(), name.rend(), IsBlank).base(), name.end());
  Entry entry{number, Encode(UpToZero(name)), "", equals != line.end(), ""};
  if (!entry.HasValue) return entry;
  Chars value = UpToZero(Chars(std::find_if_not(equals + 1, line.end(), IsBlank), line.end()));
  entry.Written = Encode(value);
  if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
    value = Chars(value.begin() + 1, value.end() - 1);
  entry.Value = Encode(value);
  return entry;
}

}  // namespace

std::string Entry::SectionText() const { return HasValue ? Key + "=" + Written : Key; }

ProfileText::ProfileText(const std::string& text) {
  const Chars all = Decode(text);
  Section* current = &before_;
  // A line with no name after another such line is not kept.
  bool lastNameless = false, anyLine = false;
  int number = 1;
  for (size_t pos = 0; pos < all.size(); ++number) {
    // A CR alone ends a line too.
    size_t end = pos;
    while (end < all.size() && all[end] != '\n' && all[end] != '\r') ++end;
    Chars line = Trim(Chars(all.begin() + pos, all.begin() + end));
    pos = end + (end + 1 < all.size() && all[end] == '\r' && all[end + 1] == '\n' ? 2 : 1);
    if (line.empty()) continue;
    auto close = std::find(line.rbegin(), line.rend(), Char(']'));
    if (line[0] == '[' && close != line.rend()) {
      // The name runs to the last "]"; a line with none belongs to the section before.
      Chars name = Trim(Chars(line.begin() + 1, close.base() - 1));
      sections_.push_back(Section{Encode(UpToZero(name)), number, {}});
      current = &sections_.back();
      lastNameless = anyLine = false;
      continue;
    }
    bool nameless = line[0] == '=' || line[0] == 0;
    if (line[0] == '=' && lastNameless && anyLine) continue;
    lastNameless = nameless;
    anyLine = true;
    current->Entries.push_back(ParseEntry(line, number));
    if (current == &before_ && line[0] != ';' &&
        std::find(line.begin(), line.end(), Char('=')) != line.end())
      strayLines_.push_back(number);
  }
}

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

bool SameName(const std::string& a, const char* b) {
  return Same(Decode(a, true), Decode(b, true));
}

const Section* ProfileText::Find(const char* name, bool keyRead) const {
  Chars asked = Decode(name, true);
  if (keyRead) asked = Trim(asked);
  if (asked.empty()) return &before_;
  for (const Section& section : sections_)
    if (Same(Decode(section.Name), asked)) return &section;
  return nullptr;
}

bool ProfileText::HasSection(const char* name) const { return Find(name, true) != nullptr; }

const Entry* ProfileText::FindKey(const char* section, const char* key) const {
  const Section* found = Find(section, true);
  if (!found) return nullptr;
  // "" and blanks alone name the lines that begin with "=".
  Chars asked = Trim(Decode(key, true));
  for (const Entry& entry : found->Entries)
    if (Same(Decode(entry.Key), asked)) return entry.HasValue ? &entry : nullptr;
  return nullptr;
}

std::vector<const Entry*> ProfileText::SectionEntries(const char* name) const {
  std::vector<const Entry*> entries;
  if (const Section* section = Find(name, false))
    for (const Entry& entry : section->Entries)
      if (!IsComment(entry)) entries.push_back(&entry);
  return entries;
}

uint32_t CopyCut(const std::string& text, char* buffer, uint32_t size) {
  if (size == 0) return 0;
  uint32_t length = static_cast<uint32_t>(text.size());
  if (length > size - 1) length = size - 1;
  memcpy(buffer, text.data(), length);
  buffer[length] = '\0';
  return length;
}

// The system reads in Unicode, `size` characters, and converts the answer
// to code page 932 in `size` bytes; both steps are followed here.

uint32_t StringValue(const ProfileText& profile, const char* section, const char* key,
                     const char* fallback, char* buffer, uint32_t size) {
  if (size == 0) return 0;
  const Entry* entry = profile.FindKey(section, key);
  Chars value = entry ? Decode(entry->Written) : Decode(fallback, true);
  // Enclosing quotes are dropped from what fits; when the closing one does
  // not, the last character that fits goes in its place.
  bool quoted = value.size() >= 2 && (value[0] == '"' || value[0] == '\'') &&
                value.back() == value[0];
  size_t from = quoted ? 1 : 0, rest = value.size() - from;
  Chars wide(value.begin() + from, value.begin() + from + std::min<size_t>(rest, size - 1));
  if (quoted && size >= rest && !wide.empty()) wide.pop_back();
  uint32_t used = 0;
  for (Char c : wide) {
    if (used + Width(c) > size - 1) {
      // Cut inside a character: neither of its bytes, and the result
      // counts the byte it would have begun with.
      buffer[size - 1] = '\0';
      return size - 1;
    }
    Put(c, buffer + used);
    used += Width(c);
  }
  buffer[used] = '\0';
  return used;
}

uint32_t SectionLines(const ProfileText& profile, const char* section, char* buffer,
                      uint32_t size, size_t* linesTaken) {
  if (linesTaken) *linesTaken = 0;
  const Section* found = size < 3 ? nullptr : profile.Find(section, false);
  if (!found) {
    memset(buffer, 0, std::min<uint32_t>(size, 2));
    return 0;
  }
  // The Unicode step: each name and value cut to what leaves room for the
  // closing zeros, and the lines kept whole noted by where they end.
  Chars wide;
  std::vector<size_t> ends;
  uint32_t room = size;
  for (const Entry& entry : found->Entries) {
    if (IsComment(entry)) continue;
    if (room <= 2) break;
    Chars name = Decode(entry.Key);
    size_t take = std::min<size_t>(name.size(), room - 2);
    wide.insert(wide.end(), name.begin(), name.begin() + take);
    wide.push_back(0);
    room -= static_cast<uint32_t>(take + 1);
    bool whole = take == name.size();
    if (room < 2) break;
    if (entry.HasValue) {
      Chars value = Decode(entry.Written);
      wide.back() = '=';
      take = std::min<size_t>(value.size(), room - 2);
      wide.insert(wide.end(), value.begin(), value.begin() + take);
      wide.push_back(0);
      room -= static_cast<uint32_t>(take + 1);
      whole = whole && take == value.size();
    }
    if (whole) ends.push_back(wide.size() - 1);
  }
  wide.push_back(0);
  if (room <= 1) wide[wide.size() - 2] = 0;
  // The conversion: what does not fit whole, or fills the area to its
  // last byte, counts as cut.
  std::string bytes = Encode(wide);
  bool cut = bytes.size() >= size;
  if (!cut) {
    memcpy(buffer, bytes.data(), bytes.size());
    if (linesTaken) *linesTaken = ends.size();
    return static_cast<uint32_t>(bytes.size() - 1);
  }
  uint32_t used = 0;
  size_t line = 0;
  for (size_t i = 0; i < wide.size() && used + Width(wide[i]) <= size; ++i) {
    Put(wide[i], buffer + used);
    used += Width(wide[i]);
    if (line < ends.size() && ends[line] == i && used <= size - 2) ++line;
  }
  buffer[size - 2] = '\0';
  buffer[size - 1] = '\0';
  if (linesTaken) *linesTaken = line;
  return size - 2;
}

}  // namespace profile
