// The symbol table and the system queries behind the built-in symbols.
#include <gtest/gtest.h>

#include <string>

#include "app/updater.h"
#include "fake/fake_os.h"
#include "os/registry.h"
#include "script/script_file.h"
#include "symbols/expansion.h"
#include "symbols/symbol_table.h"
#include "symbols/system_queries.h"

namespace {

const char* const Script = "C:\\Program\\updater.ini";
const char* const AppKey = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\x.exe";

class SymbolsTest : public testing::Test {
 protected:
  void SetUp() override {
    fake::Reset();
    ScriptPath.Assign(Script);
    ModulePath.Assign("C:\\Program\\updater.exe");
  }
  static void Load(const std::string& define) {
    fake::SetFile(Script, "[DEFINE]\n" + define);
    LoadScriptSymbols();
  }
  static std::string Lookup(const char* name) {
    TextString value("(none)");
    LookupSymbol(name, value);
    return value.Text();
  }
};

TEST_F(SymbolsTest, BuiltInsAloneWithoutDefineAndFoundInAnyCase) {
  fake::SetFile(Script, "[UPDATER]\nNAME=x\n");
  LoadScriptSymbols();
  EXPECT_EQ(SymbolTable.SymbolCount, 12);  // the five and the seven usual places
  EXPECT_EQ(Lookup("<win>"), "C:\\Windows");
  EXPECT_EQ(Lookup("<SYS>"), "C:\\Windows\\system32");
  EXPECT_EQ(Lookup("<Src>"), "C:\\Program");
  EXPECT_EQ(Lookup("<Desktop>"), "C:\\Users\\Public\\Desktop");
  EXPECT_EQ(Lookup("<Programs>"), "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs");

  ModulePath.Assign("C:\\setup.exe");
  LoadScriptSymbols();  // loads anew rather than adding to the table
  EXPECT_EQ(SymbolTable.SymbolCount, 12);
  EXPECT_EQ(Lookup("<Src>"), "C:");
}

TEST_F(SymbolsTest, DefineLinesKeepTheirOrderButCannotOverrideBuiltIns) {
  Load("; <C>=comment\n<WIN>=D:\\Other\n<B>=<Win>\\b\n<A>=<B>\\a\n<D>=<E>\\d\n<E>=<Win>\\e\n"
       "<A>=second\n<X>=x=y\nTools=C:\\x\n<Bare>\n<Sys>\n<Src>=old=tail\n");
  EXPECT_EQ(SymbolTable.SymbolCount, 20);  // 11 lines, the 2 built-ins not among them, 7 places
  EXPECT_STREQ(SymbolTable.Entry(0).Text(), "<WIN>=C:\\Windows");
  EXPECT_EQ(Lookup("<A>"), "C:\\Windows\\b\\a");
  EXPECT_EQ(Lookup("<D>"), "<Win>\\e\\d");  // a later entry is seen as written
  EXPECT_EQ(Lookup("<X>"), "x");
  EXPECT_EQ(Lookup("Tools"), "C:\\x");
  EXPECT_EQ(Lookup("<Tools>"), "(none)");
  EXPECT_EQ(Lookup("<Bare>"), "");
  // A bare built-in name must not leave the built-in standing for nothing.
  EXPECT_EQ(Lookup("<Sys>"), "C:\\Windows\\system32");
  EXPECT_STREQ(SymbolTable.Entry(10).Text(), "<Src>=C:\\Program=tail");

  // A line feed from the registry would split its entry in two.
  fake::SetRegistryValue(std::string(AppKey), "", std::string("C:\\a\nb\0", 6));
  Load("<Ed>={?App\\x.exe}\n");
  EXPECT_EQ(Lookup("<Ed>"), "{?App\\x.exe}");
  EXPECT_EQ(SymbolTable.Entry(0).CountOf("\n"), 0);
}

TEST_F(SymbolsTest, FoldersFallBackToTheOtherKindAndElseStayUnresolved) {
  struct Case {
    unsigned platform;
    int missing;   // a folder the shell cannot locate
    int pathless;  // a folder the shell gives no path for
    const char* desktop;
  } cases[] = {
      {1, 0, 0, "C:\\Users\\me\\Desktop"},
      {2, 25, 0, "C:\\Users\\me\\Desktop"},
      {2, 0, 25, "C:\\Users\\me\\Desktop"},
      {1, 16, 0, "C:\\Users\\Public\\Desktop"},
      {2, 25, 16, "<Desktop>"},
  };
  for (const Case& c : cases) {
    fake::Reset();
    fake::SetPlatformId(c.platform);
    if (c.missing) fake::SetFolder(c.missing, false, "x");
    if (c.pathless) fake::SetFolder(c.pathless, true, "");
    Load("<Link>=<Desktop>\\<Desktop>\\App\n");
    EXPECT_EQ(Lookup("<Desktop>"), c.desktop) << c.platform << " " << c.missing;
  }
  // Unresolved, the name expands to itself a bounded number of times.
  EXPECT_EQ(Lookup("<Link>"), "<Desktop>\\<Desktop>\\App");
  TextString value("<Desktop>\\App");
  ExpandValue(value);
  EXPECT_STREQ(value.Text(), "<Desktop>\\App");

  fake::Reset();
  fake::SetFolder(23, false, "");
  fake::SetFolder(2, false, "");
  fake::SetWindowsDirectory("");
  Load("");
  EXPECT_EQ(Lookup("<Programs>"), "<Programs>");
  EXPECT_EQ(Lookup("<Win>"), "<Win>");

  // A folder longer than the area: the system gives the size it needs, and
  // the symbol is left unresolved, never cut short.
  fake::Reset();
  fake::SetWindowsDirectory("C:\\" + std::string(300, 'w'));
  fake::SetSystemDirectory("C:\\" + std::string(259, 's'));
  Load("");
  EXPECT_EQ(Lookup("<Win>"), "<Win>");
  EXPECT_EQ(Lookup("<Sys>"), "<Sys>");
}

// The usual places: the system's answers, the program-files folders as a
// 64-bit system records them for its own programs, a DEFINE of the same
// name kept, and no symbol where the system has no such folder.
TEST_F(SymbolsTest, TheUsualPlacesAreTheSystemsUnlessTheScriptNamesThemFirst) {
  fake::Reset();
  Load("");
  EXPECT_EQ(Lookup("<ProgramFiles>"), "C:\\Program Files");
  EXPECT_EQ(Lookup("<ProgramFiles32>"), "C:\\Program Files (x86)");
  EXPECT_EQ(Lookup("<CommonFiles>"), "C:\\Program Files\\Common Files");
  EXPECT_EQ(Lookup("<ProgramData>"), "C:\\ProgramData");
  EXPECT_EQ(Lookup("<AppData>"), "C:\\Users\\me\\AppData\\Roaming");
  EXPECT_EQ(Lookup("<LocalAppData>"), "C:\\Users\\me\\AppData\\Local");
  EXPECT_EQ(Lookup("<Temp>"), "C:\\Users\\me\\AppData\\Local\\Temp");

  // A 32-bit program on 64-bit Windows: its own folder query gives the
  // 32-bit folders; the system's own are those it records.
  fake::Reset();
  fake::UseRegistrySystem(2);
  fake::SetFolder(0x26, true, "C:\\Program Files (x86)");
  fake::SetFolder(0x2B, true, "C:\\Program Files (x86)\\Common Files");
  fake::SetRegistry("HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir", 1,
                    std::string("C:\\Program Files", 17));
  fake::SetRegistry("HKLM\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion",
                    "ProgramFilesDir", 1, std::string("C:\\Program Files (x86)", 23));
  Load("<AppData>=D:\\Mine\n<Temp>=<Win>\\Temp\n");
  EXPECT_EQ(Lookup("<ProgramFiles>"), "C:\\Program Files");
  EXPECT_EQ(Lookup("<CommonFiles>"), "C:\\Program Files (x86)\\Common Files");  // not recorded
  EXPECT_EQ(Lookup("<AppData>"), "D:\\Mine");
  EXPECT_EQ(Lookup("<Temp>"), "C:\\Windows\\Temp");

  // The oldest systems: no such folder, no symbol.
  fake::Reset();
  fake::SetFolder(0x23, false, "");
  fake::SetFolder(0x2A, false, "");
  fake::SetTempDirectory("");
  Load("");
  EXPECT_EQ(Lookup("<ProgramData>"), "(none)");
  EXPECT_EQ(Lookup("<ProgramFiles32>"), "C:\\Program Files");
  EXPECT_EQ(Lookup("<Temp>"), "(none)");
}

TEST_F(SymbolsTest, RegistryValuesAreTerminatedWithinTheirBuffer) {
  struct Case {
    std::string stored;
    const char* read;
  } cases[] = {
      {std::string("C:\\A\\x.exe\0", 11), "C:\\A\\x.exe"},
      {"C:\\A\\x.exe", "C:\\A\\x.exe"},  // stored without its terminator
      {std::string("ab\0cd", 5), "ab"},
      {std::string("\0", 1), ""},
  };
  for (const Case& c : cases) {
    fake::SetRegistryValue(AppKey, "", c.stored);
    TextString text("before");
    EXPECT_TRUE(LookupAppPath("x.exe", text, true));
    EXPECT_STREQ(text.Text(), c.read);
  }
}

TEST_F(SymbolsTest, MissingKeysAndValuesLeaveTheTextAlone) {
  fake::SetRegistryValue(AppKey, "", std::string("C:\\A\\x.exe\0", 11));
  fake::SetRegistryValue(AppKey, "Empty", "");
  TextString text("before");
  EXPECT_FALSE(LookupAppPath("y.exe", text, true));
  EXPECT_FALSE(LookupAppPath("x.exe", text, false));  // no PATH value
  RegistryKey key(os::RegistryRoot::LocalMachine, AppKey);
  EXPECT_EQ(key.ValueSize(""), 0u);  // not open yet
  EXPECT_FALSE(key.ReadStringValue("", text));
  ASSERT_TRUE(key.Open(os::KeyRead));
  EXPECT_FALSE(key.ReadStringValue("Empty", text));
  EXPECT_STREQ(text.Text(), "before");
  EXPECT_TRUE(key.QueryStringValue("", text));
  EXPECT_STREQ(text.Text(), "C:\\A\\x.exe");
}

}  // namespace

namespace {

TEST_F(SymbolsTest, SymbolsThatDoubleEachOtherStopGrowingAtTheBound) {
  // Each symbol holds the one before it twice: unbounded, the fortieth
  // would need a terabyte.
  std::string define = "<S0>=xxxxxxxxxxxxxxxx\n";
  for (int i = 1; i < 40; ++i)
    define += "<S" + std::to_string(i) + ">=<S" + std::to_string(i - 1) + "><S" +
              std::to_string(i - 1) + ">\n";
  Load(define);
  std::string last = Lookup("<S39>");
  EXPECT_LE(last.size(), 32768u);
  EXPECT_NE(last.find("<S"), std::string::npos);  // what would not fit stays as written
  TextString value("<S12>");  // 16 << 12 = 65,536 bytes
  ExpandValue(value);
  EXPECT_LE(value.Length(), 32768);

  // 400 symbols of 32 KB each (<S11>): the table stops at its own bound,
  // and the values past it stay as written.
  for (int i = 0; i < 400; ++i) define += "<T" + std::to_string(i) + ">=<S11>\n";
  Load(define);
  int32_t total = 0;
  for (int32_t i = 0; i < SymbolTable.SymbolCount; ++i) total += SymbolTable.Entry(i).Length();
  EXPECT_LE(total, SymbolList::MaxLength);
  EXPECT_EQ(Lookup("<T0>").size(), 32768u);
  EXPECT_EQ(Lookup("<T399>"), "<S11>");
}

}  // namespace
