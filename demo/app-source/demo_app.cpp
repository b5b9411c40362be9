// The demo's tiny application: a window that says which version runs, and
// ends by itself after a while (15 seconds, or as many as its command line
// gives). The demo installs version 1, starts it,
// and updates it to version 2 while it runs. Built twice, with
// DEMO_APP_VERSION 1 and 2.
#include <windows.h>

#include <cstdlib>

#ifndef DEMO_APP_VERSION
#define DEMO_APP_VERSION 1
#endif
#define DEMO_WIDE2(x) L## #x
#define DEMO_WIDE(x) DEMO_WIDE2(x)

namespace {

const wchar_t kText[] = L"デモ アプリ " DEMO_WIDE(DEMO_APP_VERSION) L".0 が動いています";
const UINT kLifetimeMs = 15000;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      RECT area;
      GetClientRect(window, &area);
      DrawTextW(dc, kText, -1, &area, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_TIMER:
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int show) {
  int seconds = _wtoi(commandLine);
  UINT lifetime = seconds > 0 && seconds < 600 ? seconds * 1000 : kLifetimeMs;
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = L"UpdaterDemoApp";
  if (!RegisterClassW(&windowClass)) return 1;
  HWND window = CreateWindowW(L"UpdaterDemoApp", kText, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                              CW_USEDEFAULT, 360, 120, nullptr, nullptr, instance, nullptr);
  if (!window) return 1;
  ShowWindow(window, show);
  SetTimer(window, 1, lifetime, nullptr);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
