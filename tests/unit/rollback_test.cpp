// Runs that complete or change nothing (ROLLBACK=1), against the double:
// cut at every call, undone, finished, files in use, one run at a time.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "app/run_record.h"
#include "app/updater.h"
#include "base/report.h"
#include "fake/fake_os.h"
#include "procs/crc.h"
#include "script_run.h"

namespace {

const char* const Program = "C:\\Setup\\updater.exe";
const char* const Script = "C:\\Setup\\updater.ini";
const char* const Log = "C:\\Setup\\run.log";
const char* const Journals = "C:\\Windows\\Updater";

// The journal of the script whose canonical path is `script`: FNV-1a, 64
// bits, of that path, in sixteen hexadecimal digits, in the journals' folder.
std::string JournalOf(const std::string& script, const std::string& folder = Journals) {
  uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : script) hash = (hash ^ c) * 1099511628211ull;
  char name[32];
  snprintf(name, sizeof name, "%016llX", static_cast<unsigned long long>(hash));
  return folder + "\\" + name + ".journal";
}
const std::string Journal = JournalOf("C:\\SETUP\\UPDATER.INI");
const std::string LockName = "updater\\updater-" + Journal.substr(strlen(Journals) + 1, 16);

// Copies that replace and make, a folder, a deletion, attributes, two
// shortcuts (one replaced), a registry value replaced, one made in new keys
// of the user's and one deleted, then `tail`.
std::string Changes(const std::string& keys, const std::string& tail = "") {
  return "[UPDATER]\nNAME=T\nROLLBACK=1\n" + keys +
         "PROC=copy,dir,made,del,attr,link,regset,regnew,regdel" + (tail.empty() ? "" : ",tail") +
         "\n"
         "[copy]\nMODE=COPY\nFROM=C:\\New\\a.txt,C:\\New\\b.txt\nTO=C:\\App\\a.txt,C:\\App\\b.txt\n"
         "[dir]\nMODE=MAKEDIR\nDIR=C:\\App\\sub\n"
         "[made]\nMODE=COPY\nFROM=C:\\New\\c.txt\nTO=C:\\App\\sub\\c.txt\n"
         "[del]\nMODE=DELETE\nFILE=C:\\App\\gone.txt\n"
         "[attr]\nMODE=ATTR\nFILE=C:\\App\\b.txt,C:\\App\\keep.txt\nARG=0x01,0x02\n"
         "[link]\nMODE=LINK\nSRC=C:\\App\\a.txt,C:\\App\\b.txt\nPARAM=\nSHOWCMD=1,1\n"
         "DST=C:\\App\\old,C:\\App\\new\n"
         "[regset]\nMODE=REGISTRY\nKEY=HKLM\\Software\\App\nNAME=Version\nDATA=2.0\n"
         "[regnew]\nMODE=REGISTRY\nKEY=HKCU\\Software\\App\\Sub\nNAME=Count\nTYPE=DWORD\nDATA=7\n"
         "[regdel]\nMODE=REGISTRY\nKEY=HKLM\\Software\\App\nNAME=Old\nACTION=DELETE\n" +
         (tail.empty() ? "" : "[tail]\n" + tail);
}
const char* const Failure = "MODE=DELETE\nFILE=C:\\App\\missing.txt\n";
const char* const JudgedSetup =
    "MODE=LAUNCH\nFILE=C:\\New\\setup.exe\nPARAM=/q\nISWAIT=0\nSUCCESS=0, 3010,1641\n";
void SetupExits(uint32_t code) {
  fake::SetFile("C:\\New\\setup.exe", "");
  fake::SetExitCode(code);
}
const std::string NoOp = "[UPDATER]\nNAME=T\nPROC=p\n[p]\nMODE=OSVER\n";

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
  fake::SetRegistry("HKLM\\Software\\App", "Version", 1, std::string("1.0\0", 4));
  fake::SetRegistry("HKLM\\Software\\App", "Old", 3, "\x01\x02");
}

// The disk without the script (which the tests change between starts), the
// log, and the journals' folder with its lock's secret, which stay.
std::string State() {
  std::string state = fake::DiskState();
  std::string kept;
  size_t at = 0;
  while (at < state.size()) {
    size_t end = state.find('\n', at);
    std::string line = state.substr(at, end - at + 1);
    if (line.rfind(Script, 0) != 0 && line.rfind(Log, 0) != 0 &&
        line != "folder " + std::string(Journals) + "\n" &&
        line.rfind(std::string(Journals) + "\\lock.key", 0) != 0)
      kept += line;
    at = end + 1;
  }
  return kept;
}

// A journal record as a run writes it: its fields and their checksum.
std::string Record(const std::string& fields) {
  char sum[16];
  snprintf(sum, sizeof sum, "%08X",
           static_cast<unsigned>(ComputeCrc32(reinterpret_cast<const uint8_t*>(fields.data()),
                                              static_cast<uint32_t>(fields.size()))));
  return fields + sum + "\r\n";
}

// The run of `script` cut at the first call after which `cut` holds;
// `prepare` sets the world up after the old state. `late`: at the last
// such call, looked for from the run's end (a point near its end).
void CutWhen(const std::string& script, const std::function<bool()>& cut,
             const std::function<void()>& prepare = [] {}, bool late = false) {
  unsigned calls = 5000;
  if (late) {
    OldState(script);
    prepare();
    UpdaterMain("");
    calls = fake::Calls() + 1;
  }
  for (unsigned i = 1; i < calls; ++i) {
    unsigned n = late ? calls - i : i;
    OldState(script);
    prepare();
    fake::CutAt(n);
    UpdaterMain("");
    fake::RestoreCut();
    if (cut()) return;
  }
  FAIL() << "the run never came to that point";
}

class Rollback : public ScriptRunTest {};

// A folder tree under C:\New\tree: `perFolder` files in each of its
// folders (the tree itself, a, a\b, c), one of them hidden, and an empty
// folder; copied whole to C:\App\tree, where a\f0.txt was, by one item,
// then `tail`.
void Tree(int perFolder) {
  for (const char* folder : {"", "\\a", "\\a\\b", "\\c"})
    for (int i = 0; i < perFolder; ++i)
      fake::SetFile("C:\\New\\tree" + std::string(folder) + "\\f" + std::to_string(i) + ".txt",
                    "new " + std::to_string(i));
  fake::SetFileAttributesTo("C:\\New\\tree\\a\\f0.txt", 0x22);
  fake::MakeDir("C:\\New\\tree\\c\\empty");
  fake::SetFile("C:\\App\\tree\\a\\f0.txt", "old f0");
}
std::string TreeCopy(const std::string& tail) {
  return "[UPDATER]\nNAME=T\nROLLBACK=1\nPROC=tree" + std::string(tail.empty() ? "" : ",tail") +
         "\n[tree]\nMODE=COPY\nFROM=C:\\New\\tree\\*\nTO=C:\\App\\tree\n" +
         (tail.empty() ? "" : "[tail]\n" + tail);
}

// A service that runs from C:\App\svc.exe is stopped, its program
// replaced, and then the run fails.
const std::string ServiceChanges =
    "[UPDATER]\nNAME=T\nROLLBACK=1\nPROC=stop,copy,tail\n"
    "[stop]\nMODE=SERVICE\nNAME=svc\nACTION=STOP\n"
    "[copy]\nMODE=COPY\nFROM=C:\\New\\a.txt\nTO=C:\\App\\svc.exe\n"
    "[tail]\n" + std::string(Failure);
void InstallService(uint32_t failsWith = 0) {
  fake::SetFile("C:\\App\\svc.exe", "old svc");
  fake::ServiceSetup setup;
  setup.program = "C:\\App\\svc.exe";
  setup.lingers = 1000;
  setup.failsWith = failsWith;
  fake::InstallService("svc", setup);
}

// Cut at every call of the run, and of the start that undoes it at every
// call too: the start after ends in the old state, with no box.
TEST_F(Rollback, ARunCutAtAnyCallAndItsUndoCutAtAnyCallEndInTheOldState) {
  struct Row {
    const char* name;
    std::string script;
    std::function<void()> prepare;
  } rows[] = {
      {"files", Changes("", Failure), [] {}},
      {"a service stopped and its program replaced", ServiceChanges, [] { InstallService(); }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    OldState(row.script);
    row.prepare();
    const std::string old = State();
    UpdaterMain("");
    EXPECT_EQ(State(), old);
    const unsigned calls = fake::Calls();
    ASSERT_GT(calls, 50u);
    printf("calls %u\n", calls);
    for (unsigned n = 1; n <= calls; ++n) {
      SCOPED_TRACE("run cut at call " + std::to_string(n));
      OldState(row.script);
      row.prepare();
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
}

// A folder tree of 3 levels and 40 files copied by one item is undone
// whole by a failure after it, or by the next start after a cut anywhere:
// the file it replaced comes back, the files and folders it made go.
TEST_F(Rollback, AFolderTreeCopiedByOneItemIsUndoneWhole) {
  OldState(TreeCopy(Failure));
  Tree(10);
  const std::string old = State();
  UpdaterMain("");
  EXPECT_EQ(State(), old);
  EXPECT_NE(Boxes(), "");

  // Cut at any call of a smaller tree's run, the next start undoes it.
  OldState(TreeCopy(Failure));
  Tree(1);
  const std::string small = State();
  UpdaterMain("");
  const unsigned calls = fake::Calls();
  for (unsigned n = 1; n <= calls; ++n) {
    SCOPED_TRACE("run cut at call " + std::to_string(n));
    OldState(TreeCopy(Failure));
    Tree(1);
    fake::CutAt(n);
    UpdaterMain("");
    ASSERT_TRUE(fake::WasCut());
    fake::RestoreCut();
    fake::SetFile(Script, NoOp);
    UpdaterMain("");
    ASSERT_EQ(State(), small);
    ASSERT_EQ(Boxes(), "");
  }

  OldState(TreeCopy(""));
  Tree(10);
  UpdaterMain("");
  EXPECT_EQ(Boxes(), "");
  std::string copied = fake::FileList();
  int files = 0;
  for (size_t at = 0; (at = copied.find("C:\\App\\tree\\", at)) != std::string::npos; ++at)
    ++files;
  EXPECT_EQ(files, 40);
  EXPECT_EQ(fake::FileContents("C:\\App\\tree\\a\\f0.txt"), "new 0");
  EXPECT_EQ(fake::FileAttributes("C:\\App\\tree\\a\\f0.txt"), 0x22u);
  EXPECT_TRUE(fake::DirExists("C:\\App\\tree\\c\\empty"));
  EXPECT_EQ(copied.find("~upd"), std::string::npos);
}

// The undo starts again the service that the run stopped, after its
// program is back; one that will not start again is message 36.
TEST_F(Rollback, TheUndoStartsAStoppedServiceAgainOrSaysItCannot) {
  for (uint32_t failsWith : {0u, 1066u}) {
    SCOPED_TRACE(failsWith);
    std::string script = ServiceChanges;
    script.replace(script.find("ROLLBACK=1"), 10, "ROLLBACK=1\nLOG=C:\\Setup\\run.log");
    OldState(script);
    InstallService(failsWith);
    UpdaterMain("");
    EXPECT_EQ(fake::FileContents("C:\\App\\svc.exe"), "old svc");
    EXPECT_EQ(fake::ServiceRequests("svc"), "stop,start");
    std::string log = fake::FileContents(Log);
    std::string reports = Report(10, "C:\\App\\missing.txt");
    if (failsWith) {
      EXPECT_EQ(Boxes(), reports + Report(36, "svc"));
      EXPECT_NE(log.find("error report 36"), std::string::npos) << log;
    } else {
      EXPECT_EQ(Boxes(), reports);
      EXPECT_EQ(fake::ServiceState("svc"), "running");
      EXPECT_LT(log.find("undo: put back \"C:\\App\\svc.exe\""),
                log.find("undo: service \"svc\" started again"))
          << log;
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
       [] {}, 1603, false},
      {"an abort answer", "UNATTENDED=1\n",
       "MODE=MSGBOX\nFLAG=\nTYPE=WARNING\nTEXT=Go?\nISABORT=0,1\n", [] {}, 1602, false},
      {"attended, a failure", "", Failure, [] {}, 0, false},
      {"completed", "UNATTENDED=1\n", "", [] {}, 0, true},
      // A program still runs from the old file, which is removed when the
      // system next starts.
      {"a running program replaced", "UNATTENDED=1\n", "",
       [] { fake::RunFrom("C:\\App\\a.txt"); }, 3010, true, false},
      {"attended, a running program replaced", "", "", [] { fake::RunFrom("C:\\App\\a.txt"); },
       0, true, false},
      {"a running program deleted", "UNATTENDED=1\n", "",
       [] { fake::RunFrom("C:\\App\\gone.txt"); }, 3010, true, false},
      // Held by another program without sharing: the copy fails as ever.
      {"a file held", "UNATTENDED=1\n", "", [] { fake::HoldBy("C:\\App\\b.txt", "app.exe (42)"); },
       1603, false},
      // Held a moment only (a scanner): it is waited for.
      {"a file held a moment", "UNATTENDED=1\n", "", [] { fake::HoldFor("C:\\App\\b.txt", 300); },
       0, true},
      // A program judged by its exit code: a code out of the set fails the
      // run (message 34); an accepted 3010 asks for a restart.
      {"a program failed", "UNATTENDED=1\n", JudgedSetup, [] { SetupExits(1); }, 1603, false},
      {"a program asks for a restart", "UNATTENDED=1\n", JudgedSetup, [] { SetupExits(3010); },
       3010, true, false},
      {"attended, a program asks for a restart", "", JudgedSetup, [] { SetupExits(1641); }, 0, true},
      // A copy whose source is not the file its digest pins (message 37).
      {"a digest that differs", "UNATTENDED=1\n",
       "MODE=COPY\nFROM=C:\\New\\c.txt\nTO=C:\\App\\a.txt\nSHA256=" + std::string(64, 'a') +
           "\n",
       [] {}, 1603, false},
      {"a digest that matches", "UNATTENDED=1\n",
       "MODE=COPY\nFROM=C:\\New\\c.txt\nTO=C:\\App\\d.txt\n"
       "SHA256=ACBFCA7972017C98B4BE2B2FF728B4E511445BBB70734E039762CD56D5049D95\n",
       [] {}, 0, true},
      // The second source is another publisher's: the first, already
      // written, goes with the rest.
      {"a copy signed by another", "UNATTENDED=1\n",
       "MODE=COPY\nFROM=C:\\New\\a.txt,C:\\New\\b.txt\nTO=C:\\App\\x.txt,C:\\App\\b.txt\n"
       "SIGNER=Acme\n",
       [] {
         fake::SignFile("C:\\New\\a.txt", "by Acme");
         fake::SignFile("C:\\New\\b.txt", "by Other");
       },
       1603, false},
  };
  // The boxes, shown or (unattended) answered unseen, as the log tells them.
  auto boxesLogged = [] {
    std::string log = fake::FileContents(Log), boxes;
    for (size_t at = 0; (at = log.find(" box \"", at)) != std::string::npos; ++at)
      boxes += log.substr(at, log.find('\n', at) - at) + "\n";
    return boxes;
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::string script = Changes(row.keys + "LOG=C:\\Setup\\run.log\n", row.tail);
    std::string without = script;
    without.replace(without.find("ROLLBACK=1"), 10, "ROLLBACK=0");
    OldState(without);
    row.prepare();
    int exitWithout = UpdaterMain("");
    std::string boxes = Boxes(), logged = boxesLogged();

    OldState(script);
    row.prepare();
    std::string old = State();
    EXPECT_EQ(UpdaterMain(""), row.exitCode);
    if (row.sameBoxes) {
      EXPECT_EQ(Boxes(), boxes);
      EXPECT_EQ(boxesLogged(), logged);
      EXPECT_EQ(exitWithout, row.exitCode);
      EXPECT_EQ(logged.empty(), row.exitCode == 0 && row.completes);
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
  const std::string opened = "journal \"" + Journal + "\" opened: the run's changes can be undone";
  for (const char* line :
       {opened.c_str(),
        "kept \"C:\\App\\a.txt\" aside as \"C:\\App\\~upd", "\"C:\\App\\held.txt\" is held by app.exe (42)",
        "error report 10: ", "undo: 14 changes recorded",
        "undo: registry \"HKLM\\Software\\App\\Old\" set back: REG_BINARY, 2 bytes",
        "undo: registry \"HKU\\S-1-5-21-7-7-7-1001\\Software\\App\\Sub\\Count\" set back: removed",
        "undo: removed registry key \"HKU\\S-1-5-21-7-7-7-1001\\Software\\App\"",
        "undo: registry \"HKLM\\Software\\App\\Version\" set back: REG_SZ \"1.0\"",
        "undo: removed \"C:\\App\\new.LNK\"",
        "undo: removed folder \"C:\\App\\sub\"", "undo: removed \"C:\\App\\sub\\c.txt\"",
        "undo: put back \"C:\\App\\b.txt\" from \"C:\\App\\~upd", "undo: complete",
        "end: an error report ended the run"})
    EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
}

// The log words the holders the system lists, in its order, and counts
// them where more hold the file than it lists.
TEST_F(Rollback, TheLogNamesEveryHolderOrCountsThem) {
  for (const std::string holders : {"app.exe (42), scanner.exe (7)", "20 programs"}) {
    OldState(Changes("LOG=C:\\Setup\\run.log\n", "MODE=DELETE\nFILE=C:\\App\\held.txt\n"));
    fake::SetFile("C:\\App\\held.txt", "held");
    fake::HoldBy("C:\\App\\held.txt", holders);
    UpdaterMain("");
    std::string log = fake::FileContents(Log);
    EXPECT_NE(log.find("\"C:\\App\\held.txt\" is held by " + holders + "\r\n"), std::string::npos)
        << log;
  }
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
      {"in progress, unattended", [] { fake::HoldLock(LockName, "another run"); },
       "/UNATTENDED", 1618, ""},
      {"in progress", [] { fake::HoldLock(LockName, "another run"); }, "", 0,
       Report(16, Script)},
      {"read-only media", [] { fake::MakeFolderReadOnly("C:\\Windows"); }, "/UNATTENDED",
       1603, ""},
      {"read-only media, attended", [] { fake::MakeFolderReadOnly("C:\\Windows"); }, "", 0,
       Report(15, Journal.c_str())},
      {"a link where the journal goes",
       [] { fake::SetFile(Journal, "x"); fake::MarkAsLink(Journal); }, "", 0,
       Report(15, Journal.c_str())},
      {"a hard link, of a version this one cannot read, where the journal goes",
       [] { fake::SetFile(Journal, Record("UPDATER-JOURNAL\t1\t00000001\t")); fake::MarkAsLink(Journal); },
       "", 0, Report(15, Journal.c_str())},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    OldState(Changes(""));
    row.prepare();
    std::string old = State();
    EXPECT_EQ(UpdaterMain(row.arguments), row.exitCode);
    EXPECT_EQ(State(), old);
    EXPECT_EQ(Boxes(), row.boxes);
  }
}

// The undo trusts nothing but what a run could have written: a kept file
// must bear the run's name beside its target, and nothing is moved through
// a folder that has become a link since.
TEST_F(Rollback, TheUndoMovesOnlyTheRunsOwnFilesAndFollowsNoLink) {
  // A journal that names someone else's file as the kept one: beside the
  // script it is never read (the log says it is there); in the journals'
  // own place its record is none a run could have written.
  for (const std::string& where : {std::string("C:\\Setup\\updater.journal"), Journal}) {
    SCOPED_TRACE(where);
    OldState(NoOp.substr(0, 17) + "LOG=C:\\Setup\\run.log\n" + NoOp.substr(17));
    fake::SetFile("C:\\Other\\evil.old", "evil");
    fake::SetFile(where, Record("UPDATER-JOURNAL\t2\t00000001\tC:\\Setup\\updater.ini\t") +
                             Record("R\t1\tC:\\App\\a.txt\t\tC:\\Other\\evil.old\t1\t"
                                    "00000001.0000000000000001\t00000020\t"));
    UpdaterMain("");
    EXPECT_EQ(fake::FileContents("C:\\App\\a.txt"), "old a");
    EXPECT_EQ(fake::FileContents("C:\\Other\\evil.old"), "evil");
    EXPECT_EQ(fake::FileExists(where), where != Journal);
    EXPECT_EQ(Boxes(), "");
    EXPECT_EQ(fake::FileContents(Log).find("a journal beside the script, \"C:\\Setup\\updater.journal\", "
                                           "is not read") != std::string::npos,
              where != Journal)
        << fake::FileContents(Log);
  }

  // A run cut short after its first copy; its folder is a link since.
  CutWhen(Changes("", Failure), [] { return fake::FileContents("C:\\App\\a.txt") == "(missing)"; });
  fake::SetFile(Script, NoOp);
  fake::MarkFolderAsLink("C:\\App");
  UpdaterMain("");
  std::string files = fake::FileList();
  size_t at = files.find("C:\\App\\~upd");
  ASSERT_NE(at, std::string::npos) << files;
  std::string kept = files.substr(at, files.find('\n', at) - at);
  EXPECT_EQ(Boxes(), Report(14, "C:\\App\\a.txt", kept.c_str()));
  EXPECT_EQ(fake::FileContents(kept), "old a");
}

// What anyone but the run's own account could try, and what the system
// may do meanwhile: each case ends with the machine's files as they should
// be.
TEST_F(Rollback, HostileCasesEndWithTheFilesAsTheyShouldBe) {
  const std::string beside = "C:\\Setup\\updater.journal";
  // A journal a run could have written, of a run cut short after it moved
  // someone's file aside, made a folder and set attributes: what its undo
  // would do to files that are not the script's.
  const std::string planted =
      Record("UPDATER-JOURNAL\t2\t00000001\tC:\\Setup\\updater.ini\t") +
      Record("R\t1\tC:\\Other\\victim.txt\t\tC:\\Other\\~upd00000001-1.old\t1\t"
             "00000001.0000000000000001\t00000020\t") +
      Record("D\t2\tC:\\Other\\dir\t") + Record("A\t3\tC:\\Other\\attr.txt\t00000007\t");
  auto others = [] {
    fake::SetFile("C:\\Other\\victim.txt", "victim");
    fake::MakeDir("C:\\Other\\dir");
    fake::SetFile("C:\\Other\\attr.txt", "attr");
  };
  auto othersUntouched = [] {
    EXPECT_EQ(fake::FileContents("C:\\Other\\victim.txt"), "victim");
    EXPECT_TRUE(fake::DirExists("C:\\Other\\dir"));
    EXPECT_EQ(fake::FileAttributes("C:\\Other\\attr.txt"), 0x20u);
  };
  auto logHas = [](const std::string& text) {
    EXPECT_NE(fake::FileContents(Log).find(text), std::string::npos) << fake::FileContents(Log);
  };
  const std::string logged = "LOG=C:\\Setup\\run.log\n";
  const std::string noOp = "[UPDATER]\nNAME=T\n" + logged + "PROC=p\n[p]\nMODE=OSVER\n";
  struct Row {
    const char* name;
    std::function<void()> act, check;
  } rows[] = {
      {"another account's journal in the journals' place, a run without the key",
       [&] {
         OldState(noOp);
         others();
         fake::MakeFolderForeign(Journals);
         fake::SetFile(Journal, planted);
         EXPECT_EQ(UpdaterMain("/UNATTENDED"), 0);
       },
       [&] {
         othersUntouched();
         EXPECT_EQ(fake::FileContents(Journal), planted);
         logHas("has another owner or writer: nothing in it is read");
       }},
      {"the same, a run with the key takes the place back",
       [&] {
         OldState(Changes("UNATTENDED=1\n" + logged));
         others();
         fake::MakeFolderForeign(Journals);
         fake::SetFile(Journal, planted);
         EXPECT_EQ(UpdaterMain(""), 0);
       },
       [&] {
         othersUntouched();
         EXPECT_EQ(fake::FileContents("C:\\App\\a.txt"), "new a");
         EXPECT_TRUE(fake::IsFolderProtected(Journals));
         EXPECT_FALSE(fake::FileExists(Journal));
         EXPECT_NE(fake::FileList().find(planted.empty() ? "" : ".foreign\\"), std::string::npos);
         logHas("was taken back");
       }},
      {"another account's journal beside the script, runs without and with the key",
       [&] {
         OldState(noOp);
         others();
         fake::SetFile(beside, planted);
         UpdaterMain("");
         fake::SetFile(Script, Changes(logged));
         EXPECT_EQ(UpdaterMain("/UNATTENDED"), 0);
       },
       [&] {
         othersUntouched();
         EXPECT_EQ(fake::FileContents(beside), planted);
         logHas("a journal beside the script");
       }},
      {"a kept name taken before the move aside",
       [&] {
         OldState(Changes(""));
         fake::TakeKeptNameIn("C:\\App", "planted");
         UpdaterMain("");
       },
       [&] {
         EXPECT_EQ(fake::FileContents("C:\\App\\a.txt"), "old a");
         EXPECT_NE(fake::DiskState().find("] planted"), std::string::npos);
         EXPECT_EQ(Boxes(), Report(8, "C:\\New\\a.txt", "C:\\App\\a.txt"));
       }},
      {"a file that appeared where the run had made a new one, after a cut",
       [&] {
         CutWhen(Changes("", Failure),
                 [] { return fake::FileContents("C:\\App\\sub\\c.txt") == "new c"; });
         fake::RemoveFile("C:\\App\\sub\\c.txt");
         fake::SetFile("C:\\App\\sub\\c.txt", "someone's");
         fake::SetFile(Script, noOp);
         UpdaterMain("");
       },
       [&] {
         EXPECT_EQ(fake::FileContents("C:\\App\\sub\\c.txt"), "someone's");
         EXPECT_EQ(fake::FileContents("C:\\App\\a.txt"), "old a");
         EXPECT_EQ(Boxes(), "");
       }},
      {"the file that made the placing of a new one fail",
       [&] {
         OldState("[UPDATER]\nNAME=T\nROLLBACK=1\nPROC=c\n[c]\nMODE=COPY\nFROM=C:\\New\\c.txt\n"
                  "TO=C:\\App\\fresh.txt\n");
         fake::AppearsBeforeCreation("C:\\App\\fresh.txt", "foreign");
         UpdaterMain("");
       },
       [&] {
         EXPECT_EQ(fake::FileContents("C:\\App\\fresh.txt"), "foreign");
         EXPECT_EQ(Boxes(), Report(8, "C:\\New\\c.txt", "C:\\App\\fresh.txt"));
       }},
      {"a file held at the undo, then let go: the next start finishes",
       [&] {
         CutWhen(Changes("", Failure), [] { return fake::FileContents("C:\\App\\b.txt") == "new b"; });
         fake::HoldBy("C:\\App\\a.txt", "scanner.exe (7)");
         fake::SetFile(Script, noOp);
         EXPECT_EQ(UpdaterMain("/UNATTENDED"), 1603);
         EXPECT_EQ(fake::FileContents("C:\\App\\a.txt"), "new a");
         EXPECT_TRUE(fake::FileExists(Journal));
         logHas("changes are left for the next start");
         fake::LockFile("C:\\App\\a.txt", false);
         EXPECT_EQ(UpdaterMain("/UNATTENDED"), 0);
       },
       [&] {
         EXPECT_EQ(fake::FileContents("C:\\App\\a.txt"), "old a");
         EXPECT_EQ(fake::FileContents("C:\\App\\b.txt"), "old b");
         EXPECT_FALSE(fake::FileExists(Journal));
         EXPECT_EQ(fake::FileList().find("~upd"), std::string::npos) << fake::FileList();
       }},
      {"a file held a moment at the undo: the undo waits for it",
       [&] {
         CutWhen(Changes("", Failure), [] { return fake::FileContents("C:\\App\\b.txt") == "new b"; });
         fake::HoldFor("C:\\App\\a.txt", 300);
         fake::SetFile(Script, noOp);
         EXPECT_EQ(UpdaterMain("/UNATTENDED"), 0);
       },
       [&] {
         EXPECT_EQ(fake::FileContents("C:\\App\\a.txt"), "old a");
         EXPECT_EQ(fake::FileContents("C:\\App\\b.txt"), "old b");
         EXPECT_FALSE(fake::FileExists(Journal));
       }},
      {"a kept file held a moment as a completed run is finished: it goes now",
       [&] {
         CutWhen(
             Changes(""),
             [] {
               return std::regex_search(fake::FileContents(Journal),
                                        std::regex("\r\nC\t[0-9A-F]{8}\r\n")) &&
                      fake::FileList().find(".old\n") != std::string::npos;
             },
             [] {}, true);
         std::string files = fake::FileList();
         size_t end = files.find(".old\n") + 4;
         size_t start = files.rfind('\n', end - 1) + 1;
         fake::HoldFor(files.substr(start, end - start), 300);
         fake::SetFile(Script, noOp);
         EXPECT_EQ(UpdaterMain("/UNATTENDED"), 0);
       },
       [&] {
         EXPECT_EQ(fake::FileContents("C:\\App\\a.txt"), "new a");
         EXPECT_TRUE(fake::RemovedAtRestart().empty());
         EXPECT_EQ(fake::FileList().find("~upd"), std::string::npos) << fake::FileList();
         EXPECT_FALSE(fake::FileExists(Journal));
       }},
      {"a journal of another version",
       [&] {
         OldState(Changes(""));
         fake::SetFile(Journal, Record("UPDATER-JOURNAL\t3\t00000001\tC:\\Setup\\updater.ini\t"));
         UpdaterMain("");
       },
       [&] {
         EXPECT_EQ(fake::FileContents("C:\\App\\a.txt"), "old a");
         EXPECT_NE(fake::FileContents(Journal), "(missing)");
         EXPECT_EQ(Boxes(), Report(30, Journal.c_str()));
       }},
      {"a journal whose whole header is damaged",
       [&] {
         OldState(Changes("UNATTENDED=1\n"));
         fake::SetFile(Journal, "UPDATER-JOURNAL\t2\t00000001\tC:\\Setup\\updater.ini\t00000000\r\n");
         EXPECT_EQ(UpdaterMain(""), 1603);
       },
       [&] {
         EXPECT_EQ(fake::FileContents("C:\\App\\a.txt"), "old a");
         EXPECT_NE(fake::FileContents(Journal), "(missing)");
       }},
      {"a journal whose header was cut as it was written",
       [&] {
         OldState(Changes("UNATTENDED=1\n"));
         fake::SetFile(Journal, "UPDATER-JOURNAL\t2\t0000");
         EXPECT_EQ(UpdaterMain(""), 0);
       },
       [&] {
         EXPECT_EQ(fake::FileContents("C:\\App\\a.txt"), "new a");
         EXPECT_FALSE(fake::FileExists(Journal));
       }},
      {"an undo without the right to remove at restart",
       [&] {
         CutWhen(Changes("", Failure), [] { return fake::FileContents("C:\\App\\a.txt") == "new a"; },
                 [] { fake::SetElevation(1); });
         fake::RunFrom("C:\\App\\a.txt");  // the new program was started
         fake::SetFile(Script, noOp);
         UpdaterMain("");
       },
       [&] {
         EXPECT_EQ(fake::FileContents("C:\\App\\a.txt"), "old a");
         EXPECT_TRUE(fake::RemovedAtRestart().empty());
         std::string files = fake::FileList();
         size_t at = files.find(".new");
         ASSERT_NE(at, std::string::npos) << files;
         std::string left = files.substr(files.rfind('\n', at) + 1, at + 4 - files.rfind('\n', at) - 1);
         EXPECT_EQ(Boxes(), Report(10, left.c_str()));
         EXPECT_TRUE(fake::FileExists(JournalOf("C:\\SETUP\\UPDATER.INI",
                                                "C:\\Users\\me\\AppData\\Local\\Updater")) == false);
       }},
      {"a completed run without the right to remove at restart",
       [&] {
         OldState(Changes("UNATTENDED=1\n" + logged));
         fake::SetElevation(1);
         fake::RunFrom("C:\\App\\a.txt");
         EXPECT_EQ(UpdaterMain(""), 0);
       },
       [&] {
         EXPECT_EQ(fake::FileContents("C:\\App\\a.txt"), "new a");
         EXPECT_TRUE(fake::RemovedAtRestart().empty());
         logHas("could not be removed, now or at the next restart");
       }},
      {"a log through a link, and one whose folder is a link",
       [&] {
         OldState(Changes("LOG=C:\\Setup\\run.log\n"));
         fake::SetFile(Log, "");
         fake::MarkAsLink(Log);
         UpdaterMain("");
         fake::MarkFolderAsLink("C:\\Logs");
         fake::SetFile(Script, Changes("LOG=C:\\Logs\\run.log\n"));
         UpdaterMain("");
       },
       [&] {
         EXPECT_EQ(fake::FileContents(Log), "");
         EXPECT_FALSE(fake::FileExists("C:\\Logs\\run.log"));
       }},
      {"the lock's names held by another account, and the old journal held",
       [&] {
         OldState(Changes("UNATTENDED=1\n"));
         fake::WithoutPrivateNamespace();
         fake::HoldLock("global\\updater-" + Journal.substr(strlen(Journals) + 1, 16), "other");
         fake::HoldLock("local\\updater-" + Journal.substr(strlen(Journals) + 1, 16), "other");
         fake::SetFile(beside, "");
         fake::LockFile(beside);
         EXPECT_EQ(UpdaterMain(""), 0);
       },
       [&] { EXPECT_EQ(fake::FileContents("C:\\App\\a.txt"), "new a"); }},
      {"a run cut short, undone by a start from another folder, the first one gone",
       [&] {
         CutWhen(Changes("", Failure), [] { return fake::FileContents("C:\\App\\b.txt") == "new b"; });
         for (const char* file : {Script, Program}) fake::RemoveFile(file);
         fake::SetModulePath("C:\\Other\\updater.exe");
         fake::SetFile("C:\\Other\\updater.ini",
                       "[UPDATER]\nNAME=T\nLOG=C:\\Other\\run.log\nPROC=p\n[p]\nMODE=OSVER\n");
         EXPECT_EQ(UpdaterMain(""), 0);
       },
       [&] {
         EXPECT_EQ(fake::FileContents("C:\\App\\a.txt"), "old a");
         EXPECT_EQ(fake::FileContents("C:\\App\\b.txt"), "old b");
         EXPECT_EQ(Boxes(), "");
         EXPECT_FALSE(fake::FileExists(Journal));
         EXPECT_NE(fake::FileContents("C:\\Other\\run.log")
                       .find("tells of a run of another script, \"C:\\Setup\\updater.ini\", cut short"),
                   std::string::npos)
             << fake::FileContents("C:\\Other\\run.log");
       }},
      {"a relative target, undone by a start in another current folder",
       [&] {
         const std::string relative =
             "[UPDATER]\nNAME=T\nROLLBACK=1\nPROC=c,t\n[c]\nMODE=COPY\nFROM=C:\\New\\a.txt\n"
             "TO=App\\a.txt\n[t]\n" + std::string(Failure);
         CutWhen(relative, [] { return fake::FileContents("C:\\Work\\App\\a.txt") == "new a"; },
                 [] { fake::SetFile("C:\\Work\\App\\a.txt", "old a"); });
         fake::SetCurrentDirectory("C:\\Windows\\system32");
         fake::SetFile(Script, noOp);
         UpdaterMain("");
       },
       [&] {
         EXPECT_EQ(fake::FileContents("C:\\Work\\App\\a.txt"), "old a");
         EXPECT_EQ(fake::FileList().find("~upd"), std::string::npos) << fake::FileList();
         EXPECT_FALSE(fake::FileExists(Journal));
       }},
      {"a run cut short after a change of the user's registry, undone by a start as the system",
       [&] {
         CutWhen(Changes("", Failure), [] {
           return fake::RegistryValue("HKCU\\Software\\App\\Sub", "Count") == "DWORD 7";
         });
         fake::UseAccount("S-1-5-18");
         fake::SetRegistry("HKCU\\Software\\App\\Sub", "Count", 4, std::string("\x07\0\0\0", 4));
         fake::SetFile(Script, noOp);
         UpdaterMain("");
       },
       [&] {
         EXPECT_FALSE(fake::RegistryKeyExists("HKU\\S-1-5-21-7-7-7-1001\\Software\\App"));
         EXPECT_EQ(fake::RegistryValue("HKU\\S-1-5-18\\Software\\App\\Sub", "Count"), "DWORD 7");
         EXPECT_EQ(fake::RegistryValue("HKLM\\Software\\App", "Version"), "SZ 1.0");
         EXPECT_EQ(Boxes(), "");
       }},
      {"registry values changed by someone else since the run are left",
       [&] {
         CutWhen(Changes("", Failure), [] {
           return fake::RegistryValue("HKLM\\Software\\App", "Old") == "(absent)";
         });
         fake::SetRegistry("HKLM\\Software\\App", "Version", 1, std::string("3.0\0", 4));
         fake::SetRegistry("HKCU\\Software\\App\\Sub", "Other", 1, std::string("x\0", 2));
         fake::SetFile(Script, noOp);
         UpdaterMain("");
       },
       [&] {
         EXPECT_EQ(fake::RegistryValue("HKLM\\Software\\App", "Version"), "SZ 3.0");
         EXPECT_EQ(fake::RegistryValue("HKLM\\Software\\App", "Old"), "TYPE 3 0102");
         EXPECT_EQ(fake::RegistryValue("HKCU\\Software\\App\\Sub", "Count"), "(absent)");
         EXPECT_EQ(fake::RegistryValue("HKCU\\Software\\App\\Sub", "Other"), "SZ x");
         logHas("undo: left registry \"HKLM\\Software\\App\\Version\": changed since to REG_SZ \"3.0\"");
         logHas("undo: left registry key \"HKU\\S-1-5-21-7-7-7-1001\\Software\\App\\Sub\": not empty");
         EXPECT_EQ(Boxes(), "");
       }},
      {"a registry value that cannot be put back",
       [&] {
         OldState(Changes(logged, Failure));
         fake::FailRegistrySets(2);  // the run's two; the undo's fail
         UpdaterMain("");
       },
       [&] {
         EXPECT_EQ(fake::RegistryValue("HKLM\\Software\\App", "Version"), "SZ 2.0");
         EXPECT_EQ(fake::FileContents("C:\\App\\a.txt"), "old a");
         EXPECT_EQ(Boxes(), Report(10, "C:\\App\\missing.txt") +
                                Report(35, "HKLM\\Software\\App", "Old") +
                                Report(35, "HKLM\\Software\\App", "Version"));
       }},
      {"one journal whatever the letter case of the road to the script",
       [&] {
         CutWhen(Changes("", Failure), [] { return fake::FileContents("C:\\App\\b.txt") == "new b"; });
         fake::SetModulePath("c:\\SETUP\\Updater.exe");
         fake::SetFile(Script, noOp);
         UpdaterMain("");
       },
       [&] {
         EXPECT_EQ(fake::FileContents("C:\\App\\a.txt"), "old a");
         EXPECT_FALSE(fake::FileExists(Journal));
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    row.act();
    row.check();
    EXPECT_EQ(fake::OpenHandles(), 0u);
  }
}

// On a volume whose file indexes do not last (FAT, exFAT), a file is told
// by its size and times at the run's own names: a run cut at any call is
// still undone exactly.
TEST_F(Rollback, OnAVolumeWithoutLastingIndexesARunCutAnywhereIsUndone) {
  const std::string script =
      "[UPDATER]\nNAME=T\nROLLBACK=1\nPROC=c,d,f\n[c]\nMODE=COPY\nFROM=E:\\New\\a.txt,E:\\New\\n.txt\n"
      "TO=E:\\App\\a.txt,E:\\App\\n.txt\n[d]\nMODE=DELETE\nFILE=E:\\App\\gone.txt\n"
      "[f]\nMODE=DELETE\nFILE=E:\\App\\missing.txt\n";
  auto prepare = [&] {
    OldState(script);
    fake::UseFatVolume("E:");
    fake::SetFile("E:\\New\\a.txt", "new a");
    fake::SetFile("E:\\New\\n.txt", "new n");
    fake::SetFile("E:\\App\\a.txt", "old a");
    fake::SetFile("E:\\App\\gone.txt", "old gone");
  };
  prepare();
  const std::string old = State();
  UpdaterMain("");
  EXPECT_EQ(State(), old);
  const unsigned calls = fake::Calls();
  for (unsigned n = 1; n <= calls; ++n) {
    SCOPED_TRACE("cut at call " + std::to_string(n));
    prepare();
    fake::CutAt(n);
    UpdaterMain("");
    fake::RestoreCut();
    fake::SetFile(Script, NoOp);
    UpdaterMain("");
    ASSERT_EQ(State(), old);
    ASSERT_EQ(Boxes(), "");
  }
}

// A procedure's changes cost the journal at most two flushes, however many
// files it changes.
TEST_F(Rollback, AProcedureCostsTheJournalAtMostTwoFlushes) {
  std::string from, to;
  for (int i = 0; i < 100; ++i) {
    from += (i ? ",<S>\\" : "<S>\\") + std::to_string(i);
    to += (i ? ",<T>\\" : "<T>\\") + std::to_string(i);
  }
  OldState("[UPDATER]\nNAME=T\nROLLBACK=1\nPROC=c\n[DEFINE]\n<S>=C:\\New\n<T>=C:\\App\n<F>=" + from +
           "\n<D>=" + to + "\n[c]\nMODE=COPY\nFROM=<F>\nTO=<D>\n");
  for (int i = 0; i < 100; ++i) {
    fake::SetFile("C:\\New\\" + std::to_string(i), "new");
    if (i % 2) fake::SetFile("C:\\App\\" + std::to_string(i), "old");
  }
  EXPECT_EQ(UpdaterMain(""), 0);
  EXPECT_EQ(fake::FileContents("C:\\App\\99"), "new");
  // The journal's first line, the procedure's two, and the run's completion.
  EXPECT_EQ(fake::Flushes(), 4u);

  // Services: one flush for the procedure, whatever it stops.
  OldState("[UPDATER]\nNAME=T\nROLLBACK=1\nPROC=s\n[s]\nMODE=SERVICE\nNAME=a,b,c\nACTION=STOP\n");
  for (const char* name : {"a", "b", "c"}) fake::InstallService(name);
  EXPECT_EQ(UpdaterMain(""), 0);
  EXPECT_EQ(fake::ServiceState("c"), "stopped");
  EXPECT_EQ(fake::Flushes(), 3u);
}

}  // namespace
