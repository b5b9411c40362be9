// headless_run: runs a script folder under Wine with no one at the screen.
//
//   headless_run FOLDER [--answers No,OK] [--args "argument text"]
//                [--codepage 932|1252] [--timeout SECONDS] [--show-file NAME]
//                [--shots DIR] [--cancel-progress TEXT] [--win64]
//   headless_run --wine-road
//
// Copies FOLDER with updater.exe into a case folder of the Wine prefix: its
// updater.ini converted to the chosen code page when it is UTF-8, else as
// it ships, in that code page (a line says which); every other file as it
// is, with its last-write time and read-only flag, as DATE tests and COPY
// targets meet them. Then it runs the program and prints every message box
// it showed (caption, text, icon, buttons, default, the button pressed), each
// step its progress window showed (caption, text, bars, buttons), in the
// order seen, and the exit code. Boxes get the answers in order, then their default button;
// an answer whose button the box lacks is pressed as the default, with a
// warning. A run that has not ended after --timeout seconds (60) is ended.
// --show-file prints a file the run wrote in the folder (its log, say)
// afterwards. --shots saves a picture of each box as Wine draws it
// (DIR/box-N.png), and of the progress window at each step
// (DIR/progress-N.png), and writes DIR/index.html: them in order, each with
// its picture, caption, text, the button pressed and what came next.
// --cancel-progress presses Cancel in the progress window once, when its
// step text first holds TEXT (e.g. "プログラムの終了を待っています"); the
// question that follows is answered as any box.
//
// The prefix is the bench's (or WINEPREFIX), and programs already running
// in it are left alone, so that a program started there beforehand can be
// found running by an update; the run joins their wineserver. What the run
// starts ends with it: the program at the time limit, and what the program
// started and left running when the program ends. A wineserver it started
// ends by itself 30 s after the last program. (A prefix of its own per run
// would cost 25 s to make, or a copy of more than 1 GB.)
//
// Exit status: the program's exit code, as far as a status holds it (its
// low 8 bits: 0 stays 0, 1602 gives 66, 1603 67, 1618 82, 3010 194; the
// "--- exit code" line has it whole), unless the bench could not do as
// asked:
//   122  bad usage: an unknown option, a bad value (an answer that names no
//        button, say), a folder that is none, an updater.ini that is
//        neither UTF-8 nor text of the code page
//   123  a box it could not answer as asked: the box lacked the answer's
//        button (the default was pressed) or would not close
//   124  the program did not end within --timeout; it was ended
//   125  the bench failed: Wine cannot start or be made ready, a run gave
//        no report, a file could not be laid out
// The first that applies of 124, 123 and the program's code is taken.
//
// The build that runs is the one the Wine road takes (tests/e2e/wine_road.h):
// the 32-bit release where this host can start 32-bit programs, else the
// 64-bit build; --win64 forces the 64-bit road. --wine-road prints the road
// ("win32 LOADER" or "win64 LOADER") for the shell tools, and on stderr the
// notice of the 64-bit road, and exits.
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "shots_page.h"
#include "wine_case.h"
#include "wine_env.h"
#include "wine_road.h"

namespace fs = std::filesystem;

namespace {

// Exit statuses of the bench's own, apart from the low bytes of the
// program's usual codes (0, 66, 67, 82, 194).
const int kBadUsage = 122;
const int kUnanswered = 123;
const int kTimedOut = 124;
const int kBenchFailed = 125;

std::vector<std::string> SplitAnswers(const std::string& text) {
  std::vector<std::string> answers;
  std::stringstream stream(text);
  std::string answer;
  while (std::getline(stream, answer, ',')) answers.push_back(answer);
  return answers;
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void PrintLines(const std::string& text) {
  std::stringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) std::cout << "    " << line << "\n";
}

void Print(const e2e::RunResult& result) {
  for (const e2e::Shown& shown : e2e::InOrder(result)) {
    const size_t number = shown.index + 1;
    if (!shown.isBox) {
      const e2e::ProgressSight& sight = result.progress[shown.index];
      std::cout << "--- progress window " << number << ": " << sight.caption << "\n";
      PrintLines(sight.text);
      std::cout << "    " << sight.bars << " bar(s), buttons:";
      for (const std::string& button : sight.buttons) std::cout << " " << button;
      if (!sight.pressed.empty()) std::cout << "   pressed: " << sight.pressed;
      std::cout << "\n";
      continue;
    }
    const e2e::Box& box = result.boxes[shown.index];
    std::cout << "--- box " << number << ": " << box.caption << " [" << box.icon << "]\n";
    PrintLines(box.text);
    std::cout << "    buttons:";
    for (const std::string& button : box.buttons)
      std::cout << " " << button << (button == box.defaultButton ? "*" : "");
    std::cout << "   pressed: " << box.pressed << "\n";
  }
  for (const std::string& warning : result.warnings)
    std::cout << "--- warning: " << warning << "\n";
  if (result.timedOut) std::cout << "--- the program did not end in time\n";
  else std::cout << "--- exit code " << result.exitCode << "\n";
}

// "headless-" and the folder's name ("my-setup/" gives "my-setup"), with
// what a case name cannot hold made "_".
std::string CaseName(const fs::path& folder) {
  fs::path name = folder.filename().empty() ? folder.parent_path().filename() : folder.filename();
  std::string text = "headless-" + name.string();
  for (char& c : text)
    if (strchr("/\\:*?\"<>| ", c)) c = '_';
  return text;
}

const char kUsage[] =
    "usage: headless_run FOLDER [--answers A,B] [--args TEXT] [--codepage 932|1252]\n"
    "                    [--timeout SECONDS] [--show-file NAME] [--shots DIR]\n"
    "                    [--cancel-progress TEXT] [--win64]\n"
    "       headless_run --wine-road | --help\n";
const char kHelp[] =
    "Runs FOLDER/updater.ini (UTF-8 is converted to the code page, anything else\n"
    "taken as written in it) under Wine beside the updater and prints every\n"
    "message box, answered in turn by --answers, then by its default button, and\n"
    "each step of the progress window; a run that takes more than --timeout\n"
    "seconds (60) is ended; --show-file prints a file the run wrote beside the\n"
    "program (a log); --shots saves a picture of each box (DIR/box-N.png) and of\n"
    "the progress window (DIR/progress-N.png) and DIR/index.html, them in order\n"
    "with what was pressed and what came next; --cancel-progress presses Cancel in\n"
    "the progress window once its step text holds TEXT. Needs a display:\n"
    "xvfb-run -a -s \"-screen 0 1024x768x24\" headless_run ...\n"
    "The 32-bit release runs where this host can start 32-bit programs, else the\n"
    "64-bit build; --win64 or UPDATER_WINE_ARCH=win32|win64 chooses. --wine-road\n"
    "prints the choice (the build's folder under dist/ and the Wine loader).\n"
    "Exit status: the program's exit code (its low 8 bits: 1603 gives 67), else\n"
    "122 bad usage, 123 a box not answered as asked, 124 a time-out, 125 the\n"
    "bench failed.\n";

int Usage(const std::string& error) {
  std::cerr << "headless_run: " << error << "\n" << kUsage;
  return kBadUsage;
}

// Reads the script for the run and says how: UTF-8 text is converted to the
// code page (into *converted); other bytes go as they are (*converted stays
// empty) when they read as the code page's text, as a script ships. Throws
// when they are neither.
void ReadScript(const fs::path& file, int codePage, std::string* converted) {
  const std::string bytes = ReadAll(file);
  const std::string page = "code page " + std::to_string(codePage);
  if (e2e::IsUtf8(bytes)) {
    *converted = e2e::ScriptBytes(bytes, codePage);
    std::cout << "--- updater.ini is UTF-8: converted to " << page << std::endl;
    return;
  }
  size_t at = e2e::NotCodePageTextAt(bytes, codePage);
  if (at != std::string::npos)
    throw std::runtime_error("updater.ini is neither UTF-8 nor text of " + page + " (byte " +
                             std::to_string(at) + ")");
  std::cout << "--- updater.ini is not UTF-8: taken as " << page << " as it is" << std::endl;
}

int ExitStatus(const e2e::RunResult& result) {
  if (result.timedOut) return kTimedOut;
  if (result.unanswered > 0) return kUnanswered;
  return result.exitCode & 0xFF;
}

// The road for the shell tools: one line, with the notice of the 64-bit
// road on stderr; or why Wine cannot run.
int PrintRoad() {
  const e2e::WineRoad& road = e2e::TheWineRoad();
  if (!road.error.empty()) {
    std::cerr << "headless_run: " << road.error << "\n";
    return kBenchFailed;
  }
  std::string notice = e2e::RoadNotice(road);
  if (!notice.empty()) std::cerr << notice << "\n";
  std::cout << road.arch << " " << road.loader << "\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
    std::cout << kUsage << kHelp;
    return 0;
  }
  if (argc == 2 && std::string(argv[1]) == "--wine-road") return PrintRoad();
  if (argc < 2 || argv[1][0] == '-') return Usage("the first argument is the script folder");
  fs::path folder = argv[1];
  if (!fs::is_directory(folder)) return Usage(folder.string() + " is not a folder");
  std::vector<std::string> answers;
  std::string arguments;
  int codePage = 932;
  int timeoutSeconds = 60;
  std::string shownFile;
  std::string shotsDir;
  std::string cancelAt;
  for (int i = 2; i < argc; ++i) {
    std::string option = argv[i];
    bool hasValue = i + 1 < argc;
    if (option == "--answers" && hasValue) answers = SplitAnswers(argv[++i]);
    else if (option == "--args" && hasValue) arguments = argv[++i];
    else if (option == "--codepage" && hasValue) {
      std::string value = argv[++i];
      if (value != "932" && value != "1252") return Usage("--codepage takes 932 or 1252");
      codePage = std::stoi(value);
    } else if (option == "--timeout" && hasValue) {
      timeoutSeconds = atoi(argv[++i]);
      if (timeoutSeconds < 1 || timeoutSeconds > 86400)
        return Usage("--timeout takes a number of seconds from 1 to 86400");
    } else if (option == "--show-file" && hasValue) {
      shownFile = argv[++i];
    } else if (option == "--shots" && hasValue) {
      shotsDir = argv[++i];
      if (shotsDir.empty()) return Usage("--shots takes a folder");
    } else if (option == "--cancel-progress" && hasValue) {
      cancelAt = argv[++i];
      if (cancelAt.empty()) return Usage("--cancel-progress takes a part of a step text");
    } else if (option == "--win64") setenv("UPDATER_WINE_ARCH", "win64", 1);
    else return Usage("unknown option " + option);
  }
  std::string unknown = e2e::UnknownAnswer(answers);
  if (!unknown.empty()) return Usage("--answers: " + unknown);

  std::string converted;
  if (fs::is_regular_file(folder / "updater.ini")) {
    try {
      ReadScript(folder / "updater.ini", codePage, &converted);
    } catch (const std::exception& e) {
      std::cerr << "headless_run: " << e.what() << "\n";
      return kBadUsage;
    }
  }

  std::string error = e2e::StartWine(
      [](const std::string& line) { std::cout << "--- " << line << std::endl; },
      e2e::OtherPrograms::kLeave);
  if (!error.empty()) {
    std::cerr << "headless_run: " << error << "\n";
    e2e::StopWine();
    return kBenchFailed;
  }
  int status = kBenchFailed;
  try {
    e2e::WineCase run(CaseName(folder));
    run.InstallUpdater();
    run.EndingWhatItStarts();
    if (!shotsDir.empty()) run.WithShots();
    run.CancellingProgressAt(cancelAt);
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
      if (!entry.is_regular_file()) continue;
      std::string rel = fs::relative(entry.path(), folder).string();
      if (rel == "updater.ini" && !converted.empty()) run.WriteFile(rel, converted);
      else run.CopyIn(entry.path().string(), rel);
    }
    std::cout << "--- running " << run.WinPath("updater.exe") << "\n";
    e2e::RunResult result = run.Run(arguments, answers, codePage, timeoutSeconds);
    Print(result);
    if (!shotsDir.empty()) {
      e2e::WriteShotsPage(result, "The run of " + folder.string(), shotsDir);
      std::cout << "--- pictures of the run: " << (fs::path(shotsDir) / "index.html").string()
                << "\n";
    }
    if (!shownFile.empty()) {
      std::cout << "--- " << shownFile << ":\n";
      if (run.Exists(shownFile)) std::cout << run.ReadFile(shownFile);
      else std::cout << "(no such file)\n";
    }
    status = ExitStatus(result);
  } catch (const std::exception& e) {
    std::cerr << "headless_run: " << e.what() << "\n";
  }
  e2e::StopWine();
  return status;
}
