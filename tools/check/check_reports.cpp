// What the checker tells and where: its errors and warnings, the reports of
// the updater with a hint where a near word was meant, and the line each
// belongs to.
#include "checker.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>

#include "base/report.h"
#include "os/console_text.h"
#include "procs/proc_list.h"
#include "symbols/expansion.h"

namespace check {

// Script text (code page 932) as the output's UTF-8. Every piece of a
// diagnostic that comes from the script passes here, once.
std::string Shown(const std::string& text) { return console::Utf8From932(text); }
std::string Quoted(const std::string& text) { return "\"" + Shown(text) + "\""; }

std::string Hex(uint32_t value) {
  char text[16];
  snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
  return text;
}

// A report's text on one line.
std::string OneLine(const std::string& text) {
  std::string line;
  for (char c : text) {
    if (c != '\n') line += c;
    else if (!line.empty() && line.back() != ' ') line += ' ';
  }
  return line;
}

// What each report the checker can meet means, for those who do not read
// the updater's own messages.
const char* Meaning(unsigned id) {
  const char* meaning = "";
  switch (id) {
#define REPORT(id, name, arguments, reason, text_meaning, text, english) \
  case id:                                                              \
    meaning = text_meaning;                                             \
    break;
#define TEXT(id, name, text, english)
#include "res/messages.inc"
#undef REPORT
#undef TEXT
  }
  return *meaning ? meaning : "the updater reports";
}

// "message 10": how the guide names a report.
std::string MessageName(MessageId id) { return "message " + std::to_string(id); }

void Checker::Add(const std::string& name, int line, const std::string& text) {
  problems_.push_back(Diagnostic{line, true, text, name, {}});
}

void Checker::Warn(Warning warning, int line, const std::string& text, int noteLine,
                   const std::string& note) {
  problems_.push_back(Diagnostic{line, false, text, NameOf(warning), {}});
  if (noteLine) problems_.back().Notes.emplace_back(noteLine, note);
}

namespace {

// The number of single-byte edits that turn `a` into `b`, ASCII case aside;
// two neighbours swapped count as one edit ("FORM" for "FROM").
size_t EditDistance(const std::string& a, const std::string& b) {
  auto same = [&](size_t i, size_t j) {
    return tolower(static_cast<unsigned char>(a[i])) == tolower(static_cast<unsigned char>(b[j]));
  };
  std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
  for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (size_t i = 1; i <= a.size(); ++i)
    for (size_t j = 1; j <= b.size(); ++j) {
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1,
                          d[i - 1][j - 1] + (same(i - 1, j - 1) ? 0 : 1)});
      if (i > 1 && j > 1 && same(i - 1, j - 2) && same(i - 2, j - 1))
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  return d[a.size()][b.size()];
}

}  // namespace

// The candidate nearest `word`, where it is near enough to be a slip of it
// (at most two edits, and fewer than half its letters); "" otherwise.
std::string NearestOf(const std::string& word, const std::vector<std::string>& candidates) {
  std::string best;
  size_t bestDistance = 3;
  for (const std::string& candidate : candidates) {
    size_t distance = EditDistance(word, candidate);
    if (distance > 0 && distance < bestDistance && distance * 2 < std::max<size_t>(word.size(), 2)) {
      best = candidate;
      bestDistance = distance;
    }
  }
  return best;
}

// Message 6 has one text for several mistakes: which key held the word,
// and what it may be, says which.
std::string Checker::WordHint(const Report& report, const std::string& section,
                              ProcList list) const {
  if (report.Id != MsgBadSymbol || report.Arguments.empty() || section.empty()) return "";
  const std::string& word = report.Arguments[0];
  // A digest at the position of a folder's files.
  const ProcKind* kind = KindOf(section);
  std::vector<std::string> items[2];
  const char* keys[2] = {};
  for (int k = 0; kind && k < kind->Keys.Count(); ++k) {
    const KeyDescription& about = kind->Keys[k];
    int side = about.Form == ValueForm::FileGroups ? 0 : about.Form == ValueForm::Digests ? 1 : -1;
    std::string value;
    int line = 0;
    if (side >= 0 && ReadValueOf(section, about.Key, value, line)) {
      items[side] = ItemsOf(value);
      keys[side] = about.Key;
    }
  }
  for (size_t i = 0; i < items[0].size() && i < items[1].size(); ++i)
    if (items[1][i] == word && IsFolderItem(items[0][i]))
      return "; " + std::string(keys[1]) + " item " + Quoted(word) + " stands beside " +
             keys[0] + " item " + Quoted(items[0][i]) +
             ", which names a folder's files: a digest pins one file; write \"-\" there, and "
             "name their publisher with SIGNER";
  std::vector<std::string> allowed;
  std::string key;
  for (size_t read : ReadsOf(section))
    if (key.empty() && expanded_.at(read) == word) key = world_.Reads[read].Key;
  const KeyDescription* about = DescriptionOf(section, key);
  if (profile::SameName(key, "MODE")) {
    for (int i = 0; i < ProcKindCount; ++i) allowed.push_back(ProcKinds[i]->Word);
  } else if (about && about->Form == ValueForm::Version) {
    return "; the " + key + " value " + Quoted(word) +
           " is not a version: write one to four numbers of 0 to 65535 separated by \".\" "
           "(2, 2.1, 2.1.0.15)";
  } else if (about && about->Form == ValueForm::Seconds) {
    return "; the " + key + " value " + Quoted(word) + " is not a whole number of seconds from " +
           std::to_string(LeastSeconds) + " to " + std::to_string(MostSeconds);
  } else if (about && about->Form == ValueForm::RegistryKey) {
    return "; the " + key + " value " + Quoted(word) +
           " has no root the updater knows: begin it with HKLM, HKCU, HKCR or HKU (or "
           "HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_CLASSES_ROOT, HKEY_USERS)";
  } else if (about && about->Form == ValueForm::RegistryData) {
    return "; the " + key + " value " + Quoted(word) +
           " is not a number that fits the value's type: write decimal digits or \"0x\" and "
           "hexadecimal digits, up to 4294967295 for a DWORD";
  } else if (about && about->Form == ValueForm::Word) {
    for (int i = 0; i < about->Words.Count(); ++i) allowed.push_back(about->Words[i]);
  } else if (about && (about->Form == ValueForm::Condition || about->Form == ValueForm::ProcName)) {
    std::string names;
    for (PROC_INFO** slot = list; slot && *slot; ++slot)
      names += (names.empty() ? "" : ", ") + std::string((*slot)->Name.Text());
    std::string name = TextString(word.c_str()).Item(0, ",").Text();
    std::vector<std::string> candidates;
    for (PROC_INFO** slot = list; slot && *slot; ++slot) candidates.push_back((*slot)->Name.Text());
    std::string near = NearestOf(name, candidates);
    return "; " + key + " names " + Quoted(name) + ", which is no procedure of this list (" +
           Shown(names) + ")" + (near.empty() ? "" : ": did you mean " + Quoted(near) + "?");
  } else {
    return "";
  }
  std::string words;
  for (const std::string& each : allowed) words += (words.empty() ? "" : ", ") + each;
  std::string near = NearestOf(word, allowed);
  return "; the " + key + " word " + Quoted(word) + " is none of " + words +
         (near.empty() ? "" : ": did you mean " + near + "?");
}

void Checker::AddReport(const Report& report, int line, const std::string& section,
                        ProcList list) {
  std::vector<std::pair<int, std::string>> notes;
  std::string hint = WordHint(report, section, list);
  // A section whose MODE is unknown was never read to its end.
  if (report.Id == MsgBadSymbol && !list && !section.empty()) unfinished_.insert(Lower(section));
  if (!hint.empty()) {
    // The precise text first, the updater's own message after it.
    Add("message-" + std::to_string(report.Id), line,
        hint.substr(2) + " (" + MessageName(static_cast<MessageId>(report.Id)) + ": " + OneLine(report.Text) +
            ")");
    return;
  }
  // A program named without its folder: the updater has no folder to start
  // it in, and never searches the path for it.
  if (report.Id == MsgLaunchFailed && !report.Arguments.empty()) {
    std::string file = report.Arguments[0];
    if (file.size() >= 2 && file.front() == '"' && file.back() == '"')
      file = file.substr(1, file.size() - 2);
    if (!file.empty() && file.find('\\') == std::string::npos)
      hint = "; " + Quoted(file) +
             " has no folder: a program is started only from its own folder, never found on "
             "the search path; write it in full, such as <Sys>\\" + Shown(file);
  }
  // A missing key or section is often one written a little differently.
  if (report.Id == MsgBadScriptFormat && report.Arguments.size() == 2) {
    const std::string& section = report.Arguments[0];
    unfinished_.insert(Lower(section));
    const std::string& key = report.Arguments[1];
    std::vector<std::string> names;
    if (world_.Script.HasSection(section.c_str())) {
      std::map<std::string, int> lines;
      for (const profile::Entry* entry : world_.Script.SectionEntries(section.c_str())) {
        names.push_back(entry->Key);
        lines[entry->Key] = entry->Line;
      }
      std::string near = NearestOf(key, names);
      if (!near.empty()) {
        hint = "; did you mean " + key + " where " + Shown(near) + " is written?";
        line = lines[near];
        // Checked on as meant, as a compiler goes on after an error.
        if (world_.TakenAs.emplace(Lower(section) + "\n" + Lower(key), near).second) {
          notes.emplace_back(line, Shown(near) + " is taken as " + key +
                                       " for the rest of the check");
          keyTaken_ = true;
        }
      }
    } else {
      for (const profile::Section& candidate : world_.Script.Sections())
        names.push_back(candidate.Name);
      std::string near = NearestOf(section, names);
      if (!near.empty())
        hint = "; no section [" + Shown(section) + "]: did you mean [" + Shown(near) + "]?";
      // A list built from a symbol: the name was written in DEFINE.
      for (const profile::Entry* entry : world_.Script.SectionEntries("DEFINE"))
        if (entry->HasValue && Lower(entry->Value).find(Lower(section)) != std::string::npos)
          notes.emplace_back(entry->Line, "the name " + Quoted(section) + " comes from " +
                                              Shown(entry->Key) + ", defined here");
    }
  }
  Add("message-" + std::to_string(report.Id), line,
      std::string(Meaning(report.Id)) + " (" + MessageName(static_cast<MessageId>(report.Id)) + ": " +
          OneLine(report.Text) + ")" + hint);
  problems_.back().Notes = notes;
}

std::vector<Report> Checker::TakeReports(size_t from) {
  std::vector<Report> taken(world_.Reports.begin() + static_cast<std::ptrdiff_t>(from),
                            world_.Reports.end());
  world_.Reports.resize(from);
  return taken;
}

int Checker::SectionLine(const std::string& section, int fallback) const {
  for (const profile::Section& candidate : world_.Script.Sections())
    if (profile::SameName(candidate.Name, section.c_str())) return candidate.Line;
  return fallback;
}

int Checker::KeyLine(const std::string& section, const char* key) const {
  const profile::Entry* entry = world_.Script.FindKey(section.c_str(), key);
  return entry ? entry->Line : SectionLine(section, 1);
}

// A report made while a section was read belongs to the line read last: a
// key that reads as missing, else its section, else the list naming it.
int Checker::ParseLine(const Report& report, int origin) const {
  if (report.ReadsBefore == 0) return origin;
  const ScriptRead& read = world_.Reads[report.ReadsBefore - 1];
  if (read.Entry) return read.Entry->Line;
  return SectionLine(read.Section, origin);
}

// A report made while a procedure ran belongs to the key it names, or to
// the first key whose value holds what it names.
int Checker::ExecuteLine(const Report& report, const std::string& section) const {
  const std::vector<std::string>& arguments = report.Arguments;
  if (arguments.size() == 2 && profile::SameName(arguments[0], section.c_str()) &&
      world_.Script.FindKey(section.c_str(), arguments[1].c_str()))
    return KeyLine(section, arguments[1].c_str());
  for (const std::string& argument : arguments)
    for (size_t read : ReadsOf(section))
      if (argument.empty() ? HasEmptyItem(expanded_.at(read))
                           : expanded_.at(read).find(argument) != std::string::npos)
        return world_.Reads[read].Entry->Line;
  return SectionLine(section, 1);
}

int Checker::ValueLine(const std::string& section, const std::string& value) const {
  for (size_t read : ReadsOf(section))
    if (expanded_.at(read) == value) return world_.Reads[read].Entry->Line;
  return SectionLine(section, 1);
}

void Checker::NoteReads(size_t from) {
  for (size_t i = from; i < world_.Reads.size(); ++i) {
    const ScriptRead& read = world_.Reads[i];
    if (read.Key.empty() || !read.Entry || expanded_.count(i)) continue;
    std::vector<size_t>& reads = sectionReads_[Lower(read.Section)];
    bool known = false;
    for (size_t other : reads) known = known || profile::SameName(world_.Reads[other].Key, read.Key.c_str());
    if (known) continue;
    TextString value(read.Served.c_str());
    {
      World quiet(WorldKind::Quiet);
      InWorld expanding(quiet);
      ExpandValue(value);
    }
    expanded_[i] = value.Text();
    reads.push_back(i);
  }
}

const std::vector<size_t>& Checker::ReadsOf(const std::string& section) const {
  static const std::vector<size_t> none;
  auto found = sectionReads_.find(Lower(section));
  return found == sectionReads_.end() ? none : found->second;
}

}  // namespace check
