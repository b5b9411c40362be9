// The script checker. Each script of scripts/ and good/ says what the
// checker must find in it: a line "; expect error: TEXT" or "; expect
// warning: TEXT" names a problem of the next line that is not such a line,
// and the checker must report exactly those, TEXT being part of the report.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "script_check.h"

namespace {

namespace fs = std::filesystem;

struct Expected {
  int line;
  bool error;
  std::string text;
};

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<Expected> ExpectationsOf(const std::string& text) {
  std::vector<Expected> expected;
  std::istringstream lines(text);
  std::string line;
  size_t waiting = 0;  // expectations still looking for their line
  for (int number = 1; std::getline(lines, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    for (const char* severity : {"error", "warning"}) {
      std::string mark = std::string("; expect ") + severity + ": ";
      if (line.compare(0, mark.size(), mark) == 0) {
        expected.push_back({0, severity[0] == 'e', line.substr(mark.size())});
        ++waiting;
      }
    }
    if (line.compare(0, 9, "; expect ") == 0) continue;
    for (; waiting > 0; --waiting) expected[expected.size() - waiting].line = number;
  }
  return expected;
}

std::string Show(const std::vector<check::Diagnostic>& problems) {
  std::string text;
  for (const check::Diagnostic& problem : problems)
    text += std::to_string(problem.Line) + (problem.Error ? ": error: " : ": warning: ") +
            problem.Text + "\n";
  return text;
}

// The scripts here are UTF-8 (so that their expectations read as the
// checker's output), which they say, as an author of such a script does.
std::vector<check::Diagnostic> Check(const std::string& text,
                                     const std::vector<check::SymbolValue>& symbols = {},
                                     int codePage = 65001) {
  std::vector<check::Diagnostic> problems;
  std::string usage;
  EXPECT_TRUE(check::CheckScript(text, symbols, problems, usage, codePage)) << usage;
  return problems;
}

// Every problem reported is expected, and every expected one reported. A
// script that says it is "Saved in code page 932" is read so.
void ExpectExactly(const std::string& text) {
  std::vector<Expected> expected = ExpectationsOf(text);
  bool in932 = text.find("Saved in code page 932") != std::string::npos;
  std::vector<check::Diagnostic> problems = Check(text, {}, in932 ? 932 : 65001);
  std::vector<bool> met(expected.size());
  for (const check::Diagnostic& problem : problems) {
    bool found = false;
    for (size_t i = 0; i < expected.size() && !found; ++i) {
      if (met[i] || expected[i].line != problem.Line || expected[i].error != problem.Error ||
          problem.Text.find(expected[i].text) == std::string::npos)
        continue;
      met[i] = found = true;
    }
    EXPECT_TRUE(found) << "not expected: " << problem.Line << ": " << problem.Text;
  }
  for (size_t i = 0; i < expected.size(); ++i)
    EXPECT_TRUE(met[i]) << "not reported: " << expected[i].line << ": "
                        << (expected[i].error ? "error: " : "warning: ") << expected[i].text;
  if (::testing::Test::HasFailure()) ADD_FAILURE() << "the checker said:\n" << Show(problems);
}

std::vector<std::string> ScriptsIn(const std::string& folder) {
  std::vector<std::string> paths;
  for (const auto& entry : fs::directory_iterator(std::string(CHECK_SCRIPTS_DIR) + "/" + folder))
    if (entry.path().extension() == ".ini") paths.push_back(entry.path().string());
  std::sort(paths.begin(), paths.end());
  return paths;
}

std::string NameOf(const ::testing::TestParamInfo<std::string>& info) {
  if (info.param == DEMO_SCRIPT) return "demo";
  std::string name = fs::path(info.param).stem().string();
  for (char& c : name)
    if (!isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}

class MistakenScript : public ::testing::TestWithParam<std::string> {};

TEST_P(MistakenScript, EachMistakeIsReportedAtItsLine) {
  std::string text = ReadText(GetParam());
  ASSERT_FALSE(ExpectationsOf(text).empty());
  ExpectExactly(text);
}

INSTANTIATE_TEST_SUITE_P(Check, MistakenScript, ::testing::ValuesIn(ScriptsIn("scripts")),
                         NameOf);

class RunningScript : public ::testing::TestWithParam<std::string> {};

TEST_P(RunningScript, PassesWithoutAnError) {
  std::string text = ReadText(GetParam());
  for (const Expected& expected : ExpectationsOf(text)) EXPECT_FALSE(expected.error);
  ExpectExactly(text);
}

std::vector<std::string> RunningScripts() {
  std::vector<std::string> scripts = ScriptsIn("good");
  scripts.push_back(DEMO_SCRIPT);
  return scripts;
}

INSTANTIATE_TEST_SUITE_P(Check, RunningScript, ::testing::ValuesIn(RunningScripts()), NameOf);

// Problems of the start-up that stand where no "; expect" line can precede
// them, and the file's own form.
// One diagnostic for the encoding, first; where it garbles every line, the
// only one.
TEST(Check, TheEncodingIsToldFirstAndOnce) {
  const std::string script = "[UPDATER]\nNAME=更新\nPROC=\n";
  // Meant as UTF-8, it ships converted: a character code page 932 lacks
  // cannot.
  std::vector<check::Diagnostic> lacking = Check("[UPDATER]\nNAME=更新 \U0001F600\nPROC=\n");
  ASSERT_FALSE(lacking.empty());
  EXPECT_EQ(lacking[0].Line, 2);
  EXPECT_NE(lacking[0].Text.find("code page 932 lacks"), std::string::npos);
  std::vector<check::Diagnostic> utf8 = Check(script, {}, 932);
  ASSERT_GE(utf8.size(), 2u);
  EXPECT_EQ(utf8[0].Line, 2);
  EXPECT_NE(utf8[0].Text.find("the file is UTF-8"), std::string::npos);
  for (const std::string& start : {std::string("\xEF\xBB\xBF"), std::string("\xFF\xFE")}) {
    std::vector<check::Diagnostic> one = Check(start + script, {}, 932);
    ASSERT_EQ(one.size(), 1u) << (one.size() > 1 ? one[1].Text : std::string("no diagnostic"));
    EXPECT_TRUE(one[0].Error);
  }
  std::string utf16;
  for (char c : script) utf16 += std::string(1, c) + '\0';
  EXPECT_NE(Check(utf16, {}, 932).at(0).Text.find("UTF-16"), std::string::npos);
  std::vector<check::Diagnostic> binary = Check("[UPDATER]\n" + std::string("\x7F" "ELF\0\1\2", 7));
  ASSERT_EQ(binary.size(), 1u);
  EXPECT_NE(binary[0].Text.find("not a text file"), std::string::npos);
}

// A misspelt name that a DEFINE value wrote is told where the list is read,
// with a note at the DEFINE line; a key written twice, with one at the key
// that is read.
TEST(Check, SecondPlacesAreNotes) {
  std::vector<check::Diagnostic> problems =
      Check("[UPDATER]\nNAME=x\nPROC=<Steps>\n[DEFINE]\n<Steps>=instal\n[install]\nMODE=OSVER\n");
  ASSERT_FALSE(problems.empty());
  EXPECT_EQ(problems[0].Line, 3);
  ASSERT_EQ(problems[0].Notes.size(), 1u);
  EXPECT_EQ(problems[0].Notes[0].first, 5);
  EXPECT_NE(problems[0].Notes[0].second.find("<Steps>"), std::string::npos);

  problems = Check("[UPDATER]\nNAME=x\nPROC=a\n[a]\nMODE=OSVER\nMODE=COPY\n");
  ASSERT_EQ(problems.size(), 1u) << Show(problems);
  EXPECT_EQ(problems[0].Line, 6);
  ASSERT_EQ(problems[0].Notes.size(), 1u);
  EXPECT_EQ(problems[0].Notes[0], std::make_pair(5, std::string("MODE as it is read")));
}

TEST(Check, WholeFileProblemsStandAtTheFirstLine) {
  std::vector<check::Diagnostic> problems = Check("[OTHER]\nNAME=x\n");
  ASSERT_EQ(problems.size(), 3u) << Show(problems);
  EXPECT_NE(problems[0].Text.find("\"UPDATER\" パラメータ：\"NAME\""), std::string::npos);
  EXPECT_NE(problems[1].Text.find("\"UPDATER\" パラメータ：\"PROC\""), std::string::npos);
  EXPECT_EQ(problems[1].Line, 1);
  EXPECT_FALSE(problems[2].Error);  // [OTHER] never runs

  // The byte-order mark alone is told: the noise it causes is not.
  problems = Check("\xEF\xBB\xBF[UPDATER]\nNAME=x\nPROC=a\n[a]\nMODE=OSVER\n");
  ASSERT_EQ(problems.size(), 1u) << Show(problems);
  EXPECT_EQ(problems[0].Line, 1);
  EXPECT_NE(Show(problems).find("byte-order mark"), std::string::npos) << Show(problems);
}

TEST(Check, DefineLinesPastTheSectionBufferAreNamed) {
  // Lines of 24 bytes and their zero: line 1310 of DEFINE no longer fits.
  std::string script = "[UPDATER]\nNAME=x\nPROC=a\n[a]\nMODE=OSVER\n[DEFINE]\n";
  for (int i = 0; i < 2000; ++i) {
    char line[32];
    snprintf(line, sizeof line, "<S%04d>=C:\\dir%04d\\value\n", i, i);
    script += line;
  }
  std::vector<check::Diagnostic> problems = Check(script);
  ASSERT_EQ(problems.size(), 1u) << Show(problems);
  EXPECT_EQ(problems[0].Line, 7 + 1310);
  EXPECT_NE(problems[0].Text.find("does not fit"), std::string::npos);
}

TEST(Check, SymbolValuesReplaceTheStandInsOfBuiltInsOnly) {
  const char* script =
      "[UPDATER]\nNAME=x\nPROC=c\n[DEFINE]\n<Mine>=<Src>\\mine\n"
      "[c]\nMODE=COPY\nFROM=<Mine>\\a.txt,<Win>\\b.txt\nTO=\n";
  std::string shown = Show(Check(script, {{"<src>", "D:\\Setup"}}));
  EXPECT_NE(shown.find("D:\\Setup\\mine\\a.txt"), std::string::npos) << shown;
  shown = Show(Check(script, {{"<Win>", "E:\\WINNT"}, {"<Src>", "D:"}}));
  EXPECT_NE(shown.find("D:\\mine\\a.txt"), std::string::npos) << shown;

  std::vector<check::Diagnostic> problems;
  std::string usage;
  EXPECT_FALSE(check::CheckScript(script, {{"<Mine>", "X:"}}, problems, usage));
  EXPECT_NE(usage.find("<Mine>"), std::string::npos);
  EXPECT_FALSE(check::CheckScript(script, {{"<Nowhere>", "X:"}}, problems, usage));
}

struct Command {
  int status;
  std::string output;
};

// A shell command line's output and exit status (-1 when it did not run
// or did not exit).
Command RunShell(const std::string& line) {
  FILE* pipe = popen(line.c_str(), "r");
  Command result{-1, ""};
  if (!pipe) return result;
  char block[512];
  size_t count;
  while ((count = fread(block, 1, sizeof block, pipe)) > 0) result.output.append(block, count);
  int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

// Its standard error goes where `errors` says, by default with its output.
Command RunChecker(const std::string& arguments, const char* errors = "2>&1") {
  return RunShell(std::string(UPDATER_CHECK) + " " + arguments + " " + errors);
}

TEST(CheckCommand, ExitStatusTellsTheWorstProblem) {
  fs::path dir = fs::temp_directory_path() / ("updater-check-" + std::to_string(getpid()));
  fs::create_directories(dir);
  struct {
    const char* text;
    int status;
    const char* output;
  } cases[] = {
      {"[UPDATER]\nNAME=x\nPROC=a\n[a]\nMODE=OSVER\n", 0, ""},
      {"[UPDATER]\nNAME=x\nPROC=a\n[a]\nMODE=OSVER\n[b]\nMODE=OSVER\n", 1,
       "s.ini:6: warning: section [b]"},
      {"[UPDATER]\nNAME=x\nPROC=a\n[a]\nMODE=OSVERR\n", 2, "s.ini:5: error: "},
      // Script text is told in UTF-8, from code page 932.
      {"[UPDATER]\nNAME=x\nPROC=a\n[a]\nMODE=OSVER\n[\x83\x5C\x83\x74\x83\x67]\n", 1,
       "s.ini:6: warning: section [ソフト] is named"},
  };
  for (const auto& c : cases) {
    std::ofstream((dir / "s.ini").string()) << c.text;
    Command command = RunChecker("check " + (dir / "s.ini").string());
    EXPECT_EQ(command.status, c.status) << command.output;
    EXPECT_NE(command.output.find(c.output), std::string::npos) << command.output;
  }
  // Named warnings: silenced one by one, or all made errors; a summary ends.
  std::ofstream((dir / "s.ini").string()) << cases[1].text;
  std::string script = " " + (dir / "s.ini").string();
  Command named = RunChecker("check" + script);
  EXPECT_NE(named.output.find("never runs [-Wunreached]\n0 errors and 1 warning in 1 script"),
            std::string::npos)
      << named.output;
  EXPECT_EQ(RunChecker("check -Wno-unreached" + script).status, 0);
  Command strict = RunChecker("check --werror" + script);
  EXPECT_EQ(strict.status, 2);
  EXPECT_NE(strict.output.find("s.ini:6: error: section [b]"), std::string::npos) << strict.output;

  Command absent = RunChecker("check " + (dir / "absent.ini").string());
  EXPECT_EQ(absent.status, 2);
  EXPECT_NE(absent.output.find("absent.ini: No such file or directory"), std::string::npos)
      << absent.output;
  EXPECT_NE(RunChecker("check " + dir.string()).output.find("it is a folder"), std::string::npos);
  Command symbol = RunChecker("check --symbol=\"<Nothing>=X:\"" + script);
  EXPECT_EQ(symbol.status, 2);
  EXPECT_NE(symbol.output.find("<Win>, <Sys>, <Src>, <Desktop>, <Programs>, <ProgramFiles>, <ProgramFiles32>, <CommonFiles>, <ProgramData>, <AppData>, <LocalAppData> or <Temp>"), std::string::npos)
      << symbol.output;
  EXPECT_EQ(RunChecker("check --help").status, 0);
  EXPECT_EQ(RunChecker("--version").output.compare(0, 14, "updater-check "), 0);
  EXPECT_EQ(RunChecker("frobnicate").status, 2);
  fs::remove_all(dir);
}

// The script guide's table of warnings is the checker's own, row for row,
// and --help names each; a name that is none of them is said.
TEST(CheckCommand, TheGuideAndHelpTellEveryWarningAsTheTableHasIt) {
  std::istringstream guide(ReadText(SCRIPT_GUIDE));
  std::vector<std::string> told, described;
  for (std::string line; std::getline(guide, line);)
    if (line.compare(0, 5, "| `-W") == 0) told.push_back(line);
  const std::string help = RunChecker("check --help").output;
  for (int i = 0; i < check::WarningCount; ++i) {
    const check::WarningKind& warning = check::Warnings[i];
    const char* when = warning.When == check::Told::Off     ? "off unless given: "
                       : warning.When == check::Told::Error ? "an error now: "
                                                            : "";
    described.push_back(std::string("| `-W") + warning.Name + "` | " + when + warning.What + " |");
    EXPECT_NE(help.find(warning.Name), std::string::npos) << warning.Name;
  }
  EXPECT_EQ(told, described);
  EXPECT_NE(RunChecker(std::string("check -Wno-stray-lines ") + DEMO_SCRIPT)
                .output.find("no warning is named stray-lines"),
            std::string::npos);
}

// The SARIF log is valid against the schema, and tells exactly what the
// text tells: each problem, note and unreadable script, with paths read
// back from their URIs (a blank and Japanese in the name).
TEST(CheckCommand, SarifTellsWhatTheTextTells) {
  fs::path dir = fs::temp_directory_path() / ("updater-sarif-" + std::to_string(getpid()));
  fs::create_directories(dir);
  fs::copy_file(std::string(CHECK_SCRIPTS_DIR) + "/scripts/slips.ini", dir / "更新 slips.ini");
  const std::string scripts = " --code-page 65001 \"" + (dir / "更新 slips.ini").string() +
                              "\" " CHECK_SCRIPTS_DIR "/scripts/define_lists.ini " +
                              (dir / "absent.ini").string();
  Command text = RunChecker("check" + scripts);
  Command sarif =
      RunChecker("check --format sarif" + scripts + " >" + (dir / "log.sarif").string(),
                 "2>/dev/null");
  EXPECT_EQ(sarif.status, text.status);
  ASSERT_TRUE(fs::exists(SARIF_SCHEMA)) << "bash tools/install.sh installs the SARIF schema";
  Command told = RunShell("NODE_PATH=" NODE_MODULES " node " CHECK_SCRIPTS_DIR
                          "/validate_sarif.js " SARIF_SCHEMA " " +
                          (dir / "log.sarif").string());
  EXPECT_EQ(told.status, 0) << told.output;

  // The text output without its summary line, the unreadable script in
  // the log's words.
  std::string expected = text.output.substr(text.output.find('\n') + 1);
  expected.erase(expected.rfind('\n', expected.size() - 2) + 1);
  expected += "unread " + (dir / "absent.ini").string() +
              ": cannot read the script: No such file or directory\nsuccessful: false\n";
  EXPECT_EQ(told.output, expected);
  fs::remove_all(dir);
}

// --src: a file the script reads under <Src> that the folder lacks, and a
// CRC value that is not the shipped file's checksum, are errors; files the
// script makes itself are not looked for.
TEST(CheckCommand, SrcChecksTheFolderThatShips) {
  fs::path dir = fs::temp_directory_path() / ("updater-src-" + std::to_string(getpid()));
  fs::create_directories(dir / "ship");
  std::ofstream((dir / "ship" / "b.txt").string()) << "abc";
  std::ofstream((dir / "ship" / "データ.txt").string()) << "abc";
  fs::create_directories(dir / "ship" / "data" / "sub");
  std::ofstream((dir / "ship" / "data" / "sub" / "x.txt").string()) << "abc";
  std::ofstream((dir / "ship" / "a.DLL").string()) << "abc";
  std::ofstream((dir / "ship" / "x.dll_old").string()) << "abc";
  std::ofstream((dir / "s.ini").string())
      << "[UPDATER]\nNAME=x\nPROC=c,t,e,i,v,l,f\n[c]\nMODE=COPY\nFROM=<Src>\\a.txt\n"
         "TO=<Src>\\out\\a.txt\n[t]\nMODE=CRC\nFILE=<Src>\\b.txt,<Src>\\out\\a.txt\n"
         "TYPE=AND\nCRC=0x00000001,0x00000002\n"
         // データ in code page 932, which the folder has in UTF-8.
         "[e]\nMODE=EXIST\nFILE=<Src>\\\x83\x66\x81\x5B\x83\x5E.txt\n"
         // A verify after the copy checks the installed file: the shipped one counts.
         "[i]\nMODE=COPY\nFROM=<Src>\\b.txt\nTO=<Win>\\b.txt\n"
         "[v]\nMODE=CRC\nFILE=<Win>\\b.txt\nTYPE=\nCRC=0x00000003\n"
         // Files a started program is told of are checked as those it reads.
         "[l]\nMODE=LAUNCH\nFILE=<Sys>\\reg.exe\n"
         "PARAM=import \"<Src>\\my notes.reg\" /s <Src>\\b.txt\nISWAIT=1\n"
         // A folder's files: a tree, a pattern, and one that matches nothing there.
         "[f]\nMODE=COPY\nFROM=<Src>\\data\\*,<Src>\\*.dll,<Src>\\*.dl\n"
         "TO=<Win>\\d,<Win>\\p,<Win>\\q\n";
  Command command =
      RunChecker("check --src " + (dir / "ship").string() + " " + (dir / "s.ini").string());
  EXPECT_EQ(command.status, 2);
  EXPECT_NE(command.output.find("s.ini:6: error: FROM item \"C:\\Setup\\a.txt\" is not in the "
                                "folder that ships"),
            std::string::npos)
      << command.output;
  EXPECT_NE(command.output.find("s.ini:12: error: CRC item \"0x00000001\" is not the checksum of " +
                                (dir / "ship").string() + "/b.txt, 0x0000012A"),
            std::string::npos)
      << command.output;
  EXPECT_NE(command.output.find("s.ini:24: error: CRC item \"0x00000003\" is not the checksum of " +
                                (dir / "ship").string() + "/b.txt, 0x0000012A, which the script "
                                "copies to \"C:\\Windows\\b.txt\""),
            std::string::npos)
      << command.output;
  EXPECT_NE(command.output.find("s.ini:28: error: PARAM names \"C:\\Setup\\my notes.reg\", which "
                                "is not in the folder that ships"),
            std::string::npos)
      << command.output;
  EXPECT_NE(command.output.find("s.ini:32: error: FROM item \"C:\\Setup\\*.dl\" matches no file in "
                                "the folder that ships"),
            std::string::npos)
      << command.output;
  EXPECT_NE(command.output.find("5 errors and 0 warnings"), std::string::npos) << command.output;
  fs::remove_all(dir);
}

// hash prints the digests and the lines to paste; --src holds each SHA256
// item against the file that ships; -Wunverified-program, off unless
// given, names a program from <Src> that nothing verifies.
TEST(CheckCommand, DigestsOfTheFolderThatShips) {
  fs::path dir = fs::temp_directory_path() / ("updater-sha-" + std::to_string(getpid()));
  fs::create_directories(dir / "ship");
  std::ofstream((dir / "ship" / "notes.exe").string()) << "abc";
  std::ofstream((dir / "ship" / "setup.msi").string()) << "abc";
  const std::string abc = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
  Command hash = RunChecker("hash " + (dir / "ship" / "notes.exe").string());
  EXPECT_EQ(hash.status, 0);
  EXPECT_NE(hash.output.find("\n[DEFINE]\n<NotesExe>=" + abc + "\n\nSHA256=<NotesExe>\n"),
            std::string::npos)
      << hash.output;
  std::ofstream((dir / "s.ini").string())
      << "[UPDATER]\nNAME=x\nPROC=c\n[c]\nMODE=COPY\nFROM=<Src>\\notes.exe,<Src>\\setup.msi\n"
         "TO=<Win>\\n.exe,<Win>\\s.msi\nSHA256=" + std::string(64, 'A') + ",-\n";
  const std::string script = " " + (dir / "s.ini").string();
  Command plain = RunChecker("check --src " + (dir / "ship").string() + script);
  EXPECT_NE(plain.output.find("s.ini:8: error: SHA256 item \"" + std::string(64, 'A') +
                              "\" is not the SHA-256 digest of " + (dir / "ship").string() +
                              "/notes.exe, " + abc),
            std::string::npos)
      << plain.output;
  EXPECT_EQ(plain.output.find("unverified"), std::string::npos) << plain.output;
  std::string text = "[UPDATER]\nNAME=x\nPROC=l\n[l]\nMODE=LAUNCH\nFILE=<Src>\\setup.exe,<Src>\\x.txt\n"
                     "PARAM=\nISWAIT=1\n";
  std::ofstream((dir / "s.ini").string()) << text;
  Command warned = RunChecker("check -Wunverified-program" + script);
  EXPECT_NE(warned.output.find("s.ini:6: warning: FILE item \"C:\\Setup\\setup.exe\" is a program "
                               "from <Src> that starts unverified"),
            std::string::npos)
      << warned.output;
  EXPECT_NE(warned.output.find("0 errors and 1 warning"), std::string::npos) << warned.output;
  std::ofstream((dir / "s.ini").string()) << text << "SIGNER=Example Ltd\n";
  EXPECT_EQ(RunChecker("check -Wunverified-program" + script).output.find("unverified"),
            std::string::npos);
}

// --src holds SIGNER against the signature of the program that ships, as
// osslsigncode reads it: the signer's common name (Japanese and a comma
// here), no signature, a changed file. Signed in the test.
TEST(CheckCommand, SrcHoldsSignerAgainstTheSignatureThatShips) {
  const std::string program = BENCH_TOOLS_DIR "/win32/holdfile.exe";
  ASSERT_TRUE(fs::exists(program)) << "tools/build.sh builds the Windows programs";
  if (system("command -v osslsigncode >/dev/null && command -v openssl >/dev/null") != 0)
    GTEST_SKIP() << "osslsigncode or openssl is not installed (tools/install.sh installs them)";
  fs::path dir = fs::temp_directory_path() / ("updater-signer-" + std::to_string(getpid()));
  fs::create_directories(dir / "ship");
  const std::string d = dir.string(), ship = d + "/ship";
  std::string make =
      "cd '" + d + "' && openssl req -x509 -newkey rsa:2048 -nodes -keyout k.pem -out c.pem "
      "-days 2 -utf8 -subj '/CN=テスト発行元, Inc./O=Tests' 2>/dev/null && "
      "osslsigncode sign -certs c.pem -key k.pem -in '" + program + "' -out ship/signed.exe "
      ">/dev/null && cp '" + program + "' ship/unsigned.exe && cp ship/signed.exe ship/changed.exe "
      "&& printf 'X' | dd of=ship/changed.exe bs=1 seek=1024 conv=notrunc 2>/dev/null";
  ASSERT_EQ(system(make.c_str()), 0) << make;
  const std::string publisher = "\x83\x65\x83\x58\x83\x67\x94\xAD\x8D\x73\x8C\xB3, Inc.";  // in 932
  std::ofstream(d + "/s.ini") << "[UPDATER]\nNAME=x\nPROC=a,b,c\n[a]\nMODE=COPY\n"
                                 "FROM=<Src>\\signed.exe,<Src>\\changed.exe\n"
                                 "TO=<Win>\\a.exe,<Win>\\b.exe\nSIGNER=" + publisher + "\n"
                                 "[b]\nMODE=LAUNCH\nFILE=<Src>\\unsigned.exe\nPARAM=\nISWAIT=1\n"
                                 "SIGNER=" + publisher + "\n[c]\nMODE=LAUNCH\n"
                                 "FILE=<Src>\\signed.exe\nPARAM=\nISWAIT=1\nSIGNER=Tesuto\n";
  Command command = RunChecker("check --src " + ship + " " + d + "/s.ini");
  EXPECT_EQ(command.status, 2);
  const std::string start = d + "/s.ini:";
  for (const std::string& error :
       {start + "8: error: SIGNER \"テスト発行元, Inc.\" is not the signer of " + ship +
            "/changed.exe: its signature does not verify",
        start + "14: error: SIGNER \"テスト発行元, Inc.\" is not the signer of " + ship +
            "/unsigned.exe: it carries no signature",
        start + "20: error: SIGNER \"Tesuto\" is not the signer of " + ship +
            "/signed.exe: it is signed by \"テスト発行元, Inc.\""})
    EXPECT_NE(command.output.find(error), std::string::npos) << error << "\n" << command.output;
  EXPECT_NE(command.output.find("3 errors and 0 warnings"), std::string::npos) << command.output;
  fs::remove_all(dir);
}

// Programs built with the file versions 1.9, 1.10 and 2.0.0.1: version
// prints what a VERSION test reads, and --src refuses a VERSION test whose
// update would install a program older than the version it asks for.
TEST(CheckCommand, VersionsOfBuiltProgramsAndTheDowngradeOfAShippedOne) {
  const std::string tools = BENCH_TOOLS_DIR "/win32/holdfile-";
  ASSERT_TRUE(fs::exists(tools + "1.9.exe")) << "tools/build.sh builds the Windows programs";
  Command command = RunChecker("version " + tools + "1.10.exe " + tools + "2.0.0.1.exe " + tools +
                               "1.9.exe");
  EXPECT_EQ(command.status, 0) << command.output;
  EXPECT_EQ(command.output, "1.10.0.0  " + tools + "1.10.exe\n2.0.0.1  " + tools +
                                "2.0.0.1.exe\n1.9.0.0  " + tools + "1.9.exe\nVERSION=1.9.0.0\n");
  command = RunChecker("version " + tools + "1.9.exe " + CHECK_SCRIPTS_DIR "/check_test.cpp");
  EXPECT_EQ(command.status, 2);
  EXPECT_NE(command.output.find("check_test.cpp: it has no version information"),
            std::string::npos)
      << command.output;

  fs::path dir = fs::temp_directory_path() / ("updater-version-" + std::to_string(getpid()));
  fs::create_directories(dir / "ship");
  std::ofstream((dir / "ship" / "notes.txt").string()) << "notes";
  const std::string ship = (dir / "ship").string(), script = (dir / "s.ini").string();
  struct {
    const char* version;
    const char* shipped;
    std::string error;  // at the VERSION line, with a note at the copy
  } rows[] = {
      {"1.10", "1.10.exe", ""},
      {"1.10.0.1", "1.10.exe",
       "VERSION \"1.10.0.1\" is newer than the program that ships: " + ship +
           "/app.exe is version 1.10.0.0, and the update copies it over \"C:\\Windows\\app.exe\" "
           "when that file is older than \"1.10.0.1\": it may put an older program in place of "
           "the one it replaces, and the test finds the file older again at every run"},
      {"1", "notes.txt",
       "VERSION \"1\" tests \"C:\\Windows\\app.exe\", which the update copies from " + ship +
           "/app.exe, a file without version information: the test finds it older at every "
           "run, and the update runs again each time"},
  };
  for (const auto& row : rows) {
    fs::copy_file(row.shipped == std::string("notes.txt") ? ship + "/notes.txt"
                                                          : tools + row.shipped,
                  ship + "/app.exe", fs::copy_options::overwrite_existing);
    // The copy of the notes is not tested: it is not held to the version.
    std::ofstream(script) << "[UPDATER]\nNAME=x\nPROC=old,s\n[old]\nMODE=VERSION\n"
                             "FILE=<Win>\\app.exe\nVERSION="
                          << row.version
                          << "\n[s]\nMODE=SWITCH\nPROC=old\n0=\n1=c\n"
                             "[c]\nMODE=COPY\nFROM=<Src>\\notes.txt,<Src>\\app.exe\n"
                             "TO=<Win>\\notes.txt,<Win>\\app.exe\n";
    command = RunChecker("check --src " + ship + " " + script);
    EXPECT_EQ(command.output,
              row.error.empty() ? "0 errors and 0 warnings in 1 script\n"
                                : script + ":7: error: " + row.error + "\n" + script +
                                      ":16: note: the copy of \"C:\\Setup\\app.exe\" to "
                                      "\"C:\\Windows\\app.exe\"\n1 error and 0 warnings in 1 "
                                      "script\n")
        << row.version;
  }
  fs::remove_all(dir);
}

TEST(CheckCommand, CrcPrintsTheChecksumsOfTheUpdater) {
  fs::path dir = fs::temp_directory_path() / ("updater-crc-" + std::to_string(getpid()));
  fs::create_directories(dir);
  std::ofstream((dir / "abc").string()) << "abc";
  std::ofstream((dir / "ones").string()) << std::string(30, '\x01');
  // Read in several blocks, none a whole number of the checksum's periods.
  std::string bigData((3 << 20) + 7, '\0');
  for (size_t i = 0; i < bigData.size(); ++i) bigData[i] = static_cast<char>(i * 7919 >> 3);
  std::ofstream((dir / "big").string(), std::ios::binary) << bigData;
  std::ofstream((dir / "empty").string());
  Command command = RunChecker("crc " + (dir / "abc").string() + " " + (dir / "ones").string());
  EXPECT_EQ(command.status, 0) << command.output;
  EXPECT_EQ(command.output, "0x0000012A  " + (dir / "abc").string() + "\n0x01FFFFFE  " +
                                (dir / "ones").string() + "\n");
  // The checksum as defined, byte by byte: the low 32 bits of the size,
  // each byte shifted by its position modulo 25.
  uint32_t expected = static_cast<uint32_t>(bigData.size());
  for (size_t i = 0; i < bigData.size(); ++i)
    expected ^= static_cast<uint32_t>(static_cast<uint8_t>(bigData[i])) << (i % 25);
  char big[16];
  snprintf(big, sizeof big, "0x%08X", static_cast<unsigned>(expected));
  EXPECT_EQ(RunChecker("crc " + (dir / "big").string()).output,
            std::string(big) + "  " + (dir / "big").string() + "\n");
  for (const char* unreadable : {"empty", "absent", ""}) {
    command = RunChecker("crc " + (dir / unreadable).string());
    EXPECT_EQ(command.status, 2) << unreadable;
    EXPECT_NE(command.output.find("cannot be read: "), std::string::npos) << command.output;
  }
  // A ready key for the files in order.
  EXPECT_EQ(RunChecker("crc --key " + (dir / "abc").string() + " " + (dir / "ones").string())
                .output,
            "CRC=0x0000012A, 0x01FFFFFE\n");
  fs::remove_all(dir);
}

}  // namespace
