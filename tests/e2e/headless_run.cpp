// headless_run: runs a script folder under Wine with no one at the screen.
//
//   headless_run FOLDER [--answers No,OK] [--args "argument text"]
//                [--codepage 932|1252] [--win64]
//
// Copies FOLDER (its updater.ini, in UTF-8, goes in as the script in the
// chosen code page; every other file as it is) with updater.exe into a case
// folder of the Wine prefix, runs it, and prints every message box it showed
// (caption, text, icon, buttons, default, the button pressed) and the exit
// code. Boxes get the answers in order, then their default button.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "wine_case.h"
#include "wine_env.h"

namespace fs = std::filesystem;

namespace {

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

void Print(const e2e::RunResult& result) {
  int number = 0;
  for (const e2e::Box& box : result.boxes) {
    std::cout << "--- box " << ++number << ": " << box.caption << " [" << box.icon << "]\n";
    std::stringstream text(box.text);
    std::string line;
    while (std::getline(text, line)) std::cout << "    " << line << "\n";
    std::cout << "    buttons:";
    for (const std::string& button : box.buttons)
      std::cout << " " << button << (button == box.defaultButton ? "*" : "");
    std::cout << "   pressed: " << box.pressed << "\n";
  }
  if (result.timedOut) std::cout << "--- the program did not end in time\n";
  else std::cout << "--- exit code " << result.exitCode << "\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: headless_run FOLDER [--answers A,B] [--args TEXT] "
                 "[--codepage 932|1252] [--win64]\n";
    return 2;
  }
  fs::path folder = argv[1];
  std::vector<std::string> answers;
  std::string arguments;
  int codePage = 932;
  bool win64 = false;
  for (int i = 2; i < argc; ++i) {
    std::string option = argv[i];
    if (option == "--answers" && i + 1 < argc) answers = SplitAnswers(argv[++i]);
    else if (option == "--args" && i + 1 < argc) arguments = argv[++i];
    else if (option == "--codepage" && i + 1 < argc) codePage = std::stoi(argv[++i]);
    else if (option == "--win64") win64 = true;
    else {
      std::cerr << "headless_run: unknown option " << option << "\n";
      return 2;
    }
  }

  e2e::WineEnvironment wine;
  wine.SetUp();
  int status = 0;
  try {
    e2e::WineCase run("headless-" + folder.filename().string());
    run.InstallUpdater("updater.exe", win64);
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
      if (!entry.is_regular_file()) continue;
      std::string rel = fs::relative(entry.path(), folder).string();
      if (rel == "updater.ini") run.WriteScript(ReadAll(entry.path()), rel, codePage);
      else run.WriteFile(rel, ReadAll(entry.path()));
    }
    std::cout << "--- running " << run.WinPath("updater.exe") << "\n";
    e2e::RunResult result = run.Run(arguments, answers, codePage, 60);
    Print(result);
    status = result.timedOut ? 1 : 0;
  } catch (const std::exception& e) {
    std::cerr << "headless_run: " << e.what() << "\n";
    status = 1;
  }
  wine.TearDown();
  return status;
}
