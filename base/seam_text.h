// The text that the OS seam makes, as the program's strings: the seam's
// floor has no TextString, so its calls give text of their own
// (os::OwnedText, os/owned.h), taken into a TextString here.
#pragma once

#include "base/text_string.h"
#include "os/owned.h"

// What a seam call that makes text of the text it is given
// (os::FullPathForAll, os::CanonicalName, os::AnsiToUtf8) makes of `given`,
// as a TextString: false, leaving `text` as it was, where it makes none.
using TextCall = bool (*)(const char* given, os::OwnedText& text);
bool SeamText(TextCall call, const char* given, TextString& text);
