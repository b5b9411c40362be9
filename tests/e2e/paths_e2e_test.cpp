// Japanese captions and paths under Wine in code page 932, where many
// characters end in the byte of "\"; comma lists with ".."; directories
// named with a trailing backslash, and drive roots.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "wine_case.h"

namespace e2e {
namespace {

std::string CaseName() {
  return std::string("paths_") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
}

// 表, ソ and 能 end in the byte of "\" in code page 932: a program, its
// folder, a ".." and ATTR's folder part all split there unless the search
// steps over double-byte characters. The caption comes from an unquoted
// Japanese first word.
TEST(Paths, JapaneseCaptionsAndPathsSplitOnlyAtRealBackslashes) {
  WineCase c(CaseName());
  c.InstallTool("launchprobe.exe", "表示ソフト/能力/ソフト.exe");
  c.InstallUpdater("表示ソフト/表示ソフト.exe");
  c.WriteFile("表示ソフト/表/a.txt", "a");
  const std::string src = c.WinPath("表示ソフト");
  c.WriteScript(
      "[UPDATER]\nNAME=\nPROC=show,attr,run\n"
      "[show]\nMODE=MSGBOX\nFLAG=\nTYPE=INFORMATION\nTEXT=<Src>|<Src>\\ソフト\\..\\x.txt\n"
      "ISABORT=0,0\n"
      "[attr]\nMODE=ATTR\nFILE=<Src>\\表\\*.*\nARG=0x01\n"
      "[run]\nMODE=LAUNCH\nFILE=<Src>\\能力\\ソフト.exe\nPARAM=a\nISWAIT=1\n",
      "表示ソフト/表示ソフト.ini");
  RunResult r = c.Run("セットアップ 2");
  ASSERT_EQ(r.boxes.size(), 1u) << r;
  EXPECT_EQ(r.boxes[0].caption, "セットアップ");
  EXPECT_EQ(r.boxes[0].text, src + "|" + src + "\\x.txt");
  struct stat status;
  ASSERT_EQ(stat(c.UnixPath("表示ソフト/表/a.txt").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0222, 0u) << "read-only";
  // The program ran in its own folder (it records in code page 932).
  EXPECT_EQ(c.ReadFile("表示ソフト/能力/ソフト.exe.txt"),
            ToCodePage(src + "\\能力\\ソフト.exe\n" + src + "\\能力\\ソフト.exe a\n" + src +
                           "\\能力\n",
                       932));

  RunResult quoted = c.Run("\"セット アップ\" 2");
  ASSERT_EQ(quoted.boxes.size(), 1u) << quoted;
  EXPECT_EQ(quoted.boxes[0].caption, "セット アップ");
}

// A ".." right after a drive in a comma list stays: it never takes the item
// before it, and with it the comma, so both files are the ones deleted.
TEST(Paths, AParentStepNeverClimbsIntoTheItemBefore) {
  WineCase c(CaseName());
  c.InstallUpdater();
  c.WriteFile("keep.txt", "k");
  c.WriteFile("y.txt", "y");
  c.WriteScript("[UPDATER]\nNAME=T\nPROC=d\n[d]\nMODE=DELETE\nFILE=<Src>\\keep.txt,C:\\..\\cases\\" +
                c.Name() + "\\y.txt\n");
  RunResult r = c.Run();
  EXPECT_TRUE(r.boxes.empty()) << r;
  EXPECT_FALSE(c.Exists("keep.txt"));
  EXPECT_FALSE(c.Exists("y.txt"));
}

// A directory named with a trailing backslash, and a drive root, exist: a
// second MAKEDIR passes over it, and EXIST finds both.
TEST(Paths, ATrailingBackslashOrADriveRootExists) {
  WineCase c(CaseName());
  c.InstallUpdater();
  c.WriteScript(
      "[UPDATER]\nNAME=T\nPROC=m,e,s\n[m]\nMODE=MAKEDIR\nDIR=<Src>\\d\\\n"
      "[e]\nMODE=EXIST\nFILE=<Src>\\d\\,C:\\\n"
      "[s]\nMODE=SWITCH\nPROC=e\n0=no\n1=yes\n"
      "[no]\nMODE=MSGBOX\nFLAG=\nTYPE=INFORMATION\nTEXT=なし\nISABORT=0,0\n"
      "[yes]\nMODE=MSGBOX\nFLAG=\nTYPE=INFORMATION\nTEXT=あり\nISABORT=0,0\n");
  for (int run = 0; run < 2; ++run) {
    RunResult r = c.Run();
    EXPECT_EQ(Texts(r), std::vector<std::string>{"あり"}) << "run " << run << ": " << r;
  }
  EXPECT_TRUE(c.Exists("d"));
}

}  // namespace
}  // namespace e2e
