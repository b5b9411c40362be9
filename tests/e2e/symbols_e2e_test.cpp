// Symbols and App Paths groups expanded under Wine, with its real folders
// and registry.
#include <gtest/gtest.h>

#include <string>

#include "wine_case.h"
#include "wine_env.h"

namespace e2e {
namespace {

std::string CaseName() {
  return std::string("symbols_") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
}

const char kAppPaths[] = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

std::string Show(const std::string& text) {
  return "[UPDATER]\nNAME=T\nPROC=show\n[show]\nMODE=MSGBOX\nFLAG=\nTYPE=INFORMATION\nTEXT=" +
         text + "\nISABORT=0,0\n";
}

TEST(Symbols, BuiltInsNameTheRealFolders) {
  WineCase run(CaseName());
  run.InstallUpdater();
  run.WriteScript(Show("<Win>|<SYS>|<src>|<Desktop>|<Programs>|<Nothing>"));
  RunResult result = run.Run();
  ASSERT_EQ(result.boxes.size(), 1u) << result;
  // Wine is of the NT platform: the folders shared by all users.
  EXPECT_EQ(result.boxes[0].text,
            "C:\\windows|C:\\windows\\system32|" + run.WinPath() +
                "|C:\\users\\Public\\Desktop|C:\\ProgramData\\Microsoft\\Windows\\Start "
                "Menu\\Programs|<Nothing>");
}

// The usual places are the folders the system tells its own 64-bit programs
// of (cmd.exe's environment, in the same prefix); a DEFINE of the same name
// wins over the system's.
TEST(Symbols, TheUsualPlacesAreTheSystemsAndADefineWins) {
  CommandResult told = RunWine({"cmd", "/c",
                                "echo %ProgramW6432%;%ProgramFiles(x86)%;%CommonProgramW6432%;"
                                "%ProgramData%;%APPDATA%;%LOCALAPPDATA%"});
  ASSERT_EQ(told.status, 0) << told.output;
  WineCase run(CaseName());
  run.InstallUpdater();
  run.WriteScript("[UPDATER]\nNAME=T\nPROC=show,mine\n[DEFINE]\n<Temp>=D:\\Mine\n"
                  "[show]\nMODE=MSGBOX\nFLAG=\nTYPE=INFORMATION\n"
                  "TEXT=<ProgramFiles>;<ProgramFiles32>;<CommonFiles>;<ProgramData>;<AppData>;"
                  "<LocalAppData>\nISABORT=0,0\n"
                  "[mine]\nMODE=MSGBOX\nFLAG=\nTYPE=INFORMATION\nTEXT=<Temp>\nISABORT=0,0\n");
  RunResult result = run.Run();
  ASSERT_EQ(result.boxes.size(), 2u) << result;
  EXPECT_EQ(result.boxes[0].text, told.output.substr(0, told.output.find_first_of("\r\n")));
  EXPECT_EQ(result.boxes[1].text, "D:\\Mine");
}

TEST(Symbols, AppPathsGroupsComeFromTheRegistryOrStayAsWritten) {
  const std::string key = std::string(kAppPaths) + "e2etool.exe";
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{key, "/ve", "/d", "C:\\Tools\\e2etool.exe"},
        std::vector<std::string>{key, "/v", "Path", "/d", "C:\\Tools\\;"}}) {
    CommandResult added = RegAdd(arguments);
    ASSERT_EQ(added.status, 0) << added.output;
  }
  WineCase run(CaseName());
  run.InstallUpdater();
  run.WriteScript(
      "[UPDATER]\nNAME=T\nPROC=show\n[DEFINE]\n<Tool>=e2etool.exe\n"
      "[show]\nMODE=MSGBOX\nFLAG=\nTYPE=INFORMATION\n"
      "TEXT={?App\\<Tool>}|{?AppPath\\e2etool.exe}\\readme.txt|{?App\\e2e-absent.exe}|{?Other\\x}\n"
      "ISABORT=0,0\n");
  RunResult result = run.Run();
  ASSERT_EQ(result.boxes.size(), 1u) << result;
  // The PATH value loses its trailing ";" only: the "\" before it stays.
  EXPECT_EQ(result.boxes[0].text,
            "C:\\Tools\\e2etool.exe|C:\\Tools\\\\readme.txt|{?App\\e2e-absent.exe}|{?Other\\x}");
}

TEST(Symbols, DefineChainsAndExpandedModes) {
  WineCase run(CaseName());
  run.InstallUpdater();
  run.WriteScript(
      "[UPDATER]\nNAME=<Name>\nPROC=<First>, parent\n"
      "[DEFINE]\n<B>=<Win>\\b\n<A>=<B>\\a\n<Late>=<D>\n<D>=<Win>\\d\n;<A>=comment\n"
      "<Win>=D:\\Other\n<Name>=名前\n<First>=show\n<Kind>=MsgBox\n"
      "[show]\nMODE=<Kind>\nFLAG=\nTYPE=INFORMATION\nTEXT=<A>|<Late>\nISABORT=0,0\n"
      "[parent]\nMODE=MSGBOX\nFLAG=\nTYPE=INFORMATION\nTEXT=<Win>\\x\\..\\y\nISABORT=0,0\n");
  RunResult result = run.Run();
  ASSERT_EQ(result.boxes.size(), 2u) << result;
  EXPECT_EQ(result.boxes[0].caption, "名前");
  // <B> stands above <A>, so <A> gets it expanded; <D> stands below <Late>,
  // so <Late> gets <D> as written, whose <Win> has no step left here.
  EXPECT_EQ(result.boxes[0].text, "C:\\windows\\b\\a|<Win>\\d");
  EXPECT_EQ(result.boxes[1].text, "C:\\windows\\y");
}

}  // namespace
}  // namespace e2e
