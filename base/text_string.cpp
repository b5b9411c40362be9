#include "base/text_string.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/catalogue.h"
#include "base/characters.h"

namespace {

const char* OrEmpty(const char* text) { return text ? text : ""; }

bool IsEmpty(const char* text) { return !text || !*text; }

// What a string without buffer (after a failed allocation) reads as. Writable
// because Buffer() hands it out too; re-terminated on every use.
char* EmptyArea() {
  static char area[1];
  area[0] = '\0';
  return area;
}

int32_t Clamp(int32_t value, int32_t low, int32_t high) {
  if (value < low) return low;
  if (value > high) return high;
  return value;
}

// Makes negative indices count from the end of `count` elements. False when
// there are none to count from.
bool CountFromEnd(int32_t count, int32_t& first, int32_t& last) {
  if (count == 0) return false;
  if (first < 0) first += count;
  if (last < 0) last += count;
  return true;
}

// Turns character indices into ones within a text of `length` bytes: after
// counting negative ones from the end, what still lies outside is pulled to
// the nearest end (first to [0, length], last to [-1, length - 1]).
bool ResolveIndices(int32_t length, int32_t& first, int32_t& last) {
  if ((first < 0 || last < 0) && !CountFromEnd(length, first, last)) return false;
  first = Clamp(first, 0, length);
  last = Clamp(last, -1, length - 1);
  return true;
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// ASCII letters match either case; the second byte of a double-byte
// character is no letter and must match exactly.
bool SameIgnoringCase(const char* a, const char* b, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    if (i + 1 < count && CharacterSize(a + i) == 2) {
      ++i;
      if (a[i] != b[i]) return false;
    }
  }
  return true;
}

// The first occurrence of `what` at or after `from` that begins a character:
// the second byte of a double-byte character is never taken for an ASCII
// one. `from` must begin a character. An empty search text never matches,
// so that no scan which advances by the text's length can stand still.
const char* FindText(const char* from, const char* what) {
  if (IsEmpty(what)) return nullptr;
  const char* boundary = from;  // the start of a character, never past `at`
  for (const char* at = strstr(from, what); at; at = strstr(at + 1, what)) {
    while (boundary < at) boundary += CharacterSize(boundary);
    if (boundary == at) return at;
  }
  return nullptr;
}

// Gives `text` a new buffer of exactly the pieces' length plus one, holding
// them one after another. The pieces may lie in the old buffer, which is
// released only afterwards. On failure the old text is lost all the same.
bool Rebuild(char*& text, const char* a, size_t aLength, const char* b = "",
             size_t bLength = 0, const char* c = "", size_t cLength = 0) {
  char* joined = static_cast<char*>(malloc(aLength + bLength + cLength + 1));
  if (joined) {
    memcpy(joined, a, aLength);
    memcpy(joined + aLength, b, bLength);
    memcpy(joined + aLength + bLength, c, cLength);
    joined[aLength + bLength + cLength] = '\0';
  }
  free(text);
  text = joined;
  return joined != nullptr;
}

// The blank that ends the word starting at `word`, or null when the word runs
// to the end of the text. A word opened by a double quote only ends at a
// blank that follows a double quote.
const char* WordEnd(const char* word) {
  bool quoted = *word == '"';
  for (const char* blank = strchr(word, ' '); blank; blank = strchr(blank + 1, ' '))
    if (!quoted || blank[-1] == '"') return blank;
  return nullptr;
}

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

// Reads a number as sscanf's "%d" (base 10) or "%x" (base 16) does: white
// space skipped, an optional sign, for base 16 an optional "0x" or "0X",
// then digits. 0 when there are none. Written out because the C library's
// scanf would add more to the program than everything else here.
uint32_t ScanNumber(const char* text, int base) {
  while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
  bool negative = *text == '-';
  if (*text == '-' || *text == '+') ++text;
  if (base == 16 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text += 2;
  uint32_t value = 0;
  for (; DigitValue(*text) < base; ++text) value = value * base + DigitValue(*text);
  return negative ? 0u - value : value;
}

// One walk over open and close tokens, moving past whichever comes next.
struct GroupScan {
  const char* pos;
  const char* open;
  const char* close;
  int32_t depth = 0;
  const char* token = nullptr;  // the token just passed
  bool opened = false;          // whether that token was an open

  // False when no close token is left, which ends every scan: an open with
  // no close after it can never make a group.
  bool Step() {
    const char* closeAt = FindText(pos, close);
    if (!closeAt) return false;
    const char* openAt = FindText(pos, open);
    opened = openAt && openAt < closeAt;
    token = opened ? openAt : closeAt;
    depth += opened ? 1 : -1;
    pos = token + strlen(opened ? open : close);
    return true;
  }
};

}  // namespace

TextString::TextString() {
  ClearPointer();
  Assign("");
}

TextString::TextString(const char* text) {
  ClearPointer();
  Assign(text);
}

TextString::TextString(const TextString& other) {
  ClearPointer();
  Assign(other);
}

TextString& TextString::operator=(const TextString& other) { return Assign(other); }

TextString::~TextString() { free(m_text); }

void TextString::ClearPointer() { m_text = nullptr; }

bool TextString::Reserve(int32_t count) {
  free(m_text);
  // Even a zero count gets its terminating byte, so that the text stays readable.
  size_t size = count > 0 ? static_cast<size_t>(count) : 1;
  m_text = static_cast<char*>(malloc(size));
  if (!m_text) return false;
  memset(m_text, 0, size);
  return true;
}

bool TextString::SetText(const char* text) {
  text = OrEmpty(text);
  return Rebuild(m_text, text, strlen(text));
}

bool TextString::AppendText(const char* text) {
  text = OrEmpty(text);
  return Rebuild(m_text, Text(), strlen(Text()), text, strlen(text));
}

const char* TextString::Text() const { return m_text ? m_text : EmptyArea(); }

char* TextString::Buffer() { return m_text ? m_text : EmptyArea(); }

TextString& TextString::Assign(const TextString& other) { return Assign(other.Text()); }

TextString& TextString::Assign(const char* text) {
  SetText(text);
  return *this;
}

TextString& TextString::Append(const TextString& other) { return Append(other.Text()); }

TextString& TextString::Append(const char* text) {
  AppendText(text);
  return *this;
}

TextString TextString::Concat(const TextString& other) const { return Concat(other.Text()); }

TextString TextString::Concat(const char* text) const {
  TextString joined(*this);
  joined.Append(text);
  return joined;
}

bool TextString::Equals(const TextString& other) const { return Equals(other.Text()); }

bool TextString::Equals(const char* text) const {
  text = OrEmpty(text);
  size_t length = strlen(Text());
  return strlen(text) == length && SameIgnoringCase(Text(), text, length);
}

bool TextString::NotEquals(const TextString& other) const { return !Equals(other); }

bool TextString::NotEquals(const char* text) const { return !Equals(text); }

int32_t TextString::Length() const { return static_cast<int32_t>(strlen(Text())); }

TextString TextString::Slice(const char* first, const char* last) const {
  TextString slice;
  if (first && last >= first) {
    // The copy also stops at a terminating zero inside the range.
    size_t limit = static_cast<size_t>(last - first) + 1;
    size_t length = 0;
    while (length < limit && first[length]) ++length;
    Rebuild(slice.m_text, first, length);
  }
  return slice;
}

TextString& TextString::ReplaceSlice(const char* first, const char* last, const char* text) {
  const char* start = Text();
  int32_t length = Length();
  // The head is what lies before first, the tail what lies after last; a
  // range reaching past either end simply leaves that side empty.
  int32_t headLength = Clamp(static_cast<int32_t>(first - start), 0, length);
  int32_t tailStart = Clamp(static_cast<int32_t>(last - start) + 1, 0, length);
  text = OrEmpty(text);
  Rebuild(m_text, start, headLength, text, strlen(text), start + tailStart, length - tailStart);
  return *this;
}

TextString TextString::Mid(int32_t index) const { return Mid(index, index); }

TextString TextString::Mid(int32_t first, int32_t last) const {
  if (!ResolveIndices(Length(), first, last)) return TextString();
  return Slice(Text() + first, Text() + last);
}

void TextString::ReplaceMid(int32_t index, const char* text) { ReplaceMid(index, index, text); }

void TextString::ReplaceMid(int32_t first, int32_t last, const char* text) {
  if (!ResolveIndices(Length(), first, last)) return;
  ReplaceSlice(Text() + first, Text() + last, text);
}

int32_t TextString::WordCount() const {
  if (Length() == 0) return 0;
  int32_t count = 1;
  for (const char* end = WordEnd(Text()); end; end = WordEnd(end + 1)) ++count;
  return count;
}

bool TextString::FindWords(int32_t first, int32_t last, const char** firstPos,
                           const char** lastPos) const {
  if ((first < 0 || last < 0) && !CountFromEnd(WordCount(), first, last)) return false;
  const char* start = Text();
  const char* from = first == 0 ? start : nullptr;
  const char* to = nullptr;
  int32_t counter = 0;
  for (const char* end = WordEnd(start); end; end = WordEnd(end + 1)) {
    if (counter >= last) {
      to = end - 1;
      break;
    }
    ++counter;
    if (!from && counter >= first) from = end + 1;
  }
  if (!from) return false;
  *firstPos = from;
  *lastPos = to ? to : start + Length() - 1;
  return true;
}

TextString TextString::Word(int32_t index) const { return Words(index, index); }

TextString TextString::Words(int32_t first, int32_t last) const {
  const char* from;
  const char* to;
  return FindWords(first, last, &from, &to) ? Slice(from, to) : TextString();
}

bool TextString::ReplaceWord(int32_t index, const char* text) {
  return ReplaceWords(index, index, text);
}

bool TextString::ReplaceWords(int32_t first, int32_t last, const char* text) {
  const char* from;
  const char* to;
  if (!FindWords(first, last, &from, &to)) return false;
  ReplaceSlice(from, to, text);
  return true;
}

int32_t TextString::ItemCount(const char* separator) const {
  if (Length() == 0) return 0;
  size_t separatorLength = strlen(OrEmpty(separator));
  int32_t count = 1;
  for (const char* at = FindText(Text(), separator); at;
       at = FindText(at + separatorLength, separator))
    ++count;
  return count;
}

bool TextString::FindItems(int32_t first, int32_t last, const char* separator,
                           const char** firstPos, const char** lastPos) const {
  if ((first < 0 || last < 0) && !CountFromEnd(ItemCount(separator), first, last)) return false;
  size_t separatorLength = strlen(OrEmpty(separator));
  const char* start = Text();
  const char* from = first == 0 ? start : nullptr;
  const char* to = nullptr;
  int32_t counter = 0;
  for (const char* at = FindText(start, separator); at;
       at = FindText(at + separatorLength, separator)) {
    if (counter >= last) {
      to = at - 1;
      break;
    }
    if (!from && counter + 1 >= first) from = at + separatorLength;
    ++counter;
  }
  if (!from) return false;
  *firstPos = from;
  *lastPos = to ? to : start + Length() - 1;
  return true;
}

TextString TextString::Item(int32_t index, const char* separator) const {
  return Items(index, index, separator);
}

TextString TextString::Items(int32_t first, int32_t last, const char* separator) const {
  const char* from;
  const char* to;
  return FindItems(first, last, separator, &from, &to) ? Slice(from, to) : TextString();
}

bool TextString::ReplaceItem(int32_t index, const char* separator, const char* text) {
  return ReplaceItems(index, index, separator, text);
}

bool TextString::ReplaceItems(int32_t first, int32_t last, const char* separator,
                              const char* text) {
  const char* from;
  const char* to;
  if (!FindItems(first, last, separator, &from, &to)) return false;
  ReplaceSlice(from, to, text);
  return true;
}

int32_t TextString::GroupCount(const char* open, const char* close) const {
  GroupScan scan{Text(), open, close};
  int32_t count = 0;
  while (scan.Step())
    if (!scan.opened && scan.depth == 0) ++count;
  return count;
}

bool TextString::FindGroups(int32_t first, int32_t last, const char* open, const char* close,
                            const char** firstPos, const char** lastPos) const {
  if ((first < 0 || last < 0) && !CountFromEnd(GroupCount(open, close), first, last)) return false;
  GroupScan scan{Text(), open, close};
  const char* from = nullptr;
  int32_t counter = 0;
  // Find the open of group `first`, walking up to the open of group `last`.
  while (counter <= last && scan.Step()) {
    if (!scan.opened) continue;
    if (scan.depth == 1) ++counter;
    if (!from && counter > first) from = scan.pos;
  }
  if (!from) return false;
  // Then on to the close that brings the depth back to 0, if there is one.
  const char* to = nullptr;
  while (!to && scan.Step())
    if (!scan.opened && scan.depth == 0) to = scan.token - 1;
  // Widen the bounds to take in the tokens; an unclosed group runs to the end.
  *firstPos = from - strlen(open);
  *lastPos = to ? to + strlen(close) : Text() + Length() - 1;
  return true;
}

TextString TextString::Group(int32_t index, const char* open, const char* close) const {
  return Groups(index, index, open, close);
}

TextString TextString::Groups(int32_t first, int32_t last, const char* open,
                              const char* close) const {
  const char* from;
  const char* to;
  return FindGroups(first, last, open, close, &from, &to) ? Slice(from, to) : TextString();
}

bool TextString::ReplaceGroup(int32_t index, const char* open, const char* close,
                              const char* text) {
  return ReplaceGroups(index, index, open, close, text);
}

bool TextString::ReplaceGroups(int32_t first, int32_t last, const char* open,
                               const char* close, const char* text) {
  const char* from;
  const char* to;
  if (!FindGroups(first, last, open, close, &from, &to)) return false;
  ReplaceSlice(from, to, text);
  return true;
}

void TextString::Trim(const char* token) { Trim(token, token); }

void TextString::Trim(const char* lead, const char* trail) {
  const char* start = Text();
  const char* end = start + Length();  // one past the last byte kept
  const char* from = start;
  const char* to = end;
  size_t leadLength = strlen(OrEmpty(lead));
  size_t trailLength = strlen(OrEmpty(trail));
  if (leadLength > 0)
    while (static_cast<size_t>(to - from) >= leadLength && SameIgnoringCase(from, lead, leadLength))
      from += leadLength;
  if (trailLength > 0)
    while (static_cast<size_t>(to - from) >= trailLength &&
           SameIgnoringCase(to - trailLength, trail, trailLength) &&
           BeginsCharacter(from, to - trailLength))
      to -= trailLength;
  if (from != start || to != end) Rebuild(m_text, from, to - from);
}

TextString& TextString::FormatV(const char* format, va_list args) {
  // Zeroed and terminated by hand: a failing or overflowing vsnprintf (the
  // Windows runtime's among them) need not terminate what it wrote.
  char area[FormatAreaSize] = {};
  vsnprintf(area, sizeof area, OrEmpty(format), args);
  area[sizeof area - 1] = '\0';
  return Assign(area);
}

TextString& TextString::FormatById(unsigned id, ...) {
  char message[MessageAreaSize] = {};
  CatalogueText(id, message, sizeof message);
  message[sizeof message - 1] = '\0';
  va_list args;
  va_start(args, id);
  FormatV(message, args);
  va_end(args);
  return *this;
}

TextString& TextString::Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  FormatV(format, args);
  va_end(args);
  return *this;
}

int32_t TextString::ToInt() const { return static_cast<int32_t>(ScanNumber(Text(), 10)); }

uint32_t TextString::ToHex() const {
  const char* text = Text();
  if (text[0] != '0' || text[1] != 'x') return 0;
  return ScanNumber(text + 2, 16);
}

void TextString::Compact() { SetText(Text()); }

void TextString::Reassign(const char* text) {
  // The text of `text` alone; an empty one leaves an empty string untouched.
  if (IsEmpty(text) && Length() == 0) return;
  SetText(text);
}

bool TextString::ReplaceAll(const char* search, const char* replacement) {
  size_t searchLength = strlen(OrEmpty(search));
  bool replaced = false;
  // Restarts from the start after each replacement, so a replacement that
  // holds the search text would never end; callers do not pass one.
  for (const char* at = FindText(Text(), search); at; at = FindText(Text(), search)) {
    ReplaceSlice(at, at + searchLength - 1, replacement);
    replaced = true;
  }
  return replaced;
}

int32_t TextString::CountOf(const char* search) const {
  size_t searchLength = strlen(OrEmpty(search));
  int32_t count = 0;
  for (const char* at = FindText(Text(), search); at; at = FindText(at + searchLength, search))
    ++count;
  return count;
}
