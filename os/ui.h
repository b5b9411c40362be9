// The OS seam: what the user sees. Message boxes, the progress window, the
// texts of the message catalogue and the user's language. See os/basics.h for the seam as a
// whole and for the reasons of failed calls.
#pragma once

#include <cstdint>

namespace os {

// Message box styles and answers, with the platform's values.
namespace box {
constexpr uint32_t Ok = 0x0;
constexpr uint32_t YesNo = 0x4;
constexpr uint32_t IconError = 0x10;
constexpr uint32_t IconQuestion = 0x20;
constexpr uint32_t IconWarning = 0x30;
constexpr uint32_t IconInformation = 0x40;
constexpr uint32_t DefaultButton2 = 0x100;
constexpr uint32_t ButtonsMask = 0xF;  // MB_TYPEMASK
constexpr uint32_t IconMask = 0xF0;    // MB_ICONMASK

constexpr int IdOk = 1;
constexpr int IdCancel = 2;
constexpr int IdYes = 6;
constexpr int IdNo = 7;
}  // namespace box

// A modal box owned by the progress window while it is open, else by no
// window (MessageBoxW after converting from UTF-8, which shows ANSI text
// exactly as MessageBoxA would). Gives the button
// pressed, or 0 when no box could be shown.
int MessageBoxUtf8(const char* text, const char* caption, uint32_t style);

// The text of catalogue message `id` in UTF-8, cut to fit `size` bytes and
// terminated (LoadStringW with the program's own module). Gives its length,
// 0 when the catalogue has no text for `id`. The catalogue is read as wide
// text so that it reaches the user exactly whatever the ANSI code page is.
int LoadMessageText(unsigned id, char* buffer, int size);

// The user's interface language as the system's language id
// (GetUserDefaultUILanguage): its low ten bits are the primary language,
// Japanese 0x11.
uint16_t UserUiLanguage();

// --- The progress window (PROGRESS=1) -----------------------------------------

// Opens the progress window, centred on the screen and titled `utf8Caption`:
// a line that says what is being done, a bar for the current file, one for
// the run, and a Cancel button labelled `utf8Cancel` (bars drawn by the
// program, of class UpdaterBar; the system's message font). The process becomes
// DPI-aware first (SetProcessDPIAware, where the system has it). The window
// lives on a thread of its own, which handles its messages and draws what
// the calls below ask for ten times a second, so that the run never
// waits for it: it is made while the run goes on, and a run that ends
// first waits for it to be made and closed. While it is open, boxes are
// owned by it. False when its thread cannot be started; where the window
// cannot be made, the run goes on without it.
bool OpenProgress(const char* utf8Caption, const char* utf8Cancel);
void CloseProgress();
// What is being done now (UTF-8); the file bar starts again from empty.
void ShowProgressText(const char* utf8Text);
// The run's bar: `done` of `total` steps.
void ShowRunProgress(uint32_t done, uint32_t total);
// The file bar: `done` of `total` bytes of the current file. Of the shape
// of a BytesDone (os/files.h), which the copy and checksum loops are given;
// `context` is not read.
void ShowFileProgress(void* context, uint64_t done, uint64_t total);
// True when Cancel (or the close box) was pressed since the last call.
bool TakeCancelPress();

}  // namespace os
