// REGISTRY and REGVALUE under Wine, whose registry is real: the views a
// value goes to, a failed run's undo, and a SWITCH on a value.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "report_texts.h"
#include "wine_case.h"
#include "wine_env.h"

namespace e2e {
namespace {

std::string CaseName() {
  return std::string("registry_") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
}

const char* const Root = "HKLM\\Software\\UpdaterE2E";

// `reg query KEY /v NAME` in one view ("/reg:32" or "/reg:64"): the line
// that names the value, or "" where it is not there.
std::string Query(const std::string& key, const std::string& name, const char* view) {
  CommandResult found = RunWine({"reg", "query", key, "/v", name, view});
  if (found.status != 0) return "";
  size_t at = found.output.find(name + "    REG_");
  if (at == std::string::npos) return "";
  return found.output.substr(at, found.output.find_first_of("\r\n", at) - at);
}
bool KeyExists(const std::string& key, const char* view) {
  return RunWine({"reg", "query", key, view}).status == 0;
}

// A test's own keys, gone from both views.
void ClearKeys() {
  for (const char* view : {"/reg:32", "/reg:64"}) RunWine({"reg", "delete", Root, "/f", view});
}

TEST(Registry, AValueGoesToTheSystemsOwnViewUnlessVIEWSaysOtherwise) {
  ClearKeys();
  WineCase c(CaseName());
  c.InstallUpdater();
  c.WriteScript(
      "[UPDATER]\nNAME=T\nPROC=own,v32,v64\n"
      "[own]\nMODE=REGISTRY\nKEY=HKLM\\Software\\UpdaterE2E\\Views\nNAME=Own\nDATA=Vendor, Inc.\n"
      "[v32]\nMODE=REGISTRY\nKEY=HKLM\\Software\\UpdaterE2E\\Views\nNAME=V32\nVIEW=32\n"
      "TYPE=DWORD\nDATA=0x2A\n"
      "[v64]\nMODE=REGISTRY\nKEY=HKLM\\Software\\UpdaterE2E\\Views\nNAME=V64\nVIEW=64\n"
      "DATA=\"\"C:\\Program Files\\x.exe\"\"\n");
  RunResult r = c.Run();
  EXPECT_TRUE(r.boxes.empty()) << r;
  const std::string key = std::string(Root) + "\\Views";
  EXPECT_EQ(Query(key, "Own", "/reg:64"), "Own    REG_SZ    Vendor, Inc.");
  EXPECT_EQ(Query(key, "Own", "/reg:32"), "");
  EXPECT_EQ(Query(key, "V32", "/reg:32"), "V32    REG_DWORD    0x2a");
  EXPECT_EQ(Query(key, "V32", "/reg:64"), "");
  EXPECT_EQ(Query(key, "V64", "/reg:64"), "V64    REG_SZ    \"C:\\Program Files\\x.exe\"");
  ClearKeys();
}

// A failed run puts back a changed value and a deleted one, and removes a
// new one with the keys made for it.
TEST(Registry, AFailedRunPutsTheRegistryBack) {
  ClearKeys();
  const std::string key = std::string(Root) + "\\Undo";
  ASSERT_EQ(RegAdd({key, "/v", "Changed", "/d", "old", "/reg:64"}).status, 0);
  ASSERT_EQ(RegAdd({key, "/v", "Deleted", "/d", "kept", "/reg:64"}).status, 0);
  WineCase c(CaseName());
  c.InstallUpdater();
  c.WriteScript(
      "[UPDATER]\nNAME=T\nROLLBACK=1\nLOG=<Src>\\run.log\nPROC=change,add,drop,fail\n"
      "[change]\nMODE=REGISTRY\nKEY=HKLM\\Software\\UpdaterE2E\\Undo\nNAME=Changed\nDATA=new\n"
      "[add]\nMODE=REGISTRY\nKEY=HKLM\\Software\\UpdaterE2E\\Undo\\New\\Deep\nNAME=Fresh\n"
      "TYPE=QWORD\nDATA=1\n"
      "[drop]\nMODE=REGISTRY\nKEY=HKLM\\Software\\UpdaterE2E\\Undo\nNAME=Deleted\nACTION=DELETE\n"
      "[fail]\nMODE=DELETE\nFILE=<Src>\\missing.txt\n");
  RunResult r = c.Run();
  ASSERT_EQ(r.boxes.size(), 1u) << r;
  EXPECT_EQ(r.boxes[0].text, Report(10, c.WinPath("missing.txt"))) << r;
  EXPECT_EQ(Query(key, "Changed", "/reg:64"), "Changed    REG_SZ    old");
  EXPECT_EQ(Query(key, "Deleted", "/reg:64"), "Deleted    REG_SZ    kept");
  EXPECT_FALSE(KeyExists(key + "\\New", "/reg:64"));
  EXPECT_NE(c.ReadFile("run.log").find("set to REG_QWORD 1 (0x0000000000000001)"), std::string::npos)
      << c.ReadFile("run.log");
  ClearKeys();
}

TEST(Registry, RegValueChoosesASwitchBranch) {
  ClearKeys();
  ASSERT_EQ(RegAdd({std::string(Root) + "\\Test", "/v", "Version", "/d", "2.0", "/reg:64"}).status,
            0);
  WineCase c(CaseName());
  c.InstallUpdater();
  const std::string box = "MODE=MSGBOX\nFLAG=\nTYPE=INFORMATION\nISABORT=0,0\nTEXT=";
  c.WriteScript("[UPDATER]\nNAME=T\nPROC=current,old,branch,branchold\n"
                "[current]\nMODE=REGVALUE\nKEY=HKLM\\Software\\UpdaterE2E\\Test\nNAME=version\n"
                "DATA=2.0\n"
                "[old]\nMODE=REGVALUE\nKEY=HKLM\\Software\\UpdaterE2E\\Test\nNAME=Version\n"
                "DATA=1.0\n"
                "[branch]\nMODE=SWITCH\nPROC=current\n1=yes\n0=no\n"
                "[branchold]\nMODE=SWITCH\nPROC=old\n1=yes\n0=no\n"
                "[yes]\n" + box + "yes\n[no]\n" + box + "no\n");
  RunResult r = c.Run();
  EXPECT_EQ(Texts(r), (std::vector<std::string>{"yes", "no"})) << r;
  ClearKeys();
}

}  // namespace
}  // namespace e2e
