// DELETE, ATTR, MAKEDIR, LINK, CRC and OSVER under Wine, on real files.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "report_texts.h"
#include "wine_case.h"
#include "wine_env.h"

namespace e2e {
namespace {

std::string CaseName() {
  return std::string("procs6_") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
}

// Makes a case with the program and a script of `sections` run in order.
void Prepare(WineCase& run, const std::string& proc, const std::string& sections) {
  run.InstallUpdater();
  run.WriteScript("[UPDATER]\nNAME=T\nPROC=" + proc + "\n" + sections);
}

// A box shown only when procedure `name` left `result`.
std::string Said(const std::string& section, const std::string& name, int result) {
  return "[" + section + "]\nMODE=MSGBOX\nFLAG=" + name + "," + std::to_string(result) +
         "\nTYPE=INFORMATION\nTEXT=" + section + "\nISABORT=0,0\n";
}

// The DOS attributes Wine keeps beside a file: "" when none are stored.
std::string StoredAttributes(const std::string& unixPath) {
  char value[64] = {};
  ssize_t length = getxattr(unixPath.c_str(), "user.DOSATTRIB", value, sizeof value - 1);
  return length > 0 ? std::string(value, length) : "";
}

bool Writable(const std::string& unixPath) {
  struct stat status;
  return stat(unixPath.c_str(), &status) == 0 && (status.st_mode & 0222) != 0;
}

TEST(Procs6, DeleteRemovesFilesThenReportsOneThatIsGone) {
  WineCase run(CaseName());
  Prepare(run, "d", "[d]\nMODE=DELETE\nFILE=" + run.WinPath("a.txt") + " , " +
                        run.WinPath("two words.txt") + "\n");
  run.WriteFile("a.txt", "a");
  run.WriteFile("two words.txt", "b");
  RunResult first = run.Run();
  EXPECT_TRUE(first.boxes.empty()) << first;
  EXPECT_FALSE(run.Exists("a.txt"));
  EXPECT_FALSE(run.Exists("two words.txt"));

  RunResult again = run.Run();
  ASSERT_EQ(again.boxes.size(), 1u) << again;
  EXPECT_EQ(again.boxes[0].text, Report(10, run.WinPath("a.txt")));
  EXPECT_EQ(again.boxes[0].icon, "error");
}

TEST(Procs6, AttrSetsADirectorysFilesAndSingleFiles) {
  WineCase run(CaseName());
  Prepare(run, "a,said",
          "[a]\nMODE=ATTR\nFILE=" + run.WinPath("d\\*.*") + "," + run.WinPath("one.txt") +
              "\nARG=0x02,0x01\n" + Said("said", "a", 1));
  run.WriteFile("d/x.txt", "x");
  run.WriteFile("d/noext", "y");
  run.WriteFile("d/sub/deep.txt", "z");
  run.WriteFile("one.txt", "1");
  RunResult result = run.Run();
  EXPECT_EQ(Texts(result), std::vector<std::string>{"said"}) << result;
  EXPECT_EQ(StoredAttributes(run.UnixPath("d/x.txt")), "0x2");
  EXPECT_EQ(StoredAttributes(run.UnixPath("d/noext")), "0x2");
  EXPECT_EQ(StoredAttributes(run.UnixPath("d/sub/deep.txt")), "");  // not entered
  EXPECT_FALSE(Writable(run.UnixPath("one.txt")));                 // read-only
  EXPECT_TRUE(Writable(run.UnixPath("d/x.txt")));
}

// Names the code page cannot hold: "..¥victim.txt" reads "..\victim.txt"
// through best fit, "café.txt" reads "cafe.txt". Each file found is changed
// itself, through the short name Wine gives it (where a volume has none it
// is reported instead); never the file of the look-alike name.
TEST(Procs6, AttrActsOnTheFileItFoundNeverOneNamedLikeIt) {
  WineCase run(CaseName());
  Prepare(run, "a", "[a]\nMODE=ATTR\nFILE=<Src>\\app\\*.*\nARG=0x01\n");
  run.WriteFile("app/..¥victim.txt", "planted");
  run.WriteFile("app/café.txt", "accented");
  run.WriteFile("victim.txt", "victim");
  run.WriteFile("app/cafe.txt", "plain");
  RunResult result = run.Run();
  EXPECT_TRUE(result.boxes.empty()) << result;
  EXPECT_TRUE(Writable(run.UnixPath("victim.txt")));
  EXPECT_FALSE(Writable(run.UnixPath("app/..¥victim.txt")));
  EXPECT_FALSE(Writable(run.UnixPath("app/café.txt")));
  EXPECT_FALSE(Writable(run.UnixPath("app/cafe.txt")));
}

TEST(Procs6, AttrOnThePatternAloneMeansTheCurrentDirectory) {
  // The program runs in its case folder, so that is where "*.*" looks; a
  // file of the same name in the drive's root is left alone.
  WineCase run(CaseName());
  Prepare(run, "a", "[a]\nMODE=ATTR\nFILE=*.*\nARG=0x04\n");
  run.WriteFile("here.txt", "h");
  RunResult result = run.Run();
  EXPECT_TRUE(result.boxes.empty()) << result;
  EXPECT_EQ(StoredAttributes(run.UnixPath("here.txt")), "0x4");
  EXPECT_EQ(StoredAttributes(run.UnixPath("updater.ini")), "0x4");
}

TEST(Procs6, AttrReportsAMissingFileWithItsValue) {
  WineCase run(CaseName());
  Prepare(run, "a", "[a]\nMODE=ATTR\nFILE=" + run.WinPath("none.txt") + "\nARG=0x2a\n");
  RunResult result = run.Run();
  ASSERT_EQ(result.boxes.size(), 1u) << result;
  EXPECT_EQ(result.boxes[0].text, ReportAttributes(run.WinPath("none.txt"), 0x2A));
}

TEST(Procs6, MakeDirCreatesLevelsInOrderAndReportsAMissingParent) {
  WineCase run(CaseName());
  Prepare(run, "m,bad",
          "[m]\nMODE=MAKEDIR\nDIR=" + run.WinPath("new") + ", " + run.WinPath("new\\deeper") +
              "," + run.WinPath("file") + "\n[bad]\nMODE=MAKEDIR\nDIR=" +
              run.WinPath("missing\\child") + "\n");
  run.WriteFile("file", "not a directory");
  RunResult result = run.Run();
  ASSERT_EQ(result.boxes.size(), 1u) << result;
  EXPECT_EQ(result.boxes[0].text, Report(13, run.WinPath("missing\\child")));
  EXPECT_TRUE(std::filesystem::is_directory(run.UnixPath("new/deeper")));
  EXPECT_EQ(run.ReadFile("file"), "not a directory");
  EXPECT_FALSE(run.Exists("missing"));
}

// ASCII text as a shell link keeps its strings: UTF-16LE, here with the
// terminator that Wine writes after each.
std::string WideString(const std::string& ascii) {
  std::string wide;
  for (char c : ascii) wide += std::string{c, '\0'};
  return wide + std::string(2, '\0');
}

TEST(Procs6, LinkWritesAShortcutFileAndFailsQuietly) {
  WineCase run(CaseName());
  Prepare(run, "l,saved,bad,failed,after",
          "[l]\nMODE=LINK\nSRC=" + run.WinPath("app\\app.exe") + "\nPARAM=/quiet\nSHOWCMD=3\nDST=" +
              run.WinPath("links\\App") + "\n" + Said("saved", "l", 1) +
              "[bad]\nMODE=LINK\nSRC=" + run.WinPath("app\\app.exe") +
              "\nPARAM=\nSHOWCMD=\nDST=" + run.WinPath("nowhere\\App") + "\n" +
              Said("failed", "bad", 0) + Said("after", "l", 1));
  run.WriteFile("app/app.exe", "MZ");
  run.MakeDir("links");
  RunResult result = run.Run();
  EXPECT_EQ(Texts(result), (std::vector<std::string>{"saved", "failed", "after"})) << result;
  ASSERT_TRUE(run.Exists("links/App.LNK"));
  std::string link = run.ReadFile("links/App.LNK");
  // A shell link: its header's size and class, the show command stored in
  // the header, and the working directory and the arguments among its
  // strings.
  ASSERT_GT(link.size(), 0x40u);
  EXPECT_EQ(link.substr(0, 8), std::string("\x4C\0\0\0\x01\x14\x02\0", 8));
  EXPECT_EQ(link.substr(0x3C, 4), std::string("\x03\0\0\0", 4));  // maximised
  EXPECT_NE(link.find(WideString(run.WinPath("app"))), std::string::npos);
  EXPECT_NE(link.find(WideString("/quiet")), std::string::npos);
  EXPECT_FALSE(run.Exists("nowhere"));
}

// The checksum as defined, one byte at a time.
uint32_t Reference(const std::string& bytes) {
  uint32_t value = static_cast<uint32_t>(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i)
    value ^= static_cast<uint32_t>(static_cast<uint8_t>(bytes[i])) << (i % 25);
  return value;
}

std::string Hex(uint32_t value) {
  char text[16];
  snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

TEST(Procs6, CrcReportsChecksumsAndItsComparisonsBranch) {
  WineCase run(CaseName());
  // Large enough for the word-wide folding of the 32-bit build.
  std::string random(100003, '\0');
  uint32_t state = 12345;
  for (char& byte : random) byte = static_cast<char>((state = state * 1103515245 + 12345) >> 23);
  run.WriteFile("abc", "abc");
  run.WriteFile("random.bin", random);
  run.WriteFile("empty", "");
  std::string abc = run.WinPath("abc");
  Prepare(run, "show,fail,match,miss,matched,missed",
          "[show]\nMODE=CRC\nFILE=" + abc + ", " + run.WinPath("random.bin") +
              "\nTYPE=AND\nCRC=\n[fail]\nMODE=CRC\nFILE=" + run.WinPath("empty") + "," + abc +
              "\nTYPE=\nCRC=\n[match]\nMODE=CRC\nFILE=" + run.WinPath("none") + "," + abc +
              "\nTYPE=OR\nCRC=0x1, 0x0000012a\n[miss]\nMODE=CRC\nFILE=" + abc +
              "\nTYPE=and\nCRC=0X12A\n" + Said("matched", "match", 1) + Said("missed", "miss", 0));
  RunResult result = run.Run();
  ASSERT_EQ(result.boxes.size(), 5u) << result;
  EXPECT_EQ(result.boxes[0].text, "PROC\t: show\nFILE\t: " + abc + "\nCRC32\t: 0x0000012A");
  EXPECT_EQ(result.boxes[0].icon, "information");
  EXPECT_EQ(result.boxes[0].caption, "T");
  EXPECT_EQ(result.boxes[1].text, "PROC\t: show\nFILE\t: " + run.WinPath("random.bin") +
                                      "\nCRC32\t: " + Hex(Reference(random)));
  EXPECT_EQ(result.boxes[2].text,
            "PROC\t: fail\nFILE\t: " + run.WinPath("empty") + "\nCRC32\t: GetFileData Error.");
  EXPECT_EQ(result.boxes[2].icon, "error");
  EXPECT_EQ(result.boxes[3].text, "matched");
  EXPECT_EQ(result.boxes[4].text, "missed");
}

TEST(Procs6, CrcOfAFileOfMoreThanFourGiB) {
  // Reads 4 GiB of a sparse file: some seconds and as much page cache.
  if (!getenv("UPDATER_E2E_LARGE_FILES"))
    GTEST_SKIP() << "set UPDATER_E2E_LARGE_FILES=1 to read a 4 GiB file";
  WineCase run(CaseName());
  run.WriteFile("big.bin", "");
  int file = open(run.UnixPath("big.bin").c_str(), O_WRONLY);
  ASSERT_GE(file, 0);
  const std::string tail = "abcdefg";
  ASSERT_EQ(pwrite(file, tail.data(), tail.size(), int64_t(1) << 32), ssize_t(tail.size()));
  close(file);
  Prepare(run, "c", "[c]\nMODE=CRC\nFILE=" + run.WinPath("big.bin") + "\nTYPE=\nCRC=\n");
  RunResult result = run.Run("", {}, 932, 120);
  std::filesystem::remove(run.UnixPath("big.bin"));
  // Every byte counts at its true position (2^32 is 21 modulo 25); the size
  // only by its low 32 bits.
  uint32_t expected = static_cast<uint32_t>(tail.size());
  for (size_t i = 0; i < tail.size(); ++i)
    expected ^= static_cast<uint32_t>(static_cast<uint8_t>(tail[i])) << ((21 + i) % 25);
  ASSERT_EQ(result.boxes.size(), 1u) << result;
  EXPECT_EQ(result.boxes[0].text,
            "PROC\t: c\nFILE\t: " + run.WinPath("big.bin") + "\nCRC32\t: " + Hex(expected));
}

// Another program holds one file open for reading, sharing reading (as a
// running program's own file is held), and one sharing nothing. DATE and
// CRC read the first as if it were free; the second still counts as
// unreadable: old for DATE, "GetFileData Error." for CRC.
TEST(Procs6, DateAndCrcReadAFileThatAnotherProgramOnlyReads) {
  WineCase run(CaseName());
  run.WriteFile("shared.bin", "abc");
  run.WriteFile("locked.bin", "abc");
  run.InstallTool("holdfile.exe", "holder/holdfile.exe");
  Prepare(run, "c,shared,locked,old1,old2",
          "[c]\nMODE=CRC\nFILE=<Src>\\shared.bin,<Src>\\locked.bin\nTYPE=\nCRC=\n"
          "[shared]\nMODE=DATE\nFILE=<Src>\\shared.bin\nDATE=2000/1/1\n"
          "[locked]\nMODE=DATE\nFILE=<Src>\\locked.bin\nDATE=2000/1/1\n" +
              Said("old1", "shared", 1) + Said("old2", "locked", 1));
  // The holder keeps the files open until its marker is deleted.
  const std::string marker = run.UnixPath("holder/held");
  CommandResult held;
  std::atomic<bool> holderEnded{false};
  std::thread holder([&] {
    held = RunWine({run.UnixPath("holder/holdfile.exe"), run.WinPath("holder\\held"), "read",
                    run.WinPath("shared.bin"), "none", run.WinPath("locked.bin")},
                   {}, "", 120);
    holderEnded = true;
  });
  for (int waited = 0; waited < 6000 && !std::filesystem::exists(marker) && !holderEnded;
       ++waited)
    usleep(10000);
  RunResult result = run.Run();
  std::filesystem::remove(marker);
  holder.join();
  EXPECT_EQ(held.status, 0) << held.output;
  EXPECT_EQ(Texts(result),
            (std::vector<std::string>{
                "PROC\t: c\nFILE\t: " + run.WinPath("shared.bin") + "\nCRC32\t: 0x0000012A",
                "PROC\t: c\nFILE\t: " + run.WinPath("locked.bin") + "\nCRC32\t: GetFileData Error.",
                "old2"}))
      << result;
}

TEST(Procs6, OsVerIsTrueOnTheNtPlatform) {
  WineCase run(CaseName());
  Prepare(run, "v,nt,other", "[v]\nMODE=OSVER\n" + Said("nt", "v", 1) + Said("other", "v", 0));
  RunResult result = run.Run();
  EXPECT_EQ(Texts(result), std::vector<std::string>{"nt"}) << result;
}

}  // namespace
}  // namespace e2e
