// Whole runs against the double that go wrong half-way, and the inputs the
// fuzz targets of tests/fuzz once broke, kept as plain tests.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/updater.h"
#include "fake/fake_os.h"
#include "os/basics.h"
#include "os/files.h"
#include "os/ui.h"
#include "procs/proc_list.h"
#include "script/script_file.h"

namespace {

const char* const Program = "C:\\Setup\\updater.exe";
const char* const Script = "C:\\Setup\\updater.ini";

class HalfWayFailure : public testing::Test {
 protected:
  void SetUp() override {
    fake::Reset();
    fake::SetModulePath(Program);
    fake::SetFile("C:\\new\\a.txt", "new a");
    fake::SetFile("C:\\new\\b.txt", std::string(5000, 'b'));
    fake::SetFile("C:\\new\\c.txt", "new c");
    fake::SetFile("C:\\new\\d.txt", "new d");
    for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt", "keep.txt"})
      fake::SetFile(std::string("C:\\old\\") + name, std::string("old ") + name);
  }

  // Runs the script; the run always ends with 0 and no list left.
  static void RunScript(const std::string& sections) {
    fake::SetFile(Script, "[UPDATER]\nNAME=T\nPROC=first,branch,last\n" + sections +
                              "[branch]\nMODE=SWITCH\nPROC=first\n0=\n1=second,later\n"
                              "[later]\nMODE=DELETE\nFILE=C:\\old\\keep.txt\n"
                              "[last]\nMODE=COPY\nFROM=C:\\new\\d.txt\nTO=C:\\old\\d.txt\n");
    EXPECT_EQ(UpdaterMain(""), 0);
    EXPECT_EQ(ProcListArray.Count, 0);
  }
  static std::string Copy(const char* name, const char* from, const char* to) {
    return std::string("[") + name + "]\nMODE=COPY\nFROM=" + from + "\nTO=" + to + "\n";
  }

  // What the folders hold: every file is old or whole new, and nothing else
  // (no temporary copy) is there.
  static void ExpectFiles(const char* a, const char* b, const char* c) {
    EXPECT_EQ(fake::FileContents("C:\\old\\a.txt"), a);
    EXPECT_EQ(fake::FileContents("C:\\old\\b.txt"), b);
    EXPECT_EQ(fake::FileContents("C:\\old\\c.txt"), c);
    EXPECT_EQ(fake::FileContents("C:\\old\\d.txt"), "old d.txt");
    EXPECT_EQ(fake::FileContents("C:\\old\\keep.txt"), "old keep.txt");
    EXPECT_EQ(fake::FileList(),
              "C:\\new\\a.txt\nC:\\new\\b.txt\nC:\\new\\c.txt\nC:\\new\\d.txt\n"
              "C:\\old\\a.txt\nC:\\old\\b.txt\nC:\\old\\c.txt\nC:\\old\\d.txt\n"
              "C:\\old\\keep.txt\n" +
                  std::string(Script) + "\n");
    ASSERT_EQ(fake::Boxes().size(), 1u);
    EXPECT_EQ(fake::Boxes()[0].style, os::box::IconError);
  }
};

// Two files copied, then a copy in a nested list that the system refuses:
// the run ends there, and the procedures after it never run.
TEST_F(HalfWayFailure, ARefusedCopyLeavesTheCopiesBeforeItWholeAndTouchesNothingAfter) {
  fake::LockFile("C:\\old\\c.txt");
  RunScript(Copy("first", "C:\\new\\a.txt,C:\\new\\b.txt", "C:\\old\\a.txt,C:\\old\\b.txt") +
            Copy("second", "C:\\new\\c.txt", "C:\\old\\c.txt"));
  ExpectFiles("new a", std::string(5000, 'b').c_str(), "old c.txt");
}

// The first copy of the run dies after part of the file is written: the
// target keeps its old content, and nothing after it runs.
TEST_F(HalfWayFailure, ACopyThatDiesPartWayLeavesItsTargetAsItWas) {
  fake::FailNextCopyAfter(100);
  RunScript(Copy("first", "C:\\new\\b.txt,C:\\new\\a.txt", "C:\\old\\b.txt,C:\\old\\a.txt") +
            Copy("second", "C:\\new\\c.txt", "C:\\old\\c.txt"));
  ExpectFiles("old a.txt", "old b.txt", "old c.txt");
}

// A wildcard search in a folder whose path is longer than that of some other
// folder or file used to cut names out of the shorter paths before checking
// that they lay in the folder searched, and threw.
TEST(FuzzRegressions, WildcardSearchesInDeepFoldersSeeOnlyThatFolder) {
  fake::Reset();
  fake::SetFile("C:\\P\\a.txt", "a");
  fake::SetFile("C:\\Program\\sub\\deeper\\one.txt", "1");
  fake::MakeDir("C:\\Program\\sub\\deeper\\inner");
  EXPECT_FALSE(os::FindAnyEntry("C:\\Program\\sub\\deeper\\x?"));
  EXPECT_TRUE(os::FindAnyEntry("C:\\Program\\sub\\deeper\\o?e.txt"));
  EXPECT_TRUE(os::FindAnyEntry("C:\\Program\\sub\\deeper\\inn*"));
}

// A section read whose lines fill the area up to its last byte but one, with
// a further line that does not fit: the part of that line to copy came out
// negative, as a huge size.
TEST(FuzzRegressions, ASectionThatFillsTheAreaExactlyIsCutSafely) {
  fake::Reset();
  fake::SetFile(Script, "[s]\na=1\nb=2\n");
  char area[8];
  memset(area, 'X', sizeof area);
  // "a=1" and its zero take 4 of 5 bytes; "b=2" cannot follow.
  EXPECT_EQ(os::ReadProfileSection(Script, "s", area, 5), 3u);
  EXPECT_STREQ(area, "a=1");
  EXPECT_EQ(area[4], '\0');
  EXPECT_EQ(area[5], 'X');
}

}  // namespace
