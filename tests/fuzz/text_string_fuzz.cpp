// The TextString operations that take untrusted text: lists, words, groups,
// trimming, replacing, numbers, and formatting with untrusted arguments
// (never as the format). Besides staying inside its buffers, each family
// must agree with itself: the pieces it finds put together again give the
// text they were found in.
#include <fuzzer/FuzzedDataProvider.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/characters.h"
#include "base/report.h"
#include "base/text_string.h"
#include "fuzz_support.h"

namespace {

void Check(bool condition, const char* what) {
  if (!condition) {
    fprintf(stderr, "broken: %s\n", what);
    abort();
  }
}

bool Same(const TextString& text, const std::string& expected) {
  return expected == text.Text();
}

// The separators and tokens the program uses, and the odd ones it never
// passes (empty, longer than one byte).
const char* const Tokens[] = {",", "\\", "\n", "=", "<", ">", "{", "}", " ", "\"", ";",
                              "..", "\\..", "%n", "", "ab"};

const char* PickToken(FuzzedDataProvider& input) {
  return Tokens[input.ConsumeIntegralInRange<size_t>(0, sizeof Tokens / sizeof *Tokens - 1)];
}

int32_t PickIndex(FuzzedDataProvider& input) {
  return input.ConsumeIntegralInRange<int32_t>(-5, 40);
}

void Items(const TextString& text, const char* separator, int32_t index, int32_t last) {
  int32_t count = text.ItemCount(separator);
  if (*separator && count > 0)
    Check(Same(text.Items(0, count - 1, separator), text.Text()), "all items are the text");
  TextString item = text.Item(index, separator);
  TextString changed(text);
  if (changed.ReplaceItem(index, separator, item.Text()))
    Check(Same(changed, text.Text()), "putting an item back changes nothing");
  text.Items(index, last, separator);
}

void Words(const TextString& text, int32_t index) {
  int32_t count = text.WordCount();
  if (count > 0) Check(Same(text.Words(0, count - 1), text.Text()), "all words are the text");
  TextString word = text.Word(index);
  TextString changed(text);
  if (changed.ReplaceWord(index, word.Text()))
    Check(Same(changed, text.Text()), "putting a word back changes nothing");
}

void Groups(const TextString& text, const char* open, const char* close, int32_t index) {
  int32_t count = text.GroupCount(open, close);
  TextString group = text.Group(index, open, close);
  if (index >= 0 && index < count) {
    Check(group.Length() >= static_cast<int32_t>(strlen(open) + strlen(close)),
          "a counted group has its tokens");
    Check(strstr(text.Text(), group.Text()) != nullptr, "a group is part of the text");
  }
  TextString changed(text);
  if (changed.ReplaceGroup(index, open, close, group.Text()))
    Check(Same(changed, text.Text()), "putting a group back changes nothing");
  text.Groups(index, index + 1, open, close);
}

void Trim(const TextString& text, const char* lead, const char* trail) {
  TextString trimmed(text);
  trimmed.Trim(lead, trail);
  Check(trimmed.Length() <= text.Length(), "trimming never lengthens");
  Check(strstr(text.Text(), trimmed.Text()) != nullptr, "trimming keeps a piece of the text");
}

// True when `search` occurs in `text` where a character begins: the second
// byte of a double-byte character is no occurrence.
bool Occurs(const char* text, const char* search) {
  for (const char* at = strstr(text, search); at; at = strstr(at + 1, search))
    if (BeginsCharacter(text, at)) return true;
  return false;
}

// Deletions and the program's own replacements always end: the replacement
// never holds the search text.
void Replace(const TextString& text, const char* search) {
  TextString changed(text);
  changed.ReplaceAll("%n", "\n");
  changed.ReplaceAll("%t", "\t");
  Check(!Occurs(changed.Text(), "%n"), "no %n is left");
  changed.Assign(text);
  bool replaced = changed.ReplaceAll(search, "");
  Check(replaced == (*search && text.CountOf(search) > 0), "a replacement is reported");
  if (*search) Check(!Occurs(changed.Text(), search), "every occurrence is gone");
}

// "%d" as the C library reads it, for texts whose number fits.
void Numbers(const TextString& text) {
  int32_t number = text.ToInt();
  char* end = nullptr;
  long long expected = strtoll(text.Text(), &end, 10);
  if (end != text.Text() && expected >= INT32_MIN && expected <= INT32_MAX)
    Check(number == static_cast<int32_t>(expected), "ToInt reads as %d does");
  uint32_t hex = text.ToHex();
  if (strncmp(text.Text(), "0x", 2) != 0) Check(hex == 0, "ToHex wants a leading 0x");
}

void Format(const TextString& text, const TextString& other, unsigned id) {
  TextString formatted;
  formatted.Format("%s|%s", text.Text(), other.Text());
  Check(formatted.Length() <= TextString::FormatAreaSize - 1, "a format fits its area");
  if (text.Length() + other.Length() + 1 < TextString::FormatAreaSize)
    Check(formatted.Length() == text.Length() + other.Length() + 1, "arguments are not formats");
  // Every catalogue text takes at most two texts, or a text and a number.
  if (id == MsgAttributesFailed)
    formatted.FormatById(id, text.Text(), 32u);
  else
    formatted.FormatById(id, text.Text(), other.Text());
  Check(formatted.Length() <= TextString::FormatAreaSize - 1, "a message fits its area");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  TextString other(input.ConsumeRandomLengthString(2000).c_str());
  const char* first = PickToken(input);
  const char* second = PickToken(input);
  int32_t index = PickIndex(input);
  int32_t last = PickIndex(input);
  unsigned id = input.ConsumeIntegralInRange<unsigned>(0, 16);
  TextString text(input.ConsumeRemainingBytesAsString().c_str());
  Check(text.Length() == static_cast<int32_t>(strlen(text.Text())), "length");

  Items(text, first, index, last);
  Words(text, index);
  Groups(text, first, second, index);
  Trim(text, first, second);
  Replace(text, first);
  Numbers(text);
  Format(text, other, id);

  text.Mid(index, last);
  TextString changed(text);
  changed.ReplaceMid(index, index + 2, other.Text());
  changed.Concat(other).Compact();
  return 0;
}
