#include "base/report.h"

#include <cstring>

#include "base/run_events.h"
#include "base/seam_text.h"
#include "os/basics.h"
#include "os/ui.h"

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


// Shows a box, or, where the run answers its boxes itself, takes
// `unattendedAnswer`; either way the observer learns of it.
int ShowUtf8Box(unsigned report, const TextString& utf8Text, uint32_t style,
                int unattendedAnswer) {
  TextString caption = CaptionUtf8();
  bool shown = !Observer().AnswersBoxes();
  int answer = shown ? os::MessageBoxUtf8(utf8Text.Text(), caption.Text(), style)
                     : unattendedAnswer;
  Observer().BoxDone(BoxEvent{report, utf8Text.Text(), caption.Text(), style, answer, shown});
  return answer;
}

// The catalogue is UTF-8 (so that its Japanese texts survive any code page),
// hence the arguments are converted before they are put in. A report ends
// the run as after its OK.
void ShowReport(MessageId id, const char* const* arguments, int count,
                const TextString& utf8Text) {
  Observer().ErrorReported(id, arguments, count, utf8Text.Text());
  ShowUtf8Box(id, utf8Text, os::box::IconError, os::box::IdOk);
}

}  // namespace

// A message cannot be built without its texts, nor two with one id (the
// switch below would hold the same case twice); an id is a byte in the
// table of English texts.
#define REPORT(id, name, arguments, reason, meaning, text, english) \
  TEXT(id, name, text, english)
#define TEXT(id, name, text, english)                           \
  static_assert(sizeof(text) > 1, #name " has no text");         \
  static_assert(sizeof(english) > 1, #name " has no English text"); \
  static_assert(id < 256, #name "'s id is more than a byte");
#include "res/messages.inc"
#undef REPORT
#undef TEXT

bool ReportCarriesReason(unsigned id) {
  switch (id) {
#define REPORT(id, name, arguments, reason, meaning, text, english) \
  case id:                                                         \
    return reason != 0;
#define TEXT(id, name, text, english) \
  case id:                   \
    return false;
#include "res/messages.inc"
#undef REPORT
#undef TEXT
  }
  return false;
}

TextString ToUtf8(const char* ansi) {
  TextString utf8;
  SeamText(os::AnsiToUtf8, ansi ? ansi : "", utf8);
  return utf8;
}

TextString CaptionUtf8() {
  if (strcmp(Caption.Text(), DefaultCaption) == 0) return TextString(DefaultCaptionUtf8);
  return ToUtf8(Caption.Text());
}

void ShowError(MessageId id) {
  TextString text;
  text.FormatById(id);
  ShowReport(id, nullptr, 0, text);
}

void ShowError(MessageId id, const char* first) {
  TextString text;
  text.FormatById(id, ToUtf8(first).Text());
  ShowReport(id, &first, 1, text);
}

void ShowError(MessageId id, const char* first, const char* second) {
  // Converted one after the other, in the order of the placeholders (the
  // order of function arguments is not fixed).
  TextString firstUtf8 = ToUtf8(first);
  TextString secondUtf8 = ToUtf8(second);
  TextString text;
  text.FormatById(id, firstUtf8.Text(), secondUtf8.Text());
  const char* arguments[] = {first, second};
  ShowReport(id, arguments, 2, text);
}

void ShowError(MessageId id, const char* path, uint32_t value) {
  TextString text;
  text.FormatById(id, ToUtf8(path).Text(), static_cast<unsigned>(value));
  ShowReport(id, &path, 1, text);
}

int ShowBox(const char* text, uint32_t style, int unattendedAnswer) {
  return ShowUtf8Box(0, ToUtf8(text), style, unattendedAnswer);
}

int ShowCatalogueBox(MessageId id, uint32_t style, int unattendedAnswer) {
  TextString text;
  text.FormatById(id);
  return ShowUtf8Box(0, text, style, unattendedAnswer);
}
