// The Wine side of the end-to-end bench: the prefix, a persistent wineserver
// for the length of the test run, and a runner for Linux commands.
#ifndef TESTS_E2E_WINE_ENV_H
#define TESTS_E2E_WINE_ENV_H

#include <gtest/gtest.h>

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

// Absolute Unix path of the prefix in use (set by WineEnvironment).
const std::string& WinePrefix();
// <source>/dist: the Windows builds' output.
std::string DistDir();
// <source>/dist/tools/boxhelper.exe
std::string BoxHelperPath();
// What to say when a file of the Windows build is missing.
std::string MissingBuildMessage(const std::string& path);

// Creates the prefix when it is missing, keeps one wineserver running for
// the whole test run and stops it at the end. Needs an X display: the ctest
// entry runs the binary under xvfb-run.
class WineEnvironment : public ::testing::Environment {
 public:
  void SetUp() override;
  void TearDown() override;

 private:
  bool serverStarted_ = false;
};

}  // namespace e2e

#endif  // TESTS_E2E_WINE_ENV_H
