#include "base/characters.h"

#include <cstdint>

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
