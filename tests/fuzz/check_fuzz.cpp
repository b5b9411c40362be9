// The script checker on any script: CheckScript with the options of its
// command line, then both outputs. Authors write scripts by hand, and the
// SARIF log goes to code-scanning tools, so besides never crashing the
// checker must keep its own word: problems at lines of the script, the
// encoding first and the rest in file order, each told once, each text one
// line of UTF-8; a text output of one line per problem and note and a true
// summary; a SARIF log that parses, with a result per problem and every
// rule index pointing at its rule. A second check of the same script, in
// the same process as the checker checks several, tells the same.
//
// The last byte of the input holds the options, read against a line feed:
// a seed that ends in one (every test script does) is checked with none,
// as UTF-8, the way the checker's tests check it.
#include <fuzzer/FuzzedDataProvider.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include <nlohmann/json.hpp>

#include "block_cap.h"
#include "output.h"
#include "script_check.h"

namespace {

void Check(bool condition, const char* what) {
  if (!condition) {
    fprintf(stderr, "broken: %s\n", what);
    abort();
  }
}

constexpr uint8_t CodePage932 = 1;  // else the script is meant as UTF-8
constexpr uint8_t WarningsAreErrors = 2;
constexpr uint8_t ShippedFolder = 4;  // --src with the folder made below
// Bits 3 to 5: a --symbol name (0 for none); bits 6 and 7: its value.
const char* const SymbolNames[] = {"<Src>", "<Win>", "<Sys>", "<Desktop>",
                                   "<Programs>", "<src>", "<Mine>"};
const std::string SymbolValues[] = {"D:\\Setup", "", "\\\\server\\share\\x",
                                    "C:\\" + std::string(300, 'a')};

// The folder that ships: a file at its top and one below it, so that
// names under <Src> are found, missing, or checksummed.
std::string Shipped;

void MakeShippedFolder() {
  char pattern[] = "/tmp/check_fuzz.XXXXXX";
  if (!mkdtemp(pattern)) return;
  Shipped = pattern;
  const std::string sub = Shipped + "/sub";
  Check(mkdir(sub.c_str(), 0700) == 0, "the shipped folder is made");
  for (const std::string& file : {Shipped + "/a.txt", sub + "/app.exe"}) {
    FILE* out = fopen(file.c_str(), "wb");
    Check(out && fputs("shipped", out) >= 0 && fclose(out) == 0, "a shipped file is written");
  }
}

void RemoveShippedFolder() {
  if (Shipped.empty()) return;
  for (const char* file : {"/a.txt", "/sub/app.exe"}) unlink((Shipped + file).c_str());
  rmdir((Shipped + "/sub").c_str());
  rmdir(Shipped.c_str());
}

bool IsUtf8(const std::string& text) {
  for (size_t at = 0; at < text.size();) {
    unsigned char lead = static_cast<unsigned char>(text[at]);
    size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2
                    : lead >= 0xE0 && lead <= 0xEF                 ? 3
                    : lead >= 0xF0 && lead <= 0xF4                 ? 4
                                                                   : 0;
    if (length == 0 || at + length > text.size()) return false;
    for (size_t i = 1; i < length; ++i)
      if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return false;
    at += length;
  }
  return true;
}

bool IsOneLine(const std::string& text) {
  return !text.empty() && IsUtf8(text) && text.find('\n') == std::string::npos;
}

void CheckDiagnostics(const std::vector<check::Diagnostic>& problems, int lines) {
  std::set<std::tuple<int, bool, std::string>> seen;
  bool encoding = true;
  int last = 1;
  for (const check::Diagnostic& problem : problems) {
    Check(problem.Line >= 1 && problem.Line <= lines, "a problem stands at a line of the script");
    Check(IsOneLine(problem.Text), "a problem is told in one line of UTF-8");
    Check(!problem.Name.empty(), "a problem has a name");
    Check(seen.insert(std::make_tuple(problem.Line, problem.Error, problem.Text)).second,
          "a problem is told once");
    encoding = encoding && (problem.Name == "file-encoding" || problem.Name == "encoding");
    if (!encoding) {
      Check(problem.Line >= last, "after the encoding, problems are in file order");
      last = problem.Line;
    }
    for (const auto& note : problem.Notes) {
      Check(note.first >= 1 && note.first <= lines, "a note stands at a line of the script");
      Check(IsOneLine(note.second), "a note is told in one line of UTF-8");
    }
  }
}

void CheckText(const std::vector<check::ScriptFindings>& scripts, bool werror) {
  const check::ScriptFindings& script = scripts[0];
  const std::string text = check::TextOutput(scripts, werror);
  size_t expected = 1;  // the summary
  int errors = 0;
  for (const check::Diagnostic& problem : script.Problems) {
    expected += 1 + problem.Notes.size();
    if (check::TellsAsError(problem, werror)) ++errors;
  }
  size_t lines = 0;
  bool plain = true;  // no control character but the tab and the line ends
  for (char c : text) {
    lines += c == '\n';
    plain = plain && (static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n');
  }
  Check(lines == expected && text.back() == '\n', "one line per problem and note, and a summary");
  Check(plain && IsUtf8(text), "the lines are plain UTF-8 text");
  const int warnings = static_cast<int>(script.Problems.size()) - errors;
  std::string summary = std::to_string(errors) + (errors == 1 ? " error" : " errors") + " and " +
                        std::to_string(warnings) + (warnings == 1 ? " warning" : " warnings") +
                        " in 1 script\n";
  Check(text.size() >= summary.size() &&
            text.compare(text.size() - summary.size(), summary.size(), summary) == 0,
        "the summary counts what was told");
}

using json = nlohmann::json;

// A member or an item of the parsed log, null where there is none.
const json& Member(const json& object, const char* key) {
  static const json none;
  if (!object.is_object()) return none;
  auto found = object.find(key);
  return found == object.end() ? none : *found;
}
const json& Item(const json& array, size_t index) {
  static const json none;
  return array.is_array() && index < array.size() ? array[index] : none;
}

void CheckSarif(const std::vector<check::ScriptFindings>& scripts, bool werror) {
  const json log = json::parse(check::SarifOutput(scripts, werror), nullptr, false);
  Check(Member(log, "version") == "2.1.0", "the log is SARIF 2.1.0");
  const json& run = Item(Member(log, "runs"), 0);
  const json& rules = Member(Member(Member(run, "tool"), "driver"), "rules");
  const json& results = Member(run, "results");
  const std::vector<check::Diagnostic>& problems = scripts[0].Problems;
  Check(rules.is_array() && results.is_array() && results.size() == problems.size(),
        "a result per problem");
  for (size_t i = 0; i < problems.size(); ++i) {
    const json& result = results[i];
    const check::Diagnostic& problem = problems[i];
    const json& index = Member(result, "ruleIndex");
    const json& rule = Item(rules, index.is_number_unsigned() ? index.get<size_t>() : rules.size());
    Check(Member(rule, "id") == problem.Name && Member(result, "ruleId") == problem.Name,
          "a result names its rule");
    Check(Member(result, "level") == (check::TellsAsError(problem, werror) ? "error" : "warning"),
          "a result's level is the problem's");
    Check(Member(Member(result, "message"), "text") == problem.Text,
          "a result's message is its text");
    const json& place = Member(Item(Member(result, "locations"), 0), "physicalLocation");
    Check(Member(Member(place, "region"), "startLine") == problem.Line,
          "a result stands at the problem's line");
    const json& related = Member(result, "relatedLocations");
    Check(related.is_null() ? problem.Notes.empty() : related.size() == problem.Notes.size(),
          "a related location per note");
  }
  Check(Member(Item(Member(run, "invocations"), 0), "executionSuccessful") == true,
        "the run succeeded");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  MakeShippedFolder();
  atexit(RemoveShippedFolder);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  fuzz::ForgetRefusedBlocks();
  const uint8_t options = input.ConsumeIntegral<uint8_t>() ^ '\n';
  const std::string text = input.ConsumeRemainingBytesAsString();
  const int codePage = options & CodePage932 ? 932 : 65001;
  const bool werror = (options & WarningsAreErrors) != 0;
  const std::string srcDir = options & ShippedFolder ? Shipped : "";
  std::vector<check::SymbolValue> symbols;
  const unsigned name = (options >> 3) & 7;
  if (name > 0) symbols.emplace_back(SymbolNames[name - 1], SymbolValues[options >> 6]);

  std::vector<check::ScriptFindings> scripts = {{"scripts\\updater 1.ini", "", {}}};
  std::string usage;
  bool checked = check::CheckScript(text, symbols, scripts[0].Problems, usage, codePage, srcDir);
  Check(checked == (name < 7), "only a built-in symbol is taken");
  Check(checked || !usage.empty(), "a refused symbol is told why");
  if (!checked) return 0;

  // Lines as the profile reader counts them: CR LF, CR or LF ends one.
  int lines = 1;
  for (size_t i = 0; i < text.size(); ++i)
    lines += text[i] == '\n' ||
             (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'));
  // Once an allocation was refused, a text may have lost its contents.
  if (fuzz::RefusedBlocks() == 0) {
    CheckDiagnostics(scripts[0].Problems, lines);
    std::vector<check::Diagnostic> again;
    check::CheckScript(text, symbols, again, usage, codePage, srcDir);
    bool same = again.size() == scripts[0].Problems.size();
    for (size_t i = 0; same && i < again.size(); ++i)
      same = again[i].Line == scripts[0].Problems[i].Line &&
             again[i].Text == scripts[0].Problems[i].Text &&
             again[i].Notes == scripts[0].Problems[i].Notes;
    Check(same || fuzz::RefusedBlocks() > 0, "a second check tells the same");
  }
  CheckText(scripts, werror);
  CheckSarif(scripts, werror);
  return 0;
}
