// The reader of the profile format that the double and the script checker
// serve the script with: lookups as the system's profile functions make
// them, and the line numbers the checker reports by.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "os/profile_file.h"

namespace {

const char TextBytes[] =
    "; a comment before any section\n"
    "stray=key\n"
    "[Setup]\r\n"
    "  Name =  spaced value \n"
    "QUOTED=\"a b\"\n"
    "Single='x'\n"
    "Half=\"open\n"
    "name=second\n"
    "no equals sign\n"
    "bare\n"
    "bare=after a line of the same name without \"=\"\n"
    "[half\n"
    "\v\f\x1a Blank\x1a\f\v=\x1a\vbetween control blanks\f\n"
    "lone=cr\rafter=lone cr\n"
    "zero=a\0b\n"
    "\n"
    "[ other ]\n"
    "KEY=1\n"
    "[SETUP]\n"
    "Late=from the second Setup\n"
    "[a]b]\n"
    "last=the name runs to the last bracket\n"
    // "ソ" ends in "]"; "ア" and "ャ" differ in a letter's case in their second byte.
    "[\x83\x5d\x83\x41]\n"
    "\x82\x60\x87\x54\xed\x40=full-width A, Roman one, a kanji written in its second code\n";
const std::string Text(TextBytes, sizeof TextBytes - 1);  // with its zero byte

std::string Value(const profile::ProfileText& profile, const char* section, const char* key,
                  uint32_t size = 64) {
  std::vector<char> buffer(size + 1, 'X');
  uint32_t length = profile::StringValue(profile, section, key, "NO_DATA", buffer.data(), size);
  EXPECT_EQ(length, std::string(buffer.data()).size());
  return buffer.data();
}

TEST(ProfileFile, KeysAreFoundAsTheProfileFunctionsFindThem) {
  profile::ProfileText profile(Text);
  struct {
    const char* section;
    const char* key;
    const char* value;
  } cases[] = {
      {"setup", "NAME", "spaced value"},  // case, blanks around key and value
      {"Setup", "quoted", "a b"},         // one pair of enclosing quotes dropped
      {"Setup", "Single", "x"},
      {"Setup", "Half", "\"open"},        // an unclosed quote stays
      {"Setup", "Late", "NO_DATA"},       // only the first section of a name is read
      {"Setup", "bare", "NO_DATA"},       // the bare line is found first
      {"Setup", "[half", "NO_DATA"},      // a "[" without "]" is a line of its section
      {" setup\t", "\x0b" "blank ", "between control blanks"},  // VT, FF and Ctrl-Z are blanks
      {"Setup", "lone", "cr"},            // a CR alone ends a line
      {"Setup", "after", "lone cr"},
      {"Setup", "zero", "a"},             // a zero byte ends a value
      {"a]b", "LAST", "the name runs to the last bracket"},
      {"\x83\x5d\x83\x61", "\x82\x60\x87\x54\xfa\x5c", "NO_DATA"},  // "ャ" is not "ア"
      {"\x83\x5d\x83\x41", "\x82\x81\x87\x54\xfa\x5c", "NO_DATA"},  // "ａ" is not "Ａ"
      // A character's second code is the character: 0xFA4A is 0x8754, 0xFA5C is 0xED40.
      {"\x83\x5d\x83\x41", "\x82\x60\xfa\x4a\xfa\x5c",
       "full-width A, Roman one, a kanji written in its second code"},
      {"other", "key", "1"},              // blanks inside the brackets
      {"Setup", "no equals sign", "NO_DATA"},
      {"Setup", "absent", "NO_DATA"},
      {"absent", "KEY", "NO_DATA"},
  };
  for (const auto& c : cases) EXPECT_EQ(Value(profile, c.section, c.key), c.value) << c.key;
  // The first line of a key is the one read, and it knows where it stands.
  const profile::Entry* name = profile.FindKey("SETUP", "name");
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(name->Line, 4);
  EXPECT_EQ(Value(profile, "Setup", "Name", 5), "spac");
  // Cut inside a double-byte character: neither byte, the one before the
  // terminating zero left as it was.
  profile::ProfileText wide("[S]\nk=a\x82\xa0\x82\xa0\n");
  EXPECT_EQ(Value(wide, "S", "k", 5), std::string("a\x82\xa0X", 4));
}

TEST(ProfileFile, SectionsAndStrayLinesKeepTheirLineNumbers) {
  profile::ProfileText profile(Text);
  ASSERT_EQ(profile.Sections().size(), 5u);
  EXPECT_EQ(profile.Sections()[0].Line, 3);
  EXPECT_EQ(profile.Sections()[1].Name, "other");
  EXPECT_EQ(profile.StrayLines(), std::vector<int>{2});
  EXPECT_TRUE(profile.HasSection("OTHER"));
  EXPECT_FALSE(profile.HasSection("stray"));
}

TEST(ProfileFile, SectionReadsGiveWholeLinesThatFit) {
  // Comments are left out, quotes kept; the second [S] is not read.
  profile::ProfileText profile("[S]\na=1\n;note\nbare\n b = \"2\" \n[s]\nc=3\n");
  char area[32];
  size_t taken = 0;
  uint32_t used = profile::SectionLines(profile, "s", area, sizeof area, &taken);
  EXPECT_EQ(std::string(area, used + 1), std::string("a=1\0bare\0b=\"2\"\0", 16));
  EXPECT_EQ(taken, 3u);
  // Room for "a=1" and the closing empty string, not for "bare".
  used = profile::SectionLines(profile, "S", area, 6, &taken);
  EXPECT_EQ(std::string(area, used + 1), std::string("a=1\0", 5));
  EXPECT_EQ(taken, 1u);
  used = profile::SectionLines(profile, "none", area, sizeof area, &taken);
  EXPECT_EQ(used, 0u);
  EXPECT_EQ(area[0], '\0');
  EXPECT_EQ(area[1], '\0');
  EXPECT_EQ(taken, 0u);
}

}  // namespace
