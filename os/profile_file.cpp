#include "os/profile_file.h"

#include <cstring>

namespace profile {
namespace {

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string TrimBlanks(const std::string& text) {
  size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  size_t last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

Entry ParseEntry(const std::string& line, int number) {
  Entry entry{number, line, "", false};
  size_t equals = line.find('=');
  if (equals == std::string::npos) return entry;
  entry.Key = TrimBlanks(line.substr(0, equals));
  entry.Value = TrimBlanks(line.substr(equals + 1));
  entry.HasValue = true;
  const std::string& value = entry.Value;
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front())
    entry.Value = value.substr(1, value.size() - 2);
  return entry;
}

}  // namespace

std::string Entry::SectionText() const { return HasValue ? Key + "=" + Value : Key; }

ProfileText::ProfileText(const std::string& text) {
  int number = 0;
  for (size_t pos = 0; pos <= text.size();) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = TrimBlanks(text.substr(pos, end - pos));
    pos = end + 1;
    ++number;
    if (!line.empty() && line[0] == '[') {
      size_t close = line.find(']');
      std::string name = line.substr(1, close == std::string::npos ? std::string::npos : close - 1);
      sections_.push_back(Section{TrimBlanks(name), number, {}});
    } else if (line.empty()) {
      continue;
    } else if (!sections_.empty()) {
      sections_.back().Entries.push_back(ParseEntry(line, number));
    } else if (line[0] != ';') {
      strayLines_.push_back(number);
    }
  }
}

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

bool SameName(const std::string& a, const char* b) {
  size_t length = strlen(b);
  if (a.size() != length) return false;
  for (size_t i = 0; i < length; ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

bool ProfileText::HasSection(const char* name) const {
  for (const Section& section : sections_)
    if (SameName(section.Name, name)) return true;
  return false;
}

const Entry* ProfileText::FindKey(const char* section, const char* key) const {
  for (const Section& candidate : sections_) {
    if (!SameName(candidate.Name, section)) continue;
    for (const Entry& entry : candidate.Entries)
      if (entry.HasValue && SameName(entry.Key, key)) return &entry;
  }
  return nullptr;
}

std::vector<const Entry*> ProfileText::SectionEntries(const char* name) const {
  std::vector<const Entry*> entries;
  for (const Section& section : sections_)
    if (SameName(section.Name, name))
      for (const Entry& entry : section.Entries) entries.push_back(&entry);
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

uint32_t StringValue(const ProfileText& profile, const char* section, const char* key,
                     const char* fallback, char* buffer, uint32_t size) {
  const Entry* entry = profile.FindKey(section, key);
  return CopyCut(entry ? entry->Value : std::string(fallback), buffer, size);
}

uint32_t SectionLines(const ProfileText& profile, const char* section, char* buffer,
                      uint32_t size, size_t* linesTaken) {
  if (linesTaken) *linesTaken = 0;
  if (size < 2) {
    if (size) buffer[0] = '\0';
    return 0;
  }
  uint32_t used = 0;
  for (const Entry* entry : profile.SectionEntries(section)) {
    std::string text = entry->SectionText();
    if (used + text.size() + 2 > size) {
      // Like the platform: what fits of the line that does not, and the
      // size less two as the sign that the section was cut.
      if (used + 2 <= size) {
        memcpy(buffer + used, text.data(), size - 2 - used);
        buffer[size - 2] = '\0';
      }
      buffer[size - 1] = '\0';
      return size - 2;
    }
    memcpy(buffer + used, text.c_str(), text.size() + 1);
    used += static_cast<uint32_t>(text.size()) + 1;
    if (linesTaken) ++*linesTaken;
  }
  buffer[used] = '\0';
  if (used == 0) buffer[1] = '\0';
  return used;
}

}  // namespace profile
