// The checksum and the CRC procedure against the OS double.
#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "os/ui.h"
#include "procs/crc.h"
#include "script_run.h"

namespace {

// The checksum as defined, one byte at a time.
uint32_t Reference(const std::string& bytes) {
  if (bytes.empty()) return 0;
  uint32_t value = static_cast<uint32_t>(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i)
    value ^= static_cast<uint32_t>(static_cast<uint8_t>(bytes[i])) << (i % 25);
  return value;
}

uint32_t Whole(const std::string& bytes) {
  return ComputeCrc32(reinterpret_cast<const uint8_t*>(bytes.data()),
                      static_cast<uint32_t>(bytes.size()));
}

std::string RandomBytes(std::mt19937& random, size_t length) {
  std::string bytes(length, '\0');
  for (char& byte : bytes) byte = static_cast<char>(random() & 0xFF);
  return bytes;
}

TEST(Crc32Test, WorkedValues) {
  EXPECT_EQ(Whole("abc"), 0x0000012Au);
  EXPECT_EQ(Whole("a"), 0x00000060u);
  EXPECT_EQ(Whole(std::string(30, '\x01')), 0x01FFFFFEu);
  EXPECT_EQ(Whole(""), 0u);
  EXPECT_EQ(Whole("\x01"), 0u);
  // The top byte keeps all its bits at the largest shift.
  EXPECT_EQ(Whole(std::string(24, '\0') + "\xFF"), 0xFF000000u ^ 25u);
}

// Past 4 GiB: a little more than 2^32 bytes of a repeating pattern, fed in
// blocks as a file is read, against the value the definition gives for
// them, worked out from the pattern's period alone. The pattern has no zero
// byte, so that every position counts, and its period (251) is prime to
// the shift's (25): over lcm(251, 25) positions the shifted bytes repeat.
TEST(Crc32Test, PositionsPastFourGibibytes) {
  constexpr uint32_t Period = 251, Span = Period * 25;
  constexpr uint64_t Size = (uint64_t(1) << 32) + 12345;
  auto byteAt = [](uint64_t i) { return static_cast<uint8_t>(1 + (i % Period) * 37 % 255); };
  uint32_t span = 0;
  for (uint32_t i = 0; i < Span; ++i) span ^= uint32_t(byteAt(i)) << (i % 25);
  uint32_t expected = static_cast<uint32_t>(Size);  // the low 32 bits of the size
  if ((Size / Span) % 2) expected ^= span;
  for (uint32_t i = 0; i < Size % Span; ++i) expected ^= uint32_t(byteAt(i)) << (i % 25);

  // Blocks of a whole number of periods, so that one block serves them all.
  std::vector<uint8_t> block(Period * 4096);
  for (size_t i = 0; i < block.size(); ++i) block[i] = byteAt(i);
  Crc32Sum sum;
  uint64_t done = 0;
  while (done < Size) {
    uint64_t count = std::min<uint64_t>(block.size(), Size - done);
    sum.Add(block.data(), static_cast<uint32_t>(count));
    done += count;
  }
  EXPECT_EQ(sum.Value(static_cast<uint32_t>(Size)), expected);
}

TEST(Crc32Test, AgreesWithTheDefinitionWhateverTheLengthAndTheSplit) {
  std::mt19937 random(20240611);
  std::vector<size_t> lengths;
  for (size_t length = 1; length <= 700; ++length) lengths.push_back(length);
  for (size_t length : {4095u, 4096u, 15999u, 16000u, 16001u, 65537u, 300000u})
    lengths.push_back(length);
  for (size_t length : lengths) {
    SCOPED_TRACE(length);
    std::string bytes = RandomBytes(random, length);
    uint32_t expected = Reference(bytes);
    ASSERT_EQ(Whole(bytes), expected);
    // The same content in pieces of random sizes, empty pieces included,
    // with either way of loading.
    for (Crc32Sum::Loads loads : {Crc32Sum::Loads::Plain, Crc32Sum::Loads::Best}) {
      Crc32Sum sum(loads);
      size_t done = 0;
      while (done < length) {
        size_t piece = std::min<size_t>(length - done, random() % (length < 500 ? 40 : 5000));
        sum.Add(reinterpret_cast<const uint8_t*>(bytes.data()) + done,
                static_cast<uint32_t>(piece));
        done += piece;
      }
      ASSERT_EQ(sum.Value(static_cast<uint32_t>(length)), expected);
    }
  }
}

TEST(Crc32Test, FilesReadInBlocksOfAnySize) {
  std::mt19937 random(7);
  for (unsigned block : {1u, 7u, 24u, 25u, 99u, 100u, 101u, 199u, 200u, 201u, 4096u}) {
    for (size_t length : {1u, 26u, 199u, 200u, 201u, 1000u, 20011u}) {
      SCOPED_TRACE(std::to_string(block) + " " + std::to_string(length));
      fake::Reset();
      fake::SetReadBlockSize(block);
      std::string bytes = RandomBytes(random, length);
      fake::SetFile("C:\\f.bin", bytes);
      uint32_t crc = 0;
      ASSERT_TRUE(GetFileData("C:\\f.bin", crc));
      EXPECT_EQ(crc, Reference(bytes));
    }
  }
}

// --- The procedure ------------------------------------------------------------

class CrcTest : public ScriptRunTest {
 protected:
  void SetUp() override {
    ScriptRunTest::SetUp();
    fake::SetFile("C:\\abc", "abc");              // 0x0000012A
    fake::SetFile("C:\\a", "a");                  // 0x00000060
    fake::SetFile("C:\\ones", std::string(30, '\x01'));  // 0x01FFFFFE
    fake::SetFile("C:\\one", "\x01");             // 0
    fake::SetFile("C:\\empty", "");
    fake::SetFile("C:\\held", "abc");
    fake::LockFile("C:\\held");
    fake::MakeDir("C:\\dir");
  }
  // Runs a CRC procedure followed by a box that shows whether its Result
  // was true; gives the boxes shown.
  std::string Check(const std::string& file, const std::string& type, const std::string& crc) {
    std::string script = Section("c", {{"MODE", "CRC"}, {"FILE", file}, {"TYPE", type},
                                       {"CRC", crc}}) +
                         ResultNote("true", "c", 1);
    EXPECT_TRUE(Run(script, "c,true"));
    return Boxes();
  }
};

TEST_F(CrcTest, ComparingModes) {
  struct Case {
    const char* file;
    const char* type;
    const char* crc;
    bool result;
  } cases[] = {
      // All files: every compared file must match.
      {"C:\\abc, C:\\a", "AND", " 0x0000012A , 0x60 ", true},
      {"C:\\abc,C:\\a", "and", "0x12a,0x61", false},
      {"C:\\missing,C:\\a", "And", "0x0,0x60", false},
      {"C:\\held", "AND", "0x12A", false},  // opened by another: no match
      // Any file: one match is enough.
      {"C:\\missing,C:\\abc", "OR", "0x1,0x12A", true},
      {"C:\\abc,C:\\a", "", "0x1,0x2", false},
      {"C:\\abc,C:\\a,C:\\ones", "any", "0x1,0x60,0x5", true},
      {"C:\\empty", "OR", "0x0", false},
      // Values not written "0x..." are 0, which one-byte 0x01 files have.
      {"C:\\one,C:\\one,C:\\one", "AND", "0X12AB,12AB,zz", true},
      {"C:\\abc", "AND", "0X12A", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " " + c.type + " " + c.crc);
    EXPECT_EQ(Check(c.file, c.type, c.crc), c.result ? "true|" : "");
    fake::Reset();
    SetUp();
  }
}

TEST_F(CrcTest, AnEmptyExpectedValueShowsTheChecksum) {
  EXPECT_EQ(Check("C:\\abc, C:\\ones", "AND", ""),
            "PROC\t: c\nFILE\t: C:\\abc\nCRC32\t: 0x0000012A|"
            "PROC\t: c\nFILE\t: C:\\ones\nCRC32\t: 0x01FFFFFE|true|");
  EXPECT_EQ(fake::Boxes()[0].style, os::box::Ok | os::box::IconInformation);
  EXPECT_EQ(fake::Boxes()[0].caption, "T");
}

TEST_F(CrcTest, AReportedFileThatCannotBeReadEndsTheProcedure) {
  for (const char* file : {"C:\\empty", "C:\\held", "C:\\missing", "C:\\dir"}) {
    SCOPED_TRACE(file);
    // The file after it is never reported; the run goes on.
    EXPECT_EQ(Check(std::string(file) + ",C:\\a", "AND", ""),
              "PROC\t: c\nFILE\t: " + std::string(file) + "\nCRC32\t: GetFileData Error.|");
    EXPECT_EQ(fake::Boxes()[0].style, os::box::Ok | os::box::IconError);
    fake::Reset();
    SetUp();
  }
}

TEST_F(CrcTest, ReportsAndComparisonsMix) {
  struct Case {
    const char* type;
    const char* crc;
    const char* boxes;
  } cases[] = {
      // All files: a mismatch ends it before the next file is read.
      {"AND", "0x1,", ""},
      {"AND", "0x12A,", "PROC\t: c\nFILE\t: C:\\a\nCRC32\t: 0x00000060|true|"},
      // Any file: a list that ends with a report it could read is true.
      {"OR", "0x1,", "PROC\t: c\nFILE\t: C:\\a\nCRC32\t: 0x00000060|true|"},
      {"OR", ",0x1", "PROC\t: c\nFILE\t: C:\\abc\nCRC32\t: 0x0000012A|"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.type) + " " + c.crc);
    EXPECT_EQ(Check("C:\\abc,C:\\a", c.type, c.crc), c.boxes);
    fake::Reset();
    SetUp();
  }
}

}  // namespace
