// The progress window under Wine: what it shows while the run waits for a
// program, when it shows at all, and a Cancel pressed during the wait.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "report_texts.h"
#include "shots_page.h"
#include "wine_case.h"
#include "wine_env.h"
#include "wine_road.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

const char kWaiting[] = "プログラムの終了を待っています";

// A copy, a wait of two seconds for the demo's application and a second
// copy; `keys` go to UPDATER.
std::string Script(const std::string& keys) {
  return "[UPDATER]\nNAME=進行の試験\nLOG=<Src>\\run.log\n" + keys +
         "PROC=first, wait, second\n"
         "[first]\nMODE=COPY\nFROM=<Src>\\new1.txt\nTO=<Src>\\target1.txt\n"
         "[wait]\nMODE=LAUNCH\nFILE=<Src>\\wait.exe\nPARAM=2\nISWAIT=1\n"
         "[second]\nMODE=COPY\nFROM=<Src>\\new2.txt\nTO=<Src>\\target2.txt\n";
}

TEST(Progress, ShowsTheWaitOnlyWhenAskedAndCancelThereEndsTheRun) {
  WineCase run("progress_wait");
  run.InstallUpdater();
  const std::string app = DistDir() + "/demo/" + TheWineRoad().arch + "/demo-app-1.exe";
  if (!fs::exists(app)) throw std::runtime_error(MissingBuildMessage(app));
  run.CopyIn(app, "wait.exe");
  run.WriteFile("new1.txt", "new 1");
  run.WriteFile("new2.txt", "new 2");
  run.CancellingProgressAt(kWaiting);
  run.WithShots();
  struct Row {
    const char* keys;
    const char* args;
    std::string question;  // what Cancel asks; "" where no window may show
    const char* first;     // the first copy's target afterwards
  } rows[] = {
      {"PROGRESS=1\n", "", Report(17), "new 1"},
      {"PROGRESS=1\nROLLBACK=1\n", "", Report(18), "old"},
      {"", "", "", "new 1"},
      {"PROGRESS=1\n", "/UNATTENDED", "", "new 1"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.keys) + row.args);
    run.WriteFile("target1.txt", "old");
    fs::remove(run.UnixPath("target2.txt"));
    fs::remove(run.UnixPath("run.log"));
    run.WriteScript(Script(row.keys));
    RunResult r = run.Run(row.args, {"Yes"});
    EXPECT_EQ(r.exitCode, 0) << r;
    EXPECT_EQ(run.ReadFile("target1.txt"), row.first);
    if (row.question.empty()) {
      EXPECT_TRUE(r.progress.empty()) << r;
      EXPECT_TRUE(r.boxes.empty()) << r;
      EXPECT_EQ(run.ReadFile("target2.txt"), "new 2");
      continue;
    }
    auto pressed = std::find_if(r.progress.begin(), r.progress.end(),
                                [](const ProgressSight& s) { return s.pressed == "Cancel"; });
    ASSERT_NE(pressed, r.progress.end()) << r;
    EXPECT_EQ(pressed->caption, "進行の試験");
    EXPECT_EQ(pressed->text, std::string(kWaiting) + ": wait.exe");
    EXPECT_EQ(pressed->bars, 2);
    EXPECT_EQ(pressed->buttons, std::vector<std::string>{"キャンセル"});
    ASSERT_EQ(r.boxes.size(), 1u) << r;
    EXPECT_EQ(r.boxes[0].text, row.question);
    EXPECT_EQ(r.boxes[0].icon, "question");
    EXPECT_EQ(r.boxes[0].defaultButton, "No");
    EXPECT_FALSE(run.Exists("target2.txt"));
    EXPECT_NE(run.ReadFile("run.log").find("end: the user cancelled the run"), std::string::npos);

    // The page shows the window's picture before the question it led to.
    const std::string dir = run.UnixPath("page");
    WriteShotsPage(r, "progress", dir);
    const std::string view = "progress-" + std::to_string(pressed - r.progress.begin() + 1);
    EXPECT_TRUE(fs::file_size(dir + "/" + view + ".png") > 1500);
    const std::string page = run.ReadFile("page/index.html");
    EXPECT_LT(page.find("<img src=\"" + view + ".png\""), page.find("<img src=\"box-1.png\""))
        << page;
  }
}

}  // namespace
}  // namespace e2e
