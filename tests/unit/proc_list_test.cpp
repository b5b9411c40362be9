// Procedure lists, the runner and MSGBOX, against the OS double.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "app/updater.h"
#include "base/report.h"
#include "fake/fake_os.h"
#include "os/ui.h"
#include "procs/proc_list.h"
#include "symbols/symbol_table.h"
#include "script/script_file.h"
#include "script_run.h"

namespace {

class ProcListTest : public ScriptRunTest {
 protected:
  void TearDown() override {
    ScriptRunTest::TearDown();
    EXPECT_EQ(ProcListArray.Lists.Size, 0);
  }
  static void UseScript(const std::string& text) { fake::SetFile(Script, text); }
  static std::string Texts() { return Boxes(); }
  static std::string Info(const char* name, const char* text, const char* flag = "") {
    return std::string("[") + name + "]\nMODE=MsgBox\nFLAG=" + flag +
           "\nTYPE=INFORMATION\nTEXT=" + text + "\nISABORT=0,0\n";
  }
};

TEST_F(ProcListTest, ListsAreTrimmedAndBuiltWholeBeforeAnythingRuns) {
  UseScript(Info("a", "A") + Info("b", "B"));
  ProcList list = BuildProcList(TextString(" a , b,a "), 3);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(TopProcList(), list);
  EXPECT_STREQ(list[0]->Name.Text(), "a");
  EXPECT_STREQ(list[1]->Name.Text(), "b");
  EXPECT_EQ(list[3], nullptr);
  EXPECT_EQ(FindProc(list, "A"), list[0]);  // the first of two records named a
  EXPECT_TRUE(fake::Boxes().empty());
  EXPECT_TRUE(RunProcList(list));
  EXPECT_EQ(Texts(), "A|B|A|");
  EXPECT_EQ(FreeProcList(list), 0);
}

TEST_F(ProcListTest, BuildingFailuresAreReportedAndLeaveTheStackAsItWas) {
  struct Case {
    const char* list;
    int32_t count;
    const char* report;
  } cases[] = {
      {"a,a,bad", 3, "シンボルが正しくありません。\n\nシンボル：\"Format\""},
      {"a,,a", 3, "設定ファイルのフォーマットが正しくありません。\n\nセクション：\"\"\nパラメータ：\"MODE\""},
      {"nokey", 1, "設定ファイルのフォーマットが正しくありません。\n\nセクション：\"nokey\"\nパラメータ：\"TEXT\""},
      {"", 0, "プロシージャ数が正しくありません。"},
  };
  for (const Case& c : cases) {
    fake::Reset();
    UseScript(Info("a", "A") + "[bad]\nMODE=Format\n[nokey]\nMODE=msgbox\nFLAG=\nTYPE=ERROR\n");
    EXPECT_EQ(BuildProcList(TextString(c.list), c.count), nullptr) << c.list;
    ASSERT_EQ(fake::Boxes().size(), 1u) << c.list;
    EXPECT_EQ(fake::Boxes()[0].text, c.report);
    EXPECT_EQ(ProcListArray.Count, 0);
  }
}

TEST_F(ProcListTest, FindProcSeesOnlyTheListItIsGiven) {
  UseScript(Info("outer", "O") + Info("inner", "I"));
  ProcList outer = BuildProcList(TextString("outer"), 1);
  ProcList inner = BuildProcList(TextString("inner"), 1);
  ASSERT_TRUE(outer && inner);
  EXPECT_EQ(ProcListArray.Count, 2);
  EXPECT_EQ(TopProcList(), inner);
  EXPECT_EQ(FindProc(TopProcList(), "outer"), nullptr);
  EXPECT_NE(FindProc(TopProcList(), "INNER"), nullptr);
  EXPECT_EQ(FindProc(nullptr, "inner"), nullptr);
  // Freeing a list below the top takes it out and keeps the rest in order.
  EXPECT_EQ(FreeProcList(outer), 1);
  EXPECT_EQ(TopProcList(), inner);
  EXPECT_EQ(FreeProcList(nullptr), 0);
}

TEST_F(ProcListTest, MsgBoxStylesAndAnswers) {
  UseScript(
      "[e]\nMODE=MSGBOX\nFLAG=\nTYPE=error\nTEXT=a%nb%tc%%n%x\nISABORT=0,0\n"
      "[i]\nMODE=MSGBOX\nFLAG=x\nTYPE=Information\nTEXT=i\nISABORT=\n"
      "[w]\nMODE=MSGBOX\nFLAG=\nTYPE=WARNING\nTEXT=w\nISABORT=0,0\n"
      "[q]\nMODE=MSGBOX\nFLAG=\nTYPE=QUESTION\nTEXT=q\nISABORT= 0 , 1\n");
  fake::QueueAnswer(os::box::IdOk);
  fake::QueueAnswer(os::box::IdOk);
  fake::QueueAnswer(os::box::IdYes);
  fake::QueueAnswer(os::box::IdNo);
  ProcList list = BuildProcList(TextString("e,i,w,q"), 4);
  ASSERT_NE(list, nullptr);
  EXPECT_FALSE(RunProcList(list));  // No on the question ends the run, silently
  ASSERT_EQ(fake::Boxes().size(), 4u);
  EXPECT_EQ(fake::Boxes()[0].text, "a\nb\tc%\n%x");
  EXPECT_EQ(fake::Boxes()[0].style, 0x10u);
  EXPECT_EQ(fake::Boxes()[1].style, 0x40u);
  EXPECT_EQ(fake::Boxes()[2].style, 0x134u);
  EXPECT_EQ(fake::Boxes()[3].style, 0x24u);
  EXPECT_EQ(fake::Boxes()[3].caption, "T");
  EXPECT_TRUE(list[0]->Result && list[1]->Result && list[2]->Result);
  EXPECT_FALSE(list[3]->Result);

  // A box that cannot be shown has no answer: its Result stays false and
  // the run goes on, whatever ISABORT says.
  fake::Reset();
  fake::SetModulePath("C:\\Setup\\updater.exe");
  UseScript("[q]\nMODE=MSGBOX\nFLAG=\nTYPE=QUESTION\nTEXT=q\nISABORT=1,1\n");
  fake::FailBoxes();
  ProcList unseen = BuildProcList(TextString("q"), 1);
  ASSERT_NE(unseen, nullptr);
  EXPECT_TRUE(RunProcList(unseen));
  EXPECT_FALSE(unseen[0]->Result);
  EXPECT_TRUE(fake::Boxes().empty());
  FreeProcList(unseen);
}

TEST_F(ProcListTest, MsgBoxConditionsLookOnlyAtTheirOwnList) {
  UseScript(
      "[yes]\nMODE=MSGBOX\nFLAG=\nTYPE=QUESTION\nTEXT=ask\nISABORT=0,0\n"
      "[if1]\nMODE=MSGBOX\nFLAG= yes ,1\nTYPE=INFORMATION\nTEXT=was yes\nISABORT=0,0\n"
      "[if0]\nMODE=MSGBOX\nFLAG=yes, 0\nTYPE=nonsense\nTEXT=was no\nISABORT=0,0\n"
      "[later]\nMODE=MSGBOX\nFLAG=after,1\nTYPE=INFORMATION\nTEXT=never\nISABORT=0,0\n"
      "[after]\nMODE=MSGBOX\nFLAG=\nTYPE=INFORMATION\nTEXT=after\nISABORT=1,0\n"
      "[missing]\nMODE=MSGBOX\nFLAG=ghost,1,9\nTYPE=INFORMATION\nTEXT=x\nISABORT=0,0\n");
  ProcList list = BuildProcList(TextString("yes,if1,if0,later,after"), 5);
  ASSERT_NE(list, nullptr);
  EXPECT_FALSE(RunProcList(list));  // "after" aborts on OK
  EXPECT_EQ(Texts(), "ask|was yes|after|");
  EXPECT_FALSE(list[2]->Result);  // not shown, so no answer

  fake::Reset();
  UseScript("[missing]\nMODE=MSGBOX\nFLAG=ghost,1,9\nTYPE=INFORMATION\nTEXT=x\nISABORT=0,0\n");
  ProcList second = BuildProcList(TextString("missing"), 1);
  EXPECT_FALSE(RunProcList(second));
  EXPECT_EQ(Texts(), "シンボルが正しくありません。\n\nシンボル：\"ghost,1,9\"|");
}

TEST_F(ProcListTest, AFailedRunLeavesItsListForTheEntryToFree) {
  UseScript("[UPDATER]\nNAME=Demo\nPROC=ask,never\n" + Info("never", "N") +
            "[ask]\nMODE=MSGBOX\nFLAG=\nTYPE=QUESTION\nTEXT=go?\nISABORT=0,1\n");
  fake::QueueAnswer(os::box::IdNo);
  EXPECT_EQ(UpdaterMain(""), 0);
  EXPECT_EQ(Texts(), "go?|");
  EXPECT_EQ(fake::Boxes()[0].caption, "Demo");
}


std::string SourceFile(const char* path) {
  std::ifstream in(std::string(UPDATER_SOURCE_DIR) + "/" + path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The keys of the first table after "### WORD" in the script guide, each
// with whether its text calls it optional; a kind without keys has none.
std::vector<std::pair<std::string, bool>> GuideKeys(const std::string& guide, const char* word) {
  std::vector<std::pair<std::string, bool>> keys;
  size_t at = guide.find(std::string("\n### ") + word + "\n");
  if (at == std::string::npos) return keys;
  size_t end = guide.find("\n#", at + 1);
  std::istringstream lines(guide.substr(at, end - at));
  std::string line;
  bool inTable = false;
  while (std::getline(lines, line)) {
    if (line.compare(0, 3, "| `") != 0) {
      if (inTable) break;
      continue;
    }
    inTable = true;
    size_t close = line.find('`', 3);
    keys.emplace_back(line.substr(3, close - 3),
                      line.find("| optional", close) != std::string::npos);
  }
  return keys;
}

// What each kind says of itself is what the script guide and the fuzz
// dictionary say, so that neither falls behind a new kind or key.
TEST(ProcKinds, TheGuideAndTheFuzzDictionaryHoldEveryKindAsItDescribesItself) {
  const std::string guide = SourceFile("docs/scripts.md");
  const std::string dictionary = SourceFile("tests/fuzz/script.dict");
  ASSERT_FALSE(guide.empty());
  ASSERT_FALSE(dictionary.empty());
  auto inDictionary = [&](const std::string& entry) {
    return dictionary.find("\n\"" + entry + "\"\n") != std::string::npos;
  };
  for (int i = 0; i < ProcKindCount; ++i) {
    const ProcKind& kind = *ProcKinds[i];
    SCOPED_TRACE(kind.Word);
    EXPECT_NE(guide.find(std::string("\n### ") + kind.Word + "\n"), std::string::npos);
    EXPECT_TRUE(inDictionary(kind.Word));
    std::vector<std::pair<std::string, bool>> described;
    for (int k = 0; k < kind.Keys.Count(); ++k) {
      const KeyDescription& key = kind.Keys[k];
      described.emplace_back(key.Key, MayBeLeftOut(key.Role));
      EXPECT_TRUE(inDictionary(std::string(key.Key) + "=")) << key.Key;
      for (int w = 0; w < key.Words.Count(); ++w) EXPECT_TRUE(inDictionary(key.Words[w]));
      EXPECT_EQ(key.Form == ValueForm::Word, key.Words.Count() > 0) << key.Key;
    }
    EXPECT_EQ(GuideKeys(guide, kind.Word), described);
  }
}

// The UPDATER section's keys are what the guide's table and the fuzz
// dictionary say, in the guide's order, optional where the guide says so.
TEST(RunKeys, TheGuideAndTheFuzzDictionaryHoldEveryKey) {
  const std::string guide = SourceFile("docs/scripts.md");
  const std::string dictionary = SourceFile("tests/fuzz/script.dict");
  size_t at = guide.find("\n## UPDATER and procedure lists\n");
  ASSERT_NE(at, std::string::npos);
  std::istringstream lines(guide.substr(at, guide.find("\n## ", at + 1) - at));
  std::vector<std::pair<std::string, bool>> told, described;
  for (std::string line; std::getline(lines, line);) {
    if (line.compare(0, 3, "| `") != 0) continue;
    size_t close = line.find('`', 3);
    told.emplace_back(line.substr(3, close - 3), line.find("| optional", close) == std::string::npos);
  }
  for (int i = 0; i < RunKeyCount; ++i) {
    described.emplace_back(RunKeys[i].Key, RunKeys[i].Required);
    EXPECT_NE(dictionary.find("\n\"" + std::string(RunKeys[i].Key) + "=\"\n"), std::string::npos)
        << RunKeys[i].Key;
    EXPECT_EQ(RunKeys[i].Form == RunKeyForm::OnOff, *RunKeys[i].Off != '\0') << RunKeys[i].Key;
  }
  EXPECT_EQ(told, described);
}

// The guide's table of built-in symbols names every one, in the table's
// order, and no other.
TEST(BuiltInSymbols, TheGuideTellsEachInTheTablesOrder) {
  const std::string guide = SourceFile("docs/scripts.md");
  size_t at = guide.find("\nBuilt-in symbols:\n");
  ASSERT_NE(at, std::string::npos);
  std::istringstream lines(guide.substr(at, guide.find("\n\n", guide.find("| `", at)) - at));
  std::vector<std::string> told, described;
  for (std::string line; std::getline(lines, line);)
    if (line.compare(0, 3, "| `") == 0) told.push_back(line.substr(3, line.find('`', 3) - 3));
  for (int i = 0; i < BuiltInSymbolCount; ++i) described.push_back(BuiltInSymbols[i].Name);
  EXPECT_EQ(told, described);
}

// Every report of the catalogue is in the guide's table of messages, with
// its texts, Japanese and English, as the box shows them on one line, and
// the table holds no other; each report's text has a place for each
// argument the catalogue names. Every English text (the progress window's
// too) is ASCII, with the places of its Japanese text in their order.
TEST(Catalogue, TheGuideTellsEveryReportAsTheCatalogueHasIt) {
  struct Message {
    unsigned id;
    bool report;
    std::string arguments, text, english;
  };
  const Message messages[] = {
#define REPORT(id, name, arguments, reason, meaning, text, english) \
  {id, true, arguments, text, english},
#define TEXT(id, name, text, english) {id, false, "", text, english},
#include "res/messages.inc"
#undef REPORT
#undef TEXT
  };
  const std::string guide = SourceFile("docs/scripts.md");
  size_t table = guide.find("\n## Messages\n");
  ASSERT_NE(table, std::string::npos);
  std::istringstream lines(guide.substr(table, guide.find("\n## ", table + 1) - table));
  std::map<unsigned, std::pair<std::string, std::string>> told, expected;
  for (std::string line; std::getline(lines, line);) {
    if (line.size() < 3 || line[0] != '|' || !isdigit(static_cast<unsigned char>(line[2])))
      continue;
    size_t text = line.find(" | ") + 3;
    size_t english = line.find(" | ", text) + 3;
    told[std::stoul(line.substr(2))] = {line.substr(text, english - 3 - text),
                                        line.substr(english, line.find(" | ", english) - english)};
  }
  auto oneLine = [](std::string shown) {
    for (const char* breaks : {"\n\n", "\n"})
      for (size_t at; (at = shown.find(breaks)) != std::string::npos;)
        shown.replace(at, strlen(breaks), " ");
    return shown;
  };
  auto places = [](const std::string& text) {
    std::vector<std::string> found;
    for (size_t at = 0; (at = text.find('%', at)) != std::string::npos; ++at)
      found.push_back(text.substr(at, text.find_first_of("sduX", at) + 1 - at));
    return found;
  };
  for (const Message& message : messages) {
    SCOPED_TRACE(message.id);
    EXPECT_EQ(places(message.english), places(message.text));
    for (char c : message.english) EXPECT_LT(static_cast<unsigned char>(c), 0x80u);
    if (!message.report) continue;
    expected[message.id] = {oneLine(message.text), oneLine(message.english)};
    size_t arguments = message.arguments.empty() ? 0 : 1;
    for (char c : message.arguments) arguments += c == ',';
    EXPECT_EQ(places(message.text).size(), arguments) << message.arguments;
  }
  EXPECT_EQ(told, expected);
}

}  // namespace
