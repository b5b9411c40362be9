// updater-check: a script checker and a checksum tool for script authors.
//
//   updater-check check [--symbol NAME=VALUE]... SCRIPT.ini...
//   updater-check crc FILE...
//   updater-check hash FILE...
//   updater-check version FILE...
//
// check reads each script with the updater's own code and prints its
// problems as FILE:LINE: error: TEXT or FILE:LINE: warning: TEXT, in file
// order, or as one SARIF log (--format sarif); it exits with 0 when there
// are none, 1 with warnings only, 2 with an error. crc prints each file's
// checksum as a CRC key takes it; it exits with 2 when a file cannot be
// read. hash prints each file's SHA-256 digest and ready lines to paste.
// version prints each program's file version, as a VERSION test
// reads it, and a ready VERSION= line. Nothing is ever written.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "os/console_text.h"
#include "output.h"
#include "res/version.h"
#include "script_check.h"

namespace {

const char* const UsageTemplate =
    "usage: updater-check check [--symbol NAME=VALUE]... [--code-page 932|65001]\n"
    "                           [-WNAME]... [-Wno-NAME]... [--werror] [--src DIR]\n"
    "                           [--format text|sarif]"
    "                           SCRIPT.ini...\n"
    "       updater-check crc [--key] FILE...\n"
    "       updater-check hash FILE...\n"
    "       updater-check version FILE...\n"
    "       updater-check --version | --help\n"
    "\n"
    "check  reads each script as the updater reads it, follows every procedure list\n"
    "       through both branches of every SWITCH, and prints each problem as\n"
    "       FILE:LINE: error: TEXT (the updater would stop there) or\n"
    "       FILE:LINE: warning: TEXT (almost surely a slip). Exit status: 0 no\n"
    "       problem, 1 warnings only, 2 an error. The built-in symbols\n"
    "       (SYMBOLS) stand for\n"
    "       made-up paths unless --symbol gives one, e.g. --symbol \"<Src>=D:\\Setup\".\n"
    "       A script is taken for code page 932; --code-page 65001 says it is UTF-8\n"
    "       on purpose. Each warning ends with its name, [-WNAME]: -Wno-NAME\n"
    "       silences it, -WNAME turns on one that is off unless given, --werror\n"
    "       makes every warning an error. The warnings:\n"
    "WARNINGS.\n"
    "       A summary line ends the output. --src DIR\n"
    "       checks the folder that ships: every file under <Src> the script reads or\n"
    "       starts must be in DIR, every CRC value must be its checksum there, every\n"
    "       SHA256 item its digest, and a program that a VERSION test updates from\n"
    "       there must have that version.\n"
    "       --format sarif prints one SARIF 2.1.0 log instead, for code-scanning\n"
    "       services and editors. Output is UTF-8; script text in it is converted\n"
    "       from code page 932.\n"
    "crc    prints each file's checksum as a CRC key takes it; --key prints one\n"
    "       ready CRC= line for the files in order. Exit status 2 when a file\n"
    "       cannot be read.\n"
    "hash   prints each file's SHA-256 digest, then lines to paste: a DEFINE line\n"
    "       for each (a symbol named after the file) and the SHA256= line that names\n"
    "       them in the order given. Exit status 2 when a file cannot be read.\n"
    "version  prints each program's file version as a VERSION test reads it, then\n"
    "       one ready VERSION= line: the lowest of them, which a test of all the\n"
    "       files finds up to date. Exit status 2 when a file has no version or\n"
    "       cannot be read.\n";

// The warnings' names, in lines as wide as the usage text's.
std::string WarningNames() {
  const std::string indent = "       ";
  std::string names, line = indent;
  for (int i = 0; i < check::WarningCount; ++i) {
    const check::WarningKind& warning = check::Warnings[i];
    std::string name = std::string(warning.Name) +
                       (warning.When == check::Told::Off     ? " (off unless given)"
                        : warning.When == check::Told::Error ? " (an error now)"
                                                             : "") +
                       (i + 1 < check::WarningCount ? "," : "");
    if (line.size() > indent.size() && line.size() + 1 + name.size() > 79) {
      names += line + "\n";
      line = indent;
    }
    line += (line.size() > indent.size() ? " " : "") + name;
  }
  return names + line;
}

// The usage text, with the built-in symbols' names and the warnings' where
// they are told.
std::string UsageText() {
  std::string usage = UsageTemplate;
  usage.replace(usage.find("SYMBOLS"), 7, check::BuiltInNames());
  return usage.replace(usage.find("WARNINGS"), 8, WarningNames());
}

// A -WNAME or -Wno-NAME that names no warning changes nothing: said, so
// that a misspelt name is not taken for a silenced warning.
void NoteUnknownWarning(const std::string& name) {
  if (!check::FindWarning(name))
    console::WriteError(console::Utf8FromNative("updater-check: no warning is named " + name +
                                                "; --help lists them") +
                        "\n");
}


int UsageError(const std::string& why) {
  console::WriteError(console::Utf8FromNative("updater-check: " + why) + "\n\n" + UsageText());
  return 2;
}

bool ReadWhole(const std::string& path, std::string& text) {
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream bytes;
  bytes << in.rdbuf();
  text = bytes.str();
  return !in.bad();
}

// Why `path` cannot be read, in the system's words.
std::string WhyUnreadable(const std::string& path) {
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) return "it is a folder";
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::strerror(errno);
  return "a read failed";
}

int Check(const std::vector<std::string>& arguments) {
  std::vector<check::SymbolValue> symbols;
  std::vector<std::string> scripts;
  int codePage = 932;
  std::vector<std::string> silenced;
  std::vector<std::string> enabled;
  std::string srcDir;
  bool warningsAreErrors = false;
  bool sarif = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    std::string option = arguments[i];
    std::string value;
    bool attached = option.compare(0, 9, "--symbol=") == 0;
    if (option == "--help" || option == "-h") {
      console::WriteOut(UsageText());
      return 0;
    }
    if (option.compare(0, 5, "-Wno-") == 0 && option.size() > 5) {
      silenced.push_back(option.substr(5));
      NoteUnknownWarning(silenced.back());
    } else if (option.compare(0, 2, "-W") == 0 && option.size() > 2 && option != "-Werror") {
      enabled.push_back(option.substr(2));
      NoteUnknownWarning(enabled.back());
    } else if (option == "--src" || option.compare(0, 6, "--src=") == 0) {
      if (option.size() > 5) srcDir = option.substr(6);
      else if (i + 1 < arguments.size()) srcDir = arguments[++i];
      std::error_code error;
      if (!std::filesystem::is_directory(srcDir, error))
        return UsageError("--src needs a folder, not " + srcDir);
    } else if (option == "--werror" || option == "-Werror") {
      warningsAreErrors = true;
    } else if (option == "--format" || option.compare(0, 9, "--format=") == 0) {
      if (option.size() > 8) value = option.substr(9);
      else if (i + 1 < arguments.size()) value = arguments[++i];
      if (value != "text" && value != "sarif") return UsageError("--format takes text or sarif");
      sarif = value == "sarif";
    } else if (option == "--code-page" || option.compare(0, 12, "--code-page=") == 0) {
      if (option.size() > 11) value = option.substr(12);
      else if (i + 1 < arguments.size()) value = arguments[++i];
      if (value != "932" && value != "65001") return UsageError("--code-page takes 932 or 65001");
      codePage = std::stoi(value);
    } else if (option == "--symbol" || attached) {
      if (!attached && i + 1 == arguments.size()) return UsageError("--symbol needs NAME=VALUE");
      const std::string setting = attached ? option.substr(9) : arguments[++i];
      size_t equals = setting.find('=');
      if (equals == std::string::npos || equals == 0)
        return UsageError("--symbol needs NAME=VALUE, not " + setting);
      // The value stands in the script's text, code page 932.
      std::string value932;
      if (!console::Utf8To932(console::Utf8FromNative(setting.substr(equals + 1)), value932))
        return UsageError("--symbol " + setting + " holds a character that code page 932 lacks");
      symbols.emplace_back(setting.substr(0, equals), value932);
    } else if (option.size() > 1 && option[0] == '-') {
      return UsageError("unknown option " + option);
    } else {
      scripts.push_back(option);
    }
  }
  if (scripts.empty()) return UsageError("check needs a script");
  int status = 0;
  std::vector<check::ScriptFindings> findings;
  for (const std::string& script : scripts) {
    findings.push_back(check::ScriptFindings{script, "", {}});
    std::string text;
    if (!ReadWhole(script, text)) {
      findings.back().Unreadable = console::Utf8FromNative(WhyUnreadable(script));
      console::WriteError("updater-check: cannot read " + console::Utf8FromNative(script) + ": " +
                          findings.back().Unreadable + "\n");
      status = 2;
      continue;
    }
    std::vector<check::Diagnostic> problems;
    std::string usage;
    if (!check::CheckScript(text, symbols, problems, usage, codePage, srcDir, enabled))
      return UsageError(usage);
    for (const check::Diagnostic& problem : problems) {
      if (!problem.Error &&
          std::find(silenced.begin(), silenced.end(), problem.Name) != silenced.end())
        continue;
      findings.back().Problems.push_back(problem);
      status = std::max(status, check::TellsAsError(problem, warningsAreErrors) ? 2 : 1);
    }
  }
  console::WriteOut(sarif ? check::SarifOutput(findings, warningsAreErrors)
                          : check::TextOutput(findings, warningsAreErrors));
  return status;
}

int Crc(const std::vector<std::string>& arguments) {
  std::vector<std::string> files;
  bool key = false;
  for (const std::string& argument : arguments) {
    if (argument == "--key") key = true;
    else if (argument == "--help" || argument == "-h") {
      console::WriteOut(UsageText());
      return 0;
    } else files.push_back(argument);
  }
  if (files.empty()) return UsageError("crc needs a file");
  int status = 0;
  std::string line;
  for (const std::string& file : files) {
    std::string checksum;
    if (check::FileChecksum(file, checksum)) {
      if (key) line += (line.empty() ? "CRC=" : ", ") + checksum;
      else console::WriteOut(checksum + "  " + console::Utf8FromNative(file) + "\n");
      continue;
    }
    std::error_code error;
    std::string why = std::filesystem::is_directory(file, error) ? "it is a folder"
                      : std::filesystem::exists(file, error) &&
                              std::filesystem::file_size(file, error) == 0
                          ? "it is empty, and the updater takes no checksum of an empty file"
                          : WhyUnreadable(file);
    console::WriteError(
        console::Utf8FromNative("updater-check: " + file + ": cannot be read: " + why) + "\n");
    status = 2;
  }
  if (key && status == 0) console::WriteOut(line + "\n");
  return status;
}

// A DEFINE symbol named after a file: its name's letters and digits, each
// run begun in upper case ("notes.exe" gives <NotesExe>).
std::string SymbolFor(const std::string& file) {
  std::string name = std::filesystem::path(file).filename().string();
  std::string symbol;
  bool start = true;
  for (char c : name) {
    if (!isalnum(static_cast<unsigned char>(c))) {
      start = true;
      continue;
    }
    symbol += start ? static_cast<char>(toupper(static_cast<unsigned char>(c))) : c;
    start = false;
  }
  return symbol.empty() ? "File" : symbol;
}

// The files a command that takes only files is given: -1 with the files
// in `files`, else the command's exit status (its usage was asked for, or
// no file was given).
int FilesOf(const std::vector<std::string>& arguments, const char* command,
            std::vector<std::string>& files) {
  for (const std::string& argument : arguments) {
    if (argument == "--help" || argument == "-h") {
      console::WriteOut(UsageText());
      return 0;
    }
    files.push_back(argument);
  }
  return files.empty() ? UsageError(std::string(command) + " needs a file") : -1;
}

int Hash(const std::vector<std::string>& arguments) {
  std::vector<std::string> files;
  int given = FilesOf(arguments, "hash", files);
  if (given >= 0) return given;
  int status = 0;
  std::string defines, key;
  std::vector<std::string> symbols;
  for (const std::string& file : files) {
    std::string digest;
    if (!check::FileDigest(file, digest)) {
      // A file that reads is one whose digest this build cannot compute.
      std::ifstream readable(file, std::ios::binary);
      std::string why = readable && !std::filesystem::is_directory(file)
                            ? "this build of the checker cannot compute digests"
                            : "cannot be read: " + WhyUnreadable(file);
      console::WriteError(console::Utf8FromNative("updater-check: " + file + ": " + why) + "\n");
      status = 2;
      continue;
    }
    console::WriteOut(digest + "  " + console::Utf8FromNative(file) + "\n");
    // Two files of the same name get numbered symbols.
    std::string symbol = SymbolFor(file);
    int taken = static_cast<int>(std::count(symbols.begin(), symbols.end(), symbol));
    symbols.push_back(symbol);
    if (taken > 0) symbol += std::to_string(taken + 1);
    defines += "<" + symbol + ">=" + digest + "\n";
    key += (key.empty() ? "SHA256=<" : ",<") + symbol + ">";
  }
  if (status == 0) console::WriteOut("\n[DEFINE]\n" + defines + "\n" + key + "\n");
  return status;
}

int Version(const std::vector<std::string>& arguments) {
  std::vector<std::string> files;
  int given = FilesOf(arguments, "version", files);
  if (given >= 0) return given;
  int status = 0;
  FileVersion lowest = ~FileVersion(0);
  for (const std::string& file : files) {
    FileVersion version = 0;
    std::string why;
    switch (check::FileVersionOf(file, version)) {
      case VersionFound::Found:
        console::WriteOut(std::string(VersionText(version).Text()) + "  " +
                          console::Utf8FromNative(file) + "\n");
        lowest = std::min(lowest, version);
        continue;
      case VersionFound::NoVersion:
        why = "it has no version information (a VERSION test finds it older than any version)";
        break;
      case VersionFound::Unreadable:
      case VersionFound::NotOpened: why = "cannot be read: " + WhyUnreadable(file); break;
    }
    console::WriteError(console::Utf8FromNative("updater-check: " + file + ": " + why) + "\n");
    status = 2;
  }
  if (status == 0) console::WriteOut(std::string("VERSION=") + VersionText(lowest).Text() + "\n");
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return UsageError("no command");
  std::string command = argv[1];
  std::vector<std::string> arguments(argv + 2, argv + argc);
  if (command == "check") return Check(arguments);
  if (command == "crc") return Crc(arguments);
  if (command == "hash") return Hash(arguments);
  if (command == "version") return Version(arguments);
  if (command == "--help" || command == "-h" || command == "help") {
    console::WriteOut(UsageText());
    return 0;
  }
  if (command == "--version") {
    console::WriteOut("updater-check " UPDATER_VERSION_TEXT "\n");
    return 0;
  }
  return UsageError("unknown command " + command);
}
