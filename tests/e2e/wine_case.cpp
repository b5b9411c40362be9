#include "wine_case.h"

#include <gtest/gtest.h>

#include <iconv.h>
#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "wine_env.h"

namespace fs = std::filesystem;

namespace e2e {

namespace {

std::string Replace(std::string s, char from, char to) {
  for (char& c : s)
    if (c == from) c = to;
  return s;
}

// The code pages a run can have: iconv's name for each, and the locale
// that gives it to Wine.
struct CodePage {
  int number;
  const char* iconvName;
  const char* locale;
};

const CodePage& CodePageOf(int number) {
  static const CodePage kCodePages[] = {{932, "CP932", "ja_JP.UTF-8"},
                                        {1252, "CP1252", "C.UTF-8"}};
  for (const CodePage& page : kCodePages)
    if (page.number == number) return page;
  throw std::invalid_argument("unsupported code page " + std::to_string(number));
}

std::string Unescape(const std::string& field) {
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '\\' || i + 1 == field.size()) {
      out += field[i];
      continue;
    }
    switch (field[++i]) {
      case 't': out += '\t'; break;
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      default: out += field[i];
    }
  }
  return out;
}

std::vector<std::string> Split(const std::string& s, char sep) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(s);
  while (std::getline(in, part, sep)) parts.push_back(part);
  if (!s.empty() && s.back() == sep) parts.push_back("");
  return parts;
}

// Reads boxhelper's report; false when it holds no final record.
bool ParseReport(const std::string& text, RunResult* result, std::string* error) {
  bool finished = false;
  for (const std::string& line : Split(text, '\n')) {
    if (line.empty()) continue;
    std::vector<std::string> f = Split(line, '\t');
    for (std::string& field : f) field = Unescape(field);
    if (f[0] == "BOX" && f.size() == 8) {
      Box box;
      box.caption = f[1];
      box.text = f[2];
      box.icon = f[3];
      if (!f[4].empty()) box.buttons = Split(f[4], ',');
      box.defaultButton = f[5];
      box.pressed = f[6];
      box.shot = f[7];  // a Windows path here; the caller maps it
      result->boxes.push_back(box);
    } else if (f[0] == "PROGRESS" && f.size() == 7) {
      ProgressSight sight;
      sight.caption = f[1];
      sight.text = f[2];
      sight.bars = std::stoi(f[3]);
      if (!f[4].empty()) sight.buttons = Split(f[4], '\n');
      sight.pressed = f[5];
      sight.shot = f[6];
      sight.boxesBefore = result->boxes.size();
      result->progress.push_back(sight);
    } else if ((f[0] == "WARN" || f[0] == "UNANSWERED") && f.size() == 2) {
      result->warnings.push_back(f[1]);
      if (f[0] == "UNANSWERED") ++result->unanswered;
    } else if (f[0] == "EXIT" && f.size() == 2) {
      result->exitCode = static_cast<int>(std::stoul(f[1]));
      finished = true;
    } else if (f[0] == "TIMEOUT") {
      result->timedOut = true;
      result->exitCode = -1;
      finished = true;
    } else if (f[0] == "ERROR") {
      *error = f.size() > 1 ? f[1] : "unknown error";
      return false;
    } else {
      *error = "unexpected report line: " + line;
      return false;
    }
  }
  if (!finished) *error = "the report has no final record";
  return finished;
}

// Converts `in` between two of iconv's encodings into *out; returns the
// offset of the first byte that does not convert (a truncated sequence at
// the end included), std::string::npos when all of them do.
size_t Convert(const std::string& in, const char* from, const char* to, std::string* out) {
  iconv_t cd = iconv_open(to, from);
  if (cd == (iconv_t)-1)
    throw std::runtime_error(std::string("iconv cannot convert ") + from + " to " + to);
  out->clear();
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  char buffer[4096];
  size_t failedAt = std::string::npos;
  while (srcLeft > 0) {
    char* dst = buffer;
    size_t dstLeft = sizeof buffer;
    size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    out->append(buffer, dst - buffer);
    if (r == (size_t)-1 && errno != E2BIG) {
      failedAt = in.size() - srcLeft;
      break;
    }
  }
  iconv_close(cd);
  return failedAt;
}

std::string Join(const std::vector<std::string>& items, const char* sep) {
  std::string out;
  for (size_t i = 0; i < items.size(); ++i) out += (i ? sep : "") + items[i];
  return out;
}

}  // namespace

std::string UnknownAnswer(const std::vector<std::string>& answers) {
  static const char* const kNames[] = {
#define BOX_BUTTON(id, name) name,
#include "win/box_buttons.inc"
#undef BOX_BUTTON
  };
  for (const std::string& given : answers) {
    size_t start = given.find_first_not_of(' ');
    std::string answer = start == std::string::npos
                             ? ""
                             : given.substr(start, given.find_last_not_of(' ') + 1 - start);
    bool known = answer.empty() || strcasecmp(answer.c_str(), "default") == 0;
    for (const char* name : kNames) known = known || strcasecmp(answer.c_str(), name) == 0;
    if (known) continue;
    std::string names;
    for (const char* name : kNames) names += std::string(name) + ", ";
    return "no button is called \"" + given + "\"; the answers are " + names +
           "default (in any letter case)";
  }
  return "";
}

std::vector<std::string> Texts(const RunResult& run) {
  std::vector<std::string> texts;
  for (const Box& box : run.boxes) texts.push_back(box.text);
  return texts;
}

std::vector<Shown> InOrder(const RunResult& run) {
  std::vector<Shown> shown;
  size_t view = 0;
  for (size_t box = 0; box <= run.boxes.size(); ++box) {
    for (; view < run.progress.size() && run.progress[view].boxesBefore <= box; ++view)
      shown.push_back({false, view});
    if (box < run.boxes.size()) shown.push_back({true, box});
  }
  return shown;
}

std::ostream& operator<<(std::ostream& os, const Box& box) {
  return os << "{caption \"" << box.caption << "\", text \"" << box.text << "\", icon "
            << box.icon << ", buttons " << Join(box.buttons, ",") << ", default "
            << box.defaultButton << ", pressed " << box.pressed << "}";
}

std::ostream& operator<<(std::ostream& os, const ProgressSight& sight) {
  return os << "{progress window \"" << sight.caption << "\", text \"" << sight.text << "\", "
            << sight.bars << " bar(s), buttons " << Join(sight.buttons, ",") << ", pressed "
            << sight.pressed << "}";
}

std::ostream& operator<<(std::ostream& os, const RunResult& result) {
  os << (result.timedOut ? std::string("timed out")
                         : "exit code " + std::to_string(result.exitCode))
     << ", " << result.boxes.size() << " box(es), " << result.progress.size()
     << " view(s) of the progress window";
  for (const Shown& shown : InOrder(result)) {
    os << "\n  ";
    if (shown.isBox) os << result.boxes[shown.index];
    else os << result.progress[shown.index];
  }
  for (const std::string& w : result.warnings) os << "\n  warning: " << w;
  return os;
}

std::string ToCodePage(const std::string& utf8, int codePage) {
  std::string out;
  size_t at = Convert(utf8, "UTF-8", CodePageOf(codePage).iconvName, &out);
  if (at != std::string::npos)
    throw std::runtime_error("cannot convert to code page " + std::to_string(codePage) +
                             " at byte " + std::to_string(at));
  return out;
}

std::string ScriptBytes(const std::string& utf8Text, int codePage) {
  std::string crlf;
  for (size_t i = 0; i < utf8Text.size(); ++i) {
    if (utf8Text[i] == '\n' && (i == 0 || utf8Text[i - 1] != '\r')) crlf += '\r';
    crlf += utf8Text[i];
  }
  return ToCodePage(crlf, codePage);
}

bool IsUtf8(const std::string& bytes) {
  std::string utf16;
  return Convert(bytes, "UTF-8", "UTF-16LE", &utf16) == std::string::npos;
}

size_t NotCodePageTextAt(const std::string& bytes, int codePage) {
  std::string utf8;
  return Convert(bytes, CodePageOf(codePage).iconvName, "UTF-8", &utf8);
}

WineCase::WineCase(const std::string& name) : name_(name) {
  if (name.empty() || name.find_first_of("/\\:*?\"<>| ") != std::string::npos)
    throw std::invalid_argument("bad case name: " + name);
  if (WinePrefix().empty()) throw std::runtime_error("the Wine environment is not set up");
  dir_ = WinePrefix() + "/drive_c/cases/" + name;
  fs::remove_all(dir_);
  fs::create_directories(dir_);
}

std::string WineCase::WinPath(const std::string& rel) const {
  std::string path = "C:\\cases\\" + name_;
  if (!rel.empty()) path += "\\" + Replace(rel, '/', '\\');
  return path;
}

std::string WineCase::UnixPath(const std::string& rel) const {
  return rel.empty() ? dir_ : dir_ + "/" + Replace(rel, '\\', '/');
}

void WineCase::Install(const std::string& from, const std::string& rel) {
  if (!fs::exists(from)) throw std::runtime_error(MissingBuildMessage(from));
  CopyIn(from, rel);
  program_ = rel;
}

void WineCase::InstallUpdater(const std::string& rel, const std::string& arch) {
  Install((arch.empty() ? BuildDir() : DistDir() + "/" + arch) + "/updater.exe", rel);
}

void WineCase::InstallTool(const std::string& tool, const std::string& rel) {
  Install(ToolsDir() + "/" + tool, rel.empty() ? tool : rel);
}

void WineCase::WriteScript(const std::string& utf8Text, const std::string& rel,
                           int codePage) {
  WriteFile(rel, ScriptBytes(utf8Text, codePage));
}

void WineCase::WriteFile(const std::string& rel, const std::string& bytes) {
  fs::path path = UnixPath(rel);
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), bytes.size());
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

void WineCase::CopyIn(const std::string& from, const std::string& rel) {
  fs::path to = UnixPath(rel);
  fs::create_directories(to.parent_path());
  fs::copy_file(from, to, fs::copy_options::overwrite_existing);
  fs::last_write_time(to, fs::last_write_time(from));
  fs::permissions(to, fs::status(from).permissions());
}

std::string WineCase::ReadFile(const std::string& rel) const {
  std::ifstream in(UnixPath(rel), std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + UnixPath(rel));
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

bool WineCase::Exists(const std::string& rel) const { return fs::exists(UnixPath(rel)); }

void WineCase::MakeDir(const std::string& rel) { fs::create_directories(UnixPath(rel)); }

RunResult WineCase::Run(const std::string& argumentText,
                        const std::vector<std::string>& answers, int codePage,
                        int timeoutSeconds) {
  if (program_.empty()) throw std::runtime_error("nothing installed to run in " + name_);
  return RunProgram(program_, argumentText, answers, codePage, timeoutSeconds);
}

RunResult WineCase::RunProgram(const std::string& rel, const std::string& argumentText,
                               const std::vector<std::string>& answers, int codePage,
                               int timeoutSeconds) {
  std::string unknown = UnknownAnswer(answers);
  if (!unknown.empty()) throw std::invalid_argument(unknown);
  if (!fs::exists(BoxHelperPath()))
    throw std::runtime_error(MissingBuildMessage(BoxHelperPath()));
  // Reports live beside the case folders, so that a case's own folder holds
  // only what the program made.
  std::string reportName = name_ + "-" + std::to_string(++runs_) + ".tsv";
  fs::path reportUnix = fs::path(WinePrefix()) / "drive_c" / "bench" / reportName;
  fs::create_directories(reportUnix.parent_path());
  fs::remove(reportUnix);

  std::vector<std::string> argv = {BoxHelperPath(), "--report",
                                   "C:\\bench\\" + reportName, "--timeout",
                                   std::to_string(timeoutSeconds)};
  // The pictures go in a folder of their own beside the report, emptied, so
  // that none is left from an earlier run.
  const std::string shotsName = name_ + "-" + std::to_string(runs_) + "-shots";
  const fs::path shotsUnix = reportUnix.parent_path() / shotsName;
  const std::string shotsWin = "C:\\bench\\" + shotsName;
  if (shots_) {
    fs::remove_all(shotsUnix);
    fs::create_directories(shotsUnix);
    argv.push_back("--shots");
    argv.push_back(shotsWin);
  }
  if (endStarted_) argv.push_back("--end-started");
  if (boxesOnly_) argv.push_back("--boxes-only");
  if (!cancelAt_.empty()) {
    argv.push_back("--cancel-progress");
    argv.push_back(cancelAt_);
  }
  if (!answers.empty()) {
    argv.push_back("--answers");
    argv.push_back(Join(answers, ","));
  }
  argv.push_back(WinPath(rel));
  std::vector<std::string> env = {std::string("LC_ALL=") + CodePageOf(codePage).locale,
                                  "BOXHELPER_ARGS=" + argumentText};
  if (!display_) env.push_back("DISPLAY");  // an entry without "=" removes it

  auto start = std::chrono::steady_clock::now();
  // boxhelper keeps its own time limit; this one only guards against Wine
  // itself hanging.
  CommandResult command = RunWine(argv, env, dir_, timeoutSeconds + 60);
  RunResult result;
  result.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  std::string report, error;
  std::ifstream in(reportUnix, std::ios::binary);
  if (in) {
    std::ostringstream bytes;
    bytes << in.rdbuf();
    report = bytes.str();
  }
  if (command.timedOut) error = "Wine did not end";
  else if (!in) error = "no report";
  if (!error.empty() || !ParseReport(report, &result, &error))
    throw std::runtime_error("run of " + WinPath(rel) + " failed: " + error + " (status " +
                             std::to_string(command.status) + ")\n" + command.output);
  auto mapShot = [&](std::string* shot) {
    if (shot->empty()) return;
    if (shot->compare(0, shotsWin.size() + 1, shotsWin + "\\") != 0)
      throw std::runtime_error("picture outside " + shotsWin + ": " + *shot);
    *shot = (shotsUnix / shot->substr(shotsWin.size() + 1)).string();
  };
  for (Box& box : result.boxes) mapShot(&box.shot);
  for (ProgressSight& sight : result.progress) mapShot(&sight.shot);
  // A program that hangs fails its case, whatever the case looks at after.
  bool expected = timeOutExpected_;
  timeOutExpected_ = false;
  if (result.timedOut && !expected && testing::UnitTest::GetInstance()->current_test_info())
    ADD_FAILURE() << WinPath(rel) << " did not end in " << timeoutSeconds << " s: " << result;
  return result;
}

std::future<CommandResult> StartInBackground(const WineCase& c, std::vector<std::string> argv,
                                             const std::string& rel) {
  std::string folder = c.UnixPath(rel);
  return std::async(std::launch::async,
                    [argv, folder] { return RunWine(argv, {}, folder, 120); });
}

bool WaitFor(const WineCase& c, const std::string& rel, bool present) {
  for (int i = 0; i < 600; ++i) {
    if (c.Exists(rel) == present) return true;
    usleep(50000);
  }
  return false;
}

}  // namespace e2e
