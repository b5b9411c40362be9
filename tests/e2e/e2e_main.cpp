// Entry of the end-to-end test binary: gtest with the Wine environment.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "wine_env.h"

namespace {

// Writes the skipped cases with their reasons to e2e_skipped.txt in the
// build folder, one "Suite.Case: reason" a line, for tools/test.sh to show
// below ctest's summary, which counts the whole suite as one entry.
class SkippedCases : public testing::EmptyTestEventListener {
 public:
  SkippedCases() : path_(std::string(E2E_BINARY_DIR) + "/e2e_skipped.txt") {
    std::remove(path_.c_str());
  }

  void OnTestEnd(const testing::TestInfo& test) override {
    const testing::TestResult& result = *test.result();
    if (!result.Skipped()) return;
    std::string reason;
    for (int i = 0; i < result.total_part_count(); ++i)
      if (result.GetTestPartResult(i).skipped()) reason = result.GetTestPartResult(i).message();
    for (char& c : reason)
      if (c == '\n') c = ' ';
    std::ofstream(path_, std::ios::app)
        << test.test_suite_name() << "." << test.name() << ": " << reason << "\n";
  }

 private:
  std::string path_;
};

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  testing::UnitTest::GetInstance()->listeners().Append(new SkippedCases);
  testing::AddGlobalTestEnvironment(new e2e::WineEnvironment);
  return RUN_ALL_TESTS();
}
