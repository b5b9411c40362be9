// Tests of the bench itself, with boxprobe standing in for the Updater: what
// boxhelper reads off a box must be what the program asked for, and what it
// presses must reach the program.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <string>
#include <vector>

#include "shots_page.h"
#include "wine_case.h"
#include "wine_env.h"
#include "wine_road.h"

namespace e2e {
namespace {

const char kProbeCaption[] = "試験の箱";
const char kProbeText[] = "日本語の本文です。\n二行目も表示します。";

// Waits (bounded) until no Linux process has text in its command line;
// Wine shows a Windows program's path there.
bool NoProcessMentions(const std::string& text) {
  for (int attempt = 0; attempt < 500; ++attempt) {
    bool found = false;
    std::error_code ec;
    // Processes come and go while the folder is read: errors only end it.
    for (std::filesystem::directory_iterator it("/proc", ec), end; !ec && it != end;
         it.increment(ec)) {
      std::ifstream in(it->path() / "cmdline", std::ios::binary);
      std::string cmdline((std::istreambuf_iterator<char>(in)),
                          std::istreambuf_iterator<char>());
      if (cmdline.find(text) != std::string::npos) found = true;
    }
    if (!found) return true;
    usleep(10000);
  }
  return false;
}

class BenchTest : public ::testing::Test {
 protected:
  void SetUp() override { probe_.InstallTool("boxprobe.exe"); }

  static std::string CaseName() {
    return std::string("bench_") +
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
  }

  WineCase probe_{CaseName()};
};

struct Expected {
  const char* icon;
  std::vector<std::string> buttons;
  const char* defaultButton;
};

TEST_F(BenchTest, ReadsIconsButtonsAndDefaults) {
  // The form first is a dialog but no message box: it is left alone, to end
  // by itself.
  RunResult r = probe_.Run(
      "form ok+error ok+info yesno+warning+def2 yesno+question okcancel "
      "abortretryignore+def3 yesnocancel+def2");
  const std::vector<Expected> expected = {
      {"error", {"OK"}, "OK"},
      {"information", {"OK"}, "OK"},
      {"warning", {"Yes", "No"}, "No"},
      {"question", {"Yes", "No"}, "Yes"},
      {"none", {"OK", "Cancel"}, "OK"},
      {"none", {"Abort", "Retry", "Ignore"}, "Ignore"},
      {"none", {"Yes", "No", "Cancel"}, "No"},
  };
  ASSERT_EQ(r.boxes.size(), expected.size()) << r;
  for (size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE("box " + std::to_string(i + 1));
    const Box& box = r.boxes[i];
    EXPECT_EQ(box.caption, kProbeCaption);
    EXPECT_EQ(box.text, kProbeText);
    EXPECT_EQ(box.icon, expected[i].icon);
    EXPECT_EQ(box.buttons, expected[i].buttons);
    EXPECT_EQ(box.defaultButton, expected[i].defaultButton);
    EXPECT_EQ(box.pressed, expected[i].defaultButton);
  }
  // The probe's exit code spells the ids it got back: the form's own end,
  // then the defaults.
  EXPECT_EQ(r.exitCode, 51176157) << r;
  EXPECT_FALSE(r.timedOut);
  EXPECT_TRUE(r.warnings.empty()) << r;
}

TEST_F(BenchTest, PressesQueuedAnswersInOrder) {
  RunResult r = probe_.Run("yesno yesnocancel retrycancel abortretryignore ok",
                           {"No", "cancel", "Retry", "default"});
  ASSERT_EQ(r.boxes.size(), 5u) << r;
  std::vector<std::string> pressed;
  for (const Box& box : r.boxes) pressed.push_back(box.pressed);
  // Past the end of the queue, and for "default", the default button.
  EXPECT_EQ(pressed, (std::vector<std::string>{"No", "Cancel", "Retry", "Abort", "OK"}));
  EXPECT_EQ(r.exitCode, 72431) << r;
  EXPECT_TRUE(r.warnings.empty()) << r;
}

TEST_F(BenchTest, AnswerWithoutItsButtonPressesTheDefaultAndWarns) {
  RunResult r = probe_.Run("okcancel+def2", {"Yes"});
  ASSERT_EQ(r.boxes.size(), 1u) << r;
  EXPECT_EQ(r.boxes[0].pressed, "Cancel");
  EXPECT_EQ(r.exitCode, 2);
  ASSERT_EQ(r.warnings.size(), 1u) << r;
  EXPECT_NE(r.warnings[0].find("Yes"), std::string::npos) << r.warnings[0];
  EXPECT_EQ(r.unanswered, 1);
  // A name of no button at all is refused before the run.
  EXPECT_THROW(probe_.Run("ok", {"Maybe"}), std::invalid_argument);
}

TEST_F(BenchTest, ArgumentTextKeepsQuotesAndJapanese) {
  // Unquoted, the space would split the caption and the probe would fail on
  // the second half with exit code 99.
  RunResult r = probe_.Run("\"caption=更新 プログラム\" \"text=一 二\" ok");
  ASSERT_EQ(r.boxes.size(), 1u) << r;
  EXPECT_EQ(r.boxes[0].caption, "更新 プログラム");
  EXPECT_EQ(r.boxes[0].text, "一 二");
  EXPECT_EQ(r.exitCode, 1);
}

TEST_F(BenchTest, ReportKeepsTabsAndBackslashesOfATextApart) {
  // The report separates fields with tabs and escapes with backslashes; a
  // text full of both must come back whole, and the fields after it intact.
  RunResult r = probe_.Run("\"text=a\tb\\\\t\\c\\\\\" \"caption=\t\" yesno+question", {"No"});
  ASSERT_EQ(r.boxes.size(), 1u) << r;
  EXPECT_EQ(r.boxes[0].text, "a\tb\\\\t\\c\\");
  EXPECT_EQ(r.boxes[0].caption, "\t");
  EXPECT_EQ(r.boxes[0].icon, "question");
  EXPECT_EQ(r.boxes[0].pressed, "No");
}

TEST_F(BenchTest, CodePageFollowsTheRequestedLocale) {
  RunResult japanese = probe_.Run("acp ok", {}, 932);
  RunResult western = probe_.Run("acp ok", {}, 1252);
  ASSERT_EQ(japanese.boxes.size(), 1u) << japanese;
  ASSERT_EQ(western.boxes.size(), 1u) << western;
  EXPECT_EQ(japanese.boxes[0].text, "ACP 932");
  EXPECT_EQ(western.boxes[0].text, "ACP 1252");
  // The same bytes read differently: the probe's CP932 caption is mojibake
  // under 1252.
  EXPECT_EQ(japanese.boxes[0].caption, kProbeCaption);
  EXPECT_NE(western.boxes[0].caption, kProbeCaption);
}

TEST_F(BenchTest, ScriptTextSurvivesTheRoundTripThroughAProgram) {
  // Written in the code page with CRLF, read as ANSI bytes by the program,
  // shown, and read back off the box.
  const std::string japanese = "[UPDATER]\nNAME=更新の表示\n";
  probe_.WriteScript(japanese, "ja.ini", 932);
  RunResult r = probe_.Run("show=ja.ini ok", {}, 932);
  ASSERT_EQ(r.boxes.size(), 1u) << r;
  EXPECT_EQ(r.boxes[0].text, "[UPDATER]\r\nNAME=更新の表示\r\n");

  probe_.WriteScript("NAME=café\n", "we.ini", 1252);
  r = probe_.Run("show=we.ini ok", {}, 1252);
  ASSERT_EQ(r.boxes.size(), 1u) << r;
  EXPECT_EQ(r.boxes[0].text, "NAME=café\r\n");
}

TEST_F(BenchTest, HungProgramIsEndedAtTheTimeout) {
  probe_.ExpectingTimeOut();
  RunResult r = probe_.Run("ok hang", {}, 932, 2);
  EXPECT_TRUE(r.timedOut) << r;
  EXPECT_EQ(r.exitCode, -1);
  // What was seen before the hang is kept.
  ASSERT_EQ(r.boxes.size(), 1u) << r;
  EXPECT_EQ(r.boxes[0].pressed, "OK");
  // A figure, not a verdict: the bench's time limit is the harness's own.
  printf("[ e2e      ] the hung probe was ended after %.1f s (its limit: 2 s)\n", r.seconds);

  // A program that the hung one started goes too: nothing may be left to
  // hold the prefix's files or show boxes in later cases.
  probe_.ExpectingTimeOut();
  r = probe_.Run("\"spawn=hang\"", {}, 932, 1);
  EXPECT_TRUE(r.timedOut) << r;
  EXPECT_TRUE(NoProcessMentions(probe_.WinPath())) << "a probe survived its timeout";

  r = probe_.Run("exit=5");
  EXPECT_FALSE(r.timedOut);
  EXPECT_EQ(r.exitCode, 5) << r;
  EXPECT_TRUE(r.boxes.empty()) << r;
}

TEST_F(BenchTest, ReportsExitCodes) {
  EXPECT_EQ(probe_.Run("exit=0").exitCode, 0);
  // Beyond what a Unix exit status could carry.
  EXPECT_EQ(probe_.Run("exit=123456").exitCode, 123456);
  EXPECT_EQ(probe_.Run("nonsense").exitCode, 99);
}

TEST_F(BenchTest, AnswersBoxesOfProgramsTheProgramStarts) {
  RunResult r = probe_.Run("\"spawn=yesno+question\" ok", {"No"});
  ASSERT_EQ(r.boxes.size(), 2u) << r;
  EXPECT_EQ(r.boxes[0].icon, "question");
  EXPECT_EQ(r.boxes[0].pressed, "No");
  EXPECT_EQ(r.boxes[1].pressed, "OK");
  EXPECT_EQ(r.exitCode, 71) << r;
}

TEST_F(BenchTest, RunsAProgramInASubfolder) {
  probe_.InstallTool("boxprobe.exe", "sub dir/probe.exe");
  RunResult r = probe_.Run("exit=7");
  EXPECT_EQ(r.exitCode, 7) << r;
  r = probe_.RunProgram("boxprobe.exe", "exit=8");
  EXPECT_EQ(r.exitCode, 8) << r;
}

// Width and height from a PNG's header (signature, then the IHDR chunk);
// false when the bytes do not start as a PNG does.
bool PngSize(const std::string& bytes, unsigned* width, unsigned* height) {
  if (bytes.size() < 24 || bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0 ||
      bytes.compare(12, 4, "IHDR") != 0)
    return false;
  auto be32 = [&](size_t at) {
    unsigned v = 0;
    for (size_t i = at; i < at + 4; ++i) v = v << 8 | static_cast<unsigned char>(bytes[i]);
    return v;
  };
  *width = be32(16);
  *height = be32(20);
  return true;
}

TEST_F(BenchTest, ShotsPictureEachBoxAndThePageListsThemInOrder) {
  probe_.WithShots();
  RunResult r = probe_.Run(
      "\"caption=A & <B>\" yesno+question caption=Second ok+info "
      "\"caption=Last 'one'\" okcancel+warning",
      {"No", "OK", "Cancel"});
  ASSERT_EQ(r.boxes.size(), 3u) << r;
  EXPECT_TRUE(r.warnings.empty()) << r;
  EXPECT_EQ(r.exitCode, 712) << r;
  const std::string dir = probe_.UnixPath("page");
  WriteShotsPage(r, "probe", dir);

  int pngs = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    if (entry.path().extension() == ".png") ++pngs;
  EXPECT_EQ(pngs, 3);
  std::vector<std::string> pictures;
  for (int i = 1; i <= 3; ++i) {
    SCOPED_TRACE("box " + std::to_string(i));
    std::ifstream in(dir + "/box-" + std::to_string(i) + ".png", std::ios::binary);
    pictures.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    unsigned width = 0, height = 0;
    ASSERT_TRUE(PngSize(pictures.back(), &width, &height));
    EXPECT_GE(width, 100u);
    EXPECT_LE(width, 1000u);
    EXPECT_GE(height, 80u);
    EXPECT_LE(height, 800u);
    // A picture of one colour at this size compresses to a few hundred
    // bytes; frame, icon, text and buttons take some thousands.
    EXPECT_GT(pictures.back().size(), 1500u);
  }
  // Each box has its own icon and caption: three different pictures.
  EXPECT_NE(pictures[0], pictures[1]);
  EXPECT_NE(pictures[1], pictures[2]);

  std::ifstream in(dir + "/index.html", std::ios::binary);
  const std::string page((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(page.find("<B>"), std::string::npos) << "caption not escaped";
  const std::vector<std::string> captions = {"A &amp; &lt;B&gt;", "Second",
                                             "Last &#39;one&#39;"};
  const std::vector<std::string> pressed = {"No", "OK", "Cancel"};
  const std::vector<std::string> next = {"href=\"#box-2\"", "href=\"#box-3\"",
                                         "exit code 712"};
  size_t at = 0;
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE("box " + std::to_string(i + 1));
    const size_t start = page.find("<img src=\"box-" + std::to_string(i + 1) + ".png\"", at);
    ASSERT_NE(start, std::string::npos) << page;
    const size_t end = std::min(page.find("<section", start), page.size());
    const std::string section = page.substr(start, end - start);
    EXPECT_NE(section.find(captions[i]), std::string::npos) << section;
    EXPECT_NE(section.find("pressed</th><td>" + pressed[i] + "<"), std::string::npos) << section;
    EXPECT_NE(section.find(next[i]), std::string::npos) << section;
    at = end;
  }
}

TEST(WineCaseFiles, PathsPointIntoTheCaseFolder) {
  WineCase c("files_paths");
  EXPECT_EQ(c.WinPath(), "C:\\cases\\files_paths");
  EXPECT_EQ(c.WinPath("a/b.txt"), "C:\\cases\\files_paths\\a\\b.txt");
  EXPECT_EQ(c.UnixPath("a\\b.txt"), WinePrefix() + "/drive_c/cases/files_paths/a/b.txt");
  EXPECT_THROW(WineCase("a/b"), std::invalid_argument);
}

TEST(WineCaseFiles, WritesReadsAndStartsEmpty) {
  {
    WineCase c("files_io");
    c.MakeDir("d/e");
    c.WriteFile("x/y.bin", std::string("\0\xFF\r\n", 4));
    EXPECT_TRUE(c.Exists("d/e"));
    EXPECT_EQ(c.ReadFile("x/y.bin"), std::string("\0\xFF\r\n", 4));
    EXPECT_FALSE(c.Exists("nothing"));
    EXPECT_THROW(c.ReadFile("nothing"), std::runtime_error);
  }
  WineCase again("files_io");
  EXPECT_FALSE(again.Exists("x/y.bin"));
  EXPECT_TRUE(std::filesystem::is_empty(again.UnixPath()));
}

TEST(WineCaseFiles, ScriptsAreWrittenInTheCodePageWithCrlf) {
  WineCase c("files_script");
  c.WriteScript("[A]\nNAME=更新\r\nX=1");
  EXPECT_EQ(c.ReadFile("updater.ini"), "[A]\r\nNAME=\x8D\x58\x90\x56\r\nX=1");
  c.WriteScript("K=é\n", "w.ini", 1252);
  EXPECT_EQ(c.ReadFile("w.ini"), "K=\xE9\r\n");
  // Text the code page cannot hold is a bench error, not silent loss.
  EXPECT_THROW(c.WriteScript("K=é"), std::runtime_error);
}

// The road follows the variable, else whether the 32-bit loader starts; a
// forced road never falls back to the other, and each loader is tried once.
TEST(WineRoadChoice, FollowsTheVariableElseWhatTheHostCanStart) {
  struct Row {
    const char* forced;
    bool start32, start64;
    bool installed32;
    const char* arch;         // "" when Wine cannot run
    std::string notice;       // a part of RoadNotice, or of the error
    std::vector<std::string> tried;
  };
  const std::string l32 = "/usr/lib/wine/wine", l64 = "/usr/lib/wine/wine64";
  const Row rows[] = {
      {"", true, true, true, "win32", "", {l32}},
      {"", false, true, true, "win64", "this host cannot run 32-bit programs: ", {l32, l64}},
      {"", false, true, false, "win64", "32-bit Wine is not installed: ", {l32, l64}},
      {"", false, false, true, "", "Wine cannot start: " + l32 + ": no; " + l64 + ": no", {l32, l64}},
      {"win32", true, true, true, "win32", "", {l32}},
      {"win32", false, true, true, "", "UPDATER_WINE_ARCH=win32, but", {l32}},
      {"win64", true, true, true, "win64", "UPDATER_WINE_ARCH=win64: ", {l64}},
      {"win64", true, false, true, "", "UPDATER_WINE_ARCH=win64, but", {l64}},
      {"WIN64", true, true, true, "", "it takes win32 or win64", {}},
  };
  for (const Row& row : rows) {
    std::vector<std::string> tried;
    WineRoad road = ChooseWineRoad(row.forced, [&](const std::string& loader) {
      tried.push_back(loader);
      if (loader == l32 && !row.installed32) return NotInstalled(loader);
      bool starts = loader == l32 ? row.start32 : row.start64;
      return starts ? std::string() : loader + ": no";
    });
    SCOPED_TRACE(std::string("forced \"") + row.forced + "\", 32-bit " +
                 (row.start32 ? "starts" : "fails"));
    EXPECT_EQ(road.arch, row.arch);
    EXPECT_EQ(tried, row.tried);
    std::string said = road.arch.empty() ? road.error : RoadNotice(road);
    EXPECT_NE(said.find(row.notice), std::string::npos) << said;
    if (road.arch == "win64") {
      EXPECT_EQ(road.loader, l64);
    }
    if (row.notice.empty()) {
      EXPECT_EQ(said, "");
    }
  }
}

// headless_run on a folder (a case folder used as one), as its users run it.
CommandResult Headless(const WineCase& folder, std::vector<std::string> options = {}) {
  options.insert(options.begin(), {HEADLESS_RUN, folder.UnixPath()});
  return RunCommand(options, {}, "", 120);
}

// An unattended script whose first procedure fails: exit code 1603.
const char kFailingScript[] =
    "[UPDATER]\nNAME=T\nUNATTENDED=1\nPROC=c\n"
    "[c]\nMODE=COPY\nFROM=<Src>\\none.txt\nTO=<Src>\\x.txt\n";

// Its exit status is the program's exit code (what a status holds of it),
// or its own for what it could not do as asked. updater.ini is read as
// UTF-8 where it is, else as it ships: bytes of code page 932, which must
// read as such.
TEST(HeadlessRun, ExitsWithTheProgramsCodeOrItsOwn) {
  const std::string box =
      "[UPDATER]\nNAME=更新\nPROC=m\n[m]\nMODE=MSGBOX\nFLAG=\nTYPE=INFORMATION\n"
      "TEXT=日本語の本文\nISABORT=0,0\n";
  const std::string hang =
      "[UPDATER]\nNAME=T\nPROC=l\n[l]\nMODE=LAUNCH\nFILE=<Src>\\boxprobe.exe\nPARAM=hang\n"
      "ISWAIT=1\n";
  const std::string shown = "\n    日本語の本文\n";
  struct Row {
    const char* folder;
    std::string script;
    std::vector<std::string> options;
    int status;
    std::vector<std::string> said;  // parts of what it printed
  } rows[] = {
      {"hr_done", box, {"--answers", "OK"}, 0,
       {"--- updater.ini is UTF-8: converted to code page 932\n", shown, "--- exit code 0\n"}},
      {"hr_cp932", ScriptBytes(box, 932), {}, 0,
       {"--- updater.ini is not UTF-8: taken as code page 932 as it is\n", shown}},
      {"hr_failed", kFailingScript, {}, 1603 & 0xFF, {"--- exit code 1603\n"}},
      {"hr_unanswered", box, {"--answers", "Yes"}, 123, {"--- warning: box 1 has no button Yes"}},
      {"hr_timeout", hang, {"--timeout", "2"}, 124, {"--- the program did not end in time\n"}},
      {"hr_usage", box, {"--timeout", "0"}, 122, {"--timeout takes"}},
      {"hr_unknown", box, {"--answers", "OK,Maybe"}, 122,
       {"no button is called \"Maybe\"; the answers are OK, Cancel, Abort, "}},
      {"hr_neither", "[UPDATER]\r\nNAME=\x81 \r\n", {}, 122,
       {"updater.ini is neither UTF-8 nor text of code page 932 (byte 16)"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.folder);
    WineCase folder(row.folder);
    folder.WriteFile("updater.ini", row.script);
    folder.InstallTool("boxprobe.exe");
    CommandResult run = Headless(folder, row.options);
    EXPECT_EQ(run.status, row.status) << run.output;
    for (const std::string& said : row.said)
      EXPECT_NE(run.output.find(said), std::string::npos) << said << "\n" << run.output;
    if (row.status == 122) {
      EXPECT_EQ(run.output.find("--- running"), std::string::npos) << run.output;
    }
  }
}

// The files go into the case folder with their dates and read-only flags,
// as a DATE test and a COPY over them meet them where the folder ships.
TEST(HeadlessRun, KeepsTheDatesAndTheReadOnlyFlagsOfTheFiles) {
  namespace fs = std::filesystem;
  WineCase folder("hr_dates");
  folder.WriteFile("updater.ini", kFailingScript);
  folder.WriteFile("app/old.txt", "old");
  const fs::path old = folder.UnixPath("app/old.txt");
  const fs::file_time_type shipped = fs::last_write_time(old) - std::chrono::hours(24 * 3650);
  fs::last_write_time(old, shipped);
  fs::permissions(old, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  CommandResult run = Headless(folder);
  EXPECT_EQ(run.status, 1603 & 0xFF) << run.output;
  const fs::path copy = WinePrefix() + "/drive_c/cases/headless-hr_dates/app/old.txt";
  EXPECT_TRUE(fs::last_write_time(copy) == shipped);
  EXPECT_EQ(fs::status(copy).permissions(), fs::status(old).permissions());
}

// A program running in the prefix, as one that an update must find in use,
// outlives a headless run there; one that the run left running (started by
// a batch file that the updater waits for) ends with the run.
TEST(HeadlessRun, EndsWhatItStartedAndNothingElse) {
  WineCase other("headless_other");
  other.InstallTool("holdfile.exe");
  other.WriteFile("data.txt", "data");
  std::future<CommandResult> running = StartInBackground(
      other, {other.UnixPath("holdfile.exe"), other.WinPath("running"), "read",
              other.WinPath("data.txt")});
  ASSERT_TRUE(WaitFor(other, "running"));

  WineCase folder("hr_started");
  folder.InstallTool("boxprobe.exe");
  folder.WriteFile("start.bat", "@start \"\" boxprobe.exe hang\r\n");
  folder.WriteFile("updater.ini",
                   "[UPDATER]\nNAME=T\nPROC=l\n[l]\nMODE=LAUNCH\nFILE=<Src>\\start.bat\nPARAM=\n"
                   "ISWAIT=1\n");
  CommandResult run = Headless(folder);
  EXPECT_NE(run.output.find("--- exit code 0\n"), std::string::npos) << run.output;
  EXPECT_TRUE(NoProcessMentions("C:\\cases\\headless-hr_started\\"))
      << "a program the run started outlived it";
  EXPECT_EQ(running.wait_for(std::chrono::seconds(0)), std::future_status::timeout)
      << "the other program was ended";
  std::filesystem::remove(other.UnixPath("running"));
  EXPECT_EQ(running.get().status, 0);
}


}  // namespace
}  // namespace e2e
