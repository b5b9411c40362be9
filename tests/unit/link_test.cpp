// LINK against the OS double, which records each shortcut it saves.
#include <string>

#include "script_run.h"

namespace {

class LinkTest : public ScriptRunTest {};

std::string Link(const std::string& src, const std::string& param, const std::string& showCmd,
                 const std::string& dst) {
  return Section("l", {{"MODE", "LINK"},
                       {"SRC", src},
                       {"PARAM", param},
                       {"SHOWCMD", showCmd},
                       {"DST", dst}});
}

std::string Describe(const fake::Link& link) {
  return link.path + " -> " + link.target + " in [" + link.workingDirectory + "] args [" +
         link.arguments + "] show " + std::to_string(link.showCommand);
}

std::string Saved() {
  std::string all;
  for (const fake::Link& link : fake::Links()) all += Describe(link) + "\n";
  return all;
}

TEST_F(LinkTest, EachPositionSavesAShortcutBesideItsTarget) {
  fake::MakeDir("C:\\Links");
  ASSERT_TRUE(Run(Link(" C:\\App\\app.exe , tool.exe,C:\\App\\Sub\\x.exe,\\root.exe",
                       "/quiet , ,-a -b", "3,2, 1", "C:\\Links\\App ,C:\\Links\\Tool.lnk,"
                       "C:\\Links\\X,C:\\Links\\Root"),
                  "l"));
  EXPECT_TRUE(ResultOf(0));
  // The extension is always added; arguments are always given; the working
  // directory is the target's, empty when it has none.
  EXPECT_EQ(Saved(),
            "C:\\Links\\App.LNK -> C:\\App\\app.exe in [C:\\App] args [/quiet] show 3\n"
            "C:\\Links\\Tool.lnk.LNK -> tool.exe in [] args [] show 7\n"
            "C:\\Links\\X.LNK -> C:\\App\\Sub\\x.exe in [C:\\App\\Sub] args [-a -b] show 1\n"
            "C:\\Links\\Root.LNK -> \\root.exe in [] args [] show 0\n");
  EXPECT_TRUE(fake::FileExists("C:\\Links\\App.LNK"));
  EXPECT_EQ(Boxes(), "");
}

TEST_F(LinkTest, OnlyOneTwoAndThreeSetAWindowState) {
  struct Case {
    const char* item;
    int stored;
  } cases[] = {{"1", 1}, {"2", 7}, {" 3", 3}, {"0", 0}, {"", 0}, {"4", 0},
               {"7", 0}, {"-1", 0}, {"x", 0}, {"2x", 7}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.item);
    fake::Reset();
    fake::MakeDir("C:\\Links");
    ASSERT_TRUE(Run(Link("C:\\App\\app.exe", "", c.item, "C:\\Links\\App"), "l"));
    ASSERT_EQ(fake::Links().size(), 1u);
    EXPECT_EQ(fake::Links()[0].showCommand, c.stored);
  }
}

TEST_F(LinkTest, AShortcutThatCannotBeSavedEndsTheProcedureQuietly) {
  fake::MakeDir("C:\\Links");
  std::string script = Link("C:\\A\\a.exe,C:\\B\\b.exe,C:\\C\\c.exe", "", "",
                            "C:\\Links\\A,C:\\Missing\\B,C:\\Links\\C") +
                       ResultNote("failed", "l", 0);
  EXPECT_TRUE(Run(script, "l,failed"));
  EXPECT_FALSE(ResultOf(0));
  EXPECT_EQ(Saved(), "C:\\Links\\A.LNK -> C:\\A\\a.exe in [C:\\A] args [] show 0\n");
  EXPECT_EQ(Boxes(), "failed|");  // only the procedure after it speaks
}

TEST_F(LinkTest, ALinkPathTooLongForTheSystemIsAFailedShortcut) {
  // The path must fit 260 characters with its terminator: 255 bytes and
  // ".LNK" do, one byte more does not.
  const std::string folder = "C:\\" + std::string(240, 'f');
  fake::MakeDir(folder);
  for (size_t length : {255u, 256u}) {
    SCOPED_TRACE(length);
    fake::Reset();
    fake::MakeDir(folder);
    std::string dst = folder + "\\" + std::string(length - folder.size() - 1, 'n');
    EXPECT_TRUE(Run(Link("C:\\App\\app.exe", "", "1", dst), "l"));
    EXPECT_EQ(ResultOf(0), length == 255);
    EXPECT_EQ(fake::Links().size(), length == 255 ? 1u : 0u);
    EXPECT_EQ(Boxes(), "");
  }
  // The limit counts characters, not bytes: 250 double-byte ones fit.
  fake::Reset();
  std::string wide;
  for (int i = 0; i < 120; ++i) wide += "\x83\x41";  // ア
  fake::MakeDir("C:\\" + wide);
  std::string dst = "C:\\" + wide + "\\" + wide.substr(0, 2 * 120);
  EXPECT_TRUE(Run(Link("C:\\App\\app.exe", "", "1", dst), "l"));
  EXPECT_TRUE(ResultOf(0));
  EXPECT_EQ(fake::Links().size(), 1u);
}

}  // namespace
