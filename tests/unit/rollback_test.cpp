// Runs that complete or change nothing (ROLLBACK=1), against the double:
// cut at every call, undone, finished, files in use, one run at a time.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "app/run_record.h"
#include "app/updater.h"
#include "base/report.h"
#include "fake/fake_os.h"
#include "os/os.h"
#include "procs/crc.h"
#include "script_run.h"

namespace {

const char* const Program = "C:\\Setup\\updater.exe";
const char* const Script = "C:\\Setup\\updater.ini";
const char* const Journal = "C:\\Setup\\updater.journal";
const char* const Log = "C:\\Setup\\run.log";

// Copies that replace and make, a folder, a deletion, attributes and two
// shortcuts (one replaced), then `tail`.
std::string Changes(const std::string& keys, const std::string& tail = "") {
  return "[UPDATER]\nNAME=T\nROLLBACK=1\n" + keys +
         "PROC=copy,dir,made,del,attr,link" + (tail.empty() ? "" : ",tail") +
         "\n"
         "[copy]\nMODE=COPY\nFROM=C:\\New\\a.txt,C:\\New\\b.txt\nTO=C:\\App\\a.txt,C:\\App\\b.txt\n"
         "[dir]\nMODE=MAKEDIR\nDIR=C:\\App\\sub\n"
         "[made]\nMODE=COPY\nFROM=C:\\New\\c.txt\nTO=C:\\App\\sub\\c.txt\n"
         "[del]\nMODE=DELETE\nFILE=C:\\App\\gone.txt\n"
         "[attr]\nMODE=ATTR\nFILE=C:\\App\\b.txt,C:\\App\\keep.txt\nARG=0x01,0x02\n"
         "[link]\nMODE=LINK\nSRC=C:\\App\\a.txt,C:\\App\\b.txt\nPARAM=\nSHOWCMD=1,1\n"
         "DST=C:\\App\\old,C:\\App\\new\n" +
         (tail.empty() ? "" : "[tail]\n" + tail);
}
const char* const Failure = "MODE=DELETE\nFILE=C:\\App\\missing.txt\n";
const char* const NoOp = "[UPDATER]\nNAME=T\nPROC=p\n[p]\nMODE=OSVER\n";

void OldState(const std::string& script) {
  fake::Reset();
  fake::SetModulePath(Program);
  fake::SetFile(Script, script);
  fake::SetFile("C:\\New\\a.txt", "new a");
  fake::SetFile("C:\\New\\b.txt", "new b");
  fake::SetFile("C:\\New\\c.txt", "new c");
  fake::SetFile("C:\\App\\a.txt", "old a");
  fake::SetFile("C:\\App\\b.txt", "old b");
  fake::SetFileDate("C:\\App\\b.txt", 2001, 2, 3);
  fake::SetFile("C:\\App\\gone.txt", "old gone");
  fake::SetFile("C:\\App\\keep.txt", "keep");
  fake::SetFileAttributesTo("C:\\App\\keep.txt", 0x21);
  fake::SetFile("C:\\App\\old.LNK", "old shortcut");
}

// The disk without the script (which the tests change between starts) and
// the log.
std::string State() {
  std::string state = fake::DiskState();
  std::string kept;
  size_t at = 0;
  while (at < state.size()) {
    size_t end = state.find('\n', at);
    std::string line = state.substr(at, end - at + 1);
    if (line.rfind(Script, 0) != 0 && line.rfind(Log, 0) != 0) kept += line;
    at = end + 1;
  }
  return kept;
}

class Rollback : public ScriptRunTest {};

// Cut at every call of the run, and of the start that undoes it at every
// call too: the start after ends in the old state, with no box.
TEST_F(Rollback, ARunCutAtAnyCallAndItsUndoCutAtAnyCallEndInTheOldState) {
  OldState(Changes("", Failure));
  const std::string old = State();
  UpdaterMain("");
  EXPECT_EQ(State(), old);
  const unsigned calls = fake::Calls();
  ASSERT_GT(calls, 50u);
  for (unsigned n = 1; n <= calls; ++n) {
    SCOPED_TRACE("run cut at call " + std::to_string(n));
    OldState(Changes("", Failure));
    fake::CutAt(n);
    UpdaterMain("");
    ASSERT_TRUE(fake::WasCut());
    fake::RestoreCut();
    fake::SetFile(Script, NoOp);  // whatever the script now says
    fake::KeepWorld();
    for (unsigned m = 1;; ++m) {
      fake::BackToKeptWorld();
      fake::CutAt(m);
      UpdaterMain("");
      bool cut = fake::WasCut();
      fake::RestoreCut();
      if (cut) UpdaterMain("");
      ASSERT_EQ(State(), old) << (cut ? "undo cut at call " + std::to_string(m) : "undo whole");
      ASSERT_EQ(Boxes(), "");
      if (!cut) break;
    }
  }
}

// A run that completes, cut at any call: the next start leaves the old
// state or the new one, never a mixture, and the new one from the moment
// the run recorded its completion on.
TEST_F(Rollback, ACompletedRunCutAtAnyCallIsUndoneOrFinishedNeverMixed) {
  OldState(Changes(""));
  const std::string old = State();
  EXPECT_EQ(UpdaterMain(""), 0);
  const std::string done = State();
  const unsigned calls = fake::Calls();
  EXPECT_EQ(fake::FileContents("C:\\App\\a.txt"), "new a");
  EXPECT_FALSE(fake::FileExists(Journal));
  EXPECT_EQ(done.find("~upd"), std::string::npos) << done;
  bool finished = false;
  for (unsigned n = 1; n <= calls; ++n) {
    SCOPED_TRACE("cut at call " + std::to_string(n));
    OldState(Changes(""));
    fake::CutAt(n);
    UpdaterMain("");
    fake::RestoreCut();
    fake::SetFile(Script, NoOp);
    UpdaterMain("");
    std::string now = State();
    if (!finished) finished = now == done;
    ASSERT_EQ(now, finished ? done : old);
  }
  EXPECT_TRUE(finished);
}

// How a run ends: its boxes are those of the same run without the key,
// and what it leaves is the old state or the new one alone.
TEST_F(Rollback, ARunThatEndsEarlyIsUndoneWithTheBoxesOfARunWithoutTheKey) {
  struct Row {
    const char* name;
    std::string keys, tail;
    std::function<void()> prepare;
    int exitCode;
    bool completes;
    bool sameBoxes = true;  // as without the key: all but files in use
  } rows[] = {
      {"a failed copy", "UNATTENDED=1\n", "MODE=COPY\nFROM=C:\\New\\none.txt\nTO=C:\\App\\x.txt\n",
       [] {}, ExitReportEnded, false},
      {"an abort answer", "UNATTENDED=1\n",
       "MODE=MSGBOX\nFLAG=\nTYPE=WARNING\nTEXT=Go?\nISABORT=0,1\n", [] {}, ExitAnswerEnded, false},
      {"attended, a failure", "", Failure, [] {}, 0, false},
      {"completed", "UNATTENDED=1\n", "", [] {}, ExitCompleted, true},
      // A program still runs from the old file, which is removed when the
      // system next starts.
      {"a running program replaced", "UNATTENDED=1\n", "",
       [] { fake::RunFrom("C:\\App\\a.txt"); }, ExitRestartNeeded, true, false},
      {"attended, a running program replaced", "", "", [] { fake::RunFrom("C:\\App\\a.txt"); },
       0, true, false},
      {"a running program deleted", "UNATTENDED=1\n", "",
       [] { fake::RunFrom("C:\\App\\gone.txt"); }, ExitRestartNeeded, true, false},
      // Held by another program without sharing: the copy fails as ever.
      {"a file held", "UNATTENDED=1\n", "", [] { fake::HoldBy("C:\\App\\b.txt", "app.exe (42)"); },
       ExitReportEnded, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::string script = Changes(row.keys, row.tail);
    std::string without = script;
    without.replace(without.find("ROLLBACK=1"), 10, "ROLLBACK=0");
    OldState(without);
    row.prepare();
    UpdaterMain("");
    std::string boxes = Boxes();

    OldState(script);
    row.prepare();
    std::string old = State();
    EXPECT_EQ(UpdaterMain(""), row.exitCode);
    if (row.sameBoxes) {
      EXPECT_EQ(Boxes(), boxes);
    } else {
      EXPECT_EQ(Boxes(), "");
    }
    EXPECT_FALSE(fake::FileExists(Journal));
    std::string now = State();
    if (row.completes) {
      EXPECT_EQ(fake::FileContents("C:\\App\\a.txt"), "new a");
      EXPECT_FALSE(fake::FileExists("C:\\App\\gone.txt"));
      EXPECT_EQ(fake::FileAttributes("C:\\App\\keep.txt"), 0x02u);
      // Only a file in use is left, and only until the next restart.
      std::string left = now.substr(0, now.find("at restart"));
      EXPECT_EQ(left.find("~upd") == std::string::npos, fake::RemovedAtRestart().empty()) << now;
    } else {
      EXPECT_EQ(now, old);
    }
  }
}

// Who holds a file that cannot be moved aside, and each step of an undo,
// are in the log.
TEST_F(Rollback, TheLogNamesWhoHoldsAFileAndEachStepOfTheUndo) {
  OldState(Changes("LOG=C:\\Setup\\run.log\n", "MODE=DELETE\nFILE=C:\\App\\held.txt\n"));
  fake::SetFile("C:\\App\\held.txt", "held");
  fake::HoldBy("C:\\App\\held.txt", "app.exe (42)");
  UpdaterMain("");
  std::string log = fake::FileContents(Log);
  for (const char* line :
       {"journal \"C:\\Setup\\updater.journal\" opened: the run's changes can be undone",
        "kept \"C:\\App\\a.txt\" aside as \"C:\\App\\~upd", "\"C:\\App\\held.txt\" is held by app.exe (42)",
        "error report 10: ", "undo: 10 changes recorded", "undo: removed \"C:\\App\\new.LNK\"",
        "undo: removed folder \"C:\\App\\sub\"", "undo: removed \"C:\\App\\sub\\c.txt\"",
        "undo: put back \"C:\\App\\b.txt\" from \"C:\\App\\~upd", "undo: complete",
        "end: an error report ended the run"})
    EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
}

// A second start while a run holds the journal does nothing; a journal that
// cannot be written is no journal: the run changes nothing and says why.
TEST_F(Rollback, OneRunAtATimeAndNeverARunWithoutItsJournal) {
  struct Row {
    const char* name;
    std::function<void()> prepare;
    const char* arguments;
    int exitCode;
    std::string boxes;
  } rows[] = {
      {"in progress, unattended", [] { fake::SetFile(Journal, ""); fake::LockFile(Journal); },
       "/UNATTENDED", ExitRunInProgress, ""},
      {"in progress", [] { fake::SetFile(Journal, ""); fake::LockFile(Journal); }, "", 0,
       Report(MsgRunInProgress, Script)},
      {"read-only media", [] { fake::MakeFolderReadOnly("C:\\Setup"); }, "/UNATTENDED",
       ExitReportEnded, ""},
      {"read-only media, attended", [] { fake::MakeFolderReadOnly("C:\\Setup"); }, "", 0,
       Report(MsgJournalFailed, Journal)},
      {"a link where the journal goes",
       [] { fake::SetFile(Journal, "x"); fake::MarkAsLink(Journal); }, "", 0,
       Report(MsgJournalFailed, Journal)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    OldState(Changes(""));
    row.prepare();
    std::string old = fake::DiskState();
    EXPECT_EQ(UpdaterMain(row.arguments), row.exitCode);
    EXPECT_EQ(fake::DiskState(), old);
    EXPECT_EQ(Boxes(), row.boxes);
  }
}

// The undo trusts nothing but what a run could have written: a kept file
// must bear the run's name beside its target, and nothing is moved through
// a folder that has become a link since.
TEST_F(Rollback, TheUndoMovesOnlyTheRunsOwnFilesAndFollowsNoLink) {
  // A journal that names someone else's file as the kept one.
  OldState(NoOp);
  fake::SetFile("C:\\Other\\evil.old", "evil");
  std::string before = State();
  auto record = [](const std::string& fields) {
    char sum[16];
    snprintf(sum, sizeof sum, "%08X",
             static_cast<unsigned>(ComputeCrc32(
                 reinterpret_cast<const uint8_t*>(fields.data()), static_cast<uint32_t>(fields.size()))));
    return fields + sum + "\r\n";
  };
  fake::SetFile(Journal, record("UPDATER-JOURNAL\t1\t00000001\t") +
                             record("R\tC:\\App\\a.txt\t\tC:\\Other\\evil.old\t1\t"));
  UpdaterMain("");
  EXPECT_EQ(State(), before);
  EXPECT_FALSE(fake::FileExists(Journal));

  // A run cut short after its first copy; its folder is a link since.
  OldState(Changes("", Failure));
  unsigned cut = 0;
  for (unsigned n = 1; !cut; ++n) {
    OldState(Changes("", Failure));
    fake::CutAt(n);
    UpdaterMain("");
    fake::RestoreCut();
    if (fake::FileContents("C:\\App\\a.txt") == "(missing)") cut = n;
  }
  fake::SetFile(Script, NoOp);
  fake::MarkFolderAsLink("C:\\App");
  UpdaterMain("");
  std::string files = fake::FileList();
  size_t at = files.find("C:\\App\\~upd");
  ASSERT_NE(at, std::string::npos) << files;
  std::string kept = files.substr(at, files.find('\n', at) - at);
  EXPECT_EQ(Boxes(), Report(MsgPutBackFailed, "C:\\App\\a.txt", kept.c_str()));
  EXPECT_EQ(fake::FileContents(kept), "old a");
}

}  // namespace
