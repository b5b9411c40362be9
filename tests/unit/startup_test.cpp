// Start-up, the script reads and the error reports, against the OS double.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/run_record.h"
#include "app/updater.h"
#include "base/files.h"
#include "base/report.h"
#include "fake/fake_os.h"
#include "os/ui.h"
#include "script/script_file.h"

namespace {

const char* const DefaultCaptionUtf8 = "セルベリン アップデータ";
const char* const Program = "C:\\My.Tools\\v1.2\\setup.exe";
const char* const Script = "C:\\My.Tools\\v1.2\\setup.ini";

class StartupTest : public testing::Test {
 protected:
  void SetUp() override {
    fake::Reset();
    fake::SetModulePath(Program);
    Caption.Assign("");
  }
  static std::string Text(int i) { return fake::Boxes().at(i).text; }
  static std::string Title(int i) { return fake::Boxes().at(i).caption; }
};

TEST_F(StartupTest, CaptionComesFromTheFirstWordWithoutQuotes) {
  struct Case {
    const char* commandLine;
    const char* caption;  // null: no caption
  } cases[] = {
      {"", nullptr},
      {"\"\"", nullptr},
      {"\"My Product\" /x", "My Product"},
      {"alpha beta", "alpha"},
      {"\"open to the end", "open to the end"},
      {"\"\"quoted\"\" rest", "quoted"},
  };
  for (const Case& c : cases) {
    TextString caption("before");
    bool found = CaptionFromCommandLine(TextString(c.commandLine), caption);
    EXPECT_EQ(found, c.caption != nullptr) << c.commandLine;
    EXPECT_STREQ(caption.Text(), c.caption ? c.caption : "before") << c.commandLine;
  }
}

// The script's own texts are code page 932, as the system gives them: the
// boxes and the log have them in UTF-8.
TEST_F(StartupTest, ScriptTextsReachBoxesAndTheLogConverted) {
  fake::ConvertAnsiFrom932();
  fake::SetFile(Script,
                "[UPDATER]\nNAME=\x83\x65\x83\x58\x83\x67\nLOG=C:\\run.log\nPROC=m\n"
                "[m]\nMODE=MSGBOX\nFLAG=\nTYPE=INFORMATION\nTEXT=\x93\xFA\x96\x7B\nISABORT=0,0\n");
  EXPECT_EQ(UpdaterMain(""), 0);
  ASSERT_EQ(fake::Boxes().size(), 1u);
  EXPECT_EQ(fake::Boxes()[0].caption, "テスト");
  EXPECT_EQ(fake::Boxes()[0].text, "日本");
  EXPECT_NE(fake::FileContents("C:\\run.log").find("caption \"テスト\" (NAME)"),
            std::string::npos)
      << fake::FileContents("C:\\run.log");
}

TEST_F(StartupTest, ArgumentTextFollowsTheProgramNameAndItsBlanks) {
  const char* cases[][2] = {
      {"updater.exe", ""},
      {"updater.exe  \x83\x5A\x83\x62\x83\x67 2", "\x83\x5A\x83\x62\x83\x67 2"},
      {"\"C:\\My Tools\\updater.exe\"  \"My Product\" /x", "\"My Product\" /x"},
      {"\"C:\\My Tools\\updater.exe\"x", "x"},
      {"\"C:\\open end", ""},
      {"updater.exe\tx", ""},
  };
  for (const auto& c : cases) EXPECT_STREQ(ArgumentTextOf(c[0]), c[1]) << c[0];
  EXPECT_STREQ(ArgumentTextOf(nullptr), "");
}

TEST_F(StartupTest, SwitchesComeOffTheArgumentTextBeforeTheCaption) {
  struct Case {
    const char* text;
    const char* rest;
    bool unattended;
    const char* log;  // null: no /LOG
  } cases[] = {
      {"/UNATTENDED /LOG=C:\\l.txt Cap", "Cap", true, "C:\\l.txt"},
      {" /log=\"C:\\a b\\l.txt\"  \"My App\" /x", "\"My App\" /x", false, "C:\\a b\\l.txt"},
      {"/Unattended", "", true, nullptr},
      {"/unattendedx Cap", "/unattendedx Cap", false, nullptr},
      {"Cap /UNATTENDED", "Cap /UNATTENDED", false, nullptr},
      {"/LOG=\"unclosed Cap", "/LOG=\"unclosed Cap", false, nullptr},
      {"/LOG=\"C:\\l.txt\"x Cap", "/LOG=\"C:\\l.txt\"x Cap", false, nullptr},
  };
  for (const Case& c : cases) {
    RunSwitches switches;
    EXPECT_STREQ(TakeSwitches(c.text, switches), c.rest) << c.text;
    EXPECT_EQ(switches.Unattended, c.unattended) << c.text;
    EXPECT_EQ(switches.LogGiven, c.log != nullptr) << c.text;
    if (c.log) {
      EXPECT_STREQ(switches.LogPath.Text(), c.log) << c.text;
    }
  }
}

// Unattended runs take each box's answer and give an exit code; a log that
// cannot be opened, or is a link, is left out and changes nothing.
TEST_F(StartupTest, UnattendedExitCodesAndALogThatCannotBeOpened) {
  const std::string sections =
      "[q]\nMODE=MSGBOX\nFLAG=\nTYPE=QUESTION\nTEXT=Go?\nISABORT=0,1\n"
      "[d]\nMODE=DELETE\nFILE=C:\\none.txt\n"
      "[e]\nMODE=MSGBOX\nFLAG=\nTYPE=ERROR\nTEXT=Broken\nISABORT=1,1\n"
      "[i]\nMODE=MSGBOX\nFLAG=\nTYPE=INFORMATION\nTEXT=Up to date\nISABORT=1,1\n";
  struct Case {
    const char* keys;
    const char* arguments;
    int exitCode;
    size_t boxes;
  } cases[] = {
      {"PROC=q\n", "", 0, 1},
      {"PROC=q\n", "/UNATTENDED", 0, 0},
      {"PROC=q\nUNATTENDED=1\n", "", 0, 0},
      {"PROC=q,d\nUNATTENDED=1\n", "", 1603, 0},
      // The type of the box whose answer ends the run says what the end means.
      {"PROC=e\nUNATTENDED=1\n", "", 1603, 0},
      {"PROC=e\n", "", 0, 1},
      {"PROC=i,d\nUNATTENDED=1\n", "", 0, 0},
      {"PROC=q,d\nLOG=C:\\nowhere\\x.log\n", "", 0, 2},
      {"PROC=q,d\nLOG=C:\\My.Tools\\link.log\n", "", 0, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.keys) + c.arguments);
    fake::Reset();
    fake::SetModulePath(Program);
    fake::SetFile("C:\\My.Tools\\link.log", "someone's");
    fake::MarkAsLink("C:\\My.Tools\\link.log");
    fake::SetFile(Script, std::string("[UPDATER]\nNAME=N\n") + c.keys + sections);
    std::string files = fake::FileList();
    EXPECT_EQ(UpdaterMain(c.arguments), c.exitCode);
    EXPECT_EQ(fake::Boxes().size(), c.boxes);
    EXPECT_EQ(fake::FileList(), files);
    EXPECT_EQ(fake::FileContents("C:\\My.Tools\\link.log"), "someone's");
  }
  // Where no one can see the boxes, the run answers them itself and says why.
  for (int seen : {1, 2}) {
    fake::Reset();
    fake::SetModulePath(Program);
    fake::SetBoxesSeen(seen);
    fake::SetFile(Script, "[UPDATER]\nNAME=N\nPROC=q,d\nLOG=C:\\run.log\n" + sections);
    EXPECT_EQ(UpdaterMain(""), 1603);
    EXPECT_TRUE(fake::Boxes().empty());
    EXPECT_NE(fake::FileContents("C:\\run.log")
                  .find(seen == 1 ? "unattended (no one can see its boxes: its window station is "
                                    "not interactive)"
                                  : "unattended (no one can see its boxes: it runs in session 0"),
              std::string::npos)
        << fake::FileContents("C:\\run.log");
  }
  fake::SetBoxesSeen(0);
  // An answer that ends the run: 0 when the user gave it, 1602 unattended.
  fake::SetFile(Script, "[UPDATER]\nNAME=N\nPROC=q\n" + sections.substr(0, sections.find("[d]")) +
                            "ANSWER=NO\n");
  fake::QueueAnswer(os::box::IdNo);
  EXPECT_EQ(UpdaterMain(""), 0);
  EXPECT_EQ(UpdaterMain("/UNATTENDED"), 1602);
}

// The log says why the system refused an action, in its words; and the
// caption of the boxes where NAME changes it.
TEST_F(StartupTest, TheLogGivesTheSystemsReasonOfAFailedAction) {
  const std::string log = "C:\\My.Tools\\v1.2\\run.log";
  struct {
    const char* sections;
    const char* line;
  } rows[] = {
      {"[p]\nMODE=COPY\nFROM=C:\\none.txt\nTO=C:\\a.txt\n",
       "\"C:\\a.txt\" (system error 2: The system cannot find the file specified.)"},
      {"[p]\nMODE=COPY\nFROM=C:\\in.txt\nTO=C:\\held.txt\n",
       "\"C:\\held.txt\" (system error 5: Access is denied.)"},
      {"[p]\nMODE=LINK\nSRC=C:\\in.txt\nPARAM=\nSHOWCMD=1\nDST=C:\\none\\in\n",
       "shortcut not saved \"C:\\none\\in.LNK\" to \"C:\\in.txt\" (system error 3: The system "
       "cannot find the path specified.)"},
      {"[p]\nMODE=DATE\nFILE=C:\\held.txt\nDATE=2000/1/1\n",
       "could not read \"C:\\held.txt\" (system error 32: The process cannot access the file "
       "because it is being used by another process.)"},
      {"[p]\nMODE=CRC\nFILE=C:\\empty.txt\nTYPE=\nCRC=1\n",
       "could not read \"C:\\empty.txt\" (system error 38: Reached the end of the file.)"},
      {"[p]\nMODE=OSVER\n", "caption \"N\" (NAME): the title of every box from here on"},
  };
  for (const auto& row : rows) {
    fake::Reset();
    fake::SetModulePath(Program);
    fake::SetFile("C:\\in.txt", "in");
    fake::SetFile("C:\\held.txt", "held");
    fake::LockFile("C:\\held.txt");
    fake::SetFile("C:\\empty.txt", "");
    fake::SetFile(Script, "[UPDATER]\nNAME=N\nPROC=p\nLOG=" + log + "\n" + row.sections);
    UpdaterMain("");
    EXPECT_NE(fake::FileContents(log).find(row.line), std::string::npos)
        << row.line << "\n" << fake::FileContents(log);
  }
}

// PROGRESS=1: a window that says each step, moves the run's bar and owns
// the boxes; a Cancel, once confirmed, ends the run between two copies (a
// run that can be undone is undone). Never a window unattended.
TEST_F(StartupTest, TheProgressWindowSaysEachStepAndCancelEndsTheRunBetweenFiles) {
  const std::string log = "C:\\My.Tools\\v1.2\\run.log";
  struct {
    const char* keys;
    size_t cancelAfter;
    int answer;
    int opened;
    const char* copied;  // the files the run left in C:\x
    const char* box;     // the text of the question, or ""
  } rows[] = {
      {"", std::string::npos, 0, 1, "C:\\x\\a.txt\nC:\\x\\b.txt\n", ""},
      {"", 1, os::box::IdYes, 1, "C:\\x\\a.txt\n", "ここまでの変更は元に戻しません"},
      {"ROLLBACK=1\n", 1, os::box::IdYes, 1, "", "ここまでの変更を元に戻します"},
      {"", 1, os::box::IdNo, 1, "C:\\x\\a.txt\nC:\\x\\b.txt\n", "元に戻しません"},
      {"UNATTENDED=1\n", 1, 0, 0, "C:\\x\\a.txt\nC:\\x\\b.txt\n", ""},
      {"LANGUAGE=EN\n", std::string::npos, 0, 1, "C:\\x\\a.txt\nC:\\x\\b.txt\n", ""},
      {"LANGUAGE=EN\n", 1, os::box::IdYes, 1, "C:\\x\\a.txt\n",
       "Cancel the update?\n\nThe changes made so far will not be undone."},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.keys) + std::to_string(row.answer));
    fake::Reset();
    fake::SetModulePath(Program);
    fake::SetFile("C:\\a.txt", "aaa");
    fake::SetFile("C:\\b.txt", "b");
    fake::MakeDir("C:\\x");
    fake::SetFile(Script, std::string("[UPDATER]\nNAME=N\nPROGRESS=1\nLOG=") + log + "\n" +
                              row.keys +
                              "PROC=c,s\n[c]\nMODE=COPY\nFROM=C:\\a.txt,C:\\b.txt\n"
                              "TO=C:\\x\\a.txt,C:\\x\\b.txt\n"
                              "[s]\nMODE=CRC\nFILE=C:\\a.txt\nTYPE=\nCRC=0x0\n");
    fake::PressCancelAfter(row.cancelAfter);
    if (row.answer) fake::QueueAnswer(row.answer);
    EXPECT_EQ(UpdaterMain(""), 0);
    const fake::Progress& window = fake::ProgressWindow();
    EXPECT_EQ(window.opened, row.opened);
    EXPECT_FALSE(window.open);
    std::string copied;
    for (const char* file : {"C:\\x\\a.txt", "C:\\x\\b.txt"})
      if (fake::FileExists(file)) copied += std::string(file) + "\n";
    EXPECT_EQ(copied, row.copied);
    if (*row.box) {
      ASSERT_EQ(fake::Boxes().size(), 1u);
      EXPECT_NE(fake::Boxes()[0].text.find(row.box), std::string::npos);
      EXPECT_TRUE(fake::Boxes()[0].owned);
      EXPECT_EQ(fake::FileContents(log).find("cancel: the user ended the run") ==
                    std::string::npos,
                row.answer == os::box::IdNo);
    }
    if (row.opened && row.cancelAfter == std::string::npos && !*row.keys) {
      EXPECT_EQ(window.caption, "N");
      EXPECT_EQ(window.cancel, "キャンセル");
      EXPECT_EQ(window.texts, (std::vector<std::string>{
                                  "コピーしています: a.txt", "コピーしています: b.txt",
                                  "確認しています…", "チェックサムを計算しています: a.txt"}));
      EXPECT_EQ(window.done, 2u);
      EXPECT_EQ(window.total, 2u);
      EXPECT_EQ(window.fileBytes, 3u);
    }
    if (row.opened && row.cancelAfter == std::string::npos && *row.keys) {
      EXPECT_EQ(window.cancel, "Cancel");
      EXPECT_EQ(window.texts,
                (std::vector<std::string>{"Copying: a.txt", "Copying: b.txt", "Checking...",
                                          "Computing checksum: a.txt"}));
    }
  }
}

// LANGUAGE: the built-in texts in English where the script asks for it
// (AUTO: where the user's interface language is not Japanese), in the box
// and in the log; a report made before the script is read stays Japanese.
TEST_F(StartupTest, LanguageGivesTheReportsInEnglishWhereTheScriptAsks) {
  const std::string log = "C:\\My.Tools\\v1.2\\run.log";
  const std::string japanese =
      "ファイルのコピーに失敗しました。\n\n転送元：\"C:\\none.txt\"\n転送先：\"C:\\a.txt\"";
  const std::string english =
      "Could not copy the file.\n\nFrom: \"C:\\none.txt\"\nTo: \"C:\\a.txt\"";
  struct {
    const char* key;
    uint16_t language;  // the user's
    bool english;
  } rows[] = {
      {"", 0x0409, false},
      {"LANGUAGE=EN\n", 0x0411, true},
      {"LANGUAGE=ja\n", 0x0409, false},
      {"LANGUAGE=AUTO\n", 0x0411, false},
      {"LANGUAGE=FR\n", 0x0409, false},
      {"LANGUAGE=auto\n", 0x0809, true},  // English (United Kingdom)
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.key);
    fake::Reset();
    fake::SetModulePath(Program);
    fake::SetUiLanguage(row.language);
    fake::SetFile(Script, "[UPDATER]\nNAME=N\nLOG=" + log + "\n" + row.key +
                              "PROC=c\n[c]\nMODE=COPY\nFROM=C:\\none.txt\nTO=C:\\a.txt\n");
    EXPECT_EQ(UpdaterMain(""), 0);
    ASSERT_EQ(fake::Boxes().size(), 1u);
    EXPECT_EQ(Text(0), row.english ? english : japanese);
    EXPECT_EQ(Title(0), "N");
    std::string logged = row.english ? english : japanese;
    for (size_t at; (at = logged.find('\n')) != std::string::npos;) logged.replace(at, 1, "\\n");
    EXPECT_NE(fake::FileContents(log).find("error report 8: " + logged), std::string::npos)
        << fake::FileContents(log);
  }
  // After that English run, under an English user.
  fake::RemoveFile(Script);
  EXPECT_EQ(UpdaterMain(""), 0);
  EXPECT_EQ(Text(1), std::string("ファイルが見つかりません。\n\nファイル:：\"") + Script + "\"");
}

TEST_F(StartupTest, AnExistingDirectoryNamedWithATrailingBackslashExists) {
  fake::MakeDir("C:\\d");
  fake::SetFile("C:\\\x83\x5C", "a file named ソ");
  EXPECT_TRUE(FileExists("C:\\d\\"));
  EXPECT_TRUE(FileExists("C:\\"));
  EXPECT_FALSE(FileExists("C:\\none\\"));
  EXPECT_TRUE(FileExists("C:\\\x83\x5C"));  // its last byte is no backslash
}

TEST_F(StartupTest, MissingScriptIsReportedWithItsFullPathUnderTheDefaultCaption) {
  EXPECT_EQ(UpdaterMain(""), 0);
  ASSERT_EQ(fake::Boxes().size(), 1u);
  EXPECT_EQ(Text(0), std::string("ファイルが見つかりません。\n\nファイル:：\"") + Script + "\"");
  EXPECT_EQ(Title(0), DefaultCaptionUtf8);
  EXPECT_EQ(fake::Boxes()[0].style, os::box::IconError);
}

TEST_F(StartupTest, ScriptPathReplacesOnlyTheTextAfterTheLastDot) {
  fake::SetFile(Script, "[UPDATER]\nNAME=Demo\nPROC=a\n");
  ASSERT_TRUE(InitUpdater("\"My Product\""));
  EXPECT_STREQ(ScriptPath.Text(), Script);
  EXPECT_STREQ(ModulePath.Text(), Program);
  EXPECT_STREQ(Caption.Text(), "Demo");
  EXPECT_TRUE(fake::Boxes().empty());

  // A name without an extension: the dot of a folder is left alone.
  fake::SetModulePath("C:\\pkg.v2\\updater");
  fake::SetFile("C:\\pkg.v2\\updater.ini", "[UPDATER]\nNAME=Beside\nPROC=a\n");
  ASSERT_TRUE(InitUpdater(""));
  EXPECT_STREQ(ScriptPath.Text(), "C:\\pkg.v2\\updater.ini");
}

TEST_F(StartupTest, AProgramPathTooLongForItsAreaNamesNoScript) {
  // Cut at 260 bytes (without a zero, as the oldest systems leave it), the
  // path's last dot is a folder's: a planted pkg.ini must not be read.
  std::string folder = "C:\\Users\\Public\\pkg.v2\\" + std::string(250, 'x');
  fake::SetModulePath(folder + "\\updater.exe");
  fake::SetFile(folder + "\\updater.ini", "[UPDATER]\nNAME=Real\nPROC=a\n");
  fake::SetFile("C:\\Users\\Public\\pkg.ini", "[UPDATER]\nNAME=Planted\nPROC=a\n");
  EXPECT_FALSE(InitUpdater(""));
  ASSERT_EQ(fake::Boxes().size(), 1u);
  // Message 1 names the path as far as it could be read.
  EXPECT_EQ(Text(0), "ファイルが見つかりません。\n\nファイル:：\"" +
                         (folder + "\\updater.exe").substr(0, 259) + "\"");
  EXPECT_EQ(Title(0), DefaultCaptionUtf8);
}

TEST_F(StartupTest, MissingUpdaterKeysStopStartUpUnderTheEarlierCaption) {
  fake::SetFile(Script, "[UPDATER]\nPROC=a\n");
  EXPECT_FALSE(InitUpdater("First word"));
  fake::SetFile(Script, "[UPDATER]\nNAME=Named\nPROC=no_data\n");
  EXPECT_FALSE(InitUpdater(""));
  ASSERT_EQ(fake::Boxes().size(), 2u);
  EXPECT_EQ(Text(0), "設定ファイルのフォーマットが正しくありません。\n\n"
                     "セクション：\"UPDATER\"\nパラメータ：\"NAME\"");
  EXPECT_EQ(Title(0), "First");
  EXPECT_EQ(Text(1), "設定ファイルのフォーマットが正しくありません。\n\n"
                     "セクション：\"UPDATER\"\nパラメータ：\"PROC\"");
  EXPECT_EQ(Title(1), DefaultCaptionUtf8);
}

TEST_F(StartupTest, EmptyNameKeepsTheCaptionAndEmptyProcIsReportedUnderIt) {
  fake::SetFile(Script, "[UPDATER]\nNAME=\nPROC=\n");
  EXPECT_EQ(UpdaterMain("Setup"), 0);
  ASSERT_EQ(fake::Boxes().size(), 1u);
  EXPECT_EQ(Text(0), "設定パラメータのアイテム数が正しくありません。\n\n"
                     "セクション：\"UPDATER\"\nパラメータ：\"PROC\"");
  EXPECT_EQ(Title(0), "Setup");
}

class ScriptReadTest : public StartupTest {
 protected:
  void SetUp() override {
    StartupTest::SetUp();
    ScriptPath.Assign(Script);
  }
};

TEST_F(ScriptReadTest, ValuesAreCutAndNoDataReadsAsMissing) {
  std::string longValue(300, 'v');
  fake::SetFile(Script, "[S]\nLONG=" + longValue + "\nEMPTY=\nGONE=No_Data\n");
  TextString text("untouched");
  EXPECT_TRUE(ReadString(Script, "s", "long", text));
  EXPECT_EQ(std::string(text.Text()), longValue.substr(0, 258));
  EXPECT_TRUE(ReadString(Script, "S", "EMPTY", text));
  EXPECT_STREQ(text.Text(), "");
  text.Assign("untouched");
  EXPECT_FALSE(ReadString(Script, "S", "GONE", text));
  EXPECT_FALSE(ReadString(Script, "S", "ABSENT", text));
  EXPECT_FALSE(ReadString(Script, "NOSECTION", "EMPTY", text));
  EXPECT_STREQ(text.Text(), "untouched");
}

TEST_F(ScriptReadTest, NumbersAreStoredOnlyWhenTheValueBeginsWithOne) {
  fake::SetFile(Script, "[S]\nA=12abc\nB=abc\nC= -7\nD=\n");
  int32_t number = 99;
  EXPECT_TRUE(ReadInt(Script, "S", "A", number));
  EXPECT_EQ(number, 12);
  EXPECT_TRUE(ReadInt(Script, "S", "B", number));
  EXPECT_EQ(number, 12);
  EXPECT_TRUE(ReadInt(Script, "S", "C", number));
  EXPECT_EQ(number, -7);
  EXPECT_TRUE(ReadNumber("S", "D", number));
  EXPECT_EQ(number, -7);
  EXPECT_FALSE(ReadNumber("S", "E", number));
  ASSERT_EQ(fake::Boxes().size(), 1u);
  EXPECT_EQ(Text(0), "設定ファイルのフォーマットが正しくありません。\n\n"
                     "セクション：\"S\"\nパラメータ：\"E\"");
}

TEST_F(ScriptReadTest, SectionsSkipCommentsAndAppendAfterExistingText) {
  fake::SetFile(Script, "[DEFINE]\n<A>=1\n;note\n<B>=2\n[C]\n;only\n");
  TextString text;
  EXPECT_EQ(ReadSection(Script, "DEFINE", text), 2);
  EXPECT_STREQ(text.Text(), "<A>=1\n<B>=2");
  EXPECT_EQ(ReadSection(Script, "DEFINE", text), 2);
  EXPECT_STREQ(text.Text(), "<A>=1\n<B>=2\n<A>=1\n<B>=2");
  TextString none("kept");
  EXPECT_EQ(ReadSection(Script, "C", none), 0);
  EXPECT_EQ(ReadSection(Script, "MISSING", none), 0);
  EXPECT_STREQ(none.Text(), "kept");
}

// A DEFINE section of `count` lines of 40 bytes with their zeros.
std::string DefineOf40ByteLines(int count) {
  std::string define = "[DEFINE]\n";
  for (int i = 0; i < count; ++i) {
    char line[64];
    snprintf(line, sizeof line, "<S%04d>=C:\\dir\\%024d\n", i, i);
    define += line;
  }
  return define;
}

// The last line a section read took.
std::string LastLine(const TextString& text) {
  std::string lines = text.Text();
  return lines.substr(lines.rfind('\n') + 1);
}

TEST_F(ScriptReadTest, ALineCutByTheSectionAreaIsNotTaken) {
  // The area of 32,767 bytes ends inside line 819.
  fake::SetFile(Script, DefineOf40ByteLines(1000));
  TextString text;
  EXPECT_EQ(ReadSection(Script, "DEFINE", text), 32765 / 40);
  EXPECT_EQ(LastLine(text).size(), 39u) << LastLine(text);  // whole, not a fragment
}

TEST_F(ScriptReadTest, LinesThatFillTheAreaExactlyAreAllTaken) {
  // 818 lines of 40 bytes and one of 45: 32,765 bytes with their zeros,
  // which the platform reports as it reports a cut section.
  fake::SetFile(Script, DefineOf40ByteLines(818) + "<Last>=" + std::string(37, 'v') + "\n");
  TextString text;
  EXPECT_EQ(ReadSection(Script, "DEFINE", text), 819);
  EXPECT_EQ(LastLine(text), "<Last>=" + std::string(37, 'v'));
}

TEST_F(StartupTest, ReportsInsertArgumentsOnlyThroughPlaceholders) {
  Caption.Assign("Title");
  ShowError(MsgDeleteFailed, "C:\\100%s%n%x.txt");
  ShowError(MsgAttributesFailed, "C:\\a", 32u);
  ShowError(MsgBadProcCount);
  ASSERT_EQ(fake::Boxes().size(), 3u);
  EXPECT_EQ(Text(0), "ファイルの削除に失敗しました。\n\nファイル：\"C:\\100%s%n%x.txt\"");
  EXPECT_EQ(Text(1), "ファイル属性の変更に失敗しました。\n\nファイル：\"C:\\a\"\n属性：0x00000020");
  EXPECT_EQ(Text(2), "プロシージャ数が正しくありません。");
  EXPECT_EQ(Title(2), "Title");
}

}  // namespace
