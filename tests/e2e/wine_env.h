// The Wine side of the end-to-end bench: the prefix, a persistent wineserver
// for the length of the test run, and runners for Linux commands and for
// Windows programs under Wine.
#ifndef TESTS_E2E_WINE_ENV_H
#define TESTS_E2E_WINE_ENV_H

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace e2e {

struct CommandResult {
  int status = -1;  // exit code, or 128 + signal
  bool timedOut = false;
  std::string output;  // stdout and stderr together
};

// Runs argv (searched in PATH) with extra NAME=VALUE entries added to the
// environment, in cwd ("" for the current one), killing its process group
// after timeoutSeconds. Standard input is /dev/null and the output goes to a
// file, so that a daemon it leaves behind cannot hold our pipes open.
CommandResult RunCommand(const std::vector<std::string>& argv,
                         const std::vector<std::string>& env = {},
                         const std::string& cwd = "", int timeoutSeconds = 60);

// Runs a Windows program (argv[0] a Windows or Unix path, or a built-in such
// as "reg") through the loader of the Wine road (wine_road.h).
CommandResult RunWine(const std::vector<std::string>& argv,
                      const std::vector<std::string>& env = {},
                      const std::string& cwd = "", int timeoutSeconds = 60);

// reg add ARGUMENTS /f under Wine.
CommandResult RegAdd(const std::vector<std::string>& arguments);

// Absolute Unix path of the prefix in use (set by StartWine).
const std::string& WinePrefix();
// <source>/dist: the Windows builds' output.
std::string DistDir();
// <source>/dist/win32 or dist/win64: the build that the Wine road runs.
std::string BuildDir();
// <source>/dist/tools/win32 or win64: the bench's helper programs for it.
std::string ToolsDir();
// ToolsDir()/boxhelper.exe
std::string BoxHelperPath();
// What to say when a file of the Windows build is missing.
std::string MissingBuildMessage(const std::string& path);

// What StartWine and StopWine do with the other programs of the prefix.
enum class OtherPrograms {
  // The test run owns the prefix: whatever runs there when it starts is
  // left from an earlier run and is ended, and everything is ended at the
  // end.
  kEnd,
  // Programs someone started there (one that an update must find running)
  // are left alone, and so is the server: the runs end their own programs
  // (WineCase::EndingWhatItStarts), and a server StartWine started ends by
  // itself 30 s after the last program.
  kLeave,
};

// Gets Wine ready for runs: takes the Wine road, creates the prefix when it
// is missing and starts one wineserver for the runs to share, or joins the
// one that runs there. The road's notice and the progress go to `say`.
// Needs an X display. Returns why Wine is not ready, "" when it is; the
// first thing checked is whether Wine can start at all.
std::string StartWine(const std::function<void(const std::string&)>& say,
                      OtherPrograms others = OtherPrograms::kEnd);
// Ends every program of the prefix and its server, if StartWine was told
// kEnd.
void StopWine();

// StartWine and StopWine around the whole test run; the ctest entry runs
// the binary under xvfb-run.
class WineEnvironment : public ::testing::Environment {
 public:
  void SetUp() override;
  void TearDown() override;
};

}  // namespace e2e

#endif  // TESTS_E2E_WINE_ENV_H
