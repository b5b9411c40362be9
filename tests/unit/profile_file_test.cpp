// The reader of the profile format that the double and the script checker
// serve the script with: lookups as the system's profile functions make
// them, and the line numbers the checker reports by.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "os/profile_file.h"

namespace {

const char* const Text =
    "; a comment before any section\n"
    "stray\n"
    "[Setup]\r\n"
    "  Name =  spaced value \n"
    "QUOTED=\"a b\"\n"
    "Single='x'\n"
    "Half=\"open\n"
    "name=second\n"
    "no equals sign\n"
    "\n"
    "[ other ]\n"
    "KEY=1\n"
    "[SETUP]\n"
    "Late=from the second Setup\n";

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
      {"Setup", "Late", "from the second Setup"},  // sections of one name are one
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
}

TEST(ProfileFile, SectionsAndStrayLinesKeepTheirLineNumbers) {
  profile::ProfileText profile(Text);
  ASSERT_EQ(profile.Sections().size(), 3u);
  EXPECT_EQ(profile.Sections()[0].Line, 3);
  EXPECT_EQ(profile.Sections()[1].Name, "other");
  EXPECT_EQ(profile.StrayLines(), std::vector<int>{2});
  EXPECT_TRUE(profile.HasSection("OTHER"));
  EXPECT_FALSE(profile.HasSection("stray"));
}

TEST(ProfileFile, SectionReadsGiveWholeLinesThatFit) {
  profile::ProfileText profile("[S]\na=1\nbare\n b = \"2\" \n");
  char area[32];
  size_t taken = 0;
  uint32_t used = profile::SectionLines(profile, "s", area, sizeof area, &taken);
  EXPECT_EQ(std::string(area, used + 1), std::string("a=1\0bare\0b=2\0", 14));
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
