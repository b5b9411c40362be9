// The stand-in profile reader (os/profile_file) against the system's own
// GetPrivateProfileStringA and GetPrivateProfileSectionA under code page
// 932, asked through profileprobe.exe, on scripts made from a fixed seed.
// Wine is the system here: its answers are the reference, byte for byte.
// No difference from Windows is known for what is generated here. One is
// possible: Wine folds the case of ASCII letters alone, and Windows' own
// case tables know full-width, Greek and Cyrillic letters too; whether its
// profile functions use them is not known, so those names stay apart, as
// in Wine. Section reads are asked for 3 bytes or more: given 1 Wine
// writes past it, given 0 it answers -2.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "os/profile_file.h"
#include "wine_case.h"
#include "wine_env.h"

namespace e2e {
namespace {

const char Fill = 0x7E;  // what the buffers hold before a read: profileprobe's

struct Query {
  char kind;  // 'K' a key read, 'S' a section read
  uint32_t size;
  std::string section, key;
};

struct Script {
  std::string text;
  std::vector<Query> queries;
};

// Characters of names: each a list of the codes the system takes as the
// same, so that a name can be written one way and asked another.
const std::vector<std::vector<std::string>>& Glyphs() {
  static const std::vector<std::vector<std::string>> glyphs = [] {
    std::vector<std::vector<std::string>> all;
    for (char c = 'A'; c <= 'Z'; ++c) all.push_back({std::string(1, c), std::string(1, c + 32)});
    for (const char* c : {"1", "_", ".", " "}) all.push_back({c});
    // ア and ャ differ only in a letter's case in their second byte; ソ and
    // 表 end in "]" and "\"; Ａ and ａ, Α and α, А and а are not one letter
    // to the system.
    for (const char* c : {"\x83\x41", "\x83\x61", "\x83\x5d", "\x95\x5c", "\x81\x5b", "\x82\xa0",
                          "\x82\x60", "\x82\x81", "\x83\x9f", "\x83\xbf", "\x84\x40", "\x84\x70"})
      all.push_back({c});
    // Characters with a second code: Ⅰ, ⅰ, a kanji, ¬, ∵, ≒.
    all.push_back({"\x87\x54", "\xfa\x4a"});
    all.push_back({"\xfa\x40", "\xee\xef"});
    all.push_back({"\xfa\x5c", "\xed\x40"});
    all.push_back({"\x81\xca", "\xee\xf9", "\xfa\x54"});
    all.push_back({"\x81\xe6", "\xfa\x5b", "\x87\x9a"});
    all.push_back({"\x81\xe0", "\x87\x90"});
    return all;
  }();
  return glyphs;
}

const char* const Blanks[] = {" ", "\t", "\v", "\f", "\x1a"};

class Generator {
 public:
  explicit Generator(unsigned seed) : random_(seed) {}

  Script Make() {
    Script script;
    std::vector<Name> sections(1 + Below(5)), keys(2 + Below(6));
    for (Name& name : sections) name = NewName();
    for (Name& name : keys) name = NewName();
    std::string& text = script.text;
    bool before = Chance(20);
    if (before) text += Lines(keys, 1 + Below(3));
    for (int count = 1 + Below(6), i = 0; i < count; ++i) {
      // Often a name written again, in another case or code.
      const Name& name = sections[Below(static_cast<int>(sections.size()))];
      text += Header(name) + End() + Lines(keys, Below(9));
    }
    for (const Name& section : sections) {
      for (const Name& key : keys)
        if (Chance(70)) script.queries.push_back({'K', KeySize(), Asked(section), Asked(key)});
      // A section read takes blanks around the name as part of it.
      std::string asked = Chance(15) ? Padded(section) : Spell(section);
      script.queries.push_back({'S', SectionSize(), asked, ""});
    }
    if (before) {
      script.queries.push_back({'K', 259, "", Spell(keys[0])});
      script.queries.push_back({'S', SectionSize(), "", ""});
    }
    script.queries.push_back({'K', 259, Spell(sections[0]), Chance(50) ? "" : " "});
    return script;
  }

 private:
  using Name = std::vector<int>;  // glyphs

  int Below(int n) { return static_cast<int>(random_() % static_cast<unsigned>(n)); }
  bool Chance(int percent) { return Below(100) < percent; }
  const char* Blank() { return Blanks[Below(5)]; }

  Name NewName() {
    Name name(1 + Below(3));
    int count = static_cast<int>(Glyphs().size());
    for (int& glyph : name) {
      do glyph = Below(count);
      while (Glyphs()[glyph][0] == " ");  // a blank only between others
    }
    if (name.size() > 1 && Chance(10)) name.insert(name.begin() + 1, 29);  // " "
    return name;
  }

  std::string Spell(const Name& name) {
    std::string text;
    for (int glyph : name) {
      const std::vector<std::string>& codes = Glyphs()[glyph];
      text += codes[Below(static_cast<int>(codes.size()))];
    }
    return text;
  }

  std::string Padded(const Name& name) {
    return Blank() + Spell(name) + (Chance(50) ? Blank() : "");
  }

  std::string Asked(const Name& name) { return Chance(15) ? Padded(name) : Spell(name); }

  uint32_t KeySize() { return Chance(85) ? 259 : 1 + Below(300); }
  uint32_t SectionSize() { return Chance(60) ? 32767 : 3 + Below(400); }

  std::string End() {
    int kind = Below(100);
    return kind < 60 ? "\r\n" : kind < 85 ? "\n" : "\r";
  }

  std::string Header(const Name& name) {
    std::string header = (Chance(10) ? Blank() : "") + std::string("[");
    header += Chance(20) ? Padded(name) : Spell(name);
    header += "]";
    if (Chance(8)) header += "x]";      // the name runs to the last "]"
    else if (Chance(8)) header += " trailing words";
    return header;
  }

  std::string Character() {
    int kind = Below(100);
    if (kind < 45) return std::string(1, static_cast<char>('a' + Below(26)));
    if (kind < 55) return " ";
    if (kind < 75) return Spell({Below(static_cast<int>(Glyphs().size()))});
    if (kind < 83) return std::string(1, "=\"';[]\\"[Below(7)]);
    if (kind < 98) {
      static const char controls[] = "\x01\x02\x07\x08\x0b\x0c\x0e\x1a\x1b\x1f";
      return std::string(1, controls[Below(sizeof controls - 1)]);
    }
    return std::string(1, '\0');
  }

  std::string Value() {
    // Quotes around a value that just fits, or just does not.
    if (Chance(3)) return "\"" + std::string(256 + Below(4), 'q') + "\"";
    int length = Chance(10) ? 245 + Below(25) : Below(12);
    // Long values are mostly double-byte, so that a cut falls inside one.
    std::string value;
    while (static_cast<int>(value.size()) < length)
      value += Chance(length > 100 ? 70 : 0) ? "\x82\xa0" : Character();
    int quote = Below(100);
    if (quote < 15) return "\"" + value + "\"";
    if (quote < 20) return "'" + value + "'";
    if (quote < 23) return "\"" + value;
    if (quote < 25) return "\"";
    return value;
  }

  std::string Lines(const std::vector<Name>& keys, int count) {
    std::string lines;
    for (int i = 0; i < count; ++i) {
      const Name& key = keys[Below(static_cast<int>(keys.size()))];
      std::string lead = Chance(15) ? Blank() : "", tail = Chance(15) ? Blank() : "";
      int kind = Below(100);
      if (kind < 55)
        lines += lead + Spell(key) + (Chance(30) ? Blank() : "") + "=" +
                 (Chance(30) ? Blank() : "") + Value() + tail;
      else if (kind < 65) lines += lead + Spell(key) + tail;                   // no "="
      else if (kind < 75) lines += lead + ";" + Spell(key) + "=" + Value();    // a comment
      else if (kind < 83) lines += lead + "=" + Value();                       // no name
      else if (kind < 88) lines += lead + "[" + Spell(key) + tail;             // no "]"
      else if (kind < 93) lines += lead + tail;                                // blank
      else lines += Spell(key) + "=" + Value() + std::string(1, '\0') + "=" + Value();
      lines += End();
    }
    return lines;
  }

  std::mt19937 random_;
};

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  if (bytes.empty()) return "-";
  std::string hex;
  for (unsigned char c : bytes) {
    hex += digits[c >> 4];
    hex += digits[c & 15];
  }
  return hex;
}

std::string FromHex(const std::string& hex) {
  std::string bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes += static_cast<char>(std::stoul(hex.substr(i, 2), nullptr, 16));
  return bytes;
}

// An answer as compared: the result and the buffer without the fill at its
// end. A section read is compared up to the end of its list: what lies
// after it is no part of the answer (Wine may leave a byte or zero one
// there, depending on its own leftovers).
std::string Answer(char kind, unsigned long result, std::string buffer) {
  if (kind == 'S') {
    size_t at = 0;
    while (at < buffer.size() && buffer[at] != '\0') at = buffer.find('\0', at) + 1;
    buffer.resize(std::min(buffer.size(), at + 1));
  }
  while (!buffer.empty() && buffer.back() == Fill) buffer.pop_back();
  return std::to_string(result) + " " + Hex(buffer);
}

std::string StandIn(const profile::ProfileText& profile, const Query& query) {
  std::string buffer(query.size + 1, Fill);
  unsigned long result =
      query.kind == 'K'
          ? profile::StringValue(profile, query.section.c_str(), query.key.c_str(), "NO_DATA",
                                 &buffer[0], query.size)
          : profile::SectionLines(profile, query.section.c_str(), &buffer[0], query.size);
  return Answer(query.kind, result, buffer);
}

// Bytes readable in a message: printable ASCII as it is, the rest escaped.
std::string Shown(const std::string& bytes, size_t most = 400) {
  std::string shown;
  char escaped[8];
  for (size_t i = 0; i < bytes.size() && i < most; ++i) {
    unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      shown += static_cast<char>(c);
    } else {
      snprintf(escaped, sizeof escaped, "\\x%02X", c);
      shown += escaped;
    }
  }
  return bytes.size() > most ? shown + "..." : shown;
}

std::string ShownAnswer(const std::string& answer) {
  size_t blank = answer.find(' ');
  std::string hex = answer.substr(blank + 1);
  return answer.substr(0, blank) + " \"" + Shown(hex == "-" ? "" : FromHex(hex)) + "\"";
}

TEST(ProfileRead, TheStandInAnswersAsTheSystem) {
  const int scriptCount = 1500;
  Generator generator(20240607);
  std::vector<Script> scripts;
  WineCase c("profile_read");
  std::string requests;
  for (int i = 0; i < scriptCount; ++i) {
    scripts.push_back(generator.Make());
    std::string name = "s" + std::to_string(i) + ".ini";
    c.WriteFile(name, scripts.back().text);
    requests += "F " + c.WinPath(name) + "\n";
    for (const Query& q : scripts.back().queries)
      requests += std::string(1, q.kind) + " " + std::to_string(q.size) + " " + Hex(q.section) +
                  (q.kind == 'K' ? " " + Hex(q.key) : "") + "\n";
  }
  c.WriteFile("queries.txt", requests);
  c.InstallTool("profileprobe.exe");
  CommandResult probe = RunWine(
      {c.UnixPath("profileprobe.exe"), c.WinPath("queries.txt"), c.WinPath("answers.txt")},
      {"LC_ALL=ja_JP.UTF-8"}, c.UnixPath(), 120);
  ASSERT_EQ(probe.status, 0) << probe.output;

  std::istringstream answers(c.ReadFile("answers.txt"));
  size_t compared = 0, differences = 0;
  std::ostringstream shown;
  for (const Script& script : scripts) {
    profile::ProfileText profile(script.text);
    for (const Query& q : script.queries) {
      std::string line;
      ASSERT_TRUE(std::getline(answers, line)) << "profileprobe gave " << compared << " answers";
      size_t blank = line.find(' ');
      std::string system = Answer(q.kind, std::stoul(line.substr(0, blank)),
                                  line.size() > blank + 1 ? FromHex(line.substr(blank + 1)) : "");
      std::string standIn = StandIn(profile, q);
      ++compared;
      if (standIn == system) continue;
      if (++differences <= 5)
        shown << "\n" << (q.kind == 'K' ? "key read [" : "section read [") << Shown(q.section)
              << "]" << (q.kind == 'K' ? " \"" + Shown(q.key) + "\"" : "") << ", size "
              << q.size << "\n  system:   " << ShownAnswer(system)
              << "\n  stand-in: " << ShownAnswer(standIn) << "\n  script: " << Shown(script.text);
    }
  }
  std::printf("profile reads compared: %zu, differences: %zu\n", compared, differences);
  EXPECT_EQ(differences, 0u) << compared << " reads compared; the first differences:"
                             << shown.str();
}

}  // namespace
}  // namespace e2e
