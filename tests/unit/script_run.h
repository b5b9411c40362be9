// A fixture that runs script sections through the list builder and the
// runner against the OS double.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>
#include <string>
#include <utility>

#include "app/updater.h"
#include "script/script_file.h"
#include "base/report.h"
#include "e2e/report_texts.h"
#include "fake/fake_os.h"
#include "procs/proc_list.h"

class ScriptRunTest : public testing::Test {
 protected:
  static constexpr const char* Script = "C:\\Setup\\updater.ini";

  void SetUp() override {
    fake::Reset();
    fake::SetModulePath("C:\\Setup\\updater.exe");
    ScriptPath.Assign(Script);
    Caption.Assign("T");
  }
  void TearDown() override {
    FreeAllProcLists();
    EXPECT_EQ(ProcListArray.Count, 0);
    EXPECT_EQ(fake::OpenHandles(), 0u) << "the run left a handle open";
  }

  // Builds `list` from `sections` and runs it; the list stays for
  // inspection until the fixture frees it.
  bool Run(const std::string& sections, const char* list) {
    FreeAllProcLists();
    fake::SetFile(Script, sections);
    TextString text(list);
    list_ = BuildProcList(text, text.ItemCount(","));
    return list_ && RunProcList(list_);
  }
  bool ResultOf(int index) const { return list_[index]->Result; }

  // Every box shown so far, texts joined by "|".
  static std::string Boxes() {
    std::string all;
    for (const fake::Box& box : fake::Boxes()) all += box.text + "|";
    return all;
  }
  // A report with text arguments as the user reads it (the end-to-end
  // bench's table, not the catalogue), followed by "|".
  static std::string Report(unsigned id, const char* first = "", const char* second = "") {
    return e2e::Report(id, first, second) + "|";
  }

  ProcList list_ = nullptr;
};

// "[name]" and its "KEY=value" lines.
inline std::string Section(const std::string& name,
                           std::initializer_list<std::pair<const char*, std::string>> keys) {
  std::string text = "[" + name + "]\n";
  for (const auto& key : keys) text += std::string(key.first) + "=" + key.second + "\n";
  return text;
}

// A box that shows only when procedure `name` left `result`, so that a run
// shows the Result of a procedure run before it.
inline std::string ResultNote(const std::string& section, const std::string& name,
                              int result) {
  return Section(section, {{"MODE", "MSGBOX"},
                           {"FLAG", name + "," + std::to_string(result)},
                           {"TYPE", "INFORMATION"},
                           {"TEXT", section},
                           {"ISABORT", "0,0"}});
}
