// TextString: the program's one string type.
//
// Owns a zero-terminated byte string in a buffer of exactly the text's length
// plus one, and carries the small text toolkit on which the script language
// rests: items split at a separator, blank-separated words with quoting,
// bracketed groups, trimming, replacing, comparing, numbers and formatting.
// Searches step over the double-byte characters of the system's code page
// (base/characters.h): a separator or token is only found where a character
// begins. Lengths and positions still count bytes.
//
// Positions (Slice, ReplaceSlice, the Find results) point into the string's
// own characters and a last position is included in its range. Indices are
// counted from 0; where allowed, a negative index counts from the end.
#pragma once

#include <cstdarg>
#include <cstdint>

class TextString {
 public:
  TextString();
  TextString(const char* text);  // NOLINT(google-explicit-constructor)
  TextString(const TextString& other);
  TextString& operator=(const TextString& other);  // copies the text

  // The virtual operations, in their fixed order.
  virtual ~TextString();
  virtual void ClearPointer();
  virtual bool Reserve(int32_t count);
  virtual bool SetText(const char* text);
  virtual bool AppendText(const char* text);
  virtual const char* Text() const;
  virtual char* Buffer();
  virtual TextString& Assign(const TextString& other);
  virtual TextString& Assign(const char* text);
  virtual TextString& Append(const TextString& other);
  virtual TextString& Append(const char* text);
  virtual TextString Concat(const TextString& other) const;
  virtual TextString Concat(const char* text) const;
  virtual bool Equals(const TextString& other) const;
  virtual bool Equals(const char* text) const;
  virtual bool NotEquals(const TextString& other) const;
  virtual bool NotEquals(const char* text) const;
  virtual int32_t Length() const;
  virtual TextString Slice(const char* first, const char* last) const;
  virtual TextString& ReplaceSlice(const char* first, const char* last, const char* text);
  virtual TextString Mid(int32_t index) const;
  virtual TextString Mid(int32_t first, int32_t last) const;
  virtual void ReplaceMid(int32_t index, const char* text);
  virtual void ReplaceMid(int32_t first, int32_t last, const char* text);
  virtual int32_t WordCount() const;
  virtual bool FindWords(int32_t first, int32_t last, const char** firstPos,
                         const char** lastPos) const;
  virtual TextString Word(int32_t index) const;
  virtual TextString Words(int32_t first, int32_t last) const;
  virtual bool ReplaceWord(int32_t index, const char* text);
  virtual bool ReplaceWords(int32_t first, int32_t last, const char* text);
  virtual int32_t ItemCount(const char* separator) const;
  virtual bool FindItems(int32_t first, int32_t last, const char* separator,
                         const char** firstPos, const char** lastPos) const;
  virtual TextString Item(int32_t index, const char* separator) const;
  virtual TextString Items(int32_t first, int32_t last, const char* separator) const;
  virtual bool ReplaceItem(int32_t index, const char* separator, const char* text);
  virtual bool ReplaceItems(int32_t first, int32_t last, const char* separator,
                            const char* text);
  virtual int32_t GroupCount(const char* open, const char* close) const;
  virtual bool FindGroups(int32_t first, int32_t last, const char* open, const char* close,
                          const char** firstPos, const char** lastPos) const;
  virtual TextString Group(int32_t index, const char* open, const char* close) const;
  virtual TextString Groups(int32_t first, int32_t last, const char* open,
                            const char* close) const;
  virtual bool ReplaceGroup(int32_t index, const char* open, const char* close,
                            const char* text);
  virtual bool ReplaceGroups(int32_t first, int32_t last, const char* open,
                             const char* close, const char* text);
  virtual void Trim(const char* token);
  virtual void Trim(const char* lead, const char* trail);
  virtual TextString& FormatV(const char* format, va_list args);
  virtual TextString& FormatById(unsigned id, ...);
  virtual TextString& Format(const char* format, ...);
  virtual int32_t ToInt() const;
  virtual uint32_t ToHex() const;
  virtual void Compact();
  virtual void Reassign(const char* text);
  virtual bool ReplaceAll(const char* search, const char* replacement);
  virtual int32_t CountOf(const char* search) const;

  // Sizes of the formatting work areas: a formatted text holds at most
  // FormatAreaSize - 1 bytes, a catalogue text at most MessageAreaSize - 1.
  static constexpr int FormatAreaSize = 1024;
  static constexpr int MessageAreaSize = 256;

 private:
  char* m_text;  // null only after a failed allocation; read as the empty text
};
