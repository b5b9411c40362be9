// The formatting of the Windows program: the system's C runtime (msvcrt's
// _vsnprintf) in place of the library's own printf, which brings its
// floating-point and wide-character formatting (about 26 KB of the 32-bit
// program) into a program that formats only text and integers. The
// library's snprintf and vsnprintf come here.
//
// The program's formats are its own constants and catalogue texts: %s, %d,
// %u, %X with flags, a width or "*", and 64-bit integers written "ll",
// which older runtimes read only as "I64" and so are given. The result is
// C99's: terminated within `size`, and the length of the whole text.
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstring>

namespace {

// `format` with each conversion's "ll" as "I64", into `own` of `size`
// bytes; false when it does not fit.
bool WithI64(const char* format, char* own, size_t size) {
  size_t out = 0;
  auto put = [&](char c) {
    if (out + 1 >= size) return false;
    own[out++] = c;
    return true;
  };
  for (const char* at = format; *at;) {
    if (*at != '%') {
      if (!put(*at++)) return false;
      continue;
    }
    if (!put(*at++)) return false;
    while (*at && strchr("-+ #0123456789.*", *at))
      if (!put(*at++)) return false;
    if (at[0] == 'l' && at[1] == 'l') {
      if (!put('I') || !put('6') || !put('4')) return false;
      at += 2;
    }
    if (*at && !put(*at++)) return false;  // the conversion, or a second "%"
  }
  own[out] = '\0';
  return true;
}

}  // namespace

extern "C" int __mingw_vsnprintf(char* buffer, size_t size, const char* format, va_list args) {
  // A format too long for the area (none of the program's) goes as it is.
  char own[512];
  if (strstr(format, "ll") && WithI64(format, own, sizeof own)) format = own;
  va_list again;
  va_copy(again, args);
  int length = size > 0 ? _vsnprintf(buffer, size, format, args) : -1;
  // The runtime leaves a text that fills the buffer without its zero.
  if (size > 0) buffer[size - 1] = '\0';
  if (length < 0 || static_cast<size_t>(length) >= size) length = _vscprintf(format, again);
  va_end(again);
  return length;
}
