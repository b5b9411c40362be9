// A reader of the profile-file format, for the places where the system's own
// profile functions are not at hand: the test double and the script checker.
//
// It reads as GetPrivateProfileStringA and GetPrivateProfileSectionA do
// under code page 932, which work on the text converted to Unicode: a
// character is one or two bytes, the codes that code page 932 has twice
// are one character, and names match without regard to the case of ASCII
// letters (of those alone: not of full-width ones). The text is
// parsed once into sections and their lines, each with its line number.
// Only the first section of a name is read; a comment line (";") is found
// by a key read of its own text, but no section read gives it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace profile {

// Texts here are code page 932 bytes as the system gives them back: a
// character written in a second code in its first, cut at a zero byte.
struct Entry {
  int Line;           // counted from 1
  std::string Key;    // the text before the first "=", or the whole line without one
  std::string Value;  // the text after it as a key read gives it, enclosing quotes dropped
  bool HasValue;      // false for a line without "=": a key read that finds it gives the fallback
  std::string Written;  // the text after the "=" as written, quotes and all
  // The line as a section read gives it.
  std::string SectionText() const;
};

struct Section {
  std::string Name;
  int Line;
  std::vector<Entry> Entries;  // every line the system keeps, comments too
};

class ProfileText {
 public:
  ProfileText() = default;
  explicit ProfileText(const std::string& text);

  // Every section header, a name written twice as often as it is written.
  const std::vector<Section>& Sections() const { return sections_; }
  // Keys written before the first section ("KEY=value", not after ";"):
  // the updater reads only named sections, so they are read by no one, and
  // are almost surely misplaced. Other lines there are the author's notes.
  const std::vector<int>& StrayLines() const { return strayLines_; }

  bool HasSection(const char* name) const;
  // The line a key read finds, or null where it finds none or finds a line
  // without "=".
  const Entry* FindKey(const char* section, const char* key) const;
  // The lines a section read of `name` gives, in file order.
  std::vector<const Entry*> SectionEntries(const char* name) const;
  // The section a read finds, or null: a key read drops blanks around the
  // name, a section read takes it as given. "" is the lines before the
  // first header.
  const Section* Find(const char* name, bool keyRead) const;

 private:
  Section before_{"", 0, {}};  // the lines before the first header, named ""
  std::vector<Section> sections_;
  std::vector<int> strayLines_;
};

// `text` with the ASCII letters in lower case.
std::string Lower(std::string text);

// True when the two names are equal as the profile functions compare them.
bool SameName(const std::string& a, const char* b);

// Copies `text` into `buffer`, cut to size - 1 bytes and terminated; gives
// the bytes copied.
uint32_t CopyCut(const std::string& text, char* buffer, uint32_t size);

// GetPrivateProfileStringA: the key's value, or `fallback` when the section
// or the key is absent, cut to size - 1 bytes. Gives its length. A value cut
// inside a double-byte character keeps neither of its bytes: the byte before
// the terminating zero at size - 1 is left as it was.
uint32_t StringValue(const ProfileText& profile, const char* section, const char* key,
                     const char* fallback, char* buffer, uint32_t size);

// GetPrivateProfileSectionA: the section's lines as consecutive zero-terminated
// strings ended by an empty one. Gives the bytes written before that end; a
// section that does not fit ends with as much of the next line as fits, and
// gives size - 2. `linesTaken`, when given, receives the number of whole lines
// written.
uint32_t SectionLines(const ProfileText& profile, const char* section, char* buffer,
                      uint32_t size, size_t* linesTaken = nullptr);

}  // namespace profile
