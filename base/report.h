// Error reports and the boxes of the run.
//
// Every failure the program detects is shown at once in one modal box with
// the error icon, the current Caption as its title and a numbered catalogue
// text filled in with the failure's particulars. The caller then returns its
// own failure value; nobody above it reports again.
#pragma once

#include <cstdint>

#include "base/text_string.h"

// Ids of the message catalogue, made from it (res/messages.inc).
enum MessageId : unsigned {
#define REPORT(id, name, arguments, reason, meaning, text, english) name = id,
#define TEXT(id, name, text, english) name = id,
#include "res/messages.inc"
#undef REPORT
#undef TEXT
};

// Whether the log line of report `id` gives the system's reason for the
// action that failed.
bool ReportCarriesReason(unsigned id);

// The title of every box, read at the moment each box is shown.
extern TextString Caption;

// The caption until the command line or the script's NAME gives another, as
// ANSI text in the Japanese code page.
extern const char* const DefaultCaption;

// Caption in UTF-8, as the boxes show it (the default one right under any
// code page).
TextString CaptionUtf8();

// ANSI text (null for none) in UTF-8, as boxes and the log take it.
TextString ToUtf8(const char* ansi);

// Typed forms, so that the arguments always match the catalogue's
// placeholders. Arguments are ANSI text and reach the report only through
// those placeholders, never as a format.
void ShowError(MessageId id);
void ShowError(MessageId id, const char* first);
void ShowError(MessageId id, const char* first, const char* second);
void ShowError(MessageId id, const char* path, uint32_t value);

// Shows ANSI `text` in a modal box, Caption as its title and `style`,
// owned by the progress window while it is open (else by no window); gives
// the button pressed, or 0 when no box could be shown. Where
// the run answers its boxes itself (unattended), none is shown and
// `unattendedAnswer` is the answer.
int ShowBox(const char* text, uint32_t style, int unattendedAnswer);
// The same with the catalogue's text `id`.
int ShowCatalogueBox(MessageId id, uint32_t style, int unattendedAnswer);
