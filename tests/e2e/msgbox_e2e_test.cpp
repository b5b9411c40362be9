// Procedure lists and message boxes under Wine, read off the screen.
#include <gtest/gtest.h>

#include <string>

#include "report_texts.h"
#include "wine_case.h"

namespace e2e {
namespace {

std::string CaseName() {
  return std::string("msgbox_") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
}

std::string Box(const std::string& name, const std::string& type, const std::string& text,
                const std::string& isAbort = "0,0", const std::string& flag = "") {
  return "[" + name + "]\nMODE=MSGBOX\nFLAG=" + flag + "\nTYPE=" + type + "\nTEXT=" + text +
         "\nISABORT=" + isAbort + "\n";
}

TEST(MsgBox, EachTypeShowsItsIconButtonsAndDefault) {
  WineCase run(CaseName());
  run.InstallUpdater();
  run.WriteScript("[UPDATER]\nNAME=箱の試験\nPROC=e,i,w,q\n" + Box("e", "error", "エラー") +
                  Box("i", "Information", "情報%n二行目%tタブ") + Box("w", "WARNING", "警告") +
                  Box("q", "QUESTION", "質問"));
  RunResult result = run.Run("Before");
  ASSERT_EQ(result.boxes.size(), 4u) << result;
  struct Expected {
    const char* icon;
    std::vector<std::string> buttons;
    const char* defaultButton;
  } expected[] = {{"error", {"OK"}, "OK"},
                  {"information", {"OK"}, "OK"},
                  {"warning", {"Yes", "No"}, "No"},
                  {"question", {"Yes", "No"}, "Yes"}};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(result.boxes[i].caption, "箱の試験");
    EXPECT_EQ(result.boxes[i].icon, expected[i].icon) << i;
    EXPECT_EQ(result.boxes[i].buttons, expected[i].buttons) << i;
    EXPECT_EQ(result.boxes[i].defaultButton, expected[i].defaultButton) << i;
  }
  EXPECT_EQ(result.boxes[1].text, "情報\n二行目\tタブ");
  EXPECT_EQ(result.exitCode, 0);
}

TEST(MsgBox, AnswersAndIsAbortDecideWhetherTheRunGoesOn) {
  WineCase run(CaseName());
  run.InstallUpdater();
  run.WriteScript("[UPDATER]\nNAME=T\nPROC=ask,yes,no,stop,after\n" +
                  Box("ask", "QUESTION", "続けますか", "0,1") +
                  Box("yes", "INFORMATION", "はい", "0,0", "ask,1") +
                  Box("no", "INFORMATION", "いいえ", "0,0", "ask, 0") +
                  Box("stop", "ERROR", "止まります", "1,0") + Box("after", "INFORMATION", "後"));
  RunResult no = run.Run("", {"No"});
  EXPECT_EQ(Texts(no), std::vector<std::string>{"続けますか"});
  EXPECT_EQ(no.exitCode, 0);
  RunResult yes = run.Run("", {"Yes"});
  EXPECT_EQ(Texts(yes), (std::vector<std::string>{"続けますか", "はい", "止まります"})) << yes;
  EXPECT_EQ(yes.exitCode, 0);
}

TEST(MsgBox, ConditionsNameOnlyProceduresOfTheSameList) {
  WineCase run(CaseName());
  run.InstallUpdater();
  run.WriteScript("[UPDATER]\nNAME=T\nPROC=early,late,ghost\n" +
                  Box("early", "INFORMATION", "never", "0,0", "late,1") +
                  Box("late", "INFORMATION", "late") +
                  Box("ghost", "INFORMATION", "never", "0,0", "nobody ,1"));
  RunResult result = run.Run();
  ASSERT_EQ(result.boxes.size(), 2u) << result;
  EXPECT_EQ(result.boxes[0].text, "late");
  EXPECT_EQ(result.boxes[1].text, Report(6, "nobody ,1"));
  EXPECT_EQ(result.boxes[1].icon, "error");
}

TEST(MsgBox, AListIsBuiltWholeBeforeAnyOfItRuns) {
  WineCase run(CaseName());
  run.InstallUpdater();
  run.WriteScript("[UPDATER]\nNAME=T\nPROC=a, b ,c\n" + Box("a", "INFORMATION", "a") +
                  Box("b", "INFORMATION", "b") + "[c]\nMODE=Nothing\n");
  RunResult unknown = run.Run();
  ASSERT_EQ(unknown.boxes.size(), 1u) << unknown;
  EXPECT_EQ(unknown.boxes[0].text, Report(6, "Nothing"));

  run.WriteScript("[UPDATER]\nNAME=T\nPROC=a,,b\n" + Box("a", "INFORMATION", "a") +
                  Box("b", "INFORMATION", "b"));
  RunResult empty = run.Run();
  ASSERT_EQ(empty.boxes.size(), 1u) << empty;
  EXPECT_EQ(empty.boxes[0].text, Report(2, "", "MODE"));

  run.WriteScript("[UPDATER]\nNAME=T\nPROC=a\n[a]\nMODE=MSGBOX\nFLAG=\nTYPE=ERROR\nTEXT=x\n");
  RunResult missing = run.Run();
  ASSERT_EQ(missing.boxes.size(), 1u) << missing;
  EXPECT_EQ(missing.boxes[0].text, Report(2, "a", "ISABORT"));
  EXPECT_EQ(missing.exitCode, 0);
}

}  // namespace
}  // namespace e2e
