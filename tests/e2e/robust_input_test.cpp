// Bad input under Wine: scripts that are garbage, huge, overlong or hostile.
// Whatever comes in, a run ends by itself with exit code 0, showing either
// the report the program has for it or a sound result.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "robust_support.h"
#include "wine_case.h"
#include "wine_env.h"

namespace e2e {
namespace {

using namespace robust;

TEST(RobustInput, RandomBytesReadAsAScriptWithoutItsKeys) {
  std::mt19937 random(20240611);
  std::string bytes(16384, '\0');
  for (char& byte : bytes) byte = static_cast<char>(random());
  WineCase run(CaseName());
  run.InstallUpdater();
  run.WriteFile("updater.ini", bytes);
  RunResult result = run.Run();
  ExpectClean(result);
  EXPECT_EQ(Texts(result), std::vector<std::string>{Report(2, "UPDATER", "NAME")});
}

TEST(RobustInput, AScriptOfSeveralMegabytesRunsToItsLastSection) {
  std::string script = Script("first,last", Note("first", "first"));
  std::string filler;
  for (int i = 0; filler.size() < (4u << 20); ++i)
    filler += "[filler" + std::to_string(i) + "]\nkey=" + std::string(100, 'v') + "\n";
  WineCase run(CaseName());
  run.InstallUpdater();
  run.WriteScript(script + filler + Note("last", "last"));
  RunResult result = run.Run("", {}, 932, 120);
  ExpectClean(result);
  EXPECT_EQ(Texts(result), (std::vector<std::string>{"first", "last"}));
}

TEST(RobustInput, ValuesAreCutAt258Characters) {
  std::string sections;
  for (int length : {257, 258, 259, 1000})
    sections += Note("t" + std::to_string(length), std::string(length, 'a'));
  // A double-byte character that the cut would split is left out whole.
  sections += Note("j", std::string(257, 'a') + "日本語");
  // A list past 258 characters loses its tail, and its last name is cut:
  // names p000 to p050 fill 255 characters, then "p05" of "p051".
  std::string list;
  for (int i = 0; i < 100; ++i) {
    char name[8];
    snprintf(name, sizeof name, "p%03d", i);
    list += std::string(i ? "," : "") + name;
    sections += Note(name, name);
  }
  sections += "[long]\nMODE=SWITCH\nPROC=long\n0=" + list + "\n1=\n";
  WineCase run(CaseName());
  run.InstallUpdater();
  run.WriteScript(Script("t257,t258,t259,t1000,j,long", sections));
  RunResult result = run.Run();
  ExpectClean(result);
  EXPECT_EQ(Texts(result),
            (std::vector<std::string>{std::string(257, 'a'), std::string(258, 'a'),
                                      std::string(258, 'a'), std::string(258, 'a'),
                                      std::string(257, 'a'), Report(2, "p05", "MODE")}));
}

// Every value that reaches a report or a box, holding printf directives:
// they are shown as written, never taken as a format.
TEST(RobustInput, FormatDirectivesInValuesAreShownAsWritten) {
  const std::string hostile = "%s%n%x%p%d";
  struct Case {
    std::string sections;
    std::string expected;
  } cases[] = {
      {Note("m", "a" + hostile + "%t"), "a%s\n%x%p%d\t"},
      {"[m]\nMODE=" + hostile + "\n", Report(6, hostile)},
      {"[m]\nMODE=MSGBOX\nFLAG=\nTYPE=" + hostile + "\nTEXT=x\nISABORT=0,0\n", Report(6, hostile)},
      {"[m]\nMODE=MSGBOX\nFLAG=" + hostile + ",1\nTYPE=ERROR\nTEXT=x\nISABORT=0,0\n",
       Report(6, hostile + ",1")},
      {"[m]\nMODE=SWITCH\nPROC=" + hostile + "\n0=\n1=\n", Report(6, hostile)},
      {"[m]\nMODE=COPY\nFROM=C:\\none\\" + hostile + "\nTO=C:\\none\\" + hostile + "2\n",
       Report(8, "C:\\none\\" + hostile, "C:\\none\\" + hostile + "2")},
      {"[m]\nMODE=LAUNCH\nFILE=C:\\none\\" + hostile + ".exe\nPARAM=" + hostile + "\nISWAIT=1\n",
       Report(9, "C:\\none\\" + hostile + ".exe", hostile)},
      {"[m]\nMODE=DELETE\nFILE=C:\\none\\" + hostile + "\n", Report(10, "C:\\none\\" + hostile)},
      {"[m]\nMODE=MAKEDIR\nDIR=C:\\none\\" + hostile + "\n", Report(13, "C:\\none\\" + hostile)},
      {"[m]\nMODE=ATTR\nFILE=C:\\none\\" + hostile + "\nARG=0x20\n",
       ReportAttributes("C:\\none\\" + hostile, 0x20)},
      {"[m]\nMODE=CRC\nFILE=C:\\none\\" + hostile + "\nTYPE=AND\nCRC=\n",
       "PROC\t: m\nFILE\t: C:\\none\\" + hostile + "\nCRC32\t: GetFileData Error."},
  };
  WineCase run(CaseName());
  run.InstallUpdater();
  for (const Case& c : cases) {
    run.WriteScript(Script("m", c.sections));
    RunResult result = run.Run();
    ExpectClean(result);
    EXPECT_EQ(Texts(result), std::vector<std::string>{c.expected}) << c.sections;
  }
  // A section of that name without MODE; the caption from NAME, and from
  // the command line when there is no script.
  run.WriteScript(Script(hostile, ""));
  RunResult missing = run.Run();
  ExpectClean(missing);
  EXPECT_EQ(Texts(missing), std::vector<std::string>{Report(2, hostile, "MODE")});
  run.WriteScript("[UPDATER]\nNAME=" + hostile + "\nPROC=m\n" + Note("m", "x"));
  RunResult named = run.Run();
  ExpectClean(named);
  ASSERT_EQ(named.boxes.size(), 1u) << named;
  EXPECT_EQ(named.boxes[0].caption, hostile);
  std::filesystem::remove(run.UnixPath("updater.ini"));
  RunResult alone = run.Run(hostile);
  ExpectClean(alone);
  ASSERT_EQ(alone.boxes.size(), 1u) << alone;
  EXPECT_EQ(alone.boxes[0].text, Report(1, run.WinPath("updater.ini")));
  EXPECT_EQ(alone.boxes[0].caption, hostile);
}

// Paths past the 260 characters of the system's path functions, made by a
// symbol (symbol values are not cut at 258), in every kind that takes a path.
TEST(RobustInput, PathsPast260CharactersFailAsPathsThatCannotBeUsed) {
  WineCase run(CaseName());
  run.InstallUpdater();
  run.WriteFile("small.txt", "small");
  const std::string outer = std::string(150, 'd');
  const std::string deep = run.WinPath(outer + "\\" + std::string(150, 'e'));
  const std::string define = "[DEFINE]\n<Deep>=<Src>\\" + outer + "\\" + std::string(150, 'e') + "\n";
  struct Case {
    std::string sections;
    std::vector<std::string> expected;
  } cases[] = {
      {"[k]\nMODE=COPY\nFROM=<Deep>\\a.txt\nTO=<Src>\\b.txt\n",
       {Report(8, deep + "\\a.txt", run.WinPath("b.txt"))}},
      {"[k]\nMODE=COPY\nFROM=<Src>\\small.txt\nTO=<Deep>\\b.txt\n",
       {Report(8, run.WinPath("small.txt"), deep + "\\b.txt")}},
      {"[k]\nMODE=LAUNCH\nFILE=<Deep>\\a.exe\nPARAM=x\nISWAIT=1\n",
       {Report(9, deep + "\\a.exe", "x")}},
      {"[k]\nMODE=DELETE\nFILE=<Deep>\\a.txt\n", {Report(10, deep + "\\a.txt")}},
      {"[k]\nMODE=ATTR\nFILE=<Deep>\\a.txt\nARG=0x20\n", {ReportAttributes(deep + "\\a.txt", 0x20)}},
      // The first level fits and is made; the second does not.
      {"[k]\nMODE=MAKEDIR\nDIR=<Src>\\" + outer + ",<Deep>\n", {Report(13, deep)}},
      // A checksum report does not stop the run.
      {"[k]\nMODE=CRC\nFILE=<Deep>\\a.txt\nTYPE=AND\nCRC=\n",
       {"PROC\t: k\nFILE\t: " + deep + "\\a.txt\nCRC32\t: GetFileData Error.", "0"}},
      // The tests answer "no", the shortcut is not made: a SWITCH shows it.
      {"[k]\nMODE=EXIST\nFILE=<Deep>\\a.txt\n", {"0"}},
      {"[k]\nMODE=DATE\nFILE=<Deep>\\a.txt\nDATE=2000/1/1\n", {"1"}},
      {"[k]\nMODE=LINK\nSRC=<Deep>\\a.exe\nPARAM=\nSHOWCMD=1\nDST=<Src>\\" +
           std::string(250, 'l') + "\n",
       {"0"}},
  };
  for (Case& c : cases) {
    run.WriteScript(Script("k,s", define + c.sections +
                                      "[s]\nMODE=SWITCH\nPROC=k\n0=zero\n1=one\n" +
                                      Note("zero", "0") + Note("one", "1")));
    RunResult result = run.Run();
    ExpectClean(result);
    EXPECT_EQ(Texts(result), c.expected) << c.sections;
  }
  // A report longer than its 1,023 bytes is cut there.
  const std::string huge = "C:\\" + std::string(700, 'h');
  run.WriteScript(Script("k", "[DEFINE]\n<Huge>=" + huge + "\n[k]\nMODE=COPY\nFROM=<Huge>\nTO=<Huge>2\n"));
  RunResult cut = run.Run();
  ExpectClean(cut);
  EXPECT_EQ(Texts(cut), std::vector<std::string>{Report(8, huge, huge + "2").substr(0, 1023)});

  EXPECT_TRUE(run.Exists(outer));
  EXPECT_FALSE(run.Exists(outer + "/" + std::string(150, 'e')));
}

// The section read takes 32,767 bytes; the DEFINE lines past them are not
// symbols, and the line that straddles the limit must not become a symbol
// with its value cut short.
TEST(RobustInput, DefineLinesPast32767BytesAreNotSymbols) {
  // Lines of 24 bytes and their zero: line 1310 runs from byte 32,750 over
  // the end of the area.
  std::string define = "[DEFINE]\n";
  for (int i = 0; i < 2000; ++i) {
    char line[32];
    snprintf(line, sizeof line, "<S%04d>=C:\\dir%04d\\value", i, i);
    define += std::string(line) + "\n";
  }
  WineCase run(CaseName());
  run.InstallUpdater();
  run.WriteScript(Script("show", define + Note("show", "<S0000>|<S1309>|<S1310>|<S1999>")));
  RunResult result = run.Run();
  ExpectClean(result);
  EXPECT_EQ(Texts(result), std::vector<std::string>{
                               "C:\\dir0000\\value|C:\\dir1309\\value|<S1310>|<S1999>"});
}

// Lines that fill the area exactly (32,765 bytes with their zeros) give the
// same size as a cut section, yet their last line is whole and a symbol.
TEST(RobustInput, DefineLinesThatFitExactlyAreAllSymbols) {
  std::string define = "[DEFINE]\n";
  for (int i = 0; i < 1310; ++i) {  // 1310 lines of 25 bytes: 32,750
    char line[32];
    snprintf(line, sizeof line, "<S%04d>=C:\\dir%04d\\value", i, i);
    define += std::string(line) + "\n";
  }
  define += "<Last>=exactly\n";  // and 15 bytes: 32,765
  WineCase run(CaseName());
  run.InstallUpdater();
  run.WriteScript(Script("show", define + Note("show", "<S1309>|<Last>")));
  RunResult result = run.Run();
  ExpectClean(result);
  EXPECT_EQ(Texts(result), std::vector<std::string>{"C:\\dir1309\\value|exactly"});
}

// App Paths values that are not proper strings: stored as bytes without a
// terminating zero, or far longer than a path.
TEST(RobustInput, RegistryValuesWithoutTheirZeroReadAsTheirBytes) {
  const std::string key =
      "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\robust-raw.exe";
  auto hex = [](const std::string& text) {
    std::string digits;
    char pair[3];
    for (unsigned char c : text) {
      snprintf(pair, sizeof pair, "%02x", c);
      digits += pair;
    }
    return digits;
  };
  const std::string longPath = "C:\\" + std::string(600, 'r') + "\\raw.exe";
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{key, "/ve", "/t", "REG_BINARY", "/d", hex("C:\\Raw\\raw.exe")},
        std::vector<std::string>{key, "/v", "Path", "/t", "REG_BINARY", "/d", hex("C:\\Raw;")},
        std::vector<std::string>{key + "2", "/ve", "/d", longPath}}) {
    CommandResult added = RegAdd(arguments);
    ASSERT_EQ(added.status, 0) << added.output;
  }
  WineCase run(CaseName());
  run.InstallUpdater();
  run.WriteScript(Script(
      "show", Note("show", "{?App\\robust-raw.exe}|{?AppPath\\robust-raw.exe}|"
                           "{?App\\robust-raw.exe2}")));
  RunResult result = run.Run();
  ExpectClean(result);
  EXPECT_EQ(Texts(result), std::vector<std::string>{"C:\\Raw\\raw.exe|C:\\Raw|" + longPath});
}

// A SWITCH whose branch leads back to itself nests until the limit of live
// lists, which ends the run with a report naming the section.
TEST(RobustInput, SwitchRecursionEndsWithAReport) {
  WineCase run(CaseName());
  run.InstallUpdater();
  run.WriteScript(Script("self,after",
                         "[self]\nMODE=SWITCH\nPROC=self\n0=self\n1=\n" + Note("after", "after")));
  RunResult self = run.Run("", {}, 932, 60);
  ExpectClean(self);
  EXPECT_EQ(Texts(self), std::vector<std::string>{Report(6, "self")});
  // Two sections that lead to each other: the one that meets the limit is
  // named, an error box whose run ends with 0.
  run.WriteScript(Script("start", "[start]\nMODE=SWITCH\nPROC=start\n0=loop\n1=loop\n"
                                  "[loop]\nMODE=SWITCH\nPROC=loop\n0=start\n1=start\n"));
  RunResult pair = run.Run("", {}, 932, 60);
  ExpectClean(pair);
  ASSERT_EQ(pair.boxes.size(), 1u) << pair;
  EXPECT_EQ(pair.boxes[0].icon, "error");
  EXPECT_EQ(pair.boxes[0].text, Report(6, "loop")) << pair;
  EXPECT_EQ(pair.exitCode, 0);
}

// The script is deleted while the run goes on (by a program the script
// starts): the lists already built run on, and the next read finds no
// script, as if its sections were all absent.
TEST(RobustInput, AScriptThatVanishesReadsAsAbsentSections) {
  WineCase run(CaseName());
  run.InstallUpdater();
  run.WriteScript(Script(
      "kill,after,branch",
      "[kill]\nMODE=LAUNCH\nFILE=<Sys>\\cmd.exe\nPARAM=/c del \"<Src>\\updater.ini\"\nISWAIT=1\n" +
          Note("after", "after") + "[branch]\nMODE=SWITCH\nPROC=kill\n0=next\n1=next\n" +
          Note("next", "never")));
  RunResult result = run.Run("", {}, 932, 60);
  ExpectClean(result);
  EXPECT_FALSE(run.Exists("updater.ini"));
  EXPECT_EQ(Texts(result), (std::vector<std::string>{"after", Report(2, "next", "MODE")}));
}

}  // namespace
}  // namespace e2e
