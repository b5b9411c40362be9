// Text in the system's ANSI code page, read character by character.
//
// In a double-byte code page such as 932, a lead byte (os::IsLeadByte) and
// the byte after it are one character, and that second byte may have the
// value of an ASCII character: 表, ソ and 能 end in the byte of "\", others
// in that of "{", "}" or "|". Whoever searches text for such a character
// must step over double-byte characters, or it splits one in two.
#pragma once

// The bytes of the character that begins at `at`: 2 for a lead byte with a
// possible second byte after it, otherwise 1 (a lead byte at the end, or
// before a control character, a blank, a digit or punctuation below 0x40,
// counts alone).
int CharacterSize(const char* at);

// True when `at`, a position in `text` at or after `from`, begins a character
// rather than being the second byte of one. `from` must begin a character.
bool BeginsCharacter(const char* from, const char* at);

// The last character of `text` that is the single-byte character `c`, or
// null when there is none.
const char* FindLastCharacter(const char* text, char c);

// Whether the file name `name` matches `pattern` as the system matches long
// names: "*" any run of characters, "?" exactly one, ASCII letters in either
// case, any other character only as itself; a pattern that ends in ".*" also
// matches a name without a dot there ("*.*" matches every name).
bool NameMatches(const char* pattern, const char* name);
