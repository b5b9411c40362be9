// Expansion of script values: symbols, App Paths groups and ".." steps.
#include <gtest/gtest.h>

#include <string>

#include "app/updater.h"
#include "script/script_file.h"
#include "fake/fake_os.h"
#include "symbols/expansion.h"
#include "symbols/symbol_table.h"

namespace {

const char* const Script = "C:\\Program\\updater.ini";

void SetAppPath(const char* program, const char* name, const char* value) {
  std::string key = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
  fake::SetRegistryValue(key + program, name, std::string(value) + '\0');
}

class ExpansionTest : public testing::Test {
 protected:
  void SetUp() override {
    fake::Reset();
    ScriptPath.Assign(Script);
    ModulePath.Assign("C:\\Program\\updater.exe");
    // <A> is expanded before <B>, so it keeps "<Win>\a" as its value.
    fake::SetFile(Script, "[DEFINE]\n<A>=<B>\\a\n<B>=<Win>\n<Prog>=x.exe\n"
                          "<Editor>={?App\\x.exe}\n<Later>={?App\\late.exe}\n");
    SetAppPath("x.exe", "", "C:\\Apps\\x.exe");
    SetAppPath("x.exe", "Path", "C:\\Apps\\X;");
    SetAppPath("y.exe", "PATH", "C:\\Apps\\Y\\;");
    SetAppPath("z.exe", "PATH", "C:\\Z;;\\\\");
    LoadScriptSymbols();
  }
  static void Expect(const char* before, const char* after) {
    TextString value(before);
    ExpandValue(value);
    EXPECT_STREQ(value.Text(), after) << before;
  }
};

TEST_F(ExpansionTest, SymbolsWithinTheFixedStepCount) {
  Expect("<Win>\\notepad.exe", "C:\\Windows\\notepad.exe");
  Expect("<win>\\x", "C:\\Windows\\x");
  Expect("<Nothing>\\x", "<Nothing>\\x");
  Expect("<Src>\\a;<Sys>\\b", "C:\\Program\\a;C:\\Windows\\system32\\b");
  // The step spent on <A> leaves what it brought in, or the next group.
  Expect("<A>\\y", "<Win>\\a\\y");
  Expect("<A>\\y\\<Sys>", "C:\\Windows\\a\\y\\<Sys>");
  Expect("<Nothing><Win>", "<Nothing>C:\\Windows");
  Expect("a>b\\<Win>", "a>b\\<Win>");
  Expect("<<Win>>\\<Win", "<<Win>>\\<Win");
}

TEST_F(ExpansionTest, AppPathGroups) {
  Expect("{?App\\x.exe}", "C:\\Apps\\x.exe");
  Expect("{?APP\\X.EXE\\ignored}", "C:\\Apps\\x.exe");
  Expect("{?App\\none.exe};{?App\\x.exe}", "{?App\\none.exe};C:\\Apps\\x.exe");
  Expect("{?AppPath\\x.exe}\\readme.txt", "C:\\Apps\\X\\readme.txt");
  Expect("{?AppPath\\y.exe}", "C:\\Apps\\Y\\");  // "\" goes before ";"
  Expect("{?AppPath\\z.exe}", "C:\\Z");
  Expect("{?AppPath\\none.exe}", "{?AppPath\\none.exe}");
  Expect("{Other\\x.exe}", "{Other\\x.exe}");
  // Symbols come first, inside braces too; a failed lookup is retried.
  Expect("{?App\\<Prog>}", "C:\\Apps\\x.exe");
  Expect("<Editor>", "C:\\Apps\\x.exe");
  SetAppPath("late.exe", "", "C:\\Late.exe");
  Expect("<Later>", "C:\\Late.exe");
}

TEST_F(ExpansionTest, ParentSteps) {
  const char* cases[][2] = {
      {"C:\\Tools\\..\\Data", "C:\\Data"},
      {"C:\\A\\B\\..\\..\\x", "C:\\x"},
      {"C:\\A\\..\\..\\x", "C:\\..\\x"},
      {"C:\\A\\..\\B\\..\\x", "C:\\B\\..\\x"},
      {"C:\\A\\B\\..\\C\\..\\x", "C:\\A\\x"},
      {"C:\\..\\x", "C:\\..\\x"},
      {"C:\\A\\..\\", "C:\\"},
      {"C:\\A\\...\\..x\\.\\y", "C:\\A\\...\\..x\\.\\y"},
      {"C:\\a\\..\\x,C:\\b\\..\\y", "C:\\x,C:\\b\\..\\y"},
      {"D:\\p\\q\\..\\r,E:\\s\\..\\t", "D:\\p\\r,E:\\t"},
      {"<Src>\\..\\x", "C:\\x"},
      // A ".." never takes an item with a comma: that is another path's start.
      {"C:\\keep.txt,D:\\..\\y.txt", "C:\\keep.txt,D:\\..\\y.txt"},
      {"C:\\a,D:\\b\\..\\c", "C:\\a,D:\\c"},
      // ソ (0x83 0x5C) is one item, not an item ending in a lead byte.
      {"C:\\\x83\x5C\\..\\x.txt", "C:\\x.txt"},
  };
  for (const auto& c : cases) Expect(c[0], c[1]);
}

}  // namespace
