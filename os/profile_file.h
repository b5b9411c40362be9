// A reader of the profile-file format, for the places where the system's own
// profile functions are not at hand: the test double and the script checker.
//
// The text is parsed once into sections and their lines, each with its line
// number. Lookups follow GetPrivateProfileStringA and
// GetPrivateProfileSectionA: section and key names match without regard to
// ASCII letter case, white space around keys and values is dropped, and so
// is one pair of quotes enclosing a value. Sections of the same name count
// as one, in file order; the first line of a key is the one read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace profile {

struct Entry {
  int Line;           // counted from 1
  std::string Key;    // the text before the first "=", or the whole line without one
  std::string Value;  // the text after it
  bool HasValue;      // false for a line without "=", which no key lookup finds
  // The line as a section read gives it.
  std::string SectionText() const;
};

struct Section {
  std::string Name;
  int Line;
  std::vector<Entry> Entries;
};

class ProfileText {
 public:
  ProfileText() = default;
  explicit ProfileText(const std::string& text);

  const std::vector<Section>& Sections() const { return sections_; }
  // Lines before the first section that are neither blank nor comments
  // (";"): nothing reads them.
  const std::vector<int>& StrayLines() const { return strayLines_; }

  bool HasSection(const char* name) const;
  // The line a key lookup finds, or null.
  const Entry* FindKey(const char* section, const char* key) const;
  // Every line of the sections named `name`, in file order.
  std::vector<const Entry*> SectionEntries(const char* name) const;

 private:
  std::vector<Section> sections_;
  std::vector<int> strayLines_;
};

// `text` with the ASCII letters in lower case.
std::string Lower(std::string text);

// True when the two names are equal without regard to ASCII letter case.
bool SameName(const std::string& a, const char* b);

// Copies `text` into `buffer`, cut to size - 1 bytes and terminated; gives
// the bytes copied.
uint32_t CopyCut(const std::string& text, char* buffer, uint32_t size);

// GetPrivateProfileStringA: the key's value, or `fallback` when the section
// or the key is absent, cut to size - 1 bytes. Gives its length.
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
