// Runs that complete or change nothing (ROLLBACK=1) under Wine: a failure,
// an abort answer and a kill are undone, a running program's file is
// replaced, and a second start waits its turn.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <future>
#include <sstream>
#include <string>
#include <vector>

#include "report_texts.h"
#include "wine_case.h"
#include "wine_env.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

std::string CaseName() {
  return std::string("rollback_") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
}

// Everything under `rel`: each entry's name, and for a file its bytes, its
// read-only flag and its last-write time.
std::string FolderState(const WineCase& c, const std::string& rel) {
  std::vector<std::string> lines;
  for (const auto& entry : fs::recursive_directory_iterator(c.UnixPath(rel))) {
    std::string name = fs::relative(entry.path(), c.UnixPath(rel)).string();
    if (entry.is_directory()) {
      lines.push_back("folder " + name);
      continue;
    }
    std::string file = fs::relative(entry.path(), c.UnixPath()).string();
    bool readOnly = (entry.status().permissions() & fs::perms::owner_write) == fs::perms::none;
    lines.push_back(name + (readOnly ? " read-only " : " ") +
                    std::to_string(entry.last_write_time().time_since_epoch().count()) + " " +
                    c.ReadFile(file));
  }
  std::sort(lines.begin(), lines.end());
  std::string state;
  for (const std::string& line : lines) state += line + "\n";
  return state;
}

// The old version in app\ and the new one in new\.
void LayOut(WineCase& c) {
  c.WriteFile("app/a.txt", "old a");
  c.WriteFile("app/b.txt", "old b");
  c.WriteFile("app/gone.txt", "old gone");
  c.WriteFile("app/old.LNK", "old shortcut");
  c.WriteFile("new/a.txt", "new a");
  c.WriteFile("new/b.txt", "new b");
  c.WriteFile("new/c.txt", "new c");
  fs::last_write_time(c.UnixPath("app/a.txt"),
                      fs::last_write_time(c.UnixPath("app/a.txt")) - std::chrono::hours(24 * 400));
}

// Copies over old files and into a new folder, a deletion, attributes and
// shortcuts, then the procedures of `tail` (sections named t1, t2...).
std::string Script(const std::string& keys, const std::string& tailList = "",
                   const std::string& tail = "") {
  return "[UPDATER]\nNAME=T\nROLLBACK=1\n" + keys + "PROC=copy,dir,made,del,attr,link" +
         (tailList.empty() ? "" : "," + tailList) +
         "\n[copy]\nMODE=COPY\nFROM=<Src>\\new\\a.txt,<Src>\\new\\b.txt\n"
         "TO=<Src>\\app\\a.txt,<Src>\\app\\b.txt\n"
         "[dir]\nMODE=MAKEDIR\nDIR=<Src>\\app\\sub\n"
         "[made]\nMODE=COPY\nFROM=<Src>\\new\\c.txt\nTO=<Src>\\app\\sub\\c.txt\n"
         "[del]\nMODE=DELETE\nFILE=<Src>\\app\\gone.txt\n"
         "[attr]\nMODE=ATTR\nFILE=<Src>\\app\\b.txt\nARG=0x01\n"
         "[link]\nMODE=LINK\nSRC=<Src>\\app\\a.txt,<Src>\\app\\b.txt\nPARAM=\nSHOWCMD=1,1\n"
         "DST=<Src>\\app\\old,<Src>\\app\\new\n" +
         tail;
}

const char* const NoOp = "[UPDATER]\nNAME=T\nPROC=p\n[p]\nMODE=OSVER\n";

TEST(Rollback, AFailureAndAnAbortAnswerRestoreTheOldStateExactly) {
  struct Row {
    const char* name;
    std::string tail;
    const char* text;  // "": the report of the copy
  } rows[] = {
      {"failure", "[t1]\nMODE=COPY\nFROM=<Src>\\new\\none.txt\nTO=<Src>\\app\\x.txt\n", ""},
      {"abort", "[t1]\nMODE=MSGBOX\nFLAG=\nTYPE=WARNING\nTEXT=Stop?\nISABORT=0,1\n", "Stop?"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    WineCase c(CaseName() + "_" + row.name);
    c.InstallUpdater();
    LayOut(c);
    c.WriteScript(Script("", "t1", row.tail));
    const std::string before = FolderState(c, "app");
    RunResult r = c.Run();
    ASSERT_EQ(r.boxes.size(), 1u) << r;
    EXPECT_EQ(r.boxes[0].text, *row.text ? std::string(row.text)
                                         : Report(8, c.WinPath("new\\none.txt"),
                                                  c.WinPath("app\\x.txt")))
        << r;
    EXPECT_EQ(r.exitCode, 0) << r;
    EXPECT_EQ(FolderState(c, "app"), before);
    EXPECT_FALSE(c.Exists("updater.journal"));
  }
}

// Ended by a deployment tool's time limit while it waits on a program: the
// next start, whatever its script now says, undoes what the run did.
TEST(Rollback, ARunKilledWhileItWaitsIsUndoneByTheNextStart) {
  WineCase c(CaseName());
  c.InstallTool("boxprobe.exe", "hang.exe");
  c.InstallUpdater();
  LayOut(c);
  c.WriteScript(Script("", "t1", "[t1]\nMODE=LAUNCH\nFILE=<Src>\\hang.exe\nPARAM=hang\nISWAIT=1\n"));
  const std::string before = FolderState(c, "app");
  RunResult killed = c.Run("", {}, 932, 4);
  ASSERT_TRUE(killed.timedOut) << killed;
  EXPECT_EQ(c.ReadFile("app/a.txt"), "new a");
  EXPECT_TRUE(c.Exists("updater.journal"));

  c.WriteScript(NoOp);
  RunResult next = c.Run("/LOG=" + c.WinPath("next.log"));
  EXPECT_TRUE(next.boxes.empty()) << next;
  EXPECT_EQ(next.exitCode, 0) << next;
  EXPECT_EQ(FolderState(c, "app"), before);
  EXPECT_FALSE(c.Exists("updater.journal"));
  EXPECT_NE(c.ReadFile("next.log").find("tells of a run cut short: undoing it"), std::string::npos)
      << c.ReadFile("next.log");
}

// The most common update of all: the program is replaced while it runs. It
// fails without the key; with it the program runs on from its old file,
// which goes at the next restart (exit code 3010).
TEST(Rollback, ACopyOverARunningProgramSucceedsAndTheProgramRunsOn) {
  WineCase c(CaseName());
  c.InstallTool("holdfile.exe", "app/app.exe");
  c.InstallTool("launchprobe.exe", "new/app.exe");
  c.InstallUpdater();
  c.WriteFile("app/data.txt", "data");
  std::future<CommandResult> running = StartInBackground(
      c, {c.WinPath("app\\app.exe"), c.WinPath("running"), "read", c.WinPath("app\\data.txt")});
  ASSERT_TRUE(WaitFor(c, "running"));
  const std::string copy =
      "PROC=copy\n[copy]\nMODE=COPY\nFROM=<Src>\\new\\app.exe\nTO=<Src>\\app\\app.exe\n";

  c.WriteScript("[UPDATER]\nNAME=T\nUNATTENDED=1\n" + copy);
  RunResult refused = c.Run();
  EXPECT_EQ(refused.exitCode, 1603) << refused;

  c.WriteScript("[UPDATER]\nNAME=T\nUNATTENDED=1\nROLLBACK=1\nLOG=<Src>\\run.log\n" + copy);
  RunResult r = c.Run();
  EXPECT_TRUE(r.boxes.empty()) << r;
  EXPECT_EQ(r.exitCode, 3010) << r;
  EXPECT_EQ(c.ReadFile("app/app.exe"), c.ReadFile("new/app.exe"));
  EXPECT_NE(c.ReadFile("run.log").find("is in use: it is removed at the next restart"),
            std::string::npos)
      << c.ReadFile("run.log");
  EXPECT_FALSE(c.Exists("updater.journal"));
  // Still running, from its old content, until it ends as it would.
  EXPECT_EQ(running.wait_for(std::chrono::seconds(0)), std::future_status::timeout);
  fs::remove(c.UnixPath("running"));
  EXPECT_EQ(running.get().status, 0);
}

TEST(Rollback, ACompletedRunLeavesNothingBesideItsResult) {
  WineCase c(CaseName());
  c.InstallUpdater();
  LayOut(c);
  c.WriteScript(Script(""));
  RunResult r = c.Run();
  EXPECT_TRUE(r.boxes.empty()) << r;
  EXPECT_EQ(r.exitCode, 0) << r;
  std::vector<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(c.UnixPath("app")))
    names.push_back(fs::relative(entry.path(), c.UnixPath("app")).string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "b.txt", "new.LNK", "old.LNK", "sub",
                                             "sub/c.txt"}));
  EXPECT_EQ(c.ReadFile("app/a.txt"), "new a");
  EXPECT_FALSE(c.Exists("updater.journal"));
}

TEST(Rollback, ASecondStartWhileARunIsInProgressExits1618) {
  WineCase c(CaseName());
  c.InstallTool("holdfile.exe", "wait.exe");
  c.InstallUpdater();
  c.WriteFile("data.txt", "data");
  c.WriteScript("[UPDATER]\nNAME=T\nROLLBACK=1\nPROC=wait,copy\n"
                "[wait]\nMODE=LAUNCH\nFILE=<Src>\\wait.exe\nPARAM=<Src>\\waiting read <Src>\\data.txt\n"
                "ISWAIT=1\n[copy]\nMODE=COPY\nFROM=<Src>\\data.txt\nTO=<Src>\\copied.txt\n");
  std::future<CommandResult> first = StartInBackground(c, {c.WinPath("updater.exe")});
  ASSERT_TRUE(WaitFor(c, "waiting"));
  RunResult second = c.Run("/UNATTENDED /LOG=" + c.WinPath("second.log"));
  EXPECT_TRUE(second.boxes.empty()) << second;
  EXPECT_EQ(second.exitCode, 1618) << second;
  EXPECT_NE(c.ReadFile("second.log").find("another run of this script is in progress"),
            std::string::npos);
  fs::remove(c.UnixPath("waiting"));
  EXPECT_EQ(first.get().status, 0);
  EXPECT_EQ(c.ReadFile("copied.txt"), "data");
  EXPECT_FALSE(c.Exists("updater.journal"));
}

}  // namespace
}  // namespace e2e
