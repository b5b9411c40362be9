// Runs that complete or change nothing (ROLLBACK=1) under Wine: a failure,
// an abort answer and a kill are undone, a running program's file is
// replaced, and a second start waits its turn.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
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

// The journal, in the prefix's journals' folder, of the run of the script at
// `script` (a Windows path): the one whose first line names it; "" where
// there is none.
std::string JournalNaming(const std::string& script) {
  std::error_code error;
  fs::path folder = fs::path(WinePrefix()) / "drive_c" / "windows" / "Updater";
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    if (entry.path().extension() != ".journal") continue;
    std::ifstream file(entry.path(), std::ios::binary);
    std::string header;
    std::getline(file, header);
    std::string upper = header, wanted = "\t" + script + "\t";
    for (char& ch : upper) ch = static_cast<char>(toupper(static_cast<unsigned char>(ch)));
    for (char& ch : wanted) ch = static_cast<char>(toupper(static_cast<unsigned char>(ch)));
    if (upper.find(wanted) != std::string::npos) return entry.path().string();
  }
  return "";
}
bool HasJournal(const WineCase& c, const std::string& script = "updater.ini") {
  return !JournalNaming(c.WinPath(script)).empty();
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
    const char* text;  // "": the report of the copy; "program": that of cmd.exe's exit code
  } rows[] = {
      {"failure", "[t1]\nMODE=COPY\nFROM=<Src>\\new\\none.txt\nTO=<Src>\\app\\x.txt\n", ""},
      {"abort", "[t1]\nMODE=MSGBOX\nFLAG=\nTYPE=WARNING\nTEXT=Stop?\nISABORT=0,1\n", "Stop?"},
      // A program judged by its exit code that fails.
      {"exit_code", "[t1]\nMODE=LAUNCH\nFILE=<Sys>\\cmd.exe\nPARAM=/c exit 1\nISWAIT=0\nSUCCESS=0\n",
       "program"},
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
    std::string expected = std::string(row.text) == "program"
                               ? ReportExitCode("C:\\windows\\system32\\cmd.exe", 1)
                           : *row.text ? std::string(row.text)
                                       : Report(8, c.WinPath("new\\none.txt"), c.WinPath("app\\x.txt"));
    EXPECT_EQ(r.boxes[0].text, expected) << r;
    EXPECT_EQ(r.exitCode, 0) << r;
    EXPECT_EQ(FolderState(c, "app"), before);
    EXPECT_FALSE(HasJournal(c));
  }
}

// A folder tree of 3 levels and 40 files, copied by one item into a folder
// that holds one old file, is undone whole by a failure after it: the old
// file comes back, the new files and the folders made go. Without the
// failure, the tree is there, its empty folder too.
TEST(Rollback, AFolderTreeCopiedByOneItemIsUndoneWhole) {
  WineCase c(CaseName());
  c.InstallUpdater();
  for (const char* folder : {"", "/a", "/a/b", "/c"})
    for (int i = 0; i < 10; ++i)
      c.WriteFile("new/tree" + std::string(folder) + "/f" + std::to_string(i) + ".txt",
                  "new " + std::to_string(i));
  c.MakeDir("new/tree/c/empty");
  c.WriteFile("app/tree/a/f0.txt", "old f0");
  const std::string copy =
      "[tree]\nMODE=COPY\nFROM=<Src>\\new\\tree\\*\nTO=<Src>\\app\\tree\n";
  c.WriteScript("[UPDATER]\nNAME=T\nROLLBACK=1\nPROC=tree,t1\n" + copy +
                "[t1]\nMODE=COPY\nFROM=<Src>\\new\\none.txt\nTO=<Src>\\app\\x.txt\n");
  const std::string before = FolderState(c, "app");
  RunResult r = c.Run();
  ASSERT_EQ(r.boxes.size(), 1u) << r;
  EXPECT_EQ(r.boxes[0].text, Report(8, c.WinPath("new\\none.txt"), c.WinPath("app\\x.txt")));
  EXPECT_EQ(FolderState(c, "app"), before);
  EXPECT_FALSE(HasJournal(c));

  c.WriteScript("[UPDATER]\nNAME=T\nROLLBACK=1\nPROC=tree\n" + copy);
  r = c.Run();
  EXPECT_TRUE(r.boxes.empty()) << r;
  std::string made = FolderState(c, "app/tree");
  EXPECT_EQ(std::count(made.begin(), made.end(), '\n'), 40 + 4) << made;  // and a\b, c, c\empty
  EXPECT_NE(made.find("folder c/empty\n"), std::string::npos) << made;
  EXPECT_EQ(c.ReadFile("app/tree/a/f0.txt"), "new 0");
}

// Ended by a deployment tool's time limit while it waits on a program: the
// next start, whatever its script now says, undoes what the run did.
// A run of Script() killed while it waits for a program after its changes,
// as a deployment tool's time limit ends it; gives app\ as it was before.
std::string KilledWhileItWaits(WineCase& c) {
  c.InstallTool("boxprobe.exe", "hang.exe");
  c.InstallUpdater();
  LayOut(c);
  c.WriteScript(Script("", "t1", "[t1]\nMODE=LAUNCH\nFILE=<Src>\\hang.exe\nPARAM=hang\nISWAIT=1\n"));
  std::string before = FolderState(c, "app");
  c.ExpectingTimeOut();
  RunResult killed = c.Run("", {}, 932, 4);
  EXPECT_TRUE(killed.timedOut) << killed;
  return before;
}

TEST(Rollback, ARunKilledWhileItWaitsIsUndoneByTheNextStart) {
  WineCase c(CaseName());
  const std::string before = KilledWhileItWaits(c);
  EXPECT_EQ(c.ReadFile("app/a.txt"), "new a");
  EXPECT_TRUE(HasJournal(c));

  c.WriteScript(NoOp);
  RunResult next = c.Run("/LOG=" + c.WinPath("next.log"));
  EXPECT_TRUE(next.boxes.empty()) << next;
  EXPECT_EQ(next.exitCode, 0) << next;
  EXPECT_EQ(FolderState(c, "app"), before);
  EXPECT_FALSE(HasJournal(c));
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
  EXPECT_FALSE(HasJournal(c));
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
  EXPECT_FALSE(HasJournal(c));
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
  EXPECT_FALSE(HasJournal(c));
}

// A journal beside the script is anyone's who can write there: it is never
// read, by a run with the key or without it; the log says it is there.
TEST(Rollback, AJournalPlantedBesideTheScriptChangesNothing) {
  WineCase c(CaseName());
  c.InstallUpdater();
  c.WriteFile("victim/data.txt", "victim");
  c.WriteFile("new/a.txt", "new a");
  c.MakeDir("victim/made");
  // What the run it tells of would undo: someone's file deleted, a folder
  // removed, attributes set.
  auto record = [](const std::string& fields) {
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char byte : fields) {
      crc ^= byte;
      for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    char sum[16];
    snprintf(sum, sizeof sum, "%08X", ~crc);
    return fields + sum + "\r\n";
  };
  const std::string planted =
      record("UPDATER-JOURNAL\t2\t00000001\t" + c.WinPath("updater.ini") + "\t") +
      record("R\t1\t" + c.WinPath("victim\\data.txt") + "\t\t" +
             c.WinPath("victim\\~upd00000001-1.old") + "\t0\t-\t00000020\t") +
      record("D\t2\t" + c.WinPath("victim\\made") + "\t") +
      record("A\t3\t" + c.WinPath("victim\\data.txt") + "\t00000007\t") +
      record("UPDATER-JOURNAL\t1\t00000001\t") + record("R\t" + c.WinPath("victim\\data.txt") + "\t\t\t0\t");
  c.WriteFile("updater.journal", planted);
  const std::string victim = FolderState(c, "victim");
  for (const char* keys : {"", "ROLLBACK=1\n"}) {
    SCOPED_TRACE(keys);
    c.WriteScript(std::string("[UPDATER]\nNAME=T\nUNATTENDED=1\nLOG=<Src>\\run.log\n") + keys +
                  "PROC=c\n[c]\nMODE=COPY\nFROM=<Src>\\new\\a.txt\nTO=<Src>\\a.txt\n");
    RunResult r = c.Run();
    EXPECT_EQ(r.exitCode, 0) << r;
    EXPECT_EQ(FolderState(c, "victim"), victim);
    EXPECT_EQ(c.ReadFile("updater.journal"), planted);
    EXPECT_NE(c.ReadFile("run.log").find("a journal beside the script"), std::string::npos)
        << c.ReadFile("run.log");
    fs::remove(c.UnixPath("run.log"));
  }
}

// Killed after its copies; at the next start a scanner holds one of them
// without sharing: the undo keeps what is left (1603), and a later start,
// the file free again, finishes it.
TEST(Rollback, AnUndoThatMeetsAHeldFileIsFinishedByALaterStart) {
  WineCase c(CaseName());
  const std::string before = KilledWhileItWaits(c);
  ASSERT_EQ(c.ReadFile("app/a.txt"), "new a");
  c.InstallTool("holdfile.exe", "scanner.exe");
  c.InstallUpdater();
  std::future<CommandResult> scanner = StartInBackground(
      c, {c.WinPath("scanner.exe"), c.WinPath("scanning"), "none", c.WinPath("app\\a.txt")});
  ASSERT_TRUE(WaitFor(c, "scanning"));
  c.WriteScript(NoOp);
  RunResult held = c.Run("/UNATTENDED /LOG=" + c.WinPath("held.log"));
  EXPECT_EQ(held.exitCode, 1603) << held;
  EXPECT_EQ(c.ReadFile("app/a.txt"), "new a");
  EXPECT_TRUE(HasJournal(c));
  EXPECT_NE(c.ReadFile("held.log").find("left for the next start"), std::string::npos)
      << c.ReadFile("held.log");
  fs::remove(c.UnixPath("scanning"));
  EXPECT_EQ(scanner.get().status, 0);
  RunResult next = c.Run("/UNATTENDED");
  EXPECT_EQ(next.exitCode, 0) << next;
  EXPECT_EQ(FolderState(c, "app"), before);
  EXPECT_FALSE(HasJournal(c));
}

// A deployment tool's next attempt starts from a new folder, the first one
// gone: the run killed in the first is undone all the same, quietly.
TEST(Rollback, ARunKilledInOneFolderIsUndoneByAStartFromAnother) {
  WineCase c(CaseName());
  c.InstallTool("boxprobe.exe", "hang.exe");
  c.InstallUpdater("first/updater.exe");
  LayOut(c);
  c.WriteScript("[UPDATER]\nNAME=T\nROLLBACK=1\nPROC=copy,del,t1\n"
                "[copy]\nMODE=COPY\nFROM=<Src>\\..\\new\\a.txt\nTO=<Src>\\..\\app\\a.txt\n"
                "[del]\nMODE=DELETE\nFILE=<Src>\\..\\app\\gone.txt\n"
                "[t1]\nMODE=LAUNCH\nFILE=<Src>\\..\\hang.exe\nPARAM=hang\nISWAIT=1\n",
                "first/updater.ini");
  const std::string before = FolderState(c, "app");
  const std::string first = c.WinPath("first\\updater.ini");
  c.ExpectingTimeOut();
  RunResult killed = c.Run("", {}, 932, 4);
  ASSERT_TRUE(killed.timedOut) << killed;
  ASSERT_EQ(c.ReadFile("app/a.txt"), "new a");
  fs::remove_all(c.UnixPath("first"));
  c.InstallUpdater("second/updater.exe");
  c.WriteScript("[UPDATER]\nNAME=T\nLOG=<Src>\\run.log\nPROC=p\n[p]\nMODE=OSVER\n",
                "second/updater.ini");
  RunResult next = c.Run();
  EXPECT_TRUE(next.boxes.empty()) << next;
  EXPECT_EQ(next.exitCode, 0) << next;
  EXPECT_EQ(FolderState(c, "app"), before);
  EXPECT_TRUE(JournalNaming(first).empty());
  EXPECT_NE(c.ReadFile("second/run.log").find("tells of a run of another script, \"" + first),
            std::string::npos)
      << c.ReadFile("second/run.log");
}

}  // namespace
}  // namespace e2e
