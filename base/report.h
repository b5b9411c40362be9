// Error reports and the boxes of the run.
//
// Every failure the program detects is shown at once in one modal box with
// the error icon, the current Caption as its title and a numbered catalogue
// text filled in with the failure's particulars. The caller then returns its
// own failure value; nobody above it reports again.
#pragma once

#include <cstdint>

#include "base/text_string.h"

// Ids of the message catalogue (res/messages.inc holds the texts).
enum MessageId : unsigned {
  MsgFileNotFound = 1,      // file path
  MsgBadScriptFormat = 2,   // section, key
  MsgOutOfMemory = 3,       // object name
  MsgBadItemCount = 4,      // section, key
  MsgPathFailed = 5,        // file path (no failure path reports it)
  MsgBadSymbol = 6,         // the offending word
  MsgCopyFailed = 8,        // source, target
  MsgLaunchFailed = 9,      // program, parameters
  MsgDeleteFailed = 10,     // file path
  MsgBadProcCount = 11,     // none
  MsgAttributesFailed = 12, // file path, attribute value
  MsgMakeDirFailed = 13,    // directory path
  MsgPutBackFailed = 14,    // file path, the kept file that holds its old content
  MsgJournalFailed = 15,    // the journal's path
  MsgRunInProgress = 16,    // the script's path
  MsgJournalUnreadable = 30,  // a journal this version cannot read: its path
  // The progress window's question before a Cancel ends the run (none),
  // without and with ROLLBACK=1, its button, and what each step does (the
  // file's name, where the text has a place for it).
  MsgCancelKeeps = 17,
  MsgCancelUndoes = 18,
  TextCancelButton = 20,
  TextCopying = 21,
  TextDeleting = 22,
  TextSettingAttributes = 23,
  TextMakingDirectory = 24,
  TextMakingShortcut = 25,
  TextStarting = 26,
  TextWaiting = 27,
  TextChecking = 28,
  TextChecksumming = 29,
};

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

// Shows ANSI `text` in a modal box with no owner, Caption as its title and
// `style`; gives the button pressed, or 0 when no box could be shown. Where
// the run answers its boxes itself (unattended), none is shown and
// `unattendedAnswer` is the answer.
int ShowBox(const char* text, uint32_t style, int unattendedAnswer);
// The same with the catalogue's text `id`.
int ShowCatalogueBox(MessageId id, uint32_t style, int unattendedAnswer);
