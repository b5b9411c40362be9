// The program's spine under Wine: the caption, the script beside the
// program, the reads of UPDATER, the message catalogue and the exit code.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "report_texts.h"
#include "shots_page.h"
#include "wine_case.h"
#include "wine_env.h"

namespace e2e {
namespace {

const char kDefaultCaption[] = "セルベリン アップデータ";

std::string CaseName() {
  return std::string("startup_") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
}

std::string MissingFile(const std::string& path) { return Report(1, path); }

std::string BadFormat(const std::string& key) { return Report(2, "UPDATER", key); }

void ExpectErrorBox(const RunResult& run, const std::string& caption, const std::string& text) {
  ASSERT_EQ(run.boxes.size(), 1u) << run;
  EXPECT_EQ(run.boxes[0].caption, caption);
  EXPECT_EQ(run.boxes[0].text, text);
  EXPECT_EQ(run.boxes[0].icon, "error");
  EXPECT_EQ(run.boxes[0].buttons, std::vector<std::string>{"OK"});
  EXPECT_EQ(run.exitCode, 0);
}

TEST(Startup, MissingScriptIsReportedUnderTheDefaultOrTheQuotedCaption) {
  WineCase run(CaseName());
  run.InstallUpdater("v1.0.beta\\setup.exe");
  std::string script = run.WinPath("v1.0.beta\\setup.ini");
  ExpectErrorBox(run.Run(), kDefaultCaption, MissingFile(script));
  ExpectErrorBox(run.Run("\"My Product 2\" /quiet"), "My Product 2", MissingFile(script));
  ExpectErrorBox(run.Run("\"\""), kDefaultCaption, MissingFile(script));
}

TEST(Startup, AFolderNameWithDotsStillFindsTheScript) {
  WineCase run(CaseName());
  run.InstallUpdater("app.v2\\updater.exe");
  run.WriteScript("[UPDATER]\nNAME=\nPROC=\n", "app.v2\\updater.ini");
  RunResult result = run.Run("Setup");
  ExpectErrorBox(result, "Setup", Report(4, "UPDATER", "PROC"));
}

TEST(Startup, MissingUpdaterKeysAreReportedUnderTheEarlierCaption) {
  WineCase run(CaseName());
  run.InstallUpdater();
  run.WriteScript("[UPDATER]\nPROC=a\n");
  ExpectErrorBox(run.Run("First second"), "First", BadFormat("NAME"));
  run.WriteScript("[UPDATER]\nNAME=Named\n");
  ExpectErrorBox(run.Run(), kDefaultCaption, BadFormat("PROC"));
  run.WriteScript("[OTHER]\nNAME=x\n");
  ExpectErrorBox(run.Run(), kDefaultCaption, BadFormat("NAME"));
}

TEST(Startup, CatalogueTextsReachTheUserExactlyUnderAnyCodePage) {
  WineCase run(CaseName());
  run.InstallUpdater("100%s dir\\updater.exe");
  std::string script = run.WinPath("100%s dir\\updater.ini");
  ExpectErrorBox(run.Run("", {}, 1252), kDefaultCaption, MissingFile(script));
  ExpectErrorBox(run.Run("", {}, 932), kDefaultCaption, MissingFile(script));
}

// LANGUAGE=AUTO follows the user's language as Wine takes it from the
// locale: English under C.UTF-8 (the case keeps the box's picture, in
// page/box-1.png), Japanese under ja_JP.UTF-8.
TEST(Startup, LanguageAutoReportsInTheUsersLanguage) {
  WineCase run(CaseName());
  run.InstallUpdater();
  run.WithShots();
  run.WriteScript(
      "[UPDATER]\nNAME=Setup\nLANGUAGE=AUTO\nPROC=copy\n"
      "[copy]\nMODE=COPY\nFROM=<Src>\\missing.txt\nTO=<Src>\\app.txt\n");
  const std::string from = run.WinPath("missing.txt"), to = run.WinPath("app.txt");
  RunResult english = run.Run("", {}, 1252);
  ExpectErrorBox(english, "Setup", EnglishReport(8, from, to));
  WriteShotsPage(english, "LANGUAGE=AUTO under an English locale", run.UnixPath("page"));
  EXPECT_GT(std::filesystem::file_size(run.UnixPath("page/box-1.png")), 1500u);
  ExpectErrorBox(run.Run(), "Setup", Report(8, from, to));
}

// Wherever the 64-bit build exists it runs here, whichever road the bench
// takes: a build that cannot be installed or run fails the case.
TEST(Startup, Win64BuildRunsTheSameRoad) {
  WineCase run(CaseName());
  if (!std::filesystem::exists(DistDir() + "/win64/updater.exe"))
    GTEST_SKIP() << "no 64-bit build in " << DistDir() << "/win64";
  run.InstallUpdater("updater.exe", "win64");
  run.WriteScript(
      "[UPDATER]\nNAME=64\nPROC=hello\n[hello]\nMODE=MSGBOX\nFLAG=\nTYPE=INFORMATION\n"
      "TEXT=<Src>\nISABORT=0,0\n");
  RunResult result = run.Run();
  ASSERT_EQ(result.boxes.size(), 1u) << result;
  EXPECT_EQ(result.boxes[0].text, run.WinPath());
  EXPECT_EQ(result.exitCode, 0);
}

}  // namespace
}  // namespace e2e
