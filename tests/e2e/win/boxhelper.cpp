// boxhelper: starts a program, reads every message box it shows, answers it
// and records what it saw, the Updater's progress window too. The
// end-to-end tests and the headless demo drive the Updater through it.
//
//   boxhelper [--report FILE] [--answers A,B,...] [--timeout SECONDS] [--print]
//             [--shots DIR] [--end-started] [--cancel-progress TEXT]
//             [--boxes-only] PROGRAM
//
// The argument text for PROGRAM comes raw from the environment variable
// BOXHELPER_ARGS, so that its quotes reach the program untouched. PROGRAM
// and whatever it starts run in one job, which the timeout ends; with
// --end-started, whatever PROGRAM started and left running ends with it too.
//
// A message box is a dialog with the message text, an icon at most and
// message-box buttons; any other dialog or window of the program is none of
// the helper's business. The progress window (class UpdaterProgress) is
// recorded each time it shows a new step text while no box of the run is on
// the screen: its caption, the text, how many bars it has and its buttons'
// texts. With --cancel-progress, its Cancel is pressed once, at the first
// such step whose text holds TEXT. With --boxes-only it is not read at all,
// so that a benchmark times the program without a reader at its window.
//
// Report (UTF-8, one record a line, fields separated by tabs, with \, tab,
// CR and LF escaped as \\, \t, \r, \n):
//   BOX  caption text icon buttons default pressed picture
//   PROGRESS caption text bars buttons pressed picture
//        (buttons: their texts, left to right, separated by LF; pressed:
//        "Cancel" or empty)
//   WARN message
//   UNANSWERED message  (a box without the asked-for button, one that
//                        would not close, or a progress window without
//                        Cancel to press)
//   EXIT code | TIMEOUT | ERROR message
//
// With --shots, each box is saved as it looks on the screen, once fully
// painted and before it is answered, as DIR\box-N.png (N counts the boxes
// from 1), and each view of the progress window as DIR\progress-N.png (N
// counts the views), before Cancel is pressed in it; the record's picture
// field holds that path, and is empty without --shots or when the picture
// could not be taken (a WARN says why).
//
// Exit code: 0 when the program ended by itself, 3 on timeout, 2 when the
// program could not be started or the command line was wrong.
#include <windows.h>
#include <gdiplus.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

namespace {

const wchar_t kArgsVariable[] = L"BOXHELPER_ARGS";
const wchar_t kDialogClass[] = L"#32770";
const wchar_t kProgressClass[] = L"UpdaterProgress";
const wchar_t kBarClass[] = L"UpdaterBar";
// Control ids of the parts of a message box.
const int kTextId = 0xFFFF;
const int kIconId = 1088;
// The progress window's step text.
const int kStepTextId = 100;
// One poll step; every wait below is a bounded number of these.
const DWORD kStepMs = 10;
// How long a box may take to go away after it was answered, and how long its
// icon may take to be painted.
const DWORD kCloseWaitMs = 10000;
const DWORD kIconWaitMs = 3000;
// How long a box may take to stop changing on the screen before its picture
// is taken as it is, and the pause between two looks.
const DWORD kPaintWaitMs = 3000;
const DWORD kPaintStepMs = 50;

struct ButtonName {
  int id;
  const wchar_t* name;
};

const ButtonName kButtons[] = {
#define BOX_BUTTON(id, name) {id, L"" name},
#include "box_buttons.inc"
#undef BOX_BUTTON
};

const wchar_t* ButtonNameOf(int id) {
  for (const ButtonName& b : kButtons)
    if (b.id == id) return b.name;
  return nullptr;
}

struct Options {
  std::wstring program;
  std::wstring report;
  std::vector<std::wstring> answers;
  DWORD timeoutMs = 20000;
  bool print = false;
  bool endStarted = false;  // end the job when the program ends
  std::wstring shots;  // folder for the boxes' pictures; empty: none
  std::wstring cancelAt;  // a part of the step text at which to press Cancel
  bool boxesOnly = false;  // the progress window is not read
};

struct Button {
  int id;
  HWND hwnd;
  int left;
};

void SortLeftToRight(std::vector<Button>* buttons) {
  std::stable_sort(buttons->begin(), buttons->end(),
                   [](const Button& a, const Button& b) { return a.left < b.left; });
}

struct Box {
  std::wstring caption, text, icon;
  std::vector<Button> buttons;  // left to right, as the user sees them
  int defaultId = 0;
};

struct ProgressView {
  std::wstring caption, text;
  int bars = 0;
  std::vector<std::wstring> buttons;  // their texts, left to right
  HWND cancel = nullptr;
};

std::string ToUtf8(const std::wstring& w) {
  if (w.empty()) return std::string();
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), nullptr, 0,
                              nullptr, nullptr);
  std::string s(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), &s[0], n, nullptr,
                      nullptr);
  return s;
}

std::wstring Escape(const std::wstring& s) {
  std::wstring out;
  for (wchar_t c : s) {
    switch (c) {
      case L'\\': out += L"\\\\"; break;
      case L'\t': out += L"\\t"; break;
      case L'\n': out += L"\\n"; break;
      case L'\r': out += L"\\r"; break;
      default: out += c;
    }
  }
  return out;
}

ULONGLONG Now() { return GetTickCount64(); }

// Writes records as they happen, so a crash or a kill still leaves what was
// seen up to then.
class Report {
 public:
  bool Open(const std::wstring& path) {
    if (path.empty()) return true;
    file_ = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    return file_ != INVALID_HANDLE_VALUE;
  }
  ~Report() {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
  }
  void Record(const std::vector<std::wstring>& fields) {
    if (file_ == INVALID_HANDLE_VALUE) return;
    std::wstring line;
    for (size_t i = 0; i < fields.size(); ++i) {
      if (i) line += L'\t';
      line += Escape(fields[i]);
    }
    line += L'\n';
    std::string bytes = ToUtf8(line);
    DWORD written = 0;
    WriteFile(file_, bytes.data(), (DWORD)bytes.size(), &written, nullptr);
  }

 private:
  HANDLE file_ = INVALID_HANDLE_VALUE;
};

// stdout is usually a pipe or a file, where WriteConsoleW does not work:
// plain UTF-8 bytes suit both the terminal and a log.
void Print(const std::wstring& text) {
  std::string bytes = ToUtf8(text);
  fwrite(bytes.data(), 1, bytes.size(), stdout);
  fflush(stdout);
}

// A text's later lines start under its first, after a label of 11.
std::wstring Indented(std::wstring text) {
  size_t pos = 0;
  while ((pos = text.find(L"\r\n", pos)) != std::wstring::npos) text.erase(pos, 1);
  for (pos = 0; (pos = text.find(L'\n', pos)) != std::wstring::npos; pos += 10)
    text.replace(pos, 1, L"\n         ");
  return text;
}

void PrintBox(int number, const Box& box, const std::wstring& pressed) {
  std::wstring out = L"[message box " + std::to_wstring(number) + L"]\n";
  out += L"  caption: " + box.caption + L"\n";
  out += L"  text:    " + Indented(box.text) + L"\n";
  out += L"  icon:    " + box.icon + L"\n";
  out += L"  buttons:";
  for (const Button& b : box.buttons) {
    out += L" [";
    out += ButtonNameOf(b.id);
    out += L"]";
    if (b.id == box.defaultId) out += L"(default)";
  }
  out += L"\n  pressed: " + pressed + L"\n";
  Print(out);
}

void PrintProgress(int number, const ProgressView& view, const std::wstring& pressed) {
  std::wstring out = L"[progress window " + std::to_wstring(number) + L"]\n";
  out += L"  caption: " + view.caption + L"\n";
  out += L"  text:    " + Indented(view.text) + L"\n";
  out += L"  bars:    " + std::to_wstring(view.bars) + L"\n";
  out += L"  buttons:";
  for (const std::wstring& text : view.buttons) out += L" [" + text + L"]";
  out += L"\n  pressed: " + pressed + L"\n";
  Print(out);
}

std::wstring WindowText(HWND hwnd) {
  std::vector<wchar_t> buf(65536);
  int n = GetWindowTextW(hwnd, buf.data(), (int)buf.size());
  return std::wstring(buf.data(), n > 0 ? n : 0);
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t cls[64] = L"";
  GetClassNameW(hwnd, cls, 64);
  return cls;
}

BOOL CALLBACK CollectChild(HWND child, LPARAM param) {
  std::vector<HWND>* list = reinterpret_cast<std::vector<HWND>*>(param);
  list->push_back(child);
  return TRUE;
}

// The window's own controls, without theirs.
std::vector<HWND> ControlsOf(HWND hwnd) {
  std::vector<HWND> all, own;
  EnumChildWindows(hwnd, CollectChild, reinterpret_cast<LPARAM>(&all));
  for (HWND child : all)
    if (GetParent(child) == hwnd) own.push_back(child);
  return own;
}

bool IsPushButton(HWND button) {
  LONG type = GetWindowLongW(button, GWL_STYLE) & BS_TYPEMASK;
  return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
}

// A dialog is a message box when it holds its text, at most an icon, and
// push buttons of message-box ids only, one of them showing: a dialog of the
// program's own with any other control, or without the text, is none.
bool IsMessageBox(HWND dialog) {
  int texts = 0, icons = 0, shown = 0;
  for (HWND child : ControlsOf(dialog)) {
    std::wstring cls = ClassOf(child);
    int id = GetDlgCtrlID(child) & 0xFFFF;
    if (_wcsicmp(cls.c_str(), L"Static") == 0 && id == kTextId) {
      ++texts;
    } else if (_wcsicmp(cls.c_str(), L"Static") == 0 && id == kIconId) {
      ++icons;
    } else if (_wcsicmp(cls.c_str(), L"Button") == 0 && ButtonNameOf(id) &&
               IsPushButton(child)) {
      if (IsWindowVisible(child)) ++shown;
    } else {
      return false;
    }
  }
  return texts == 1 && icons <= 1 && shown > 0;
}

// --- Icon recognition ------------------------------------------------------
// Icon handles do not cross processes, so the icon is recognised by its
// pixels: the control's screen area is compared with the standard icons drawn
// here on the same background.

struct Pixels {
  int width = 0, height = 0;
  std::vector<DWORD> data;  // 0x00RRGGBB, top-down
  DWORD At(int x, int y) const { return data[y * width + x] & 0xFFFFFF; }
};

// A top-down 32-bit DIB selected into a memory DC.
class Canvas {
 public:
  Canvas(int width, int height) : width_(width), height_(height) {
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    dc_ = CreateCompatibleDC(screen);
    ReleaseDC(nullptr, screen);
    bitmap_ = CreateDIBSection(dc_, &bi, DIB_RGB_COLORS, &bits_, nullptr, 0);
    if (bitmap_) old_ = SelectObject(dc_, bitmap_);
  }
  ~Canvas() {
    if (old_) SelectObject(dc_, old_);
    if (bitmap_) DeleteObject(bitmap_);
    if (dc_) DeleteDC(dc_);
  }
  bool Ok() const { return dc_ && bitmap_ && bits_; }
  HDC Dc() const { return dc_; }
  Pixels Take() const {
    GdiFlush();
    Pixels p;
    p.width = width_;
    p.height = height_;
    const DWORD* src = static_cast<const DWORD*>(bits_);
    p.data.assign(src, src + width_ * height_);
    return p;
  }

 private:
  int width_, height_;
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
  void* bits_ = nullptr;
};

bool CaptureScreen(const RECT& r, Pixels* out) {
  Canvas canvas(r.right - r.left, r.bottom - r.top);
  if (!canvas.Ok()) return false;
  HDC screen = GetDC(nullptr);
  BOOL ok = BitBlt(canvas.Dc(), 0, 0, r.right - r.left, r.bottom - r.top, screen,
                   r.left, r.top, SRCCOPY);
  ReleaseDC(nullptr, screen);
  if (!ok) return false;
  *out = canvas.Take();
  return true;
}

Pixels DrawStandardIcon(LPCWSTR which, int width, int height, DWORD background) {
  Canvas canvas(width, height);
  if (!canvas.Ok()) return Pixels();
  // COLORREF is 0x00BBGGRR, the DIB's pixels are 0x00RRGGBB.
  HBRUSH brush = CreateSolidBrush(RGB((background >> 16) & 0xFF,
                                      (background >> 8) & 0xFF, background & 0xFF));
  RECT all = {0, 0, width, height};
  FillRect(canvas.Dc(), &all, brush);
  DeleteObject(brush);
  DrawIconEx(canvas.Dc(), 0, 0, LoadIconW(nullptr, which), width, height, 0,
             nullptr, DI_NORMAL);
  return canvas.Take();
}

int ChannelDiff(DWORD a, DWORD b) {
  int d = 0;
  for (int shift = 0; shift < 24; shift += 8)
    d = std::max(d, std::abs((int)((a >> shift) & 0xFF) - (int)((b >> shift) & 0xFF)));
  return d;
}

// Pixels that differ noticeably; small differences from blending are fine.
int Mismatches(const Pixels& shot, int ox, int oy, const Pixels& icon) {
  int count = 0;
  for (int y = 0; y < icon.height; ++y)
    for (int x = 0; x < icon.width; ++x)
      if (ChannelDiff(shot.At(ox + x, oy + y), icon.At(x, y)) > 24) ++count;
  return count;
}

struct IconKind {
  LPCWSTR resource;
  const wchar_t* name;
};

const IconKind kIcons[] = {
    {IDI_HAND, L"error"},
    {IDI_ASTERISK, L"information"},
    {IDI_EXCLAMATION, L"warning"},
    {IDI_QUESTION, L"question"},
};

// Asks the control whether it holds an icon at all, then polls until the
// screen shows which one. Plain looks prove nothing: a box under load may be
// caught before its icon is painted.
std::wstring RecogniseIcon(HWND box, HANDLE process, ULONGLONG deadline) {
  HWND control = GetDlgItem(box, kIconId);
  if (!control || !IsWindowVisible(control)) return L"none";
  DWORD_PTR held = 0;
  if (!SendMessageTimeoutW(control, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, kIconWaitMs,
                           &held))
    return L"unknown";
  if (!held) return L"none";
  RECT client;
  GetClientRect(control, &client);
  int width = client.right, height = client.bottom;
  if (width <= 0 || height <= 0) return L"unknown";
  POINT origin = {0, 0};
  ClientToScreen(control, &origin);
  // A margin of dialog background around the control gives the colour that
  // the icon is drawn on.
  const int margin = 2;
  RECT area = {origin.x - margin, origin.y - margin, origin.x + width + margin,
               origin.y + height + margin};

  ULONGLONG until = std::min<ULONGLONG>(deadline, Now() + kIconWaitMs);
  for (;;) {
    Pixels shot;
    if (CaptureScreen(area, &shot)) {
      DWORD background = shot.At(0, 0);
      int best = -1, bestCount = 0;
      for (int i = 0; i < 4; ++i) {
        Pixels icon = DrawStandardIcon(kIcons[i].resource, width, height, background);
        if (icon.data.empty()) continue;
        int count = Mismatches(shot, margin, margin, icon);
        if (best < 0 || count < bestCount) best = i, bestCount = count;
      }
      if (best >= 0 && bestCount * 50 <= width * height) return kIcons[best].name;
    }
    if (Now() >= until) return L"unknown";
    if (WaitForSingleObject(process, kStepMs) == WAIT_OBJECT_0) return L"unknown";
  }
}

// --- Pictures --------------------------------------------------------------
// A box's picture is what the screen shows over its window rectangle: the
// frame and caption as the system draws them, and the controls as painted.
// (PrintWindow would not need the box on top, but Wine's gives a blank
// picture for another process's window.)

bool CaptureBox(HWND box, Pixels* out) {
  RECT r;
  if (!GetWindowRect(box, &r) || r.right <= r.left || r.bottom <= r.top) return false;
  return CaptureScreen(r, out);
}

// Looks until two looks in a row agree, so that no control is caught half
// painted; after kPaintWaitMs the last look is taken as it is.
bool CaptureSettled(HWND box, HANDLE process, ULONGLONG deadline, Pixels* out) {
  ULONGLONG until = std::min<ULONGLONG>(deadline, Now() + kPaintWaitMs);
  Pixels last;
  bool have = false;
  for (;;) {
    Pixels now;
    if (CaptureBox(box, &now)) {
      if (have && now.width == last.width && now.height == last.height &&
          now.data == last.data) {
        *out = now;
        return true;
      }
      last = now;
      have = true;
    }
    if (Now() >= until || WaitForSingleObject(process, kPaintStepMs) == WAIT_OBJECT_0) {
      if (have) *out = last;
      return have;
    }
  }
}

// GDI+ for the whole run: started once, shut down at the end.
class GdiplusSession {
 public:
  GdiplusSession() {
    Gdiplus::GdiplusStartupInput input;
    ok_ = Gdiplus::GdiplusStartup(&token_, &input, nullptr) == Gdiplus::Ok;
  }
  ~GdiplusSession() {
    if (ok_) Gdiplus::GdiplusShutdown(token_);
  }
  GdiplusSession(const GdiplusSession&) = delete;
  GdiplusSession& operator=(const GdiplusSession&) = delete;
  bool Ok() const { return ok_; }

 private:
  ULONG_PTR token_ = 0;
  bool ok_ = false;
};

struct ImageDisposer {
  void operator()(Gdiplus::GpBitmap* image) const {
    Gdiplus::DllExports::GdipDisposeImage(image);
  }
};
using BitmapHandle = std::unique_ptr<Gdiplus::GpBitmap, ImageDisposer>;

bool PngEncoder(CLSID* clsid) {
  UINT count = 0, bytes = 0;
  if (Gdiplus::DllExports::GdipGetImageEncodersSize(&count, &bytes) != Gdiplus::Ok ||
      count == 0)
    return false;
  // The codec records are followed by the strings they point to.
  std::vector<Gdiplus::ImageCodecInfo> codecs(
      (bytes + sizeof(Gdiplus::ImageCodecInfo) - 1) / sizeof(Gdiplus::ImageCodecInfo));
  if (Gdiplus::DllExports::GdipGetImageEncoders(count, bytes, codecs.data()) != Gdiplus::Ok)
    return false;
  for (UINT i = 0; i < count; ++i) {
    if (codecs[i].MimeType && wcscmp(codecs[i].MimeType, L"image/png") == 0) {
      *clsid = codecs[i].Clsid;
      return true;
    }
  }
  return false;
}

// Writes the pixels as a PNG through GDI+; "" on success, else why not.
std::wstring SavePng(const Pixels& pixels, const std::wstring& path) {
  CLSID png;
  if (!PngEncoder(&png)) return L"GDI+ has no PNG encoder";
  Gdiplus::GpBitmap* raw = nullptr;
  // GDI+ reads the pixels in place; they outlive the bitmap.
  BYTE* scan0 = reinterpret_cast<BYTE*>(const_cast<DWORD*>(pixels.data.data()));
  Gdiplus::Status status = Gdiplus::DllExports::GdipCreateBitmapFromScan0(
      pixels.width, pixels.height, pixels.width * 4, PixelFormat32bppRGB, scan0, &raw);
  BitmapHandle bitmap(raw);
  if (status != Gdiplus::Ok)
    return L"cannot make a bitmap (GDI+ status " + std::to_wstring(status) + L")";
  status = Gdiplus::DllExports::GdipSaveImageToFile(bitmap.get(), path.c_str(), &png, nullptr);
  if (status != Gdiplus::Ok)
    return L"cannot write " + path + L" (GDI+ status " + std::to_wstring(status) + L")";
  return std::wstring();
}

// --- Boxes -----------------------------------------------------------------

Box ReadBox(HWND hwnd, HANDLE process, ULONGLONG deadline) {
  Box box;
  box.caption = WindowText(hwnd);
  for (HWND child : ControlsOf(hwnd)) {
    int id = GetDlgCtrlID(child) & 0xFFFF;
    std::wstring cls = ClassOf(child);
    if (id == kTextId && _wcsicmp(cls.c_str(), L"Static") == 0) {
      box.text = WindowText(child);
    } else if (_wcsicmp(cls.c_str(), L"Button") == 0 && IsWindowVisible(child) &&
               ButtonNameOf(id)) {
      RECT r;
      GetWindowRect(child, &r);
      box.buttons.push_back(Button{id, child, r.left});
      if ((GetWindowLongW(child, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
        box.defaultId = id;
    }
  }
  SortLeftToRight(&box.buttons);
  box.icon = RecogniseIcon(hwnd, process, deadline);
  return box;
}

// --- The progress window ---------------------------------------------------

std::wstring StepText(HWND window) { return WindowText(GetDlgItem(window, kStepTextId)); }

ProgressView ReadProgress(HWND window) {
  ProgressView view;
  view.caption = WindowText(window);
  view.text = StepText(window);
  std::vector<Button> buttons;
  for (HWND child : ControlsOf(window)) {
    std::wstring cls = ClassOf(child);
    if (_wcsicmp(cls.c_str(), kBarClass) == 0) {
      ++view.bars;
    } else if (_wcsicmp(cls.c_str(), L"Button") == 0 && IsWindowVisible(child)) {
      RECT r;
      GetWindowRect(child, &r);
      buttons.push_back(Button{GetDlgCtrlID(child) & 0xFFFF, child, r.left});
    }
  }
  SortLeftToRight(&buttons);
  for (const Button& b : buttons) {
    view.buttons.push_back(WindowText(b.hwnd));
    if (b.id == IDCANCEL) view.cancel = b.hwnd;
  }
  return view;
}

// --- The run's windows -----------------------------------------------------

struct FindContext {
  DWORD pid;
  HANDLE job;
  const wchar_t* className;
  bool (*fits)(HWND);               // null: any window of the class
  const std::vector<HWND>* skipped;  // windows not to find again
  HWND found;
};

bool BelongsToRun(DWORD pid, const FindContext& ctx) {
  if (pid == ctx.pid) return true;
  if (!ctx.job) return false;
  // Programs that the program starts stay in its job. (Wine answers
  // IsProcessInJob only with the full query right.)
  HANDLE h = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pid);
  if (!h) return false;
  BOOL inJob = FALSE;
  bool result = IsProcessInJob(h, ctx.job, &inJob) && inJob;
  CloseHandle(h);
  return result;
}

BOOL CALLBACK FindRunWindow(HWND hwnd, LPARAM param) {
  FindContext* ctx = reinterpret_cast<FindContext*>(param);
  if (!IsWindowVisible(hwnd) || ClassOf(hwnd) != ctx->className) return TRUE;
  if (std::find(ctx->skipped->begin(), ctx->skipped->end(), hwnd) != ctx->skipped->end())
    return TRUE;
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (!BelongsToRun(pid, *ctx) || (ctx->fits && !ctx->fits(hwnd))) return TRUE;
  ctx->found = hwnd;
  return FALSE;
}

const Button* FindButton(const Box& box, int id) {
  for (const Button& b : box.buttons)
    if (b.id == id) return &b;
  return nullptr;
}

// The button for the queued answer: the default one when the queue is empty
// or says "default"; null when the box lacks the asked-for button.
const Button* ChooseButton(const Box& box, const std::wstring& answer) {
  if (answer.empty() || _wcsicmp(answer.c_str(), L"default") == 0) {
    if (const Button* b = FindButton(box, box.defaultId)) return b;
    return box.buttons.empty() ? nullptr : &box.buttons.front();
  }
  for (const ButtonName& n : kButtons)
    if (_wcsicmp(answer.c_str(), n.name) == 0) return FindButton(box, n.id);
  return nullptr;
}

bool WaitGone(HWND hwnd, HANDLE process, ULONGLONG deadline) {
  ULONGLONG until = std::min<ULONGLONG>(deadline, Now() + kCloseWaitMs);
  while (IsWindow(hwnd) && IsWindowVisible(hwnd)) {
    if (Now() >= until) return false;
    if (WaitForSingleObject(process, kStepMs) == WAIT_OBJECT_0) return true;
  }
  return true;
}

// --- The run -----------------------------------------------------------------

// One run of the program, and what the helper has seen and done in it.
struct Session {
  Session(const Options& o, Report& r, HANDLE program, DWORD programId, HANDLE programJob)
      : options(o), report(r), process(program), pid(programId), job(programJob),
        deadline(Now() + o.timeoutMs) {}

  const Options& options;
  Report& report;
  HANDLE process;
  DWORD pid;
  HANDLE job;
  ULONGLONG deadline;
  std::vector<HWND> stuck;  // boxes that would not close
  size_t nextAnswer = 0;
  int boxes = 0;
  HWND progress = nullptr;    // the progress window last seen
  std::wstring progressText;  // its step text last recorded
  int progressViews = 0;
  bool cancelPressed = false;
};

HWND FindWindowOfRun(const Session& run, const wchar_t* className, bool (*fits)(HWND)) {
  FindContext ctx = {run.pid, run.job, className, fits, &run.stuck, nullptr};
  EnumWindows(FindRunWindow, reinterpret_cast<LPARAM>(&ctx));
  return ctx.found;
}

HWND FindBox(const Session& run) { return FindWindowOfRun(run, kDialogClass, IsMessageBox); }

void Warn(Session& run, const wchar_t* kind, const std::wstring& warning) {
  run.report.Record({kind, warning});
  if (run.options.print) Print(L"warning: " + warning + L"\n");
}

// Saves the picture (null: none could be taken) as DIR\<what>-N.png and
// gives the path; "" when it cannot, with a warning.
std::wstring KeepPicture(Session& run, const Pixels* pixels, const std::wstring& what,
                         int number) {
  const std::wstring name = what + L"-" + std::to_wstring(number);
  const std::wstring path = run.options.shots + L"\\" + name + L".png";
  std::wstring why = pixels ? SavePng(*pixels, path) : L"cannot capture the window";
  if (why.empty()) return path;
  Warn(run, L"WARN", what + L" " + std::to_wstring(number) + L" has no picture: " + why);
  return std::wstring();
}

void AnswerBox(Session& run, HWND hwnd) {
  Box box = ReadBox(hwnd, run.process, run.deadline);
  const int number = run.boxes + 1;
  std::wstring picture;
  if (!run.options.shots.empty()) {
    Pixels pixels;
    bool captured = CaptureSettled(hwnd, run.process, run.deadline, &pixels);
    picture = KeepPicture(run, captured ? &pixels : nullptr, L"box", number);
  }
  const std::vector<std::wstring>& answers = run.options.answers;
  std::wstring answer = run.nextAnswer < answers.size() ? answers[run.nextAnswer] : L"";
  ++run.nextAnswer;
  const Button* button = ChooseButton(box, answer);
  if (!button) {
    // Answering anyway keeps the run going; the record shows the mismatch.
    Warn(run, L"UNANSWERED", L"box " + std::to_wstring(number) + L" has no button " + answer +
                                 L"; pressed the default");
    button = ChooseButton(box, L"");
  }
  std::wstring pressed = button ? ButtonNameOf(button->id) : L"";
  std::wstring buttons;
  for (const Button& b : box.buttons) {
    if (!buttons.empty()) buttons += L",";
    buttons += ButtonNameOf(b.id);
  }
  const wchar_t* defaultName = ButtonNameOf(box.defaultId);
  run.report.Record({L"BOX", box.caption, box.text, box.icon, buttons,
                     defaultName ? defaultName : L"", pressed, picture});
  run.boxes = number;
  if (run.options.print) PrintBox(number, box, pressed);

  if (button)
    PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(button->id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(button->hwnd));
  else
    PostMessageW(hwnd, WM_CLOSE, 0, 0);
  if (!WaitGone(hwnd, run.process, run.deadline) && Now() < run.deadline) {
    // A box that will not close is not answered twice; the overall timeout
    // ends the run.
    run.stuck.push_back(hwnd);
    run.report.Record({L"UNANSWERED", L"box " + std::to_wstring(number) + L" did not close"});
  }
}

// Presses Cancel, through the button as a click does, at the first step
// whose text holds the asked-for part; gives the button's name when it did.
std::wstring PressCancelIfAsked(Session& run, const ProgressView& view, int number) {
  const std::wstring& part = run.options.cancelAt;
  if (run.cancelPressed || part.empty() || view.text.find(part) == std::wstring::npos)
    return std::wstring();
  run.cancelPressed = true;
  if (!view.cancel) {
    Warn(run, L"UNANSWERED", L"progress " + std::to_wstring(number) + L" has no Cancel button");
    return std::wstring();
  }
  PostMessageW(view.cancel, BM_CLICK, 0, 0);
  return ButtonNameOf(IDCANCEL);
}

void WatchProgress(Session& run, HWND window) {
  if (window != run.progress) {
    run.progress = window;
    run.progressText.clear();
  }
  ProgressView view = ReadProgress(window);
  if (view.text.empty() || view.text == run.progressText) return;
  Pixels pixels;
  bool captured = false;
  if (!run.options.shots.empty()) {
    captured = CaptureSettled(window, run.process, run.deadline, &pixels);
    // The picture must show this step with no box over it; else the next
    // look takes the window again.
    if (FindBox(run) || StepText(window) != view.text) return;
  }
  run.progressText = view.text;
  const int number = ++run.progressViews;
  std::wstring picture;
  if (!run.options.shots.empty())
    picture = KeepPicture(run, captured ? &pixels : nullptr, L"progress", number);
  std::wstring pressed = PressCancelIfAsked(run, view, number);
  std::wstring buttons;
  for (const std::wstring& text : view.buttons) buttons += (buttons.empty() ? L"" : L"\n") + text;
  run.report.Record({L"PROGRESS", view.caption, view.text, std::to_wstring(view.bars), buttons,
                     pressed, picture});
  if (run.options.print) PrintProgress(number, view, pressed);
}

std::vector<std::wstring> SplitList(const std::wstring& s) {
  std::vector<std::wstring> items;
  size_t start = 0;
  for (;;) {
    size_t comma = s.find(L',', start);
    std::wstring item = s.substr(start, comma == std::wstring::npos ? std::wstring::npos
                                                                    : comma - start);
    size_t a = item.find_first_not_of(L' ');
    size_t b = item.find_last_not_of(L' ');
    items.push_back(a == std::wstring::npos ? std::wstring() : item.substr(a, b - a + 1));
    if (comma == std::wstring::npos) break;
    start = comma + 1;
  }
  return items;
}

bool ParseOptions(int argc, wchar_t** argv, Options* o) {
  for (int i = 1; i < argc; ++i) {
    std::wstring a = argv[i];
    bool hasValue = i + 1 < argc;
    if (a == L"--report" && hasValue) {
      o->report = argv[++i];
    } else if (a == L"--answers" && hasValue) {
      std::wstring list = argv[++i];
      if (!list.empty()) o->answers = SplitList(list);
    } else if (a == L"--timeout" && hasValue) {
      double seconds = _wtof(argv[++i]);
      if (seconds <= 0) return false;
      o->timeoutMs = (DWORD)(seconds * 1000);
    } else if (a == L"--print") {
      o->print = true;
    } else if (a == L"--end-started") {
      o->endStarted = true;
    } else if (a == L"--boxes-only") {
      o->boxesOnly = true;
    } else if (a == L"--shots" && hasValue) {
      o->shots = argv[++i];
      if (o->shots.empty()) return false;
    } else if (a == L"--cancel-progress" && hasValue) {
      o->cancelAt = argv[++i];
      if (o->cancelAt.empty()) return false;
    } else if (a.size() > 2 && a.compare(0, 2, L"--") == 0) {
      return false;
    } else if (o->program.empty()) {
      o->program = a;
    } else {
      return false;
    }
  }
  return !o->program.empty();
}

std::wstring ArgumentText() {
  DWORD n = GetEnvironmentVariableW(kArgsVariable, nullptr, 0);
  if (n == 0) return std::wstring();
  std::vector<wchar_t> buf(n);
  DWORD got = GetEnvironmentVariableW(kArgsVariable, buf.data(), n);
  return std::wstring(buf.data(), got < n ? got : 0);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Options options;
  if (!ParseOptions(argc, argv, &options)) {
    fputs("usage: boxhelper [--report FILE] [--answers A,B,...] [--timeout SECONDS]"
          " [--print] [--shots DIR] [--end-started]\n"
          "                 [--cancel-progress TEXT] PROGRAM\n"
          "  (argument text for PROGRAM in BOXHELPER_ARGS)\n",
          stderr);
    return 2;
  }
  Report report;
  if (!report.Open(options.report)) {
    fwprintf(stderr, L"boxhelper: cannot write %ls\n", options.report.c_str());
    return 2;
  }
  std::unique_ptr<GdiplusSession> gdiplus;
  if (!options.shots.empty()) {
    if (!CreateDirectoryW(options.shots.c_str(), nullptr) &&
        GetLastError() != ERROR_ALREADY_EXISTS) {
      fwprintf(stderr, L"boxhelper: cannot make %ls\n", options.shots.c_str());
      return 2;
    }
    gdiplus.reset(new GdiplusSession());
    if (!gdiplus->Ok()) {
      fputs("boxhelper: GDI+ does not start\n", stderr);
      return 2;
    }
  }

  std::wstring args = ArgumentText();
  std::wstring commandLine = L"\"" + options.program + L"\"";
  if (!args.empty()) commandLine += L" " + args;
  // The program gets the helper's environment but not its own arguments.
  SetEnvironmentVariableW(kArgsVariable, nullptr);

  HANDLE job = CreateJobObjectW(nullptr, nullptr);
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  std::vector<wchar_t> cmd(commandLine.begin(), commandLine.end());
  cmd.push_back(0);
  if (!CreateProcessW(options.program.c_str(), cmd.data(), nullptr, nullptr, FALSE,
                      CREATE_SUSPENDED, nullptr, nullptr, &si, &pi)) {
    DWORD error = GetLastError();
    std::wstring message = L"cannot start " + options.program + L" (error " +
                           std::to_wstring(error) + L")";
    report.Record({L"ERROR", message});
    fwprintf(stderr, L"boxhelper: %ls\n", message.c_str());
    return 2;
  }
  if (job && !AssignProcessToJobObject(job, pi.hProcess)) {
    CloseHandle(job);
    job = nullptr;
  }
  ResumeThread(pi.hThread);
  CloseHandle(pi.hThread);

  Session run(options, report, pi.hProcess, pi.dwProcessId, job);
  bool timedOut = false;
  for (;;) {
    if (WaitForSingleObject(pi.hProcess, kStepMs) == WAIT_OBJECT_0) break;
    if (Now() >= run.deadline) {
      timedOut = true;
      break;
    }
    if (HWND box = FindBox(run))
      AnswerBox(run, box);
    else if (HWND progress =
                 options.boxesOnly ? nullptr : FindWindowOfRun(run, kProgressClass, nullptr))
      WatchProgress(run, progress);
  }

  int result = 0;
  if (timedOut) {
    if (!job || !TerminateJobObject(job, 1)) TerminateProcess(pi.hProcess, 1);
    WaitForSingleObject(pi.hProcess, 5000);
    report.Record({L"TIMEOUT"});
    if (options.print) Print(L"timeout: the program was ended after " +
                             std::to_wstring(options.timeoutMs / 1000) + L" s\n");
    result = 3;
  } else {
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    report.Record({L"EXIT", std::to_wstring(code)});
    if (options.print) Print(L"exit code: " + std::to_wstring(code) + L"\n");
    if (options.endStarted && job) TerminateJobObject(job, 1);
  }
  CloseHandle(pi.hProcess);
  if (job) CloseHandle(job);
  return result;
}
