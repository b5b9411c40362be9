// DELETE, ATTR, MAKEDIR and OSVER against the OS double; files held a moment.
#include <regex>
#include <string>

#include "app/updater.h"
#include "script_run.h"

namespace {

class FileChangeTest : public ScriptRunTest {};

std::string Delete(const std::string& file) {
  return Section("d", {{"MODE", "DELETE"}, {"FILE", file}});
}
std::string Attr(const std::string& file, const std::string& arg) {
  return Section("a", {{"MODE", "ATTR"}, {"FILE", file}, {"ARG", arg}});
}
std::string MakeDir(const std::string& dir) {
  return Section("m", {{"MODE", "MAKEDIR"}, {"DIR", dir}});
}

TEST_F(FileChangeTest, MissingKeysAndEmptyLeadingListsStopTheRun) {
  struct Case {
    std::string section;
    unsigned message;
    const char* key;
  } cases[] = {
      {"[k]\nMODE=delete\n", 2, "FILE"},
      {"[k]\nMODE=ATTR\nFILE=C:\\a\n", 2, "ARG"},
      {"[k]\nMODE=MakeDir\nDIR=NO_DATA\n", 2, "DIR"},
      {"[k]\nMODE=LINK\nSRC=C:\\a.exe\nPARAM=\nSHOWCMD=\n", 2, "DST"},
      {"[k]\nMODE=CRC\nFILE=C:\\a\nCRC=\n", 2, "TYPE"},
      {"[k]\nMODE=DELETE\nFILE=\n", 4, "FILE"},
      {"[k]\nMODE=ATTR\nFILE=\nARG=0x1\n", 4, "FILE"},
      {"[k]\nMODE=MAKEDIR\nDIR=\n", 4, "DIR"},
      {"[k]\nMODE=LINK\nSRC=\nPARAM=\nSHOWCMD=\nDST=C:\\x\n", 4, "SRC"},
      {"[k]\nMODE=CRC\nFILE=\nTYPE=\nCRC=\n", 4, "FILE"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.section);
    fake::Reset();
    EXPECT_FALSE(Run(c.section + ResultNote("after", "after", 0), "k,after"));
    EXPECT_EQ(Boxes(), Report(c.message, "k", c.key));
    if (c.message == 4) {
      EXPECT_FALSE(ResultOf(0));
    }
  }
}

// --- DELETE -----------------------------------------------------------------

TEST_F(FileChangeTest, DeleteRemovesEachTrimmedPathInTurn) {
  fake::SetFile("C:\\App\\one.txt", "1");
  fake::SetFile("C:\\App\\two words.txt", "2");
  fake::SetFile("C:\\App\\kept.txt", "3");
  ASSERT_TRUE(Run(Delete(" C:\\App\\one.txt ,  C:\\App\\two words.txt"), "d"));
  EXPECT_TRUE(ResultOf(0));
  EXPECT_EQ(fake::FileList(), "C:\\App\\kept.txt\nC:\\Setup\\updater.ini\n");
  EXPECT_EQ(Boxes(), "");
}

TEST_F(FileChangeTest, TheFirstFileThatCannotBeDeletedIsReportedAndLaterOnesStay) {
  struct Case {
    const char* name;
    const char* list;
    const char* reported;
    const char* left;  // files left in C:\App
  } cases[] = {
      {"missing first", "C:\\App\\gone.txt, C:\\App\\a.txt, C:\\App\\b.txt", "C:\\App\\gone.txt",
       "a.txt b.txt dir\\inner.txt locked.txt ro.txt "},
      {"empty after a comma", "C:\\App\\a.txt,", "", "b.txt dir\\inner.txt locked.txt ro.txt "},
      {"directory", "C:\\App\\dir", "C:\\App\\dir",
       "a.txt b.txt dir\\inner.txt locked.txt ro.txt "},
      {"wildcard", "C:\\App\\*.txt", "C:\\App\\*.txt",
       "a.txt b.txt dir\\inner.txt locked.txt ro.txt "},
      {"in use", "C:\\App\\a.txt,C:\\App\\locked.txt,C:\\App\\b.txt", "C:\\App\\locked.txt",
       "b.txt dir\\inner.txt locked.txt ro.txt "},
      {"read-only", "C:\\App\\ro.txt", "C:\\App\\ro.txt",
       "a.txt b.txt dir\\inner.txt locked.txt ro.txt "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake::Reset();
    for (const char* name : {"a.txt", "b.txt", "dir\\inner.txt", "locked.txt", "ro.txt"})
      fake::SetFile(std::string("C:\\App\\") + name, name);
    fake::LockFile("C:\\App\\locked.txt");
    fake::SetFileAttributesTo("C:\\App\\ro.txt", 0x01);
    EXPECT_FALSE(Run(Delete(c.list) + ResultNote("after", "d", 0), "d,after"));
    EXPECT_FALSE(ResultOf(0));
    EXPECT_EQ(Boxes(), std::string("ファイルの削除に失敗しました。\n\nファイル：\"") +
                           c.reported + "\"|");
    std::string left;
    for (const char* name : {"a.txt", "b.txt", "dir\\inner.txt", "locked.txt", "ro.txt"})
      if (fake::FileExists(std::string("C:\\App\\") + name)) left += std::string(name) + " ";
    EXPECT_EQ(left, c.left);
  }
}

// A file another program holds a moment is tried again, after growing
// pauses, 5 s at most, each try in the log; one held longer is reported as
// ever. A failure of another kind (a read-only target) is reported at once.
TEST_F(FileChangeTest, AFileHeldAMomentIsTriedAgainForFiveSecondsAtMost) {
  const std::string log = "C:\\run.log";
  const std::string copy = "[p]\nMODE=COPY\nFROM=C:\\in.txt\nTO=C:\\out.txt\n";
  const std::string copyFailed = Report(8, "C:\\in.txt", "C:\\out.txt");
  struct {
    const char* name;
    std::string keys, section;
    const char* held;       // held for `milliseconds`; "" for none
    uint32_t milliseconds;
    std::string box;        // the report, "" for none
    const char* retried;    // what each retry says could not be done, "" for none
    bool region = false;    // only a region of `held` is locked: its copy is cut
  } rows[] = {
      {"a source", "", copy, "C:\\in.txt", 300, "", "could not read \"C:\\in.txt\""},
      {"a source's region", "", copy, "C:\\in.txt", 300, "", "could not read \"C:\\in.txt\"",
       true},
      {"a source's region, kept aside", "ROLLBACK=1\n", copy, "C:\\in.txt", 300, "",
       "could not read \"C:\\in.txt\"", true},
      {"a target", "", copy, "C:\\out.txt", 300, "", "could not replace \"C:\\out.txt\""},
      {"a target held for good", "", copy, "C:\\out.txt", 60000, copyFailed,
       "could not replace \"C:\\out.txt\""},
      {"a read-only target", "", copy, "", 0, copyFailed, ""},
      {"a target kept aside", "ROLLBACK=1\n", copy, "C:\\out.txt", 300, "",
       "could not move aside \"C:\\out.txt\""},
      {"a deletion", "", "[p]\nMODE=DELETE\nFILE=C:\\out.txt\n", "C:\\out.txt", 300, "",
       "could not delete \"C:\\out.txt\""},
      // The system sets the attributes of a file held open, whatever its
      // holder shares: nothing to wait for.
      {"attributes", "", "[p]\nMODE=ATTR\nFILE=C:\\out.txt\nARG=0x20\n", "C:\\out.txt", 300, "",
       ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    fake::Reset();
    fake::SetModulePath("C:\\Setup\\updater.exe");
    fake::SetFile("C:\\in.txt", "in");
    fake::SetFile("C:\\out.txt", "out");
    if (row.region) fake::LockRegionFor(row.held, row.milliseconds);
    else if (*row.held) fake::HoldFor(row.held, row.milliseconds);
    else fake::SetFileAttributesTo("C:\\out.txt", 0x01);
    fake::SetFile(Script, "[UPDATER]\nNAME=N\nPROC=p\nLOG=" + log + "\n" + row.keys + row.section);
    EXPECT_EQ(UpdaterMain(""), 0);
    EXPECT_EQ(Boxes(), row.box);
    if (row.region) {
      EXPECT_EQ(fake::FileContents("C:\\out.txt"), "in");  // begun again whole
    }
    const std::string text = fake::FileContents(log);
    const std::string retry = "held by another program: ";
    size_t tries = 0;
    for (size_t at = 0; (at = text.find(retry, at)) != std::string::npos; ++at) ++tries;
    EXPECT_EQ(tries > 0, *row.retried != 0) << text;
    if (*row.retried) {
      EXPECT_NE(text.find(retry + row.retried), std::string::npos) << text;
    }
    // The pauses grow from 50 ms to 500 ms, and end by 5 s (the double's
    // clock); any other failure is reported at once.
    EXPECT_LE(tries, row.box.empty() ? 3u : 14u) << text;
    std::smatch took;
    ASSERT_TRUE(std::regex_search(text, took,
                                  std::regex("procedure \"p\" ends[^:]*: Result \\w+, (\\d+) ms")));
    int ms = std::stoi(took[1]);
    bool waitedOut = *row.retried && !row.box.empty();
    EXPECT_TRUE(waitedOut ? ms >= 5000 && ms < 5500 : ms < 1000) << text;
  }
}

// --- ATTR -------------------------------------------------------------------

TEST_F(FileChangeTest, AttrSetsEveryFileOfADirectoryPatternThenSingleFiles) {
  fake::SetFile("C:\\App\\main.exe", "");
  fake::SetFile("C:\\App\\readme", "");  // no extension: "*.*" still matches
  fake::SetFile("C:\\App\\sub\\deep.dll", "");
  fake::SetFile("C:\\Other\\x.txt", "");
  fake::SetFile("C:\\Other\\y.txt", "");
  fake::SetFileAttributesTo("C:\\App\\sub\\deep.dll", 0x04);
  ASSERT_TRUE(Run(Attr("C:\\App\\*.*, C:\\App\\main.exe ,C:\\Other\\x.txt,C:\\Other\\y.txt",
                       "0x22, 0x01,20"),
                  "a"));
  EXPECT_TRUE(ResultOf(0));
  EXPECT_EQ(fake::FileAttributes("C:\\App\\main.exe"), 0x01u);
  EXPECT_EQ(fake::FileAttributes("C:\\App\\readme"), 0x22u);
  EXPECT_EQ(fake::FileAttributes("C:\\App\\sub\\deep.dll"), 0x04u);  // not entered
  // Without "0x", or with no item at all, the value is 0.
  EXPECT_EQ(fake::FileAttributes("C:\\Other\\x.txt"), 0u);
  EXPECT_EQ(fake::FileAttributes("C:\\Other\\y.txt"), 0u);
  EXPECT_EQ(Boxes(), "");
}

TEST_F(FileChangeTest, AttrPatternsThatFindNoFilesDoNothing) {
  fake::SetFile("C:\\OnlyDirs\\sub\\f.txt", "");
  fake::SetFile("C:\\App\\a.txt", "");
  // "*.*" alone searches the current directory; the double's holds nothing.
  ASSERT_TRUE(Run(Attr("C:\\OnlyDirs\\*.*,C:\\Nowhere\\*.*,*.*,C:\\App\\a.txt", ",,,0x2"), "a"));
  EXPECT_TRUE(ResultOf(0));
  EXPECT_EQ(fake::FileAttributes("C:\\OnlyDirs\\sub\\f.txt"), 0x20u);
  EXPECT_EQ(fake::FileAttributes("C:\\App\\a.txt"), 0x02u);
  EXPECT_EQ(Boxes(), "");
}

// A listing gives names in the ANSI code page. A name it cannot give exactly
// ("café.txt" as "cafe.txt" under 932) or one holding a separator (best fit
// makes "..¥victim.txt" "..\victim.txt") would name another file: it is
// reported, never acted on. So is a folder that cannot be listed.
TEST_F(FileChangeTest, AttrActsOnlyOnNamesTheListingGivesExactly) {
  struct Case {
    const char* listed;
    bool exact;
    bool failListing;
    const char* reported;
  } cases[] = {
      {"cafe.txt", false, false, "C:\\App\\cafe.txt"},
      {"..\\victim.txt", true, false, "C:\\App\\..\\victim.txt"},
      {nullptr, true, true, "C:\\App\\*.*"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reported);
    fake::Reset();
    fake::SetFile("C:\\App\\cafe.txt", "");
    fake::SetFile("C:\\App\\caf\xE9.txt", "");
    fake::SetFile("C:\\victim.txt", "");
    if (c.listed) fake::ListAs("C:\\App\\caf\xE9.txt", c.listed, c.exact);
    fake::FailListings(c.failListing);
    EXPECT_FALSE(Run(Attr("C:\\App\\*.*", "0x1"), "a"));
    EXPECT_EQ(Boxes(), std::string("ファイル属性の変更に失敗しました。\n\nファイル：\"") +
                           c.reported + "\"\n属性：0x00000001|");
    EXPECT_EQ(fake::FileAttributes("C:\\App\\caf\xE9.txt"), 0x20u);
    EXPECT_EQ(fake::FileAttributes("C:\\victim.txt"), 0x20u);
  }
}

TEST_F(FileChangeTest, AttrReportsTheFileAndValueThatFailed) {
  struct Case {
    const char* file;
    const char* arg;
    const char* reported;
  } cases[] = {
      {"C:\\App\\missing.exe", "0x20", "C:\\App\\missing.exe\"\n属性：0x00000020"},
      {"C:\\App\\*.txt", "0xFFFFFFFF", "C:\\App\\*.txt\"\n属性：0xFFFFFFFF"},
      {"C:\\App\\a.txt,", "0x1,0xab", "\"\n属性：0x000000AB"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    fake::Reset();
    fake::SetFile("C:\\App\\a.txt", "");
    EXPECT_FALSE(Run(Attr(c.file, c.arg), "a"));
    EXPECT_FALSE(ResultOf(0));
    EXPECT_EQ(Boxes(), std::string("ファイル属性の変更に失敗しました。\n\nファイル：\"") +
                           c.reported + "|");
  }
}

// --- MAKEDIR ----------------------------------------------------------------

TEST_F(FileChangeTest, MakeDirCreatesLevelsInOrderAndPassesOverWhatExists) {
  fake::MakeDir("C:\\Have");
  fake::SetFile("C:\\Have\\file", "not a directory");
  const std::string script =
      MakeDir("C:\\New, C:\\New\\Data ,C:\\Have,C:\\Have\\file,C:\\Have\\Sub,C:\\Slash\\") +
      ResultNote("after", "m", 1);
  ASSERT_TRUE(Run(script, "m,after"));
  EXPECT_TRUE(fake::DirExists("C:\\New\\Data"));
  EXPECT_TRUE(fake::DirExists("C:\\Slash"));  // the system takes a trailing backslash
  EXPECT_TRUE(fake::DirExists("C:\\Have\\Sub"));
  EXPECT_FALSE(fake::DirExists("C:\\Have\\file"));
  EXPECT_EQ(fake::FileContents("C:\\Have\\file"), "not a directory");
  EXPECT_EQ(Boxes(), "after|");
  // A second run finds everything there.
  ASSERT_TRUE(Run(script, "m,after"));
  EXPECT_EQ(Boxes(), "after|after|");
}

TEST_F(FileChangeTest, MakeDirReportsTheFirstLevelItCannotCreate) {
  EXPECT_FALSE(Run(MakeDir("C:\\Made,C:\\Missing\\Child,C:\\Later"), "m"));
  EXPECT_FALSE(ResultOf(0));
  EXPECT_EQ(Boxes(), "ディレクトリの作成に失敗しました。\n\nディレクトリ：\"C:\\Missing\\Child\"|");
  EXPECT_TRUE(fake::DirExists("C:\\Made"));
  EXPECT_FALSE(fake::DirExists("C:\\Later"));
}

// --- OSVER ------------------------------------------------------------------

TEST_F(FileChangeTest, OsVerRecordsWhetherThePlatformIsNt) {
  struct Case {
    unsigned platform;
    bool nt;
  } cases[] = {{2, true}, {1, false}, {0, false}, {3, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.platform);
    fake::Reset();
    fake::SetPlatformId(c.platform);
    EXPECT_TRUE(Run("[v]\nMODE=osver\n" + ResultNote("then", "v", c.nt ? 1 : 0), "v,then"));
    EXPECT_EQ(ResultOf(0), c.nt);
    EXPECT_EQ(Boxes(), "then|");
  }
}

}  // namespace
