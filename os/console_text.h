// Text for the console tools (the script checker): a script is code page
// 932, the tools speak UTF-8, and the system's own text (arguments, file
// names) is the locale's on Linux and the ANSI code page on Windows. A
// Windows console is written in UTF-16, so that it shows the text whatever
// its code page is.
#pragma once

#include <string>

namespace console {

// Code page 932 text as UTF-8; a byte that begins no character becomes a
// replacement character (U+FFFD; Windows puts its own), never nothing.
std::string Utf8From932(const std::string& text);

// UTF-8 text in code page 932; false when a character has no form there.
bool Utf8To932(const std::string& text, std::string& converted);

// The system's own text as UTF-8, and UTF-8 as the system's own text (a
// character the system's code page lacks becomes "?").
std::string Utf8FromNative(const std::string& text);
std::string NativeFromUtf8(const std::string& text);

// Writes UTF-8 text to standard output or standard error.
void WriteOut(const std::string& text);
void WriteError(const std::string& text);

}  // namespace console
