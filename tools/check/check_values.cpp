// Values that the updater takes without a word but that are almost always
// a slip, by the form each kind gives its keys; the run keys, DEFINE and
// the layout of the file.
#include "checker.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <set>

#include "app/run_record.h"
#include "app/updater.h"
#include "base/characters.h"
#include "base/report.h"
#include "os/ui.h"
#include "procs/comma_lists.h"
#include "procs/proc_list.h"
#include "script/script_file.h"
#include "symbols/symbol_table.h"

namespace check {

bool WrittenAsHex(const TextString& item) {
  const char* text = item.Text();
  if (text[0] != '0' || text[1] != 'x' || !text[2]) return false;
  for (const char* c = text + 2; *c; ++c)
    if (!isxdigit(static_cast<unsigned char>(*c))) return false;
  return true;
}

// The items of a comma list as the kinds take them, trimmed of blanks.
std::vector<std::string> ItemsOf(const std::string& value) {
  TextString list(value.c_str());
  std::vector<std::string> items;
  for (int32_t i = 0; i < list.ItemCount(","); ++i) items.push_back(ListItem(list, i).Text());
  return items;
}

// An empty path in a report comes from an empty item of a list.
bool HasEmptyItem(const std::string& value) {
  for (const std::string& item : ItemsOf(value))
    if (item.empty()) return true;
  return false;
}

// A companion list longer than the kind's leading list has items that are
// never used. The kind's description names its leading list and companions.
void Checker::CheckCompanionLists(const PROC_INFO* record, const ProcKind& kind) {
  std::string leading;
  for (int k = 0; k < kind.Keys.Count(); ++k)
    if (kind.Keys[k].Role == KeyRole::Leading) leading = kind.Keys[k].Key;
  if (leading.empty()) return;

  std::string section = record->Name.Text();
  int32_t count = 0;
  for (size_t read : ReadsOf(section))
    if (profile::SameName(world_.Reads[read].Key, leading.c_str()))
      count = TextString(expanded_[read].c_str()).ItemCount(",");
  if (count == 0) return;
  auto companion = [&kind](const std::string& key) {
    for (int k = 0; k < kind.Keys.Count(); ++k)
      if (IsCompanion(kind.Keys[k].Role) && profile::SameName(key, kind.Keys[k].Key))
        return true;
    return false;
  };
  for (size_t read : ReadsOf(section)) {
    const std::string& key = world_.Reads[read].Key;
    int32_t items = TextString(expanded_[read].c_str()).ItemCount(",");
    if (items > count && companion(key))
      Warn(Warning::UnusedItems, world_.Reads[read].Entry->Line,
          Shown(key) + " has " + std::to_string(items) + " items but " + leading + " only " +
              std::to_string(count) + ": the items after item " + std::to_string(count) +
              " are never used");
  }
}

// Exit codes are judged only once a program has ended: a wait written for
// less (ISWAIT=0, the kind's number key) waits for the end all the same.
void Checker::WaitsForExitCodes(const std::string& section, const ProcKind& kind, int line) {
  for (int i = 0; i < kind.Keys.Count(); ++i) {
    if (kind.Keys[i].Role != KeyRole::Number) continue;
    std::string wait;
    int waitLine = 0;
    if (!ReadValueOf(section, kind.Keys[i].Key, wait, waitLine)) continue;
    size_t first = wait.find_first_not_of(' ');
    // A value that does not begin with a number leaves the wait for the end.
    if (first == std::string::npos || !strchr("+-0123456789", wait[first]) ||
        TextString(wait.c_str()).ToInt() != 0)
      continue;
    Warn(Warning::WaitExit, waitLine ? waitLine : line,
         std::string(kind.Keys[i].Key) + "=0 beside SUCCESS: the updater waits for each program "
         "to end all the same, to judge its exit code");
  }
}

// Values that the updater takes without a word, but that are almost always
// a slip, by the form the kind gives each key.
void Checker::CheckValueForms(const PROC_INFO* record, const ProcKind& kind) {
  std::string section = record->Name.Text();
  for (int i = 0; i < kind.Keys.Count(); ++i) {
    const KeyDescription& key = kind.Keys[i];
    std::string value;
    int line = 0;
    if (!ReadValueOf(section, key.Key, value, line)) continue;
    switch (key.Form) {
      case ValueForm::Files:
        NoWildcards(value, line, key.Key);
        FullPaths(value, line, key.Key);
        break;
      case ValueForm::Patterns:
        AttributePatterns(value, line, key.Key);
        FullPaths(value, line, key.Key);
        break;
      case ValueForm::FileGroups:
        FolderPatterns(value, line, key.Key);
        FullPaths(value, line, key.Key);
        break;
      case ValueForm::Paths:
        FullPaths(value, line, key.Key);
        break;
      case ValueForm::Programs:
        ProgramPaths(value, line, key.Key);
        break;
      case ValueForm::HexNumbers:
        CheckHexItems(value, line, key.Key, false);
        break;
      case ValueForm::Checksums:  // an empty item asks for a box that shows the checksum
        CheckHexItems(value, line, key.Key, true);
        break;
      case ValueForm::Date:
        DateForm(value, line, key.Key);
        break;
      case ValueForm::WindowStates:
        ShowCommands(value, line, key.Key);
        break;
      case ValueForm::AbortNumbers:
        AbortNumbers(value, line, key.Key);
        break;
      case ValueForm::Condition:
        FlagForm(value, line, key.Key);
        break;
      case ValueForm::ExitCodes:  // a malformed set is the kind's own report
        WaitsForExitCodes(section, kind, line);
        break;
      case ValueForm::Version:  // a malformed one is the kind's own report
      case ValueForm::Text:
      case ValueForm::ProcName:
      case ValueForm::ProcList:
      case ValueForm::Word:
      case ValueForm::Seconds:
      case ValueForm::Digests:      // a malformed or missing item is the kind's own report
      case ValueForm::Publisher:
      case ValueForm::RegistryKey:  // an unknown root is the kind's own report
        break;  // told by the kind's own reports, if at all
      case ValueForm::RegistryData:
        RegistryData(section, kind, value, line, key.Key);
        break;
    }
  }
}

// The expanded value of `key` in `section`, and its line; false when the
// updater did not read it.
bool Checker::ReadValueOf(const std::string& section, const char* key, std::string& value,
                          int& line) const {
  for (size_t read : ReadsOf(section))
    if (profile::SameName(world_.Reads[read].Key, key)) {
      value = expanded_.at(read);
      line = world_.Reads[read].Entry->Line;
      return true;
    }
  return false;
}

// An unattended script's yes/no box takes its answer key, else its default
// button: an author should say which.
void Checker::CheckUnattendedAnswer(const PROC_INFO* record, const ProcKind& kind) {
  if (!TheRun.Unattended() || !(kind.Effects & kind_effect::ShowsBox)) return;
  std::string section = record->Name.Text();
  const KeyDescription* answer = nullptr;
  const KeyDescription* type = nullptr;
  for (int i = 0; i < kind.Keys.Count(); ++i) {
    const KeyDescription& key = kind.Keys[i];
    if (key.Form != ValueForm::Word) continue;
    (key.Role == KeyRole::Optional ? answer : type) = &key;
  }
  std::string value;
  int line = 0;
  if (!answer || !type || world_.Script.FindKey(section.c_str(), answer->Key) ||
      !ReadValueOf(section, type->Key, value, line))
    return;
  // The box type's style, from its word's row: a yes/no box's default
  // button is its answer.
  const char* taken = nullptr;
  TableView<WordValue> types = type->Words.As<WordValue>();
  for (int i = 0; i < types.Count(); ++i)
    if (TextString(value.c_str()).Equals(types[i].Word) &&
        (types[i].Value & os::box::ButtonsMask) == os::box::YesNo)
      taken = (types[i].Value & os::box::DefaultButton2) ? "No" : "Yes";
  if (taken)
    Warn(Warning::UnattendedAnswer, line,
        "the script runs unattended, so this " + Shown(value) + " box is answered " + taken +
            ", its default button: write " + answer->Key + "=" + answer->Words[0] + " or " +
            answer->Key + "=" + answer->Words[1] + " to say which");
}

void Checker::CheckHexItems(const std::string& value, int line, const char* key, bool emptyAsks) {
  for (const std::string& each : ItemsOf(value)) {
    TextString item(each.c_str());
    if (item.Length() == 0 && emptyAsks) continue;
    if (item.Length() > 0 && WrittenAsHex(item)) continue;
    Warn(Warning::HexValue, line,
        std::string(key) + " item " + Quoted(item.Text()) +
            " is not written as \"0x\" and hexadecimal digits: it reads as " + Hex(item.ToHex()));
  }
}

namespace {

// True when `text` is digits only (and not empty).
bool AllDigits(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(),
                                      [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

void Checker::DateForm(const std::string& value, int line, const char* key) {
  TextString date(value.c_str());
  bool parts = date.ItemCount("/") == 3;
  for (int32_t i = 0; parts && i < 3; ++i) parts = AllDigits(date.Item(i, "/").Text());
  if (!parts) {
    Warn(Warning::Date, line,
        std::string(key) + " " + Quoted(value) + " is not year/month/day in digits: it reads as " +
            std::to_string(date.Item(0, "/").ToInt()) + "/" +
            std::to_string(date.Item(1, "/").ToInt()) + "/" +
            std::to_string(date.Item(2, "/").ToInt()));
    return;
  }
  int32_t year = date.Item(0, "/").ToInt();
  int32_t month = date.Item(1, "/").ToInt();
  int32_t day = date.Item(2, "/").ToInt();
  if (year < 1000)
    Warn(Warning::Date, line,
        std::string(key) + " " + Quoted(value) + " reads as the year " + std::to_string(year) +
            ": no file is older than that, so the test never finds an old file "
            "(write the year with four digits)");
  else if (month < 1 || month > 12 || day < 1 || day > 31)
    Warn(Warning::Date, line,
        std::string(key) + " " + Quoted(value) + " is no date: month 1 to 12, day 1 to 31");
}

// DELETE takes no wildcards: the system is asked for a file of that name.
void Checker::NoWildcards(const std::string& value, int line, const char* key) {
  for (const std::string& item : ItemsOf(value)) {
    if (item.find_first_of("*?") != std::string::npos)
      Add("delete-wildcard", line,
          std::string(key) + " item " + Quoted(item) +
              " holds a wildcard: DELETE takes none, so this deletion always fails (" +
              MessageName(MsgDeleteFailed) + "); name each file");
  }
}

// A wildcard names a folder's files only in an item's last part; before it,
// it goes to the system as a name, and fails.
void Checker::FolderPatterns(const std::string& value, int line, const char* key) {
  for (const std::string& item : ItemsOf(value)) {
    const char* last = FindLastCharacter(item.c_str(), '\\');
    std::string folder = last ? item.substr(0, last - item.c_str()) : "";
    if (folder.find_first_of("*?") != std::string::npos)
      Add("copy-wildcard", line,
          std::string(key) + " item " + Quoted(item) +
              " holds a wildcard before its last part: only a last part names a folder's "
              "files, so the updater takes this as a file's name, and the copy always fails (" +
              MessageName(MsgCopyFailed) + ")");
  }
}

// ATTR takes one pattern, "*.*" as the last part; any other wildcard goes to
// the system as a name and fails.
void Checker::AttributePatterns(const std::string& value, int line, const char* key) {
  for (const std::string& item : ItemsOf(value)) {
    if (item.find_first_of("*?") != std::string::npos &&
        !TextString(item.c_str()).Item(-1, "\\").Equals("*.*"))
      Add("attr-wildcard", line,
          std::string(key) + " item " + Quoted(item) +
              " holds a wildcard other than a last part of exactly \"*.*\": the attribute "
              "change always fails (" + MessageName(MsgAttributesFailed) + ")");
  }
}

void Checker::AbortNumbers(const std::string& value, int line, const char* key) {
  const std::vector<std::string> numbers = ItemsOf(value);
  bool form = numbers.size() == 2;
  for (const std::string& item : numbers)
    form = form && AllDigits(item[0] == '-' ? item.substr(1) : item);
  if (form) return;
  // Each answer's item as the box reads it: its leading number, else 0.
  TextString list(value.c_str());
  std::string reads;
  for (int32_t i = 0; i < 2; ++i) {
    int32_t number = list.Item(i, ",").ToInt();
    reads += std::string(i ? ", " : "") + (i ? "No " : "OK/Yes ") +
             (number ? "ends the run" : "goes on");
  }
  Warn(Warning::AbortNumbers, line,
      std::string(key) + " " + Quoted(value) + " is not two numbers \"ok,no\": it reads as " +
          std::to_string(list.Item(0, ",").ToInt()) + "," +
          std::to_string(list.Item(1, ",").ToInt()) + " (" + reads +
          "), a missing or non-number item reading as 0");
}

void Checker::FlagForm(const std::string& value, int line, const char* key) {
  TextString flag(value.c_str());
  if (flag.Length() == 0 || flag.ItemCount(",") >= 2) return;
  Warn(Warning::Flag, line,
      std::string(key) + " " + Quoted(value) +
          " names no result: write \"name,1\" or \"name,0\"; without the number the box is "
          "always shown");
}

namespace {

// A path with a drive or a share, or one that a symbol or an App Paths group
// begins.
bool IsFullPath(const std::string& item) {
  return (item.size() >= 3 && item[1] == ':' && item[2] == '\\') ||
         item.compare(0, 2, "\\\\") == 0 || (!item.empty() && (item[0] == '<' || item[0] == '{'));
}

}  // namespace

// A relative path follows the folder the updater is started in, which a
// deployment tool chooses (often the system folder).
void Checker::FullPaths(const std::string& value, int line, const char* key) {
  for (const std::string& item : ItemsOf(value)) {
    if (item.empty() || IsFullPath(item) || item == "*.*") continue;
    Warn(Warning::RelativePath, line,
        std::string(key) + " item " + Quoted(item) +
            " is a relative path: it follows the folder the updater is started in, not the "
            "script's; begin it with a symbol such as <Src>");
  }
}

// A program's path without a drive or a share is taken from the folder the
// updater is started in: never the search path, nor the script's folder. A
// name without any folder is never started at all, which the kind reports.
void Checker::ProgramPaths(const std::string& value, int line, const char* key) {
  for (const std::string& each : ItemsOf(value)) {
    std::string item = each;
    if (item.size() >= 2 && item.front() == '"' && item.back() == '"')
      item = item.substr(1, item.size() - 2);
    if (item.find('\\') == std::string::npos || IsFullPath(item)) continue;
    Warn(Warning::RelativePath, line,
        std::string(key) + " item " + Quoted(each) +
            " is a relative path: the system looks for the program in the folder the updater "
            "is started in (" + Quoted(item.substr(0, item.rfind('\\'))) +
            " under it), which a deployment tool chooses; begin it with a symbol such as "
            "<Src> or <Sys>");
  }
}

// A registry value's data: none is used by a deletion, and a path with a
// blank loses its quotes to the script's reader unless they are doubled.
void Checker::RegistryData(const std::string& section, const ProcKind& kind,
                           const std::string& value, int line, const char* key) {
  for (int i = 0; i < kind.Keys.Count(); ++i) {
    const KeyDescription& action = kind.Keys[i];
    std::string word;
    int wordLine = 0;
    bool deletes = false;
    for (int w = 0; w < action.Words.Count(); ++w)
      deletes = deletes || TextString(action.Words[w]).Equals("DELETE");
    if (deletes && ReadValueOf(section, action.Key, word, wordLine) &&
        TextString(word.c_str()).Equals("DELETE")) {
      Warn(Warning::DeleteData, line,
           std::string(key) + " is written, but " + action.Key +
               "=DELETE deletes the value: its data is never used",
           wordLine, "the deletion");
      return;
    }
  }
  if (kind.Effects & kind_effect::Tests) return;
  bool path = value.find(":\\") != std::string::npos || value.compare(0, 2, "\\\\") == 0;
  if (path && value.find(' ') != std::string::npos && value[0] != '"')
    Warn(Warning::UnquotedPath, line,
         std::string(key) + " " + Quoted(value) +
             " holds a path with a blank and no quotes: a program that runs it as a command "
             "(an uninstall entry's UninstallString) takes the path to end at the blank. The "
             "script's reader takes off one pair of quotes around a whole value, so write "
             "them doubled: " + key + "=\"\"" + Shown(value) + "\"\"");
}

void Checker::ShowCommands(const std::string& value, int line, const char* key) {
  for (const std::string& item : ItemsOf(value)) {
    if (!item.empty() && !AllDigits(item))
      Warn(Warning::ShowCommand, line,
          std::string(key) + " item " + Quoted(item) +
              " is not a number: it reads as 0, the shell's default window (1 normal, 2 "
              "minimized, 3 maximized)");
  }
}

void Checker::CheckValues() {
  for (const auto& noted : expanded_) {
    const ScriptRead& read = world_.Reads[noted.first];
    int line = read.Entry->Line;
    const std::string& written = read.Entry->Value;
    size_t comment = written.find(';');
    if (comment != std::string::npos && comment > 0 &&
        (written[comment - 1] == ' ' || written[comment - 1] == '\t'))
      Warn(Warning::InlineComment, line,
          "the value holds " + Quoted(written.substr(comment)) +
              ": a value has no comment after it, so that text is part of the value");
    // An error: what is cut off (a list's last items) is silently left out.
    if (read.Cut)
      Add(NameOf(Warning::ValueLength), line,
          "the value is " + std::to_string(read.Entry->Value.size()) +
              " bytes long: the updater reads only its first " +
              std::to_string(read.Served.size()) +
              " bytes (129 Japanese characters take 258), and the rest is left out");
    CheckReferences(TextString(noted.second.c_str()), line);
    CheckOnOff(read, noted.second, line);
  }
  for (const AppPathLookup& lookup : world_.AppPathLookups) {
    int line = 1;
    if (lookup.ReadsBefore > 0) {
      const ScriptRead& read = world_.Reads[lookup.ReadsBefore - 1];
      line = read.Entry ? read.Entry->Line : SectionLine(read.Section, 1);
      // A DEFINE value: the line that names the program.
      if (read.Key.empty())
        for (const profile::Entry* entry : world_.Script.SectionEntries(read.Section.c_str()))
          if (Lower(entry->Value).find(Lower(lookup.Program)) != std::string::npos) {
            line = entry->Line;
            break;
          }
    }
    Warn(Warning::AppPaths, line,
        "the App Paths entry of " + Quoted(lookup.Program) +
            " is looked up on the target machine, which the checker cannot see; where that "
            "machine has none, the group stays in the value as written");
  }
}

// The keys of UPDATER that turn an ability on take a number: a word reads
// as 0, which leaves it off. LANGUAGE takes one of its words: another reads
// as JA.
void Checker::CheckOnOff(const ScriptRead& read, const std::string& value, int line) {
  if (!profile::SameName(read.Section, UpdaterSection)) return;
  if (profile::SameName(read.Key, RunKeys[KeyLanguage].Key)) {
    for (int i = 0; i < LanguageWordCount; ++i)
      if (TextString(value.c_str()).Equals(LanguageWords[i])) return;
    Warn(Warning::Language, line,
         "LANGUAGE=" + Shown(value) +
             " reads as JA: the updater's own texts stay Japanese; write AUTO (English where "
             "the user's language is not Japanese), EN or JA");
    return;
  }
  std::string trimmed = ListItem(TextString(value.c_str()), 0).Text();
  size_t digit = trimmed[0] == '-' || trimmed[0] == '+' ? 1 : 0;
  if (digit < trimmed.size() && isdigit(static_cast<unsigned char>(trimmed[digit]))) {
    if (profile::SameName(read.Key, RunKeys[KeyProgress].Key) &&
        TextString(value.c_str()).ToInt() != 0 &&
        TheRun.Unattended())
      Warn(Warning::ProgressUnattended, line,
           "PROGRESS=" + Shown(value) +
               " shows nothing: an unattended run never has a window, so no one could "
               "press its Cancel");
    return;
  }
  for (int i = 0; i < RunKeyCount; ++i) {
    const RunKey& key = RunKeys[i];
    if (key.Form == RunKeyForm::OnOff && profile::SameName(read.Key, key.Key))
      Warn(Warning::OnOff, line,
           std::string(key.Key) + "=" + Shown(value) + " reads as 0: " + key.Off + "; write " +
               key.Key + "=1 to turn it on, or leave the key out");
  }
}

// The DEFINE lines, matched with the table's entries in order by name.
void Checker::CheckDefines() {
  const ScriptRead* define = nullptr;
  for (const ScriptRead& read : world_.Reads)
    if (read.Key.empty()) define = define ? define : &read;
  if (!define) return;
  std::vector<const profile::Entry*> lines = world_.Script.SectionEntries(define->Section.c_str());
  size_t next = 0;
  std::map<std::string, int> firstLines;
  for (int32_t i = 0; i < SymbolTable.SymbolCount && next < lines.size(); ++i) {
    TextString name;
    TextString value;
    SymbolAt(i, name, value);
    while (next < lines.size() && lines[next]->Key != name.Text()) ++next;
    if (next == lines.size()) break;  // the built-ins, after the script's own
    const profile::Entry& entry = *lines[next++];
    int line = entry.Line;
    CheckReferences(value, line);
    const std::string& written = entry.Written;
    if (written.size() >= 2 && (written.front() == '"' || written.front() == '\'') &&
        written.back() == written.front())
      Warn(Warning::QuotedValue, line,
          "the value of " + Quoted(name.Text()) + " is in quotes, which a symbol keeps: every "
          "value that uses it holds them (" + Quoted(value.Text()) + "); leave them out, a "
          "path with blanks needs none");
    std::string text = name.Text();
    if (text.size() < 2 || text.front() != '<' || text.back() != '>')
      Warn(Warning::SymbolName, line,
          "the symbol " + Quoted(text) +
              " has no angle brackets in its name, so no value can refer to it");
    auto first = firstLines.find(Lower(text));
    if (first != firstLines.end())
      Warn(Warning::SymbolTwice, line,
          Quoted(text) + " is defined before, at line " + std::to_string(first->second) +
              ": that first definition is the one used",
          first->second, "the definition of " + Quoted(text) + " that is used");
    else
      firstLines[Lower(text)] = line;
  }
  if (define->Cut && define->LinesTaken < lines.size())
    Warn(Warning::SectionLength, lines[define->LinesTaken]->Line,
        "the section does not fit the updater's section buffer: this line and the ones "
        "after it are not read");
}

void Checker::CheckLayout() {
  for (int line : world_.Script.StrayLines()) {
    Warn(Warning::StrayLine, line,
         "this key stands before the first section: nothing reads it; move it into its section");
  }

  std::map<std::string, int> sections;
  for (const profile::Section& section : world_.Script.Sections()) {
    std::string name = Lower(section.Name);
    auto first = sections.find(name);
    if (first != sections.end()) {
      Warn(Warning::SectionTwice, section.Line,
          "section [" + Shown(section.Name) + "] is written again (first at line " +
              std::to_string(first->second) + "): only the first is read",
          first->second, "section [" + Shown(section.Name) + "] is first written here");
      continue;
    }
    sections[name] = section.Line;
    if (!reached_.count(name))
      Warn(Warning::Unreached, section.Line,
          "section [" + Shown(section.Name) +
              "] is named by no procedure list that the updater reaches: it never runs");
  }
  // Keys of the sections read key by key; a section read whole (DEFINE)
  // has its own check.
  for (const ScriptRead& each : world_.Reads)
    if (each.Key.empty()) sections.erase(Lower(each.Section));
  for (const auto& section : sections) {
    std::map<std::string, int> keys;
    std::set<std::string> asked;  // the keys the updater read here
    for (const ScriptRead& each : world_.Reads)
      if (profile::SameName(each.Section, section.first.c_str())) asked.insert(Lower(each.Key));
    for (const auto& taken : world_.TakenAs)
      if (taken.first.compare(0, section.first.size() + 1, section.first + "\n") == 0)
        asked.insert(Lower(taken.second));
    // A section the updater read to its end: whatever it did not ask for is
    // never read (a section a missing key stopped was not read to its end).
    bool whole = !asked.empty() && !unfinished_.count(section.first);
    for (const profile::Entry* entry : world_.Script.SectionEntries(section.first.c_str())) {
      if (!entry->HasValue && !asked.empty() && entry->Key[0] != ';')
        Warn(Warning::UnknownKey, entry->Line,
             "this line has no \"=\": nothing reads it (write KEY=VALUE)");
      if (!entry->HasValue || entry->Key.empty() || entry->Key[0] == ';') continue;
      if (whole && !asked.count(Lower(entry->Key))) {
        std::vector<std::string> known(asked.begin(), asked.end());
        std::string near = NearestOf(Lower(entry->Key), known);
        for (char& c : near) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
        Warn(Warning::UnknownKey, entry->Line,
             Shown(entry->Key) + " is no key of this section: nothing reads it" +
                 (near.empty() ? "" : "; did you mean " + near + "?"));
      }
      auto first = keys.find(Lower(entry->Key));
      if (first == keys.end()) keys[Lower(entry->Key)] = entry->Line;
      else
        Warn(Warning::KeyTwice, entry->Line,
            Shown(entry->Key) + " is given before in this section, at line " +
                std::to_string(first->second) + ": only that first one is read",
            first->second, Shown(entry->Key) + " as it is read");
    }
  }
}

}  // namespace check
