// What the robustness cases under Wine share: the reports as the user sees
// them (report_texts.h), script pieces, and the check that a run ended by
// itself with 0.
#ifndef TESTS_E2E_ROBUST_SUPPORT_H
#define TESTS_E2E_ROBUST_SUPPORT_H

#include <gtest/gtest.h>

#include <string>

#include "report_texts.h"
#include "wine_case.h"

namespace e2e {
namespace robust {

inline std::string CaseName() {
  return std::string("robust_") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
}

// `name` `count` times, separated by commas.
inline std::string Repeated(const std::string& name, int count) {
  std::string list;
  for (int i = 0; i < count; ++i) list += (i ? "," : "") + name;
  return list;
}

inline std::string Note(const std::string& name, const std::string& text) {
  return "[" + name + "]\nMODE=MSGBOX\nFLAG=\nTYPE=INFORMATION\nTEXT=" + text +
         "\nISABORT=0,0\n";
}

inline std::string Script(const std::string& proc, const std::string& sections) {
  return "[UPDATER]\nNAME=T\nPROC=" + proc + "\n" + sections;
}

// A run that ended by itself with 0, as every run that shows its boxes must.
inline void ExpectClean(const RunResult& run) {
  EXPECT_FALSE(run.timedOut) << run;
  EXPECT_EQ(run.exitCode, 0) << run;
}

}  // namespace robust
}  // namespace e2e

#endif  // TESTS_E2E_ROBUST_SUPPORT_H
