// Unattended runs and the run's log under Wine, as deployment tools use them:
// no display, exit codes, every event in the log, switches before a caption.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "report_texts.h"
#include "wine_case.h"
#include "wine_env.h"

namespace e2e {
namespace {

std::string CaseName() {
  return std::string("deploy_") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
}

std::string Note(const std::string& name, const std::string& type, const std::string& text,
                 const std::string& more = "") {
  return "[" + name + "]\nMODE=MSGBOX\nFLAG=\nTYPE=" + type + "\nTEXT=" + text +
         "\nISABORT=0,1\n" + more;
}

// The log's lines without their times, durations as "N ms".
std::vector<std::string> LogLines(const WineCase& c, const std::string& rel) {
  std::vector<std::string> lines;
  std::istringstream in(c.ReadFile(rel));
  std::string line;
  const std::regex stamp("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} ");
  while (std::getline(in, line)) {
    EXPECT_TRUE(!line.empty() && line.back() == '\r') << "no CRLF: " << line;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    EXPECT_TRUE(std::regex_search(line, stamp)) << "no time: " << line;
    line = std::regex_replace(line, stamp, "");
    lines.push_back(std::regex_replace(line, std::regex("\\d+ ms"), "N ms"));
  }
  return lines;
}

// Unattended, with no display at all: each way a run ends gives its code,
// and no box is shown.
TEST(Deploy, UnattendedRunsNeedNoDisplayAndGiveExitCodes) {
  WineCase c(CaseName());
  c.InstallUpdater();
  c.WithoutDisplay();
  struct Row {
    const char* sections;
    int exitCode;
  } rows[] = {
      {"[p]\nMODE=OSVER\n", 0},
      {"[p]\nMODE=MSGBOX\nFLAG=\nTYPE=QUESTION\nTEXT=Go?\nISABORT=0,1\nANSWER=no\n", 1602},
      {"[p]\nMODE=DELETE\nFILE=<Src>\\none.txt\n", 1603},
      // A box's type says what the end of the run by its answer means.
      {"[p]\nMODE=MSGBOX\nFLAG=\nTYPE=ERROR\nTEXT=Broken\nISABORT=1,1\n", 1603},
      {"[p]\nMODE=MSGBOX\nFLAG=\nTYPE=INFORMATION\nTEXT=Up to date\nISABORT=1,1\n", 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.sections);
    c.WriteScript(std::string("[UPDATER]\nNAME=T\nPROC=p\n") + row.sections);
    RunResult r = c.Run("/UNATTENDED");
    EXPECT_TRUE(r.boxes.empty()) << r;
    EXPECT_EQ(r.exitCode, row.exitCode) << r;
  }
}

// Every kind of procedure in one unattended run: the log holds each event,
// in order. QUESTION boxes take ANSWER, else their default (Yes; a
// WARNING's is No).
TEST(Deploy, TheLogHoldsEveryEventInOrder) {
  WineCase c(CaseName());
  c.InstallTool("launchprobe.exe", "probe.exe");
  c.InstallUpdater();
  c.WriteFile("a.txt", "abc");
  c.WriteFile("old.txt", "old");
  c.WriteScript(
      "[UPDATER]\nNAME=T\nUNATTENDED=1\nLOG=<Src>\\run.log\n"
      "PROC=exist,branch,date,osver,crc,yes,ask,warn\n"
      "[exist]\nMODE=EXIST\nFILE=<Src>\\a.txt\n"
      "[branch]\nMODE=SWITCH\nPROC=exist\n0=\n1=dir,copy,attr,link,launch,delete\n"
      "[dir]\nMODE=MAKEDIR\nDIR=<Src>\\d\n"
      "[copy]\nMODE=COPY\nFROM=<Src>\\a.txt\nTO=<Src>\\d\\b.txt\n"
      "[attr]\nMODE=ATTR\nFILE=<Src>\\d\\b.txt\nARG=0x01\n"
      "[link]\nMODE=LINK\nSRC=<Src>\\d\\b.txt\nPARAM=\nSHOWCMD=1\nDST=<Src>\\d\\b\n"
      "[launch]\nMODE=LAUNCH\nFILE=<Src>\\probe.exe\nPARAM=x\nISWAIT=1\n"
      "[delete]\nMODE=DELETE\nFILE=<Src>\\old.txt\n"
      "[date]\nMODE=DATE\nFILE=<Src>\\a.txt\nDATE=2000/1/1\n"
      "[osver]\nMODE=OSVER\n"
      "[crc]\nMODE=CRC\nFILE=<Src>\\a.txt\nTYPE=\nCRC=\n" +
      Note("yes", "QUESTION", "Yes?", "ANSWER=YES\n") + Note("ask", "QUESTION", "Default?") +
      "[warn]\nMODE=MSGBOX\nFLAG=\nTYPE=WARNING\nTEXT=Careful%nsecond line\nISABORT=0,0\n");
  RunResult r = c.Run();
  EXPECT_TRUE(r.boxes.empty()) << r;
  EXPECT_EQ(r.exitCode, 0) << r;
  const std::string src = c.WinPath();
  const std::vector<std::string> expected = {
      "start: program \"" + src + "\\updater.exe\" 1.1.0.0, script \"" + src +
          "\\updater.ini\", caption \"セルベリン アップデータ\", code page 932, unattended, elevated",
      "caption \"T\" (NAME): the title of every box from here on",
      "procedure \"exist\" (EXIST) starts",
      "procedure \"exist\" ends: Result true, N ms",
      "procedure \"branch\" (SWITCH) starts",
      "procedure \"dir\" (MAKEDIR) starts",
      "folder made \"" + src + "\\d\"",
      "procedure \"dir\" ends: Result true, N ms",
      "procedure \"copy\" (COPY) starts",
      "copied \"" + src + "\\a.txt\" to \"" + src + "\\d\\b.txt\"",
      "procedure \"copy\" ends: Result true, N ms",
      "procedure \"attr\" (ATTR) starts",
      "attributes of \"" + src + "\\d\\b.txt\" set to 0x00000001",
      "procedure \"attr\" ends: Result true, N ms",
      "procedure \"link\" (LINK) starts",
      "shortcut saved \"" + src + "\\d\\b.LNK\" to \"" + src + "\\d\\b.txt\"",
      "procedure \"link\" ends: Result true, N ms",
      "procedure \"launch\" (LAUNCH) starts",
      "program started: \"" + src + "\\probe.exe x\" in \"" + src + "\"",
      "program ended: \"" + src + "\\probe.exe\", exit code 0",
      "procedure \"launch\" ends: Result true, N ms",
      "procedure \"delete\" (DELETE) starts",
      "deleted \"" + src + "\\old.txt\"",
      "procedure \"delete\" ends: Result true, N ms",
      "procedure \"branch\" ends: Result false, N ms",
      "procedure \"date\" (DATE) starts",
      "procedure \"date\" ends: Result false, N ms",
      "procedure \"osver\" (OSVER) starts",
      "procedure \"osver\" ends: Result true, N ms",
      "procedure \"crc\" (CRC) starts",
      "box \"T\" (information, OK) not shown, answered OK: \"PROC\\t: crc\\nFILE\\t: " + src +
          "\\a.txt\\nCRC32\\t: 0x0000012A\"",
      "procedure \"crc\" ends: Result true, N ms",
      "procedure \"yes\" (MSGBOX) starts",
      "box \"T\" (question, Yes No) not shown, answered Yes: \"Yes?\"",
      "procedure \"yes\" ends: Result true, N ms",
      "procedure \"ask\" (MSGBOX) starts",
      "box \"T\" (question, Yes No) not shown, answered Yes: \"Default?\"",
      "procedure \"ask\" ends: Result true, N ms",
      "procedure \"warn\" (MSGBOX) starts",
      "box \"T\" (warning, Yes No) not shown, answered No: \"Careful\\nsecond line\"",
      "procedure \"warn\" ends: Result false, N ms",
      "end: completed, exit code 0, N ms",
  };
  EXPECT_EQ(LogLines(c, "run.log"), expected);
  // Appended, never truncated: a second run adds its lines after these.
  c.WriteScript("[UPDATER]\nNAME=T\nLOG=<Src>\\run.log\nPROC=o\n[o]\nMODE=OSVER\n");
  c.Run();
  EXPECT_EQ(LogLines(c, "run.log").size(), expected.size() + 5);
}

// A failed action's log line says why, in the system's words: a missing
// source, a target another program holds, a shortcut into a missing folder.
TEST(Deploy, TheLogSaysWhyAnActionFailed) {
  WineCase c(CaseName());
  c.InstallTool("holdfile.exe", "holder.exe");
  c.InstallUpdater();
  c.WriteFile("a.txt", "a");
  c.WriteFile("held.txt", "held");
  std::future<CommandResult> holder = StartInBackground(
      c, {c.WinPath("holder.exe"), c.WinPath("holding"), "none", c.WinPath("held.txt")});
  ASSERT_TRUE(WaitFor(c, "holding"));
  // The system's text is in the user's language; the codes are Windows'
  // own (a held target: access denied or a sharing violation).
  struct {
    const char* section;
    const char* line;
  } rows[] = {
      {"[p]\nMODE=COPY\nFROM=<Src>\\none.txt\nTO=<Src>\\b.txt\n",
       R"(^error report 8: .*\\b\.txt" \(system error 2: [^)]+\)$)"},
      {"[p]\nMODE=COPY\nFROM=<Src>\\a.txt\nTO=<Src>\\held.txt\n",
       R"(^error report 8: .*\\held\.txt" \(system error (5|32): [^)]+\)$)"},
      {"[p]\nMODE=LINK\nSRC=<Src>\\a.txt\nPARAM=\nSHOWCMD=1\nDST=<Src>\\none\\a\n",
       R"(^shortcut not saved ".*\\none\\a\.LNK" to ".*\\a\.txt" \(system error 3: [^)]+\)$)"},
  };
  for (const auto& row : rows) {
    c.WriteScript(std::string("[UPDATER]\nNAME=T\nUNATTENDED=1\nPROC=p\n") + row.section);
    std::filesystem::remove(c.UnixPath("run.log"));
    c.Run("/LOG=" + c.WinPath("run.log"));
    std::vector<std::string> lines = LogLines(c, "run.log");
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [&](const std::string& line) {
                              return std::regex_search(line, std::regex(row.line));
                            }),
              1)
        << row.line << "\n" << c.ReadFile("run.log");
    // The log began before the key was read: it says the run is unattended.
    EXPECT_EQ(lines.at(1), "unattended (UNATTENDED): boxes take their answers from here on");
  }
  std::filesystem::remove(c.UnixPath("holding"));
  EXPECT_EQ(holder.get().status, 0);
}

// A target that another program holds without sharing is tried again,
// each try in the log: one let go 2 s after the first try is copied; one
// held for 10 s is message 8, once the tries have taken about 5 s.
// Unattended, as deployments run: the report is the log's.
TEST(Deploy, ATargetHeldAMomentIsWaitedForAndOneHeldLongerIsReported) {
  WineCase c(CaseName());
  c.InstallTool("holdfile.exe", "holder.exe");
  c.InstallUpdater();
  c.WriteFile("a.txt", "new");
  c.WriteScript("[UPDATER]\nNAME=T\nLOG=<Src>\\run.log\nPROC=p\n"
                "[p]\nMODE=COPY\nFROM=<Src>\\a.txt\nTO=<Src>\\held.txt\n");
  const std::string tried =
      "held by another program: could not replace \"" + c.WinPath("held.txt") + "\"";
  for (int seconds : {2, 10}) {
    SCOPED_TRACE(seconds);
    c.WriteFile("held.txt", "old");
    std::filesystem::remove(c.UnixPath("run.log"));
    std::future<CommandResult> holder = StartInBackground(
        c, {c.WinPath("holder.exe"), c.WinPath("holding"), "none", c.WinPath("held.txt")});
    ASSERT_TRUE(WaitFor(c, "holding"));
    const std::string log = c.UnixPath("run.log");
    std::future<void> release = std::async(std::launch::async, [&, seconds] {
      auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
      for (;;) {
        std::ifstream in(log, std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (text.find(tried) != std::string::npos || std::chrono::steady_clock::now() > until)
          break;
        usleep(50000);
      }
      sleep(seconds);
      std::filesystem::remove(c.UnixPath("holding"));
    });
    RunResult r = c.Run("/UNATTENDED", {}, 932, 60);
    release.get();
    EXPECT_EQ(holder.get().status, 0);
    std::vector<std::string> lines = LogLines(c, "run.log");
    EXPECT_GE(std::count_if(lines.begin(), lines.end(),
                            [&](const std::string& line) { return line.find(tried) == 0; }),
              2)
        << c.ReadFile("run.log");
    if (seconds == 2) {
      EXPECT_EQ(r.exitCode, 0) << r;
      EXPECT_EQ(c.ReadFile("held.txt"), "new");
      EXPECT_EQ(lines.back(), "end: completed, exit code 0, N ms");
      continue;
    }
    EXPECT_EQ(r.exitCode, 1603) << r;
    EXPECT_EQ(c.ReadFile("held.txt"), "old");
    std::string report = Report(8, c.WinPath("a.txt"), c.WinPath("held.txt"));
    report = std::regex_replace(report, std::regex("\n"), "\\n");
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [&](const std::string& line) {
                              return line.find("error report 8: " + report) == 0;
                            }),
              1)
        << c.ReadFile("run.log");
    // How long the tries took, loosely: the machine may be busy.
    std::smatch took;
    const std::string text = c.ReadFile("run.log");
    ASSERT_TRUE(std::regex_search(text, took, std::regex("procedure \"p\" ends the run: Result false, (\\d+) ms")))
        << text;
    EXPECT_GE(std::stoi(took[1]), 4000) << text;
    EXPECT_LE(std::stoi(took[1]), 9000) << text;
  }
}

// In a window station no one can see, a box would wait for ever: the run
// answers its boxes itself, ends by itself, and the log says why.
TEST(Deploy, ARunNoOneCanSeeAnswersItsOwnBoxes) {
  WineCase c(CaseName());
  c.InstallTool("nodesktop.exe");
  c.InstallUpdater();
  c.WriteScript("[UPDATER]\nNAME=T\nLOG=<Src>\\run.log\nPROC=ask\n" +
                Note("ask", "QUESTION", "Go on?", "ANSWER=NO\n"));
  CommandResult r =
      RunWine({c.WinPath("nodesktop.exe"), "30", c.WinPath("updater.exe")}, {}, c.UnixPath(), 90);
  EXPECT_FALSE(r.timedOut) << "the run waited for an answer: " << r.output;
  std::vector<std::string> lines = LogLines(c, "run.log");
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "end: an answer ended the run, exit code 1602, N ms");
  EXPECT_NE(lines[0].find("unattended (no one can see its boxes: its window station is not "
                          "interactive)"),
            std::string::npos)
      << lines[0];
}

// A run killed while a program it waits for hangs: the log ends with the
// program's start, the last thing that happened.
TEST(Deploy, AKilledRunLeavesItsLogUpToItsLastEvent) {
  WineCase c(CaseName());
  c.InstallTool("boxprobe.exe", "hang.exe");
  c.InstallUpdater();
  c.WriteScript("[UPDATER]\nNAME=T\nPROC=o,h\n[o]\nMODE=OSVER\n"
                "[h]\nMODE=LAUNCH\nFILE=<Src>\\hang.exe\nPARAM=hang\nISWAIT=1\n");
  c.ExpectingTimeOut();
  RunResult r = c.Run("/LOG=" + c.WinPath("killed.log"), {}, 932, 3);
  EXPECT_TRUE(r.timedOut) << r;
  std::vector<std::string> lines = LogLines(c, "killed.log");
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "program started: \"" + c.WinPath("hang.exe") + " hang\" in \"" +
                              c.WinPath() + "\"");
}

// A log path that is a link to another file is not written through: the
// other file stays as it was, and the run goes on.
TEST(Deploy, ALogPathThatIsALinkIsLeftAlone) {
  WineCase c(CaseName());
  c.InstallUpdater();
  c.WriteFile("precious.txt", "precious");
  std::filesystem::create_symlink("precious.txt", c.UnixPath("run.log"));
  c.WriteScript("[UPDATER]\nNAME=T\nLOG=<Src>\\run.log\nPROC=s\n" +
                Note("s", "INFORMATION", "still here"));
  RunResult r = c.Run();
  ASSERT_EQ(r.boxes.size(), 1u) << r;
  EXPECT_EQ(r.boxes[0].text, "still here");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(c.ReadFile("precious.txt"), "precious");
  EXPECT_TRUE(std::filesystem::is_symlink(c.UnixPath("run.log")));
}

// Switches in any letter case, a quoted path with blanks, then the caption;
// a "/" word after the caption is part of it, and a switch wins over a key.
TEST(Deploy, SwitchesComeFirstAndTheCaptionAfterThem) {
  WineCase c(CaseName());
  c.InstallUpdater();
  c.WriteScript("[UPDATER]\nNAME=\nUNATTENDED=0\nLOG=<Src>\\key.log\nPROC=s\n" +
                Note("s", "INFORMATION", "shown"));
  RunResult attended = c.Run("/log=\"" + c.WinPath("my log.txt") + "\" /other words");
  ASSERT_EQ(attended.boxes.size(), 1u) << attended;
  EXPECT_EQ(attended.boxes[0].caption, "/other");
  EXPECT_FALSE(c.Exists("key.log"));
  EXPECT_EQ(LogLines(c, "my log.txt").back(), "end: completed, exit code 0, N ms");

  RunResult silent = c.Run("/Unattended /LOG=\"" + c.WinPath("my log.txt") + "\" 更新 2");
  EXPECT_TRUE(silent.boxes.empty()) << silent;
  std::vector<std::string> lines = LogLines(c, "my log.txt");
  ASSERT_GE(lines.size(), 5u);
  EXPECT_NE(lines[lines.size() - 5].find("caption \"更新\""), std::string::npos)
      << lines[lines.size() - 5];
  EXPECT_EQ(lines[lines.size() - 3], "box \"更新\" (information, OK) not shown, answered OK: \"shown\"");
}

}  // namespace
}  // namespace e2e
