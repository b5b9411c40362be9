// Long runs and runs that fail half-way, under Wine.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "robust_support.h"
#include "wine_case.h"

namespace e2e {
namespace {

using namespace robust;

std::set<std::string> FolderListing(const WineCase& run, const std::string& rel) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(run.UnixPath(rel)))
    names.insert(entry.path().filename().string());
  return names;
}

// One value holds at most 258 characters, so a list names about a hundred
// procedures at most: the top-level list names a SWITCH a hundred times,
// and each runs a list naming one EXIST procedure a hundred times.
TEST(RobustLists, TenThousandProceduresInNestedLists) {
  WineCase run(CaseName());
  run.InstallUpdater();
  run.WriteScript(Script(Repeated("s", 100) + ",done",
                         "[s]\nMODE=SWITCH\nPROC=s\n0=" + Repeated("e", 100) +
                             "\n1=\n[e]\nMODE=EXIST\nFILE=<Src>\\updater.exe\n" +
                             Note("done", "done")));
  RunResult result = run.Run("", {}, 932, 300);
  ExpectClean(result);
  EXPECT_EQ(Texts(result), std::vector<std::string>{"done"});
}

// A run that fails in the middle of a list: every file not yet touched is
// as it was, every copied file is whole, and nothing is left beside them.
TEST(RobustLists, AFailureHalfWayLosesNothing) {
  WineCase run(CaseName());
  run.InstallUpdater();
  const std::string big(3 << 20, 'n');  // larger than one copy block
  run.WriteFile("new\\one.txt", "new one");
  run.WriteFile("new\\two.bin", big);
  run.WriteFile("new\\four.txt", "new four");
  for (const char* name : {"one.txt", "two.bin", "three.txt", "four.txt", "keep.txt"})
    run.WriteFile(std::string("old\\") + name, std::string("old ") + name);
  run.WriteScript(
      "[UPDATER]\nNAME=T\nPROC=copy,later\n"
      "[copy]\nMODE=COPY\n"
      "FROM=<Src>\\new\\one.txt,<Src>\\new\\two.bin,<Src>\\new\\three.txt,<Src>\\new\\four.txt\n"
      "TO=<Src>\\old\\one.txt,<Src>\\old\\two.bin,<Src>\\old\\three.txt,<Src>\\old\\four.txt\n"
      "[later]\nMODE=DELETE\nFILE=<Src>\\old\\keep.txt\n");
  RunResult result = run.Run("", {}, 932, 60);
  ExpectClean(result);
  EXPECT_EQ(Texts(result), std::vector<std::string>{
                               Report(8, run.WinPath("new\\three.txt"), run.WinPath("old\\three.txt"))});

  EXPECT_EQ(run.ReadFile("old\\one.txt"), "new one");
  EXPECT_EQ(run.ReadFile("old\\two.bin"), big);
  EXPECT_EQ(run.ReadFile("old\\three.txt"), "old three.txt");
  EXPECT_EQ(run.ReadFile("old\\four.txt"), "old four.txt");
  EXPECT_EQ(run.ReadFile("old\\keep.txt"), "old keep.txt");
  const std::set<std::string> expected = {"one.txt", "two.bin", "three.txt", "four.txt",
                                          "keep.txt"};
  EXPECT_EQ(FolderListing(run, "old"), expected);
}

}  // namespace
}  // namespace e2e
