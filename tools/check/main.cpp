// updater-check: a script checker and a checksum tool for script authors.
//
//   updater-check check [--symbol NAME=VALUE]... SCRIPT.ini...
//   updater-check crc FILE...
//
// check reads each script with the updater's own code and prints its
// problems as FILE:LINE: error: TEXT or FILE:LINE: warning: TEXT, in file
// order; it exits with 0 when there are none, 1 with warnings only, 2 with
// an error. crc prints each file's checksum as a CRC key takes it; it exits
// with 2 when a file cannot be read. Nothing is ever written.
#include <algorithm>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "script_check.h"

namespace {

const char* const Usage =
    "usage: updater-check check [--symbol NAME=VALUE]... SCRIPT.ini...\n"
    "       updater-check crc FILE...\n"
    "\n"
    "check  reads each script as the updater reads it, follows every procedure list\n"
    "       through both branches of every SWITCH, and prints each problem as\n"
    "       FILE:LINE: error: TEXT (the updater would stop there) or\n"
    "       FILE:LINE: warning: TEXT (almost surely a slip). Exit status: 0 no\n"
    "       problem, 1 warnings only, 2 an error. The built-in symbols stand for\n"
    "       made-up paths unless --symbol gives one, e.g. --symbol \"<Src>=D:\\Setup\".\n"
    "crc    prints each file's checksum as a CRC key takes it. Exit status 2 when a\n"
    "       file cannot be read.\n";

int UsageError(const std::string& why) {
  std::cerr << "updater-check: " << why << "\n\n" << Usage;
  return 2;
}

bool ReadWhole(const std::string& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream bytes;
  bytes << in.rdbuf();
  text = bytes.str();
  return !in.bad();
}

int Check(const std::vector<std::string>& arguments) {
  std::vector<check::SymbolValue> symbols;
  std::vector<std::string> scripts;
  for (size_t i = 0; i < arguments.size(); ++i) {
    if (arguments[i] == "--symbol") {
      if (i + 1 == arguments.size()) return UsageError("--symbol needs NAME=VALUE");
      const std::string& setting = arguments[++i];
      size_t equals = setting.find('=');
      if (equals == std::string::npos || equals == 0)
        return UsageError("--symbol needs NAME=VALUE, not " + setting);
      symbols.emplace_back(setting.substr(0, equals), setting.substr(equals + 1));
    } else {
      scripts.push_back(arguments[i]);
    }
  }
  if (scripts.empty()) return UsageError("check needs a script");
  int status = 0;
  for (const std::string& script : scripts) {
    std::string text;
    if (!ReadWhole(script, text)) {
      std::cerr << "updater-check: cannot read " << script << "\n";
      status = 2;
      continue;
    }
    std::vector<check::Diagnostic> problems;
    std::string usage;
    if (!check::CheckScript(text, symbols, problems, usage)) return UsageError(usage);
    for (const check::Diagnostic& problem : problems) {
      std::cout << script << ":" << problem.Line << ": "
                << (problem.Error ? "error: " : "warning: ") << problem.Text << "\n";
      status = std::max(status, problem.Error ? 2 : 1);
    }
  }
  return status;
}

int Crc(const std::vector<std::string>& files) {
  if (files.empty()) return UsageError("crc needs a file");
  int status = 0;
  for (const std::string& file : files) {
    std::string checksum;
    if (check::FileChecksum(file, checksum)) {
      std::cout << checksum << "  " << file << "\n";
    } else {
      std::cerr << "updater-check: " << file
                << ": cannot be read (missing, empty, a directory or locked)\n";
      status = 2;
    }
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return UsageError("no command");
  std::string command = argv[1];
  std::vector<std::string> arguments(argv + 2, argv + argc);
  if (command == "check") return Check(arguments);
  if (command == "crc") return Crc(arguments);
  if (command == "--help" || command == "-h" || command == "help") {
    std::cout << Usage;
    return 0;
  }
  return UsageError("unknown command " + command);
}
