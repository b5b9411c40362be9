// Version texts and the fixed version information read from a program's
// bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/file_version.h"
#include "base/report.h"
#include "fake/fake_os.h"
#include "script_run.h"

namespace {

TEST(FileVersion, TextsReadAsFourNumbersMajorFirst) {
  struct {
    const char* text;
    bool valid;
    FileVersion version;
  } rows[] = {
      {"2", true, 0x0002000000000000},        {"2.1", true, 0x0002000100000000},
      {"2.1.0.15", true, 0x000200010000000F}, {"1.10", true, 0x0001000A00000000},
      {"65535.0.0.65535", true, 0xFFFF00000000FFFF},
      {"", false, 0}, {"1.", false, 0}, {".1", false, 0}, {"1..2", false, 0},
      {"1.2.3.4.5", false, 0}, {"65536", false, 0}, {"1.2a", false, 0}, {" 1", false, 0},
      {"1,2", false, 0}, {"-1", false, 0},
  };
  for (const auto& row : rows) {
    FileVersion version = 7;
    EXPECT_EQ(ParseVersionText(row.text, version), row.valid) << row.text;
    EXPECT_EQ(version, row.valid ? row.version : 7) << row.text;
  }
  FileVersion older = 0, newer = 0;
  ASSERT_TRUE(ParseVersionText("1.9", older) && ParseVersionText("1.10", newer));
  EXPECT_LT(older, newer);  // part by part, as numbers
}

void Put16(std::vector<uint8_t>& at, size_t offset, uint32_t value) {
  at[offset] = value & 0xFF;
  at[offset + 1] = (value >> 8) & 0xFF;
}
void Put32(std::vector<uint8_t>& at, size_t offset, uint32_t value) {
  Put16(at, offset, value & 0xFFFF);
  Put16(at, offset + 2, value >> 16);
}

// A minimal PE32 program whose one section (RVA 0x1000, file offset 0x200)
// holds a version resource of `ms`.`ls`.
std::vector<uint8_t> Program(uint32_t ms, uint32_t ls) {
  std::vector<uint8_t> file(0x400, 0);
  file[0] = 'M', file[1] = 'Z';
  Put32(file, 0x3C, 0x80);
  Put32(file, 0x80, 0x00004550);
  Put16(file, 0x86, 1);            // one section
  Put16(file, 0x94, 224);          // optional header size
  Put16(file, 0x98, 0x10B);        // PE32
  Put32(file, 0x98 + 92, 16);      // data directories
  Put32(file, 0x98 + 96 + 16, 0x1000);  // resources: RVA, size
  Put32(file, 0x98 + 96 + 20, 0x200);
  size_t section = 0x98 + 224;
  Put32(file, section + 12, 0x1000);  // its RVA, raw size, raw offset
  Put32(file, section + 16, 0x200);
  Put32(file, section + 20, 0x200);
  const size_t r = 0x200;             // the resource tree, by levels
  Put16(file, r + 14, 1);             // type 16
  Put32(file, r + 16, 16), Put32(file, r + 20, 0x80000018);
  Put16(file, r + 0x18 + 14, 1);      // name 1
  Put32(file, r + 0x28, 1), Put32(file, r + 0x2C, 0x80000030);
  Put16(file, r + 0x30 + 14, 1);      // language 1041
  Put32(file, r + 0x40, 1041), Put32(file, r + 0x44, 0x48);
  Put32(file, r + 0x48, 0x1060), Put32(file, r + 0x4C, 92);  // data entry
  const size_t v = r + 0x60;          // VS_VERSIONINFO
  Put16(file, v, 92), Put16(file, v + 2, 52);
  const char key[] = "VS_VERSION_INFO";
  for (size_t i = 0; i < sizeof key; ++i) Put16(file, v + 6 + 2 * i, static_cast<uint8_t>(key[i]));
  Put32(file, v + 40, 0xFEEF04BD);
  Put32(file, v + 48, ms), Put32(file, v + 52, ls);
  return file;
}

class Bytes : public FileBytes {
 public:
  explicit Bytes(std::vector<uint8_t> data, bool fails = false) : data_(data), fails_(fails) {}
  uint64_t Size() override { return data_.size(); }
  bool Read(uint64_t offset, void* out, uint32_t count) override {
    if (fails_ || offset > data_.size() || count > data_.size() - offset) return false;
    memcpy(out, data_.data() + offset, count);
    return true;
  }

 private:
  std::vector<uint8_t> data_;
  bool fails_;
};

// A damaged file is one without a version: every offset it gives is checked.
TEST(FileVersion, TheFixedInformationIsReadOnlyFromAWholeResource) {
  std::vector<uint8_t> good = Program(0x0001000A, 0x00020003);
  struct {
    const char* what;
    size_t offset;  // a byte set to 0xFF, or none (0)
    size_t cut;     // the file's length, or whole (0)
    VersionFound found;
  } rows[] = {
      {"whole", 0, 0, VersionFound::Found},
      {"no MZ", 1, 0, VersionFound::NoVersion},
      {"header beyond the file", 0x3F, 0, VersionFound::NoVersion},
      {"too many sections", 0x87, 0, VersionFound::NoVersion},
      {"resource outside its section", 0x98 + 96 + 17, 0, VersionFound::NoVersion},
      {"entry count beyond the file", 0x200 + 15, 0, VersionFound::NoVersion},
      {"data beyond the section", 0x200 + 0x4B, 0, VersionFound::NoVersion},
      {"no signature", 0x260 + 40, 0, VersionFound::NoVersion},
      {"wrong key", 0x260 + 8, 0, VersionFound::NoVersion},
      {"cut inside the resource", 0, 0x280, VersionFound::NoVersion},
      {"text file", 0, 3, VersionFound::NoVersion},
  };
  for (const auto& row : rows) {
    std::vector<uint8_t> file = good;
    if (row.offset) file[row.offset] = 0xFF;
    if (row.cut) file.resize(row.cut);
    Bytes bytes(file);
    FileVersion version = 0;
    EXPECT_EQ(ReadFileVersion(bytes, version), row.found) << row.what;
    if (row.found == VersionFound::Found) {
      EXPECT_EQ(version, 0x0001000A00020003u);
    }
  }
  Bytes failing(good, true);
  FileVersion version = 0;
  EXPECT_EQ(ReadFileVersion(failing, version), VersionFound::Unreadable);
}

// --- The VERSION kind, against the double ---------------------------------

class VersionTest : public ScriptRunTest {};

std::string AsText(const std::vector<uint8_t>& data) { return std::string(data.begin(), data.end()); }

TEST_F(VersionTest, IsTrueAtTheFirstFileOlderThanTheVersionWithoutOneOrUnreadable) {
  struct {
    const char* files;
    const char* version;
    bool result;
  } rows[] = {
      {"C:\\a\\v1_10.exe", "1.9", false},       // 1.10 is newer than 1.9
      {"C:\\a\\v1_9.exe", "1.10", true},
      {"C:\\a\\v1_10.exe", "1.10", false},      // equal is not older
      {"C:\\a\\v1_10.exe", "1.10.0.1", true},   // missing parts are 0
      {"C:\\a\\v2.exe", "2", false},            // 2.0.0.1
      {" C:\\a\\v2.exe , C:\\a\\v1_9.exe ", "2", true},
      {"C:\\a\\notes.txt", "0", true},          // no version at all
      {"C:\\a\\none.exe", "0", true},
      {"C:\\a\\locked.exe", "0", true},
  };
  for (const auto& row : rows) {
    fake::Reset();
    fake::SetFile("C:\\a\\v1_9.exe", AsText(Program(0x00010009, 0)));
    fake::SetFile("C:\\a\\v1_10.exe", AsText(Program(0x0001000A, 0)));
    fake::SetFile("C:\\a\\v2.exe", AsText(Program(0x00020000, 1)));
    fake::SetFile("C:\\a\\notes.txt", "notes");
    fake::SetFile("C:\\a\\locked.exe", AsText(Program(0x00090000, 0)));
    fake::LockFile("C:\\a\\locked.exe");
    EXPECT_TRUE(Run(std::string("[v]\nMODE=VERSION\nFILE=") + row.files + "\nVERSION=" +
                        row.version + "\n",
                    "v"))
        << row.files << " " << row.version;
    EXPECT_EQ(ResultOf(0), row.result) << row.files << " " << row.version;
    EXPECT_EQ(Boxes(), "");
  }
  // A value that is no version stops the run, named as a bad TYPE is.
  EXPECT_FALSE(Run("[v]\nMODE=VERSION\nFILE=C:\\a\\v2.exe\nVERSION=2.x\n", "v"));
  EXPECT_EQ(Boxes(), Report(6, "2.x"));
}

}  // namespace
