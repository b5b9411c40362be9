// The Windows half of os/ui.h: message boxes, the catalogue's texts, the
// user's language, and the progress window of a run with PROGRESS=1, a line that says what is being
// done, a bar for the current file, one for the run and a Cancel button.
// Common controls are loaded only when the window opens, and the process
// becomes DPI-aware only then, so that runs without it draw their boxes
// exactly as before.
#include "os/ui_win.h"

#include <commctrl.h>

#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "os/common_win.h"
#include "os/ui.h"

namespace {

constexpr wchar_t ClassName[] = L"UpdaterProgress";
constexpr int TextId = 100, FileBarId = 101, RunBarId = 102, CancelId = IDCANCEL;
constexpr int BarRange = 1000;
// Room for a catalogue text in UTF-16: as much as the program's message area
// (TextString::MessageAreaSize) holds in UTF-8.
constexpr int CatalogueTextSize = 256;
constexpr DWORD RefreshMs = 33;  // about 30 times a second
// A line no one can read 30 times a second, and the costliest to draw.
constexpr DWORD TextRefreshMs = 100;

// What the window shows is kept here and drawn at most every RefreshMs, so
// that a thousand small files cost no more than a few redraws.
struct Window {
  HWND handle = nullptr;
  HFONT font = nullptr;
  HMODULE controls = nullptr;
  bool cancelPressed = false;
  DWORD lastRefresh = 0;
  DWORD lastText = 0;
  wchar_t text[MAX_PATH + 64] = {};
  bool textChanged = false;
  int filePosition = 0, fileShown = -1;
  int runPosition = 0, runShown = -1;
};
Window g_window;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wParam) == CancelId) g_window.cancelPressed = true;
      return 0;
    case WM_CLOSE:  // the close box asks as Cancel does
      g_window.cancelPressed = true;
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

void HandleMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (g_window.handle && IsDialogMessageW(g_window.handle, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

int Position(uint64_t done, uint64_t total) {
  return total ? static_cast<int>(done * BarRange / total) : 0;
}

// Draws what changed and handles the waiting messages, unless the last
// time was less than RefreshMs ago (and `now` is false).
void Refresh(bool now) {
  if (!g_window.handle) return;
  DWORD tick = GetTickCount();
  if (!now && tick - g_window.lastRefresh < RefreshMs) return;
  g_window.lastRefresh = tick;
  if (g_window.textChanged && (now || tick - g_window.lastText >= TextRefreshMs)) {
    SetDlgItemTextW(g_window.handle, TextId, g_window.text);
    g_window.textChanged = false;
    g_window.lastText = tick;
  }
  if (g_window.fileShown != g_window.filePosition)
    SendDlgItemMessageW(g_window.handle, FileBarId, PBM_SETPOS, g_window.filePosition, 0);
  if (g_window.runShown != g_window.runPosition)
    SendDlgItemMessageW(g_window.handle, RunBarId, PBM_SETPOS, g_window.runPosition, 0);
  g_window.fileShown = g_window.filePosition;
  g_window.runShown = g_window.runPosition;
  HandleMessages();
}

HWND Child(const wchar_t* className, const wchar_t* text, DWORD style, int id, int x, int y,
           int width, int height) {
  HWND child = CreateWindowExW(0, className, text, WS_CHILD | WS_VISIBLE | style, x, y, width,
                               height, g_window.handle,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr,
                               nullptr);
  if (child && g_window.font)
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(g_window.font), FALSE);
  return child;
}

}  // namespace

namespace progress {

HWND Window() { return g_window.handle; }

void HandleWaitingMessages() { Refresh(true); }

DWORD WaitHandlingMessages(HANDLE handle, DWORD milliseconds) {
  DWORD count = handle ? 1 : 0;
  if (!g_window.handle) {
    if (handle) return WaitForSingleObject(handle, milliseconds);
    Sleep(milliseconds);
    return WAIT_TIMEOUT;
  }
  Refresh(true);  // what the window says while the run waits
  DWORD start = GetTickCount();
  for (;;) {
    DWORD spent = GetTickCount() - start;
    DWORD left = milliseconds == INFINITE ? INFINITE
                                          : milliseconds > spent ? milliseconds - spent : 0;
    DWORD woke = MsgWaitForMultipleObjects(count, &handle, FALSE, left, QS_ALLINPUT);
    if (woke != WAIT_OBJECT_0 + count) return woke;
    HandleMessages();
    if (left == 0) return WAIT_TIMEOUT;
  }
}

}  // namespace progress

namespace os {

namespace {

// The window could not be made: what was made of it goes, and the reason
// the system gave is kept.
bool NotOpened() {
  DWORD error = GetLastError();
  CloseProgress();
  return FailedWith(error, false);
}

}  // namespace

bool OpenProgress(const char* utf8Caption, const char* utf8Cancel) {
  if (g_window.handle) return true;
  using DpiAwareFunction = BOOL(WINAPI*)();
  if (auto dpiAware = ModuleFunction<DpiAwareFunction>(GetModuleHandleW(L"user32.dll"),
                                                       "SetProcessDPIAware"))
    dpiAware();
  g_window.controls = LoadLibraryW(L"comctl32.dll");
  using InitFunction = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  auto init = g_window.controls
                  ? ModuleFunction<InitFunction>(g_window.controls, "InitCommonControlsEx")
                  : nullptr;
  INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_PROGRESS_CLASS};
  if (!init || !init(&classes)) return NotOpened();
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = ClassName;
  RegisterClassW(&windowClass);

  NONCLIENTMETRICSW metrics = {};
  metrics.cbSize = sizeof metrics;
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
    g_window.font = CreateFontIndirectW(&metrics.lfMessageFont);
  // Sized by the font's height, so that a scaled screen gets a larger window.
  int unit = 16;
  if (HDC screen = GetDC(nullptr)) {
    HGDIOBJ old = g_window.font ? SelectObject(screen, g_window.font) : nullptr;
    TEXTMETRICW text;
    if (GetTextMetricsW(screen, &text)) unit = text.tmHeight;
    if (old) SelectObject(screen, old);
    ReleaseDC(nullptr, screen);
  }
  int margin = unit, width = unit * 26, line = unit + unit / 2, bar = unit;
  int buttonWidth = unit * 6, buttonHeight = unit * 2;
  int clientHeight = margin + line + bar + margin / 2 + bar + margin + buttonHeight + margin;
  RECT frame = {0, 0, width + 2 * margin, clientHeight};
  DWORD style = WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  AdjustWindowRectEx(&frame, style, FALSE, WS_EX_DLGMODALFRAME);
  int frameWidth = frame.right - frame.left, frameHeight = frame.bottom - frame.top;
  WideText caption(utf8Caption, CP_UTF8);
  g_window.handle = CreateWindowExW(
      WS_EX_DLGMODALFRAME, ClassName, caption.Text(), style,
      (GetSystemMetrics(SM_CXSCREEN) - frameWidth) / 2,
      (GetSystemMetrics(SM_CYSCREEN) - frameHeight) / 2, frameWidth, frameHeight, nullptr,
      nullptr, windowClass.hInstance, nullptr);
  if (!g_window.handle) return NotOpened();
  int y = margin;
  Child(WC_STATICW, L"", SS_LEFTNOWORDWRAP | SS_NOPREFIX, TextId, margin, y, width, line);
  y += line;
  for (int id : {FileBarId, RunBarId}) {
    if (HWND progressBar = Child(PROGRESS_CLASSW, L"", 0, id, margin, y, width, bar))
      SendMessageW(progressBar, PBM_SETRANGE32, 0, BarRange);
    y += bar + (id == FileBarId ? margin / 2 : margin);
  }
  WideText cancel(utf8Cancel, CP_UTF8);
  Child(WC_BUTTONW, cancel.Text(), WS_TABSTOP | BS_DEFPUSHBUTTON, CancelId,
        margin + width - buttonWidth, y, buttonWidth, buttonHeight);
  ShowWindow(g_window.handle, SW_SHOWNORMAL);
  UpdateWindow(g_window.handle);
  Refresh(true);
  return true;
}

void CloseProgress() {
  if (g_window.handle) DestroyWindow(g_window.handle);
  if (g_window.font) DeleteObject(g_window.font);
  HandleMessages();
  if (g_window.controls) FreeLibrary(g_window.controls);
  g_window = Window();
}

void ShowProgressText(const char* utf8Text) {
  if (!g_window.handle) return;
  WideText text(utf8Text, CP_UTF8);
  const size_t room = sizeof g_window.text / sizeof g_window.text[0];
  wcsncpy(g_window.text, text.Text(), room - 1);
  g_window.text[room - 1] = L'\0';
  g_window.textChanged = true;
  g_window.filePosition = 0;
  Refresh(false);
}

void ShowRunProgress(uint32_t done, uint32_t total) {
  g_window.runPosition = Position(done, total);
  Refresh(false);
}

void ShowFileProgress(void*, uint64_t done, uint64_t total) {
  g_window.filePosition = Position(done, total);
  Refresh(false);
}

bool TakeCancelPress() {
  if (!g_window.handle) return false;
  Refresh(false);
  bool pressed = g_window.cancelPressed;
  g_window.cancelPressed = false;
  return pressed;
}

int MessageBoxUtf8(const char* text, const char* caption, uint32_t style) {
  WideText wideText(text, CP_UTF8);
  WideText wideCaption(caption, CP_UTF8);
  int pressed = MessageBoxW(g_window.handle, wideText.Text(), wideCaption.Text(), style);
  return pressed ? pressed : Failed(pressed);
}

int LoadMessageText(unsigned id, char* buffer, int size) {
  if (size <= 0) return 0;
  buffer[0] = '\0';
  wchar_t wide[CatalogueTextSize] = {};
  if (LoadStringW(GetModuleHandleA(nullptr), id, wide, CatalogueTextSize) <= 0) return 0;
  OwnedText utf8;
  if (!WideToUtf8(wide, utf8)) return 0;
  // The catalogue's texts fit; cutting is only a bound.
  int length = static_cast<int>(strlen(utf8.Get()));
  if (length >= size) length = size - 1;
  memcpy(buffer, utf8.Get(), length);
  buffer[length] = '\0';
  return length;
}

uint16_t UserUiLanguage() { return GetUserDefaultUILanguage(); }

}  // namespace os
