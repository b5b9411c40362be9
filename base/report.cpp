#include "base/report.h"

#include <cstring>

#include "os/os.h"

TextString Caption;

// セルベリン アップデータ in code page 932.
const char* const DefaultCaption =
    "\x83\x5a\x83\x8b\x83\x78\x83\x8a\x83\x93\x20\x83\x41\x83\x62\x83\x76\x83\x66\x81\x5b\x83\x5e";

namespace {

// The same caption as UTF-8: on a system whose ANSI code page is not 932 the
// bytes above would show as other characters.
const char* const DefaultCaptionUtf8 =
    "\xe3\x82\xbb\xe3\x83\xab\xe3\x83\x99\xe3\x83\xaa\xe3\x83\xb3 "
    "\xe3\x82\xa2\xe3\x83\x83\xe3\x83\x97\xe3\x83\x87\xe3\x83\xbc\xe3\x82\xbf";

TextString ToUtf8(const char* ansi) {
  TextString utf8;
  os::AnsiToUtf8(ansi ? ansi : "", utf8);
  return utf8;
}

TextString CaptionUtf8() {
  if (strcmp(Caption.Text(), DefaultCaption) == 0) return TextString(DefaultCaptionUtf8);
  return ToUtf8(Caption.Text());
}

// The catalogue is UTF-8 (so that its Japanese texts survive any code page),
// hence the arguments are converted before they are put in.
void ShowReport(const TextString& utf8Text) {
  os::MessageBoxUtf8(utf8Text.Text(), CaptionUtf8().Text(), os::box::IconError);
}

}  // namespace

void ShowError(MessageId id) {
  TextString text;
  text.FormatById(id);
  ShowReport(text);
}

void ShowError(MessageId id, const char* first) {
  TextString text;
  text.FormatById(id, ToUtf8(first).Text());
  ShowReport(text);
}

void ShowError(MessageId id, const char* first, const char* second) {
  // Converted one after the other, in the order of the placeholders (the
  // order of function arguments is not fixed).
  TextString firstUtf8 = ToUtf8(first);
  TextString secondUtf8 = ToUtf8(second);
  TextString text;
  text.FormatById(id, firstUtf8.Text(), secondUtf8.Text());
  ShowReport(text);
}

void ShowError(MessageId id, const char* path, uint32_t value) {
  TextString text;
  text.FormatById(id, ToUtf8(path).Text(), static_cast<unsigned>(value));
  ShowReport(text);
}

int ShowBox(const char* text, uint32_t style) {
  return os::MessageBoxUtf8(ToUtf8(text).Text(), CaptionUtf8().Text(), style);
}
