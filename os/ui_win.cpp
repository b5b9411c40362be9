// The Windows half of os/ui.h: message boxes, the catalogue's texts, the
// user's language, and the progress window of a run with PROGRESS=1, a line that says what is being
// done, a bar for the current file, one for the run and a Cancel button.
// The process becomes DPI-aware only when the window opens, so that runs
// without it draw their boxes exactly as before.
#include "os/ui_win.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "os/common_win.h"
#include "os/ui.h"

namespace {

constexpr wchar_t ClassName[] = L"UpdaterProgress";
// The bars are the program's own: under Wine, loading the common controls
// for theirs costs a run about 30 ms of processor time, as much as making
// the window.
constexpr wchar_t BarClassName[] = L"UpdaterBar";
constexpr int TextId = 100, FileBarId = 101, RunBarId = 102, CancelId = IDCANCEL;
constexpr int BarRange = 1000;
// Room for a catalogue text in UTF-16: as much as the program's message area
// (TextString::MessageAreaSize) holds in UTF-8.
constexpr int CatalogueTextSize = 256;
// Ten times a second: smooth enough for a bar and a line that no one reads
// faster, while drawing more often costs a run of small files a share of
// the machine that it needs (a tick redraws the text and the file's bar).
constexpr UINT RefreshMs = 100;
// Sent by the run to the window: draw what is to be shown now / go.
constexpr UINT RefreshNow = WM_APP, CloseNow = WM_APP + 1;
// How long the run waits for the window to open, or to go, where it must:
// the window's thread only draws, so it is never held up for long.
constexpr DWORD ThreadWaitMs = 5000;

// The window lives on a thread of its own, which draws what the run asks
// for on a timer and handles the window's messages. The run only writes
// what is to be shown here, under the lock: it never waits for the window
// to open or to be drawn, however busy the machine.
struct Shown {
  wchar_t text[MAX_PATH + 64] = {};
  bool textChanged = false;
  int filePosition = 0;
  int runPosition = 0;
};
struct Window {
  HANDLE thread = nullptr;
  HANDLE ready = nullptr;  // set once the window is made, or could not be
  HWND handle = nullptr;   // written by the window's thread before `ready`
  wchar_t* caption = nullptr;
  wchar_t* cancel = nullptr;
  CRITICAL_SECTION lock;
  Shown shown;
  volatile LONG cancelPressed = 0;
};
Window g_window;

// The window's own thread's view: what it drew last.
struct Drawn {
  HFONT font = nullptr;
  int filePosition = -1, runPosition = -1;
};

// A bar's position, 0 to BarRange, is kept in its window's extra bytes.
void SetBar(HWND bar, int position) {
  if (!bar) return;
  SetWindowLongPtrW(bar, 0, std::min(std::max(position, 0), BarRange));
  InvalidateRect(bar, nullptr, FALSE);
}

// A sunken trough filled from the left in the selection colour, as the
// system draws a smooth progress bar; painted whole, so never erased first.
LRESULT CALLBACK BarProc(HWND bar, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(bar, &paint);
      if (!dc) return 0;
      RECT inside;
      GetClientRect(bar, &inside);
      DrawEdge(dc, &inside, BDR_SUNKENOUTER, BF_RECT | BF_ADJUST);
      const LONG_PTR position = GetWindowLongPtrW(bar, 0);
      RECT done = inside, rest = inside;
      done.right = rest.left =
          inside.left + static_cast<LONG>((inside.right - inside.left) * position / BarRange);
      FillRect(dc, &done, GetSysColorBrush(COLOR_HIGHLIGHT));
      FillRect(dc, &rest, GetSysColorBrush(COLOR_BTNFACE));
      EndPaint(bar, &paint);
      return 0;
    }
  }
  return DefWindowProcW(bar, message, wParam, lParam);
}

// Draws what changed since the last time, and paints it at once when `now`.
// On the window's thread.
void Draw(HWND window, Drawn& drawn, bool now) {
  Shown shown;
  EnterCriticalSection(&g_window.lock);
  shown = g_window.shown;
  g_window.shown.textChanged = false;
  LeaveCriticalSection(&g_window.lock);
  if (shown.textChanged) SetDlgItemTextW(window, TextId, shown.text);
  if (drawn.filePosition != shown.filePosition)
    SetBar(GetDlgItem(window, FileBarId), shown.filePosition);
  if (drawn.runPosition != shown.runPosition)
    SetBar(GetDlgItem(window, RunBarId), shown.runPosition);
  drawn.filePosition = shown.filePosition;
  drawn.runPosition = shown.runPosition;
  if (now) UpdateWindow(window);  // painted before the run asks or waits
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Drawn* drawn = reinterpret_cast<Drawn*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wParam) == CancelId) InterlockedExchange(&g_window.cancelPressed, 1);
      return 0;
    case WM_CLOSE:  // the close box asks as Cancel does
      InterlockedExchange(&g_window.cancelPressed, 1);
      return 0;
    case WM_TIMER:
    case RefreshNow:
      if (drawn) Draw(window, *drawn, message == RefreshNow);
      return 0;
    case CloseNow:
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

int Position(uint64_t done, uint64_t total) {
  return total ? static_cast<int>(done * BarRange / total) : 0;
}

HWND Child(HWND parent, HFONT font, const wchar_t* className, const wchar_t* text, DWORD style,
           int id, int x, int y, int width, int height) {
  HWND child = CreateWindowExW(0, className, text, WS_CHILD | WS_VISIBLE | style, x, y, width,
                               height, parent,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr,
                               nullptr);
  if (child && font) SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return child;
}

// A window class of the program's, registered once for all windows.
bool Registered(const WNDCLASSW& windowClass) {
  return RegisterClassW(&windowClass) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

// Makes the window (sized by the message font's height, so that a scaled
// screen gets a larger window); null where it cannot be made.
HWND MakeWindow(Drawn& drawn) {
  using DpiAwareFunction = BOOL(WINAPI*)();
  if (auto dpiAware = os::ModuleFunction<DpiAwareFunction>(GetModuleHandleW(L"user32.dll"),
                                                       "SetProcessDPIAware"))
    dpiAware();
  // Nothing in the window takes typed text, so its thread needs no input
  // method window of its own (under Wine, making and activating that one
  // costs a run about 20 ms of processor time). Only where the system has
  // the input method library loaded already; before the thread's first window.
  using DisableImeFunction = BOOL(WINAPI*)(DWORD);
  if (HMODULE ime = GetModuleHandleW(L"imm32.dll"))
    if (auto disableIme = os::ModuleFunction<DisableImeFunction>(ime, "ImmDisableIME"))
      disableIme(0);  // this thread only
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = ClassName;
  WNDCLASSW barClass = {};
  barClass.lpfnWndProc = BarProc;
  barClass.cbWndExtra = sizeof(LONG_PTR);
  barClass.hInstance = windowClass.hInstance;
  barClass.hCursor = windowClass.hCursor;
  barClass.lpszClassName = BarClassName;
  if (!Registered(windowClass) || !Registered(barClass)) return nullptr;

  NONCLIENTMETRICSW metrics = {};
  metrics.cbSize = sizeof metrics;
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
    drawn.font = CreateFontIndirectW(&metrics.lfMessageFont);
  int unit = 16;
  if (HDC screen = GetDC(nullptr)) {
    HGDIOBJ old = drawn.font ? SelectObject(screen, drawn.font) : nullptr;
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
  HWND window = CreateWindowExW(
      WS_EX_DLGMODALFRAME, ClassName, g_window.caption, style,
      (GetSystemMetrics(SM_CXSCREEN) - frameWidth) / 2,
      (GetSystemMetrics(SM_CYSCREEN) - frameHeight) / 2, frameWidth, frameHeight, nullptr,
      nullptr, windowClass.hInstance, nullptr);
  if (!window) return nullptr;
  int y = margin;
  Child(window, drawn.font, L"Static", L"", SS_LEFTNOWORDWRAP | SS_NOPREFIX, TextId, margin, y,
        width, line);
  y += line;
  for (int id : {FileBarId, RunBarId}) {
    Child(window, nullptr, BarClassName, L"", 0, id, margin, y, width, bar);
    y += bar + (id == FileBarId ? margin / 2 : margin);
  }
  Child(window, drawn.font, L"Button", g_window.cancel, WS_TABSTOP | BS_DEFPUSHBUTTON, CancelId,
        margin + width - buttonWidth, y, buttonWidth, buttonHeight);
  SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&drawn));
  Draw(window, drawn, true);
  ShowWindow(window, SW_SHOWNORMAL);
  UpdateWindow(window);
  SetTimer(window, 1, RefreshMs, nullptr);
  return window;
}

// The window's thread: makes the window, says so, and handles its messages
// until the run closes it.
DWORD WINAPI WindowThread(void*) {
  Drawn drawn;
  g_window.handle = MakeWindow(drawn);
  SetEvent(g_window.ready);
  MSG message;
  while (g_window.handle && GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (IsDialogMessageW(g_window.handle, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  if (drawn.font) DeleteObject(drawn.font);
  return 0;
}

// The window's handle once it is made, waiting for that at most `wait`
// milliseconds; null while it is not (yet).
HWND MadeWindow(DWORD wait = 0) {
  return g_window.ready && WaitForSingleObject(g_window.ready, wait) == WAIT_OBJECT_0
             ? g_window.handle
             : nullptr;
}

}  // namespace

namespace progress {

void DrawNow() {
  if (HWND window = MadeWindow()) SendMessageW(window, RefreshNow, 0, 0);
}

DWORD DrawThenWait(HANDLE handle, DWORD milliseconds) {
  DrawNow();  // what the window says while the run waits
  if (handle) return WaitForSingleObject(handle, milliseconds);
  Sleep(milliseconds);
  return WAIT_TIMEOUT;
}

}  // namespace progress

namespace os {

bool OpenProgress(const char* utf8Caption, const char* utf8Cancel) {
  if (g_window.thread) return true;
  WideText caption(utf8Caption, CP_UTF8), cancel(utf8Cancel, CP_UTF8);
  if (!caption.Valid() || !cancel.Valid()) return Failed(false);
  g_window.ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!g_window.ready) return Failed(false);
  InitializeCriticalSection(&g_window.lock);
  g_window.caption = caption.Release();
  g_window.cancel = cancel.Release();
  g_window.thread = CreateThread(nullptr, 0, WindowThread, nullptr, 0, nullptr);
  if (!g_window.thread) {
    DWORD error = GetLastError();
    CloseProgress();
    return FailedWith(error, false);
  }
  return true;
}

void CloseProgress() {
  if (g_window.thread) {
    // The window may still be being made: it is closed once it is.
    if (WaitForSingleObject(g_window.ready, ThreadWaitMs) == WAIT_OBJECT_0 && g_window.handle)
      PostMessageW(g_window.handle, CloseNow, 0, 0);
    WaitForSingleObject(g_window.thread, ThreadWaitMs);
    CloseHandle(g_window.thread);
  }
  if (g_window.ready) {
    CloseHandle(g_window.ready);
    DeleteCriticalSection(&g_window.lock);
  }
  FreeWide(g_window.caption);
  FreeWide(g_window.cancel);
  g_window.thread = g_window.ready = nullptr;
  g_window.handle = nullptr;
  g_window.caption = g_window.cancel = nullptr;
  g_window.shown = Shown();
  g_window.cancelPressed = 0;
}

void ShowProgressText(const char* utf8Text) {
  if (!g_window.thread) return;
  WideText text(utf8Text, CP_UTF8);
  const size_t room = sizeof g_window.shown.text / sizeof g_window.shown.text[0];
  EnterCriticalSection(&g_window.lock);
  wcsncpy(g_window.shown.text, text.Text(), room - 1);
  g_window.shown.text[room - 1] = L'\0';
  g_window.shown.textChanged = true;
  g_window.shown.filePosition = 0;
  LeaveCriticalSection(&g_window.lock);
}

void ShowRunProgress(uint32_t done, uint32_t total) {
  if (!g_window.thread) return;
  EnterCriticalSection(&g_window.lock);
  g_window.shown.runPosition = Position(done, total);
  LeaveCriticalSection(&g_window.lock);
}

void ShowFileProgress(void*, uint64_t done, uint64_t total) {
  if (!g_window.thread) return;
  EnterCriticalSection(&g_window.lock);
  g_window.shown.filePosition = Position(done, total);
  LeaveCriticalSection(&g_window.lock);
}

bool TakeCancelPress() {
  return g_window.thread && InterlockedExchange(&g_window.cancelPressed, 0) != 0;
}

int MessageBoxUtf8(const char* text, const char* caption, uint32_t style) {
  WideText wideText(text, CP_UTF8);
  WideText wideCaption(caption, CP_UTF8);
  // A box is owned by the window, which says what the run stopped at.
  HWND owner = MadeWindow(ThreadWaitMs);
  progress::DrawNow();
  int pressed = MessageBoxW(owner, wideText.Text(), wideCaption.Text(), style);
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
