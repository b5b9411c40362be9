// boxprobe: an ANSI GUI program that shows the message boxes its command
// line asks for, so that the bench can be tried without the Updater.
//
// Words are taken in order:
//   caption=TEXT   caption of the boxes that follow
//   text=TEXT      text of the boxes that follow
//   show=FILE      text of the boxes that follow: the bytes of FILE
//   acp            text of the boxes that follow: "ACP <ANSI code page>"
//   exit=N         exit with N instead of the answers' code
//   hang           wait for ever
//   spawn=ARGS     run boxprobe again with argument text ARGS and wait for it
//   form           show a dialog that is no message box (a label, an edit box
//                  and OK) for a second; it ends by itself with 5, with 1 if
//                  its OK is pressed
//   STYLE+STYLE..  show a box; STYLE is one of ok okcancel yesno yesnocancel
//                  abortretryignore retrycancel error info warning question
//                  def2 def3
// Exit code: the answers' ids (and spawned probes' exit codes) as decimal
// digits in order, e.g. Yes then OK gives 61; 99 for a word it does not know.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Code page 932 bytes, so that the texts are the same whatever the source
// encoding: "試験の箱" and "日本語の本文です。\n二行目も表示します。".
const char kCaption[] = "\x8E\x8E\x8C\xB1\x82\xCC\x94\xA0";
const char kText[] =
    "\x93\xFA\x96\x7B\x8C\xEA\x82\xCC\x96\x7B\x95\xB6\x82\xC5\x82\xB7\x81\x42"
    "\n"
    "\x93\xF1\x8D\x73\x96\xDA\x82\xE0\x95\x5C\x8E\xA6\x82\xB5\x82\xDC\x82\xB7\x81\x42";

struct StyleWord {
  const char* word;
  UINT style;
};

const StyleWord kStyles[] = {
    {"ok", MB_OK},
    {"okcancel", MB_OKCANCEL},
    {"yesno", MB_YESNO},
    {"yesnocancel", MB_YESNOCANCEL},
    {"abortretryignore", MB_ABORTRETRYIGNORE},
    {"retrycancel", MB_RETRYCANCEL},
    {"error", MB_ICONERROR},
    {"info", MB_ICONINFORMATION},
    {"warning", MB_ICONWARNING},
    {"question", MB_ICONQUESTION},
    {"def2", MB_DEFBUTTON2},
    {"def3", MB_DEFBUTTON3},
};

bool ParseStyle(const std::string& styleWords, UINT* style) {
  *style = 0;
  size_t start = 0;
  for (;;) {
    size_t plus = styleWords.find('+', start);
    std::string word = styleWords.substr(start, plus == std::string::npos ? plus : plus - start);
    bool known = false;
    for (const StyleWord& s : kStyles) {
      if (word == s.word) {
        *style |= s.style;
        known = true;
      }
    }
    if (!known) return false;
    if (plus == std::string::npos) return true;
    start = plus + 1;
  }
}

bool StartsWith(const std::string& s, const char* prefix) {
  return s.compare(0, strlen(prefix), prefix) == 0;
}

bool ReadWholeFile(const std::string& path, std::string* out) {
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return false;
  char buf[4096];
  size_t n;
  out->clear();
  while ((n = fread(buf, 1, sizeof(buf), f)) > 0) out->append(buf, n);
  fclose(f);
  return true;
}

const int kFormId = 1;  // boxprobe.rc
const UINT_PTR kFormTimer = 1;
const UINT kFormMs = 1000;

INT_PTR CALLBACK FormProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      SetTimer(dialog, kFormTimer, kFormMs, nullptr);
      return TRUE;
    case WM_TIMER:
      EndDialog(dialog, 5);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) EndDialog(dialog, IDOK);
      return TRUE;
  }
  return FALSE;
}

int RunSelf(const std::string& args) {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string cmd = std::string("\"") + self + "\" " + args;
  STARTUPINFOA si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessA(self, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      &pi))
    return 98;
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return (int)code;
}

}  // namespace

int main(int argc, char** argv) {
  std::string caption = kCaption, text = kText;
  int code = 0;
  bool exitGiven = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    UINT style = 0;
    if (StartsWith(arg, "caption=")) {
      caption = arg.substr(8);
    } else if (StartsWith(arg, "text=")) {
      text = arg.substr(5);
    } else if (StartsWith(arg, "show=")) {
      if (!ReadWholeFile(arg.substr(5), &text)) return 97;
    } else if (arg == "acp") {
      text = "ACP " + std::to_string(GetACP());
    } else if (StartsWith(arg, "exit=")) {
      code = atoi(arg.c_str() + 5);
      exitGiven = true;
    } else if (arg == "hang") {
      for (;;) Sleep(INFINITE);
    } else if (StartsWith(arg, "spawn=")) {
      int child = RunSelf(arg.substr(6));
      if (!exitGiven) code = code * 10 + child;
    } else if (arg == "form") {
      INT_PTR answer = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kFormId),
                                       nullptr, FormProc, 0);
      if (!exitGiven) code = code * 10 + static_cast<int>(answer);
    } else if (ParseStyle(arg, &style)) {
      int answer = MessageBoxA(nullptr, text.c_str(), caption.c_str(), style);
      if (!exitGiven) code = code * 10 + answer;
    } else {
      return 99;
    }
  }
  return code;
}
