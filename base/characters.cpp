#include "base/characters.h"

#include <cstdint>
#include <cstring>

#include "os/basics.h"

int CharacterSize(const char* at) {
  uint8_t byte = static_cast<uint8_t>(*at);
  uint8_t next = static_cast<uint8_t>(at[1]);
  // Lead bytes are never ASCII, so plain text costs no call. A second byte
  // is 0x40 or above in every double-byte code page: a stray lead byte
  // before a line feed, a comma or the end stays a character of its own and
  // never hides a separator.
  return byte >= 0x80 && next >= 0x40 && os::IsLeadByte(byte) ? 2 : 1;
}

bool BeginsCharacter(const char* from, const char* at) {
  while (from < at) from += CharacterSize(from);
  return from == at;
}

const char* FindLastCharacter(const char* text, char c) {
  const char* last = nullptr;
  for (; *text; text += CharacterSize(text))
    if (*text == c) last = text;
  return last;
}

namespace {

bool SameCharacter(const char* a, const char* b) {
  int size = CharacterSize(a);
  if (size != CharacterSize(b)) return false;
  if (size == 2) return a[0] == b[0] && a[1] == b[1];
  char x = *a >= 'A' && *a <= 'Z' ? static_cast<char>(*a + 32) : *a;
  char y = *b >= 'A' && *b <= 'Z' ? static_cast<char>(*b + 32) : *b;
  return x == y;
}

}  // namespace

// A "*" takes ever more characters where what follows it does not match.
bool NameMatches(const char* pattern, const char* name) {
  const char* star = nullptr;
  const char* resume = name;
  while (*name) {
    if (*pattern == '*') {
      star = ++pattern;
      resume = name;
    } else if (*pattern && (*pattern == '?' || SameCharacter(pattern, name))) {
      pattern += CharacterSize(pattern);
      name += CharacterSize(name);
    } else if (star) {
      pattern = star;
      resume += CharacterSize(resume);
      name = resume;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return !*pattern || !strcmp(pattern, ".*");
}
