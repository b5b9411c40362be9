// COPY, LAUNCH, EXIST, DATE, SWITCH, REGISTRY, REGVALUE and SERVICE against the
// OS double.
#include <functional>
#include <string>

#include "os/ui.h"
#include "script_run.h"
#include "script/script_file.h"
#include "symbols/symbol_table.h"

namespace {

class KindTest : public ScriptRunTest {};

std::string Copy(const char* name, const char* from, const char* to) {
  return std::string("[") + name + "]\nMODE=COPY\nFROM=" + from + "\nTO=" + to + "\n";
}
std::string Launch(const char* name, const char* file, const char* param, const char* wait) {
  return std::string("[") + name + "]\nMODE=LAUNCH\nFILE=" + file + "\nPARAM=" + param +
         "\nISWAIT=" + wait + "\n";
}
std::string Exist(const char* name, const char* file) {
  return std::string("[") + name + "]\nMODE=EXIST\nFILE=" + file + "\n";
}
std::string Date(const char* name, const char* file, const char* date) {
  return std::string("[") + name + "]\nMODE=DATE\nFILE=" + file + "\nDATE=" + date + "\n";
}
std::string Switch(const char* name, const char* proc, const char* zero, const char* one) {
  return std::string("[") + name + "]\nMODE=SWITCH\nPROC=" + proc + "\n0=" + zero + "\n1=" +
         one + "\n";
}
std::string Note(const char* name, const char* text) {
  return std::string("[") + name + "]\nMODE=MSGBOX\nFLAG=\nTYPE=INFORMATION\nTEXT=" + text +
         "\nISABORT=0,0\n";
}

TEST_F(KindTest, EveryKeyOfEachKindIsRequired) {
  struct Case {
    const char* section;
    const char* missing;
  } cases[] = {
      {"[k]\nMODE=copy\nFROM=C:\\a\n", "TO"},
      {"[k]\nMODE=copy\nTO=C:\\a\n", "FROM"},  // keys are read in order
      {"[k]\nMODE=Launch\nFILE=C:\\a.exe\nPARAM=\n", "ISWAIT"},
      {"[k]\nMODE=Launch\nFILE=C:\\a.exe\nISWAIT=1\n", "PARAM"},
      {"[k]\nMODE=EXIST\n", "FILE"},
      {"[k]\nMODE=date\nFILE=C:\\a\n", "DATE"},
      {"[k]\nMODE=SWITCH\nPROC=k\n0=\n", "1"},
      {"[k]\nMODE=SWITCH\n0=\n1=\n", "PROC"},
      {"[k]\nMODE=SWITCH\nPROC=k\n1=\n0=NO_DATA\n", "0"},
      {"[k]\nMODE=REGISTRY\nKEY=HKLM\\S\nACTION=SET\n", "DATA"},
      {"[k]\nMODE=REGISTRY\nDATA=x\n", "KEY"},
      {"[k]\nMODE=REGVALUE\nDATA=x\n", "KEY"},
  };
  for (const Case& c : cases) {
    fake::Reset();
    EXPECT_FALSE(Run(c.section, "k")) << c.section;
    EXPECT_EQ(Boxes(), Report(2, "k", c.missing)) << c.section;
  }
}

TEST_F(KindTest, AnEmptyLeadingListStopsTheRun) {
  struct Case {
    std::string section;
    const char* key;
  } cases[] = {
      {Copy("k", "", "C:\\x"), "FROM"},
      {Launch("k", "", "", "1"), "FILE"},
      {Exist("k", ""), "FILE"},
      {Date("k", "", "2001/1/1"), "FILE"},
  };
  for (const Case& c : cases) {
    fake::Reset();
    EXPECT_FALSE(Run(c.section + Note("after", "never"), "k,after")) << c.section;
    EXPECT_EQ(Boxes(), Report(4, "k", c.key));
    EXPECT_FALSE(ResultOf(0));
  }
}

// --- COPY ---------------------------------------------------------------------

TEST_F(KindTest, CopyReplacesTargetsInOrderWithTheSourcesAttributes) {
  fake::SetFile("C:\\src\\a.txt", "new a");
  fake::SetFile("C:\\src\\b.txt", "new b");
  fake::SetFileAttributesTo("C:\\src\\a.txt", 0x900);  // compressed, temporary: not given
  fake::SetFileAttributesTo("C:\\src\\b.txt", 0x21);
  fake::SetFile("C:\\dst\\b.txt", "old b");
  fake::MakeDir("C:\\dst\\sub");
  ASSERT_TRUE(Run(Copy("c", " C:\\src\\a.txt , C:\\src\\b.txt ",
                       "C:\\dst\\a.txt,  C:\\dst\\b.txt  ,C:\\dst\\ignored.txt"),
                  "c"));
  EXPECT_TRUE(ResultOf(0));
  EXPECT_EQ(fake::FileContents("C:\\dst\\a.txt"), "new a");
  EXPECT_EQ(fake::FileContents("C:\\dst\\b.txt"), "new b");
  EXPECT_EQ(fake::FileAttributes("C:\\dst\\a.txt"), 0x80u);
  EXPECT_EQ(fake::FileAttributes("C:\\dst\\b.txt"), 0x21u);
  // Nothing but the targets: no temporary file, no third target.
  EXPECT_EQ(fake::FileList(),
            "C:\\dst\\a.txt\nC:\\dst\\b.txt\nC:\\Setup\\updater.ini\nC:\\src\\a.txt\n"
            "C:\\src\\b.txt\n");
  EXPECT_EQ(Boxes(), "");
}

TEST_F(KindTest, AFailedCopyIsReportedAndLeavesTargetsAndFolderAsTheyWere) {
  struct Case {
    const char* name;
    const char* from;
    const char* to;
    const char* source;  // named in the report
    const char* target;
  } cases[] = {
      {"missing source", "C:\\src\\none.txt", "C:\\dst\\t.txt", "C:\\src\\none.txt",
       "C:\\dst\\t.txt"},
      {"missing folder", "C:\\src\\a.txt", "C:\\nowhere\\t.txt", "C:\\src\\a.txt",
       "C:\\nowhere\\t.txt"},
      {"empty target", "C:\\src\\a.txt", "", "C:\\src\\a.txt", ""},
      {"target short", "C:\\src\\a.txt,C:\\src\\b.txt", "C:\\dst\\new.txt", "C:\\src\\b.txt", ""},
      {"read-only target", "C:\\src\\a.txt", "C:\\dst\\ro.txt", "C:\\src\\a.txt",
       "C:\\dst\\ro.txt"},
      {"locked target", "C:\\src\\a.txt", "C:\\dst\\locked.txt", "C:\\src\\a.txt",
       "C:\\dst\\locked.txt"},
      {"directory target", "C:\\src\\a.txt", "C:\\dst\\dir", "C:\\src\\a.txt", "C:\\dst\\dir"},
      {"died part-way", "C:\\src\\a.txt", "C:\\dst\\t.txt", "C:\\src\\a.txt", "C:\\dst\\t.txt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake::Reset();
    fake::SetFile("C:\\src\\a.txt", "new a");
    fake::SetFile("C:\\src\\b.txt", "new b");
    fake::SetFile("C:\\dst\\t.txt", "old t");
    fake::SetFile("C:\\dst\\ro.txt", "old ro");
    fake::SetFileAttributesTo("C:\\dst\\ro.txt", 0x21);
    fake::SetFile("C:\\dst\\locked.txt", "old locked");
    fake::LockFile("C:\\dst\\locked.txt");
    fake::MakeDir("C:\\dst\\dir");
    fake::SetFile(Script, "");
    std::string before = fake::FileList();
    if (std::string(c.name) == "died part-way") fake::FailNextCopyAfter(2);

    EXPECT_FALSE(Run(Copy("c", c.from, c.to), "c"));
    EXPECT_FALSE(ResultOf(0));
    EXPECT_EQ(Boxes(), Report(8, c.source, c.target));
    std::string after = before;
    // The copy before the failing one stays.
    if (std::string(c.name) == "target short")
      after.insert(after.find("C:\\dst\\ro.txt"), "C:\\dst\\new.txt\n");
    EXPECT_EQ(fake::FileList(), after);
    EXPECT_EQ(fake::FileContents("C:\\dst\\t.txt"), "old t");
    EXPECT_EQ(fake::FileContents("C:\\dst\\ro.txt"), "old ro");
    EXPECT_EQ(fake::FileContents("C:\\dst\\locked.txt"), "old locked");
  }
}

// SHA256 pins each source: a copy whose bytes differ is discarded and
// leaves its target as it was; "-" copies unchecked; a list that leaves a
// position without its item, or a system without SHA-256, copies nothing.
TEST_F(KindTest, CopyChecksTheDigestOfTheBytesItCopies) {
  const std::string a = "11507A0E2F5E69D5DFA40A62A1BD7B6EE57E6BCD85C67C9B8431B36FFF21C437";
  const std::string b = "62cb81b5904a262ffaeed02abef36bfc540b09f964b8b0b636662f77ffce6714";
  struct Case {
    std::string sha256;
    bool noDigests;
    std::string boxes, a, b;  // the targets' contents after the run
  } cases[] = {
      {a + "," + b, false, "", "new", "bee"},
      {"-, " + b, false, "", "new", "bee"},
      {a + "," + a, false, Report(37, "C:\\S\\b.exe"), "new", "old"},
      {a, false, Report(6, a.c_str()), "old", "old"},
      {a + ",", false, Report(6, (a + ",").c_str()), "old", "old"},
      {a + ",0x1", false, Report(6, "0x1"), "old", "old"},
      {a + "," + b, true, Report(38, "C:\\S\\a.exe"), "old", "old"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sha256);
    fake::Reset();
    fake::SetFile("C:\\S\\a.exe", "new");
    fake::SetFile("C:\\S\\b.exe", "bee");
    fake::SetFile("C:\\T\\a.exe", "old");
    fake::SetFile("C:\\T\\b.exe", "old");
    fake::WithoutDigests(c.noDigests);
    EXPECT_EQ(Run(Copy("c", "C:\\S\\a.exe,C:\\S\\b.exe", "C:\\T\\a.exe,C:\\T\\b.exe") +
                      "SHA256=" + c.sha256 + "\n",
                  "c"),
              c.boxes.empty());
    EXPECT_EQ(Boxes(), c.boxes);
    EXPECT_EQ(fake::FileContents("C:\\T\\a.exe"), c.a);
    EXPECT_EQ(fake::FileContents("C:\\T\\b.exe"), c.b);
    EXPECT_EQ(fake::FileList().find("~upd"), std::string::npos);
  }
}

// A FROM item whose last part holds a wildcard copies a folder's files into
// the TO item's folder, made as needed: "*" the whole tree (hidden files and
// empty folders too, never through a link), another pattern the matching
// long names of that folder alone. Copying nothing, a digest beside it or a
// path past the limit copies nothing.
TEST_F(KindTest, AWildcardItemCopiesAFoldersFiles) {
  const std::string deep = "C:\\far\\" + std::string(240, 'd');
  struct Case {
    const char* name;
    std::string from, to, more;  // more: further keys
    std::string boxes;
    std::string copied;  // the files under C:\dst afterwards
  } cases[] = {
      {"a tree", "C:\\src\\*", "C:\\dst\\new\\tree", "", "",
       "C:\\dst\\new\\tree\\a.dll\nC:\\dst\\new\\tree\\B.DLL\nC:\\dst\\new\\tree\\readme\n"
       "C:\\dst\\new\\tree\\sub\\deep\\d.txt\nC:\\dst\\new\\tree\\sub\\h.txt\n"
       "C:\\dst\\new\\tree\\x.dll_old\nC:\\dst\\old.txt\n"},
      {"a pattern", "C:\\src\\*.dll", "C:\\dst\\", "", "",
       "C:\\dst\\a.dll\nC:\\dst\\B.DLL\nC:\\dst\\old.txt\n"},
      {"*.* takes names without a dot", "C:\\src\\*.*", "C:\\dst", "", "",
       "C:\\dst\\a.dll\nC:\\dst\\B.DLL\nC:\\dst\\old.txt\nC:\\dst\\readme\nC:\\dst\\x.dll_old\n"},
      {"beside a file", "C:\\src\\readme,C:\\src\\sub\\?.txt", "C:\\dst\\r,C:\\dst\\s", "", "",
       "C:\\dst\\old.txt\nC:\\dst\\r\nC:\\dst\\s\\h.txt\n"},
      {"nothing matches", "C:\\src\\*.exe", "C:\\dst", "",
       Report(8, "C:\\src\\*.exe", "C:\\dst"), "C:\\dst\\old.txt\n"},
      {"no such folder", "C:\\none\\*", "C:\\dst", "", Report(8, "C:\\none\\*", "C:\\dst"),
       "C:\\dst\\old.txt\n"},
      {"a wildcard in a folder part", "C:\\s*\\a.dll", "C:\\dst\\a.dll", "",
       Report(8, "C:\\s*\\a.dll", "C:\\dst\\a.dll"), "C:\\dst\\old.txt\n"},
      {"no target", "C:\\src\\*.dll", "", "", Report(8, "C:\\src\\*.dll", ""),
       "C:\\dst\\old.txt\n"},
      {"a digest beside it", "C:\\src\\readme,C:\\src\\*.dll", "C:\\dst\\r,C:\\dst",
       "SHA256=-," + std::string(64, 'a') + "\n", Report(6, std::string(64, 'a').c_str()),
       "C:\\dst\\old.txt\n"},
      {"\"-\" beside it", "C:\\src\\*.dll", "C:\\dst", "SHA256=-\n", "",
       "C:\\dst\\a.dll\nC:\\dst\\B.DLL\nC:\\dst\\old.txt\n"},
      {"a signer for each file", "C:\\src\\*.dll", "C:\\dst", "SIGNER=Acme\n",
       Report(39, "C:\\src\\B.DLL"), "C:\\dst\\a.dll\nC:\\dst\\old.txt\n"},
      {"past the path limit", deep + "\\*", "C:\\dst", "",
       Report(8, (deep + "\\" + std::string(20, 'n')).c_str(),
              ("C:\\dst\\" + std::string(20, 'n')).c_str()),
       "C:\\dst\\old.txt\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake::Reset();
    for (const char* file : {"C:\\src\\a.dll", "C:\\src\\B.DLL", "C:\\src\\x.dll_old",
                             "C:\\src\\readme", "C:\\src\\sub\\h.txt",
                             "C:\\src\\sub\\deep\\d.txt", "C:\\src\\link\\l.txt",
                             "C:\\src\\l.dll", "C:\\dst\\old.txt"})
      fake::SetFile(file, file);
    fake::SetFile(deep + "\\" + std::string(20, 'n'), "");
    fake::SetFileAttributesTo("C:\\src\\sub\\h.txt", 0x22);  // hidden
    fake::MakeDir("C:\\src\\sub\\empty");
    fake::MarkFolderAsLink("C:\\src\\link");
    fake::MarkAsLink("C:\\src\\l.dll");
    fake::SignFile("C:\\src\\a.dll", "by Acme");
    EXPECT_EQ(Run(Copy("c", c.from.c_str(), c.to.c_str()) + c.more, "c"), c.boxes.empty());
    EXPECT_EQ(Boxes(), c.boxes);
    std::string list = fake::FileList(), copied;
    for (size_t at = 0; (at = list.find("C:\\dst", at)) != std::string::npos; at = list.find('\n', at))
      copied += list.substr(at, list.find('\n', at) + 1 - at);
    EXPECT_EQ(copied, c.copied);
    if (c.copied.find("sub\\deep") != std::string::npos) {
      EXPECT_TRUE(fake::DirExists("C:\\dst\\new\\tree\\sub\\empty"));
      EXPECT_EQ(fake::FileAttributes("C:\\dst\\new\\tree\\sub\\h.txt"), 0x22u);
      EXPECT_EQ(fake::FileContents("C:\\dst\\new\\tree\\sub\\h.txt"), "C:\\src\\sub\\h.txt");
    }
    EXPECT_FALSE(fake::DirExists("C:\\dst\\new\\tree\\link"));
  }
}

TEST_F(KindTest, ARejectedReadOnlyCopyIsStillRemoved) {
  // The temporary copy takes the source's read-only attribute; it must be
  // deleted all the same when the target refuses it.
  fake::SetFile("C:\\src\\a.txt", "new");
  fake::SetFileAttributesTo("C:\\src\\a.txt", 0x01);
  fake::SetFile("C:\\dst\\a.txt", "old");
  fake::LockFile("C:\\dst\\a.txt");
  EXPECT_FALSE(Run(Copy("c", "C:\\src\\a.txt", "C:\\dst\\a.txt"), "c"));
  EXPECT_EQ(fake::FileList(), "C:\\dst\\a.txt\nC:\\Setup\\updater.ini\nC:\\src\\a.txt\n");
  EXPECT_EQ(fake::FileContents("C:\\dst\\a.txt"), "old");
}

TEST_F(KindTest, NamesAlreadyTakenBesideTheTargetAreNeverTouched) {
  fake::SetFile("C:\\src\\a.txt", "new");
  fake::SetFile("C:\\dst\\~upd0.tmp", "someone's");
  fake::MakeDir("C:\\dst\\~upd1.tmp");
  // Another program's file, put there between any look and the creation.
  fake::AppearsBeforeCreation("C:\\dst\\~upd2.tmp", "raced");
  ASSERT_TRUE(Run(Copy("c", "C:\\src\\a.txt", "C:\\dst\\a.txt"), "c"));
  EXPECT_EQ(fake::FileContents("C:\\dst\\a.txt"), "new");
  EXPECT_EQ(fake::FileContents("C:\\dst\\~upd0.tmp"), "someone's");
  EXPECT_EQ(fake::FileContents("C:\\dst\\~upd2.tmp"), "raced");
  EXPECT_TRUE(fake::DirExists("C:\\dst\\~upd1.tmp"));
  EXPECT_EQ(fake::FileList(), "C:\\dst\\a.txt\nC:\\dst\\~upd0.tmp\nC:\\dst\\~upd2.tmp\n"
                              "C:\\Setup\\updater.ini\nC:\\src\\a.txt\n");

  // With every name taken the copy fails rather than overwrite one.
  for (char digit = '3'; digit <= '9'; ++digit)
    fake::SetFile(std::string("C:\\dst\\~upd") + digit + ".tmp", "taken");
  std::string before = fake::FileList();
  EXPECT_FALSE(Run(Copy("c", "C:\\src\\a.txt", "C:\\dst\\a.txt"), "c"));
  EXPECT_EQ(fake::FileList(), before);
  EXPECT_EQ(fake::FileContents("C:\\dst\\~upd5.tmp"), "taken");
}

// Targets up to the path limit are copied whatever their name's length; one
// past it fails at once. On older systems the file goes in by name, and on
// the oldest, where a move cannot replace, a failed move puts the old
// target back. Nothing of the run's own is left on any road.
TEST_F(KindTest, CopyToLongTargetsAndOnOlderSystemsLeavesNothingBehind) {
  // Values are cut at 258 characters: a symbol makes the long targets.
  const std::string folder = "C:\\" + std::string(245, 'f');    // 248 characters
  const std::string deep = "C:\\" + std::string(254, 'g');      // 257
  struct Case {
    const char* name;
    std::string folder, file;
    int age;
    bool failMove;
    bool copied;
  } cases[] = {
      {"259 characters, short name", folder, "nnnnnnnnnn", 0, false, true},
      {"259 characters, one-letter name", deep, "n", 0, false, true},
      {"260 characters", folder, "nnnnnnnnnnn", 0, false, false},
      {"before Vista", "C:\\dst", "t.txt", 1, false, true},
      {"95 family", "C:\\dst", "t.txt", 2, false, true},
      {"95 family, the move fails", "C:\\dst", "t.txt", 2, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake::Reset();
    fake::SetFile("C:\\src\\a.txt", "new");
    fake::SetFileAttributesTo("C:\\src\\a.txt", 0x21);
    fake::SetFile("C:\\dst\\t.txt", "old");
    fake::MakeDir(c.folder);
    fake::UseOldSystem(c.age);
    const std::string target = c.folder + "\\" + c.file;
    if (c.failMove) fake::FailNextMoveInto(target);
    fake::SetFile(Script, "[DEFINE]\n<F>=" + c.folder + "\n");
    LoadScriptSymbols();
    std::string before = fake::FileList();
    EXPECT_EQ(Run(Copy("c", "C:\\src\\a.txt", ("<F>\\" + c.file).c_str()), "c"), c.copied);
    if (c.copied) {
      EXPECT_EQ(fake::FileContents(target), "new");
      EXPECT_EQ(fake::FileAttributes(target), 0x21u);
      EXPECT_EQ(Boxes(), "");
    } else {
      EXPECT_EQ(Boxes(), Report(8, "C:\\src\\a.txt", target.c_str()));
      EXPECT_EQ(fake::FileContents("C:\\dst\\t.txt"), "old");  // put back
    }
    // Nothing of the run's own beside the target.
    std::string after = fake::FileList();
    EXPECT_EQ(after.find("~upd"), std::string::npos) << after;
    EXPECT_EQ(after.find("\\0\n"), std::string::npos) << after;
  }
}

// --- LAUNCH -------------------------------------------------------------------

TEST_F(KindTest, LaunchStartsEachProgramInItsFolderWithTheCommandLineAsWritten) {
  fake::SetFile("D:\\A\\one.exe", "");
  fake::SetFile("D:\\B\\two.exe", "");
  ASSERT_TRUE(Run(Launch("l", " D:\\A\\one.exe ,D:\\B\\two.exe", " /s  a ", "1"), "l"));
  EXPECT_TRUE(ResultOf(0));
  ASSERT_EQ(fake::Launches().size(), 2u);
  EXPECT_EQ(fake::Launches()[0].commandLine, "D:\\A\\one.exe /s  a");
  EXPECT_EQ(fake::Launches()[0].directory, "D:\\A");
  EXPECT_EQ(fake::Launches()[0].application, "D:\\A\\one.exe");
  EXPECT_TRUE(fake::Launches()[0].waitForExit);
  // A missing parameter still leaves the blank.
  EXPECT_EQ(fake::Launches()[1].commandLine, "D:\\B\\two.exe ");
  EXPECT_EQ(fake::Launches()[1].directory, "D:\\B");
  EXPECT_EQ(fake::Launches()[1].started, "D:\\B\\two.exe");
}

TEST_F(KindTest, AnItemNamingAFileStartsThatFileNeverAPlantedPrefix) {
  struct Case {
    const char* file;
    const char* started;
    const char* application;
    const char* commandLine;
    const char* directory;
  } cases[] = {
      // Left to the platform's search, C:\Program.exe would run; quoted,
      // the program reads its own name and "/q" as its first argument.
      {"C:\\Program Files\\App\\setup.exe", "C:\\Program Files\\App\\setup.exe",
       "C:\\Program Files\\App\\setup.exe", "\"C:\\Program Files\\App\\setup.exe\" /q",
       "C:\\Program Files\\App"},
      // Quoted by the script's author: passed as written.
      {"\"C:\\Program Files\\App\\setup.exe\"", "C:\\Program Files\\App\\setup.exe",
       "C:\\Program Files\\App\\setup.exe", "\"C:\\Program Files\\App\\setup.exe\" /q",
       "C:\\Program Files\\App"},
      // A batch file runs through the interpreter with the whole line quoted,
      // never the planted C:\My.bat the interpreter would find first.
      {"C:\\My App\\x.BAT", "C:\\Windows\\system32\\cmd.exe",
       "C:\\Windows\\system32\\cmd.exe",
       "\"C:\\Windows\\system32\\cmd.exe\" /d /c \"\"C:\\My App\\x.BAT\" /q\"", "C:\\My App"},
      // Naming no file ("setup" without its extension), the item is left to
      // the platform, which adds ".exe".
      {"C:\\Tools\\setup", "C:\\Tools\\setup.exe", "(none)", "C:\\Tools\\setup /q", "C:\\Tools"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    fake::Reset();
    fake::SetFile("C:\\Program.exe", "planted");
    fake::SetFile("C:\\Program Files\\App\\setup.exe", "");
    fake::SetFile("C:\\Tools\\setup.exe", "");
    fake::SetFile("C:\\My.bat", "planted");
    fake::SetFile("C:\\My App\\x.BAT", "");
    fake::SetFile("C:\\Windows\\system32\\cmd.exe", "");
    ASSERT_TRUE(Run(Launch("l", c.file, "/q", "1"), "l"));
    ASSERT_EQ(fake::Launches().size(), 1u);
    EXPECT_EQ(fake::Launches()[0].started, c.started);
    EXPECT_EQ(fake::Launches()[0].application, c.application);
    EXPECT_EQ(fake::Launches()[0].commandLine, c.commandLine);
    EXPECT_EQ(fake::Launches()[0].directory, c.directory);
  }
}

TEST_F(KindTest, IsWaitChoosesTheWait) {
  struct Case {
    const char* value;
    bool waitForExit;
  } cases[] = {
      {"0", false}, {"1", true}, {"-3", true}, {" 0", false},
      // Not a number: the record's default, waiting for the exit.
      {"", true}, {"no", true},
  };
  for (const Case& c : cases) {
    fake::Reset();
    fake::SetFile("C:\\A\\a.exe", "");
    ASSERT_TRUE(Run(Launch("l", "C:\\A\\a.exe", "", c.value), "l")) << c.value;
    ASSERT_EQ(fake::Launches().size(), 1u);
    EXPECT_EQ(fake::Launches()[0].waitForExit, c.waitForExit) << c.value;
  }
}

TEST_F(KindTest, AProgramThatCannotBeStartedOrAwaitedEndsTheRun) {
  struct Case {
    const char* file;
    bool failWaits;
    const char* program;  // named in the report
    const char* parameter;
    size_t launches;
  } cases[] = {
      {"setup.exe,C:\\A\\a.exe", false, "setup.exe", "p1", 0},
      {"\\setup.exe", false, "\\setup.exe", "p1", 0},
      {"C:\\A\\a.exe, C:\\A\\none.exe ,C:\\A\\a.exe", false, "C:\\A\\none.exe", "p2", 1},
      // Started, but the wait failed: reported, and nothing after it starts.
      {"C:\\A\\a.exe,C:\\A\\a.exe", true, "C:\\A\\a.exe", "p1", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    fake::Reset();
    fake::SetFile("C:\\A\\a.exe", "");
    fake::SetFile("setup.exe", "");
    fake::FailWaits(c.failWaits);
    EXPECT_FALSE(Run(Launch("l", c.file, "p1, p2 ,p3", "0"), "l"));
    EXPECT_FALSE(ResultOf(0));
    EXPECT_EQ(Boxes(), Report(9, c.program, c.parameter));
    EXPECT_EQ(fake::Launches().size(), c.launches);
  }
}

// SHA256 pins each program: a wrong digest starts nothing, the right one
// starts the program from the file it checked.
TEST_F(KindTest, LaunchStartsOnlyAProgramWithThePinnedDigest) {
  const std::string right = "11507a0e2f5e69d5dfa40a62a1bd7b6ee57e6bcd85c67c9b8431b36fff21c437";
  struct Case {
    std::string sha256;
    bool noDigests;
    std::string boxes;
    size_t launches;
  } cases[] = {
      {right + ",-", false, "", 2},
      {"-," + std::string(64, '0'), false, Report(37, "C:\\A\\b.exe"), 1},
      {right, false, Report(6, right.c_str()), 0},
      {right + ",-", true, Report(38, "C:\\A\\a.exe"), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sha256);
    fake::Reset();
    fake::SetFile("C:\\A\\a.exe", "new");
    fake::SetFile("C:\\A\\b.exe", "bee");
    fake::WithoutDigests(c.noDigests);
    EXPECT_EQ(Run(Launch("l", "C:\\A\\a.exe,C:\\A\\b.exe", "", "0") + "SHA256=" + c.sha256 +
                      "\n",
                  "l"),
              c.boxes.empty());
    EXPECT_EQ(Boxes(), c.boxes);
    ASSERT_EQ(fake::Launches().size(), c.launches);
    if (c.launches) {
      EXPECT_EQ(fake::Launches()[0].application, "C:\\A\\a.exe");
    }
    EXPECT_EQ(fake::OpenHandles(), 0u);
  }
}

// SUCCESS judges every program by its exit code, waiting for its end
// whatever ISWAIT says; a set that is not one is told before any start.
TEST_F(KindTest, SuccessJudgesEachProgramByItsExitCode) {
  struct Case {
    const char* success;
    uint32_t exitCode;
    bool result;
    std::string boxes;
    size_t launches;
  } cases[] = {
      {"0,3010", 3010, true, "", 2},
      {" 0x0BC2 , 0", 3010, true, "", 2},
      {"-1", 0xFFFFFFFF, true, "", 2},
      {"0", 1, false, e2e::ReportExitCode("C:\\A\\a.exe", 1) + "|", 1},
      {"", 0, false, Report(6), 0},
      {"0,", 0, false, Report(6, "0,"), 0},
      {"0,yes", 0, false, Report(6, "0,yes"), 0},
      {"4294967296", 0, false, Report(6, "4294967296"), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.success);
    fake::Reset();
    fake::SetFile("C:\\A\\a.exe", "");
    fake::SetExitCode(c.exitCode);
    EXPECT_EQ(Run(Launch("l", "C:\\A\\a.exe,C:\\A\\a.exe", "", "0") + "SUCCESS=" + c.success +
                      "\n",
                  "l"),
              c.result);
    EXPECT_EQ(Boxes(), c.boxes);
    ASSERT_EQ(fake::Launches().size(), c.launches);
    for (const auto& launch : fake::Launches()) EXPECT_TRUE(launch.waitForExit);
  }
}

// SIGNER: every file must carry a signature that the system verifies and
// trusts, by the publisher named exactly (a name may hold a comma); the
// first that does not is reported, and neither it nor any after it is
// copied or started.
TEST_F(KindTest, SignerLetsOnlyTheNamedPublishersFilesBeCopiedOrStarted) {
  const char* const second = "C:\\src\\b.exe";
  struct Case {
    const char* signature;  // of the second file, as fake::SignFile words it
    std::string boxes;
    const char* signer = "Acme, Inc.";
  } cases[] = {
      {"by Acme, Inc.", ""},
      {"", Report(39, second)},
      {"bad", Report(43, second)},
      {"unchecked", Report(43, second)},
      {"untrusted", Report(44, second)},
      {"by acme, inc.", Report(45, second, "acme, inc.")},
      {"by Acme, Inc.", Report(45, second, "Acme, Inc."), ""},
  };
  for (const char* kind : {"COPY", "LAUNCH"}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(kind) + " " + c.signature);
      fake::Reset();
      fake::SetFile("C:\\src\\a.exe", "new a");
      fake::SetFile(second, "new b");
      fake::SetFile("C:\\dst\\b.exe", "old b");
      fake::SignFile("C:\\src\\a.exe", std::string("by ") + c.signer);
      fake::SignFile(second, c.signature);
      bool copy = std::string(kind) == "COPY";
      std::string section =
          copy ? Copy("p", "C:\\src\\a.exe,C:\\src\\b.exe", "C:\\dst\\a.exe,C:\\dst\\b.exe")
               : Launch("p", "C:\\src\\a.exe,C:\\src\\b.exe", "", "1");
      EXPECT_EQ(Run(section + "SIGNER=" + c.signer + "\n", "p"), c.boxes.empty());
      EXPECT_EQ(Boxes(), c.boxes);
      // The first file passes; the second is copied or started only when it does.
      EXPECT_EQ(fake::FileContents("C:\\dst\\a.exe"), copy ? "new a" : "(missing)");
      EXPECT_EQ(fake::FileContents("C:\\dst\\b.exe"), copy && c.boxes.empty() ? "new b" : "old b");
      EXPECT_EQ(fake::Launches().size(), copy ? 0u : c.boxes.empty() ? 2u : 1u);
    }
  }
}

// --- EXIST --------------------------------------------------------------------

TEST_F(KindTest, ExistIsTrueOnlyWhenEveryItemFindsAnEntry) {
  struct Case {
    const char* file;
    bool result;
  } cases[] = {
      {"C:\\data\\a.dat", true},
      {" C:\\data\\a.dat , c:\\DATA\\B.DAT ", true},
      {"C:\\data", true},
      {"C:\\data\\*.dat", true},
      {"C:\\data\\?.dat,C:\\data\\sub", true},
      {"C:\\data\\*.txt", false},
      {"C:\\data\\none.dat,C:\\data\\a.dat", false},
      {"C:\\data\\a.dat,C:\\data\\none.dat", false},
      {"C:\\data\\a.dat,", false},
      {"C:\\data\\a.dat,,C:\\data\\b.dat", false},
  };
  for (const Case& c : cases) {
    fake::Reset();
    fake::SetFile("C:\\data\\a.dat", "");
    fake::SetFile("C:\\data\\b.dat", "");
    fake::MakeDir("C:\\data\\sub");
    EXPECT_TRUE(Run(Exist("e", c.file), "e")) << c.file;
    EXPECT_EQ(ResultOf(0), c.result) << c.file;
    EXPECT_EQ(Boxes(), "");
  }
}

// --- DATE ---------------------------------------------------------------------

TEST_F(KindTest, DateIsTrueAtTheFirstFileOlderThanTheDateOrUnreadable) {
  struct Case {
    const char* file;
    const char* date;
    bool result;
  } cases[] = {
      {"C:\\f\\jun15.txt", "2001/6/15", false},
      {"C:\\f\\jun14.txt", "2001/6/15", true},
      {"C:\\f\\jun15.txt", "2001/06/16", true},
      {"C:\\f\\jan01.txt", "2000/12/31", false},  // the year decides first
      {"C:\\f\\jan01.txt", "2001/2/1", true},
      {"C:\\f\\jan01.txt", "2001", false},          // 2001/0/0
      {"C:\\f\\jun15.txt", "01/6/15", false},       // the year 1
      {"C:\\f\\jun15.txt", "2001/13/1", true},      // month 13 is after June
      {"C:\\f\\jun15.txt", "-1/1/1", true},         // 16-bit: the year 65535
      {"C:\\f\\jun15.txt", "67537/1/1", false},     // 16-bit: the year 2001
      {"C:\\f\\jun15.txt", "x/y/z", false},
      {"C:\\f\\none.txt", "1980/1/1", true},
      {"C:\\f\\locked.txt", "1980/1/1", true},
      {"C:\\f", "1980/1/1", true},                  // a directory cannot be opened
      {" C:\\f\\jun15.txt , C:\\f\\jun14.txt ", "2001/6/15", true},
      {"C:\\f\\jun15.txt,C:\\f\\jan01.txt", "2001/1/1", false},
  };
  for (const Case& c : cases) {
    fake::Reset();
    fake::SetFile("C:\\f\\jun15.txt", "");
    fake::SetFileDate("C:\\f\\jun15.txt", 2001, 6, 15);
    fake::SetFile("C:\\f\\jun14.txt", "");
    fake::SetFileDate("C:\\f\\jun14.txt", 2001, 6, 14);
    fake::SetFile("C:\\f\\jan01.txt", "");
    fake::SetFileDate("C:\\f\\jan01.txt", 2001, 1, 1);
    fake::SetFile("C:\\f\\locked.txt", "");
    fake::SetFileDate("C:\\f\\locked.txt", 2020, 1, 1);
    fake::LockFile("C:\\f\\locked.txt");
    EXPECT_TRUE(Run(Date("d", c.file, c.date), "d")) << c.file << " " << c.date;
    EXPECT_EQ(ResultOf(0), c.result) << c.file << " " << c.date;
    EXPECT_EQ(Boxes(), "");
  }
}

// --- REGISTRY and REGVALUE -----------------------------------------------------

const char* const Vendor = "HKLM\\Software\\Vendor";

// A procedure's keys after its MODE, one "KEY=value" a line.
std::string Registry(const std::string& keys, const std::string& name = "r") {
  return "[" + name + "]\nMODE=REGISTRY\n" + keys;
}

TEST_F(KindTest, RegistrySetsOrDeletesOneValueAndReportsWhatItCannot) {
  struct Case {
    const char* keys;
    std::string boxes;      // "" for none
    const char* key;        // where the value is looked for
    const char* name;
    const char* value;      // as fake::RegistryValue tells it
    int system = 1;         // as fake::UseRegistrySystem
    std::function<void()> prepare = [] {};
  } cases[] = {
      {"KEY=HKLM\\Software\\Vendor\\App\nNAME=Version\nDATA=2.0\n", "",
       "HKLM\\Software\\Vendor\\App", "Version", "SZ 2.0"},
      {"KEY=hkey_local_machine\\Software\\Vendor\\\nNAME=Who\nDATA=Vendor, Inc.\n", "", Vendor,
       "Who", "SZ Vendor, Inc."},
      {"KEY=HKLM\\Software\\Vendor\nNAME=Old\nTYPE=sz\nDATA=\n", "", Vendor, "Old", "SZ "},
      {"KEY=HKLM\\Software\\Vendor\nDATA=default\n", "", Vendor, "", "SZ default"},
      {"KEY=HKLM\\Software\\Vendor\nNAME=P\nTYPE=EXPAND_SZ\nDATA=%ProgramFiles%\\N\n", "",
       Vendor, "P", "EXPAND_SZ %ProgramFiles%\\N"},
      {"KEY=HKLM\\Software\\Vendor\nNAME=N\nTYPE=DWORD\nDATA=42\n", "", Vendor, "N", "DWORD 42"},
      {"KEY=HKLM\\Software\\Vendor\nNAME=Old\nTYPE=DWORD\nDATA=0xFFFFFFFF\n", "", Vendor, "Old",
       "DWORD 4294967295"},
      {"KEY=HKLM\\Software\\Vendor\nNAME=N\nTYPE=QWORD\nDATA=0x100000000\n", "", Vendor, "N",
       "QWORD 4294967296"},
      {"KEY=HKLM\\Software\\Vendor\nNAME=N\nTYPE=QWORD\nDATA=18446744073709551615\n", "", Vendor,
       "N", "QWORD 18446744073709551615"},
      {"KEY=HKLM\\Software\\Vendor\nNAME=Old\nACTION=delete\n", "", Vendor, "Old", "(absent)"},
      {"KEY=HKLM\\Software\\Vendor\nNAME=None\nACTION=DELETE\n", "", Vendor, "Old", "SZ 1.0"},
      {"KEY=HKLM\\Software\\None\nNAME=None\nACTION=DELETE\nDATA=x\n", "", "HKLM\\Software\\None",
       "None", "(absent)"},
      // Malformed words and numbers, reported when the procedure runs.
      {"KEY=HKXX\\Software\\Vendor\nNAME=N\nDATA=1\n", Report(6, "HKXX\\Software\\Vendor"), Vendor,
       "N", "(absent)"},
      {"KEY=HKLM\\Software\\Vendor\nNAME=N\nTYPE=BINARY\nDATA=1\n", Report(6, "BINARY"), Vendor,
       "N", "(absent)"},
      {"KEY=HKLM\\Software\\Vendor\nNAME=N\nACTION=REMOVE\nDATA=1\n", Report(6, "REMOVE"), Vendor,
       "N", "(absent)"},
      {"KEY=HKLM\\Software\\Vendor\nNAME=N\nVIEW=16\nDATA=1\n", Report(6, "16"), Vendor, "N",
       "(absent)"},
      {"KEY=HKLM\\Software\\Vendor\nNAME=N\nTYPE=DWORD\nDATA=4294967296\n",
       Report(6, "4294967296"), Vendor, "N", "(absent)"},
      {"KEY=HKLM\\Software\\Vendor\nNAME=N\nTYPE=DWORD\nDATA=-1\n", Report(6, "-1"), Vendor, "N",
       "(absent)"},
      {"KEY=HKLM\\Software\\Vendor\nNAME=N\nTYPE=QWORD\nDATA=0x\n", Report(6, "0x"), Vendor, "N",
       "(absent)"},
      {"KEY=HKLM\\Software\\Vendor\nNAME=N\nTYPE=DWORD\nDATA=\n", Report(6, ""), Vendor, "N",
       "(absent)"},
      // Failures of the system end the run.
      {"KEY=HKLM\\Software\\Vendor\\App\nNAME=V\nDATA=1\n",
       Report(31, "HKLM\\Software\\Vendor\\App", "V"), "HKLM\\Software\\Vendor\\App", "V", "(absent)", 1,
       [] { fake::DenyRegistryKey(Vendor); }},
      {"KEY=HKLM\\Software\\Vendor\nNAME=Old\nDATA=2\n", Report(31, Vendor, "Old"), Vendor, "Old",
       "SZ 1.0", 1, [] { fake::FailRegistrySets(); }},
      {"KEY=HKLM\\Software\\Vendor\nNAME=Old\nACTION=DELETE\n", Report(31, Vendor, "Old"), Vendor,
       "Old", "SZ 1.0", 1, [] { fake::DenyRegistryKey(Vendor); }},
      // The system's own view by default, whatever the program's bits.
      {"KEY=HKLM\\Software\\V\nNAME=N\nDATA=1\n", "", "HKLM\\Software\\V", "N", "SZ 1", 2},
      {"KEY=HKLM\\Software\\V\nNAME=N\nVIEW=64\nDATA=1\n", "", "HKLM\\Software\\V", "N", "SZ 1", 2},
      {"KEY=HKLM\\Software\\V\nNAME=N\nVIEW=32\nDATA=1\n", "", "HKLM\\Software\\WOW6432Node\\V",
       "N", "SZ 1", 2},
      {"KEY=HKLM\\Software\\V\nNAME=N\nVIEW=32\nDATA=1\n", "", "HKLM\\Software\\WOW6432Node\\V",
       "N", "SZ 1", 1},
      {"KEY=HKLM\\Software\\V\nNAME=N\nVIEW=32\nDATA=1\n", "", "HKLM\\Software\\V", "N", "SZ 1", 0},
      {"KEY=HKCU\\Software\\V\nNAME=N\nDATA=1\n", "", "HKU\\S-1-5-21-7-7-7-1001\\Software\\V", "N",
       "SZ 1"},
      {"KEY=HKCR\\.notes\nDATA=Notes.File\n", "", "HKLM\\Software\\Classes\\.notes", "",
       "SZ Notes.File"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.keys);
    fake::Reset();
    fake::UseRegistrySystem(c.system);
    fake::SetRegistry(Vendor, "Old", 1, std::string("1.0\0", 4));
    c.prepare();
    bool ran = Run(Note("before", "b") + Registry(c.keys), "before,r");
    EXPECT_EQ(ran, c.boxes.empty());
    EXPECT_EQ(ResultOf(1), c.boxes.empty());
    EXPECT_EQ(Boxes(), "b|" + c.boxes);
    EXPECT_EQ(fake::RegistryValue(c.key, c.name), c.value) << fake::DiskState();
  }
}

TEST_F(KindTest, RegistryMakesTheMissingKeysAndTellsTheLogWhatItChanged) {
  fake::SetFile("C:\\Setup\\updater.ini",
                "[UPDATER]\nNAME=T\nLOG=C:\\Setup\\run.log\nPROC=s,d\n" +
                    Registry("KEY=HKLM\\Software\\Vendor\\App\\Sub\nNAME=V\nDATA=2.0\n", "s") +
                    Registry("KEY=HKLM\\Software\\Vendor\nNAME=Old\nACTION=DELETE\n", "d"));
  fake::SetRegistry(Vendor, "Old", 4, std::string("\x2A\0\0\0", 4));
  UpdaterMain("");
  std::string log = fake::FileContents("C:\\Setup\\run.log");
  for (const char* line :
       {"registry key made \"HKLM\\Software\\Vendor\\App\"\r\n",
        "registry key made \"HKLM\\Software\\Vendor\\App\\Sub\"\r\n",
        "registry \"HKLM\\Software\\Vendor\\App\\Sub\\V\" set to REG_SZ \"2.0\" (was absent)\r\n",
        "registry \"HKLM\\Software\\Vendor\\Old\" deleted (was REG_DWORD 42 (0x0000002A))\r\n"})
    EXPECT_NE(log.find(line), std::string::npos) << line << log;
  EXPECT_EQ(log.find("key made \"HKLM\\Software\\Vendor\""), std::string::npos) << log;
}

TEST_F(KindTest, RegValueTestsAValueAndItsDataWithoutEverFailing) {
  struct Case {
    const char* keys;
    bool result;
  } cases[] = {
      {"KEY=HKLM\\Software\\Vendor\nNAME=Version\n", true},
      {"KEY=HKLM\\Software\\Vendor\nNAME=Version\nDATA=2.0\n", true},
      {"KEY=HKLM\\Software\\Vendor\nNAME=Version\nDATA=2.1\n", false},
      {"KEY=HKLM\\Software\\Vendor\nNAME=Version\nDATA=\n", false},
      {"KEY=HKLM\\Software\\Vendor\nNAME=Who\nDATA=vendor, INC.\n", true},
      {"KEY=HKLM\\Software\\Vendor\nNAME=Empty\nDATA=\n", true},
      {"KEY=HKLM\\Software\\Vendor\nNAME=Count\nDATA=0x2a\n", true},
      {"KEY=HKLM\\Software\\Vendor\nNAME=Count\nDATA=43\n", false},
      {"KEY=HKLM\\Software\\Vendor\nNAME=Count\nDATA=forty-two\n", false},
      {"KEY=HKLM\\Software\\Vendor\nNAME=Big\nDATA=4294967296\n", true},
      {"KEY=HKLM\\Software\\Vendor\nNAME=None\n", false},
      {"KEY=HKLM\\Software\\None\nNAME=Version\n", false},
      {"KEY=HKLM\\Software\\Vendor\n", false},  // no default value
      {"KEY=HKLM\\Software\\Vendor\nNAME=Only32\n", false},
      {"KEY=HKLM\\Software\\Vendor\nNAME=Only32\nVIEW=32\n", true},
      {"KEY=HKLM\\Software\\Vendor\nNAME=Version\nVIEW=32\n", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.keys);
    fake::Reset();
    fake::SetRegistry(Vendor, "Version", 1, std::string("2.0\0", 4));
    fake::SetRegistry(Vendor, "Who", 1, std::string("Vendor, Inc.\0", 13));
    fake::SetRegistry(Vendor, "Empty", 1, std::string("\0", 1));
    fake::SetRegistry(Vendor, "Count", 4, std::string("\x2A\0\0\0", 4));
    fake::SetRegistry(Vendor, "Big", 11, std::string("\0\0\0\0\x01\0\0\0", 8));
    fake::SetRegistry("HKLM\\Software\\WOW6432Node\\Vendor", "Only32", 1, std::string("x\0", 2));
    EXPECT_TRUE(Run("[t]\nMODE=REGVALUE\n" + std::string(c.keys), "t"));
    EXPECT_EQ(ResultOf(0), c.result);
    EXPECT_EQ(Boxes(), "");
  }
  EXPECT_FALSE(Run("[t]\nMODE=REGVALUE\nKEY=Software\\Vendor\n", "t"));
  EXPECT_EQ(Boxes(), Report(6, "Software\\Vendor"));
  // A SWITCH finds it by its section's name, whatever its NAME says.
  fake::Reset();
  fake::SetRegistry(Vendor, "Version", 1, std::string("2.0\0", 4));
  EXPECT_TRUE(Run("[t]\nMODE=REGVALUE\nKEY=HKLM\\Software\\Vendor\nNAME=Version\n" +
                      Switch("s", "t", "", "yes") + Note("yes", "found"),
                  "t,s"));
  EXPECT_EQ(Boxes(), "found|");
}

// --- SWITCH -------------------------------------------------------------------

TEST_F(KindTest, SwitchRunsTheBranchOfTheResultAndReadsOnlyThatBranch) {
  for (bool present : {true, false}) {
    SCOPED_TRACE(present ? "present" : "missing");
    fake::Reset();
    if (present) fake::SetFile("C:\\app.ini", "");
    // Each branch holds a section that cannot be built: only the branch
    // taken may report it, after its first item has been read.
    std::string script = Exist("check", "C:\\app.ini") +
                         Switch("branch", " check ", "zero, broken0", "one,broken1") +
                         Note("one", "one") + Note("zero", "zero") + Note("after", "after") +
                         "[broken0]\nMODE=nothing0\n[broken1]\nMODE=nothing1\n";
    EXPECT_FALSE(Run(script, "check,branch,after"));
    EXPECT_EQ(Boxes(), Report(6, present ? "nothing1" : "nothing0"));
    // The failed building left only the list that holds the SWITCH.
    EXPECT_EQ(ProcListArray.Count, 1);
    EXPECT_FALSE(ResultOf(1));
  }
}

TEST_F(KindTest, ANestedListRunsFreshAndIsFreedAfterwards) {
  // The nested list's "check" is a record of its own, Result false until it
  // runs, and its SWITCH finds it there rather than in the outer list.
  std::string script = Exist("check", "C:\\app.ini") + Switch("outer", "check", "", "check,inner") +
                       Switch("inner", "CHECK", "no", "yes") + Note("yes", "yes") +
                       Note("no", "no") + Note("after", "after");
  fake::SetFile("C:\\app.ini", "");
  ASSERT_TRUE(Run(script, "check,outer,after"));
  EXPECT_EQ(Boxes(), "yes|after|");
  EXPECT_EQ(ProcListArray.Count, 1);
  EXPECT_EQ(TopProcList(), list_);
}

TEST_F(KindTest, SwitchFindsOnlyProceduresOfItsOwnList) {
  struct Case {
    const char* nested;  // the list the top-level SWITCH opens
    const char* report;  // empty when the run goes on
    const char* boxes;
  } cases[] = {
      {"unknown", " ghost ", ""},            // reported with its blanks
      {"self", "", "zero|"},                 // its own Result is always false
      {"outer2", "outer", ""},               // a procedure of the outer list
      {"later,laterexist", "", "zero|"},     // has not run yet
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.nested);
    fake::Reset();
    fake::SetFile("C:\\app.ini", "");
    std::string script = Exist("outer", "C:\\app.ini") + Switch("top", "outer", "", c.nested) +
                         Switch("unknown", "\" ghost \"", "zero", "one") +
                         Switch("self", "self", "zero", "one") +
                         Switch("outer2", "outer", "zero", "one") +
                         Switch("later", "laterexist", "zero", "one") +
                         Exist("laterexist", "C:\\app.ini") + Note("zero", "zero") +
                         Note("one", "one");
    EXPECT_EQ(Run(script, "outer,top"), *c.report == '\0');
    if (*c.report) {
      EXPECT_EQ(Boxes(), Report(6, c.report));
      EXPECT_EQ(ProcListArray.Count, 2);  // the nested list stays for the clean-up
    } else {
      EXPECT_EQ(Boxes(), c.boxes);
      EXPECT_EQ(ProcListArray.Count, 1);
    }
  }
}

TEST_F(KindTest, AnEmptyBranchDoesNothing) {
  ASSERT_TRUE(Run(Switch("s", "s", " ", "one") + Note("one", "one"), "s"));
  ASSERT_TRUE(Run(Switch("s", "s", "", "one") + Note("one", "one"), "s,s"));
  EXPECT_EQ(Boxes(), "");
  EXPECT_FALSE(ResultOf(0));
}

TEST_F(KindTest, AFailureDeepDownLeavesEveryListForTheCleanUp) {
  std::string script = Switch("a", "a", "b", "") + Switch("b", "b", "fail", "") +
                       "[fail]\nMODE=COPY\nFROM=C:\\none\nTO=C:\\x\n";
  EXPECT_FALSE(Run(script, "a"));
  EXPECT_EQ(Boxes(), Report(8, "C:\\none", "C:\\x"));
  EXPECT_EQ(ProcListArray.Count, 3);
}

TEST_F(KindTest, ASwitchLeadingBackIntoItselfEndsWithAReport) {
  std::string loop = Switch("start", "start", "loop", "") + Switch("loop", "loop", " start ", "");
  EXPECT_FALSE(Run(loop, "start"));
  // 256 lists were built, the top-level one included; the SWITCH that would
  // build the 257th names itself.
  EXPECT_EQ(ProcListArray.Count, 256);
  EXPECT_EQ(Boxes(), Report(6, "loop"));

  // The whole run: one report, every list freed, exit code 0.
  FreeAllProcLists();
  fake::Reset();
  fake::SetModulePath("C:\\Setup\\updater.exe");
  fake::SetFile(Script, "[UPDATER]\nNAME=Loop\nPROC=start\n" + loop);
  EXPECT_EQ(UpdaterMain(""), 0);
  ASSERT_EQ(fake::Boxes().size(), 1u);
  EXPECT_EQ(Boxes(), Report(6, "loop"));
  EXPECT_EQ(fake::Boxes()[0].caption, "Loop");
}

TEST_F(KindTest, DeepHonestNestingRunsToTheEnd) {
  // 100 nested lists, each ending in a SWITCH that opens the next, run to
  // the end: the limit counts depth, and only a loop reaches it.
  std::string script = "[UPDATER]\nNAME=Deep\nPROC=e,s0\n" + Exist("e", "C:\\app.ini") +
                       Note("bottom", "bottom");
  for (int level = 0; level < 100; ++level) {
    std::string next = level == 99 ? "bottom" : "e,e,s" + std::to_string(level + 1);
    script += Switch(("s" + std::to_string(level)).c_str(), "e", next.c_str(), "never");
  }
  fake::SetFile(Script, script);
  EXPECT_EQ(UpdaterMain(""), 0);
  EXPECT_EQ(Boxes(), "bottom|");
}

// --- SERVICE ------------------------------------------------------------------

// Each road of a service "svc" (its program C:\App\svc.exe), run with a
// log, then a COPY over its program where the row says so: without
// ROLLBACK the copy fails while the service's process still runs from it.
TEST_F(KindTest, ServiceBringsEachServiceWhereAskedOrEndsTheRun) {
  using Setup = std::function<void(fake::ServiceSetup&)>;
  struct Row {
    const char* name;
    bool installed;
    Setup setup;
    std::string keys;  // ACTION and TIMEOUT
    bool copy;         // the program is replaced after the procedure
    unsigned report;   // 0: none; else the report, naming "svc" or the value
    const char* value;  // named by report 6
    const char* state;  // the service after the run
    const char* logged;  // a piece of the log
  } rows[] = {
      {"a stop outwaits the process", true, [](fake::ServiceSetup& s) { s.lingers = 5000; },
       "ACTION=STOP\n", true, 0, "", "stopped", "service \"svc\" stopped in 53"},
      {"already stopped", true, [](fake::ServiceSetup& s) { s.running = false; },
       "ACTION=stop\n", true, 0, "", "stopped", "service \"svc\" left as it is: already stopped"},
      {"a stop of one not installed", false, [](fake::ServiceSetup&) {}, "ACTION=STOP\n", true, 0,
       "", "not installed", "service \"svc\" left as it is: not installed"},
      {"a start", true, [](fake::ServiceSetup& s) { s.running = false; }, "ACTION=START\n", false,
       0, "", "running", "service \"svc\" started in 40"},
      {"already running", true, [](fake::ServiceSetup&) {}, "ACTION=START\n", false, 0, "",
       "running", "service \"svc\" left as it is: already running"},
      {"a shared process is not waited for", true,
       [](fake::ServiceSetup& s) { s.shared = true; s.lingers = 5000; }, "ACTION=STOP\n", false, 0,
       "", "stopped", "service \"svc\" stopped in 40"},
      {"stopped again while starting", true,
       [](fake::ServiceSetup& s) { s.running = false; s.failsWith = 1066; }, "ACTION=START\n",
       false, 33, "", "stopped", "(system error 1066"},
      {"a start of one not installed", false, [](fake::ServiceSetup&) {}, "ACTION=START\n", false,
       33, "", "not installed", "(system error 1060"},
      {"a stop that hangs", true, [](fake::ServiceSetup& s) { s.hangs = true; },
       "ACTION=STOP\nTIMEOUT=5\n", false, 32, "", "stop pending", "(system error 1053"},
      {"a process that outlives the time limit", true,
       [](fake::ServiceSetup& s) { s.lingers = 9000; }, "ACTION=STOP\nTIMEOUT=5\n", false, 32, "",
       "stopped", "(system error 1053"},
      {"a start that hangs", true, [](fake::ServiceSetup& s) { s.running = false; s.hangs = true; },
       "ACTION=START\nTIMEOUT=1\n", false, 33, "", "start pending", "(system error 1053"},
      {"access denied", true, [](fake::ServiceSetup& s) { s.denied = true; }, "ACTION=STOP\n",
       false, 32, "", "running", "(system error 5"},
      {"others depend on it", true, [](fake::ServiceSetup& s) { s.dependents = true; },
       "ACTION=STOP\n", false, 32, "", "running", "(system error 1051"},
      {"an unknown action", true, [](fake::ServiceSetup&) {}, "ACTION=HALT\n", false, 6, "HALT",
       "running", "error report 6"},
      {"a time limit of 0", true, [](fake::ServiceSetup&) {}, "ACTION=STOP\nTIMEOUT=0\n", false, 6,
       "0", "running", "error report 6"},
      {"a time limit past an hour", true, [](fake::ServiceSetup&) {},
       "ACTION=STOP\nTIMEOUT=3601\n", false, 6, "3601", "running", "error report 6"},
      {"a time limit in words", true, [](fake::ServiceSetup&) {}, "ACTION=STOP\nTIMEOUT=1 min\n",
       false, 6, "1 min", "running", "error report 6"},
      {"a time limit written empty", true, [](fake::ServiceSetup&) {}, "ACTION=STOP\nTIMEOUT=\n",
       false, 6, "", "running", "error report 6"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    fake::Reset();
    fake::SetModulePath("C:\\Setup\\updater.exe");
    fake::SetFile("C:\\App\\svc.exe", "old");
    fake::SetFile("C:\\New\\svc.exe", "new");
    fake::ServiceSetup setup;
    setup.program = "C:\\App\\svc.exe";
    row.setup(setup);
    if (row.installed) fake::InstallService("svc", setup);
    fake::SetFile(Script, "[UPDATER]\nNAME=T\nLOG=C:\\Setup\\run.log\nPROC=svc" +
                              std::string(row.copy ? ",copy" : "") +
                              "\n[svc]\nMODE=SERVICE\nNAME= svc \n" + row.keys +
                              Copy("copy", "C:\\New\\svc.exe", "C:\\App\\svc.exe"));
    EXPECT_EQ(UpdaterMain(""), 0);
    EXPECT_EQ(Boxes(), row.report == 0   ? ""
                       : row.report == 6 ? Report(6, row.value)
                                         : Report(row.report, "svc"));
    EXPECT_EQ(fake::ServiceState("svc"), row.state);
    if (row.copy) {
      EXPECT_EQ(fake::FileContents("C:\\App\\svc.exe"), "new");
    }
    EXPECT_NE(fake::FileContents("C:\\Setup\\run.log").find(row.logged), std::string::npos)
        << fake::FileContents("C:\\Setup\\run.log");
  }
}

// Services are handled in the order written, and Cancel is taken between them.
TEST_F(KindTest, ServicesGoInOrderAndCancelComesBetweenThem) {
  fake::InstallService("a");
  fake::InstallService("b");
  fake::PressCancelAfter(1);  // once the window has said it stops "a"
  fake::SetFile(Script, "[UPDATER]\nNAME=T\nPROGRESS=1\nPROC=svc\n[svc]\nMODE=SERVICE\n"
                        "NAME=a,b\nACTION=STOP\n");
  fake::QueueAnswer(os::box::IdYes);
  EXPECT_EQ(UpdaterMain(""), 0);
  EXPECT_EQ(fake::ServiceRequests("a"), "stop");
  EXPECT_EQ(fake::ServiceRequests("b"), "");
  ASSERT_GE(fake::ProgressWindow().texts.size(), 1u);
  EXPECT_EQ(fake::ProgressWindow().texts[0], "サービスを停止しています: a");
}

}  // namespace
