// CRC: a test of file contents. Each file of FILE is checksummed and compared
// with the value at the same position of CRC; TYPE "AND" asks that every
// compared file match, anything else that one does. An empty expected value
// asks for a box that shows the file's checksum instead, which is how a
// script author learns the value to write. Only an empty FILE, or the
// user's Cancel in the progress window, stops the run; a file that cannot
// be read is no failure.
#include "procs/crc.h"

#include <cstring>
#if defined(__i386__) || defined(__x86_64__)
#include <mmintrin.h>
#endif

#include "base/report.h"
#include "base/run_events.h"
#include "os/basics.h"
#include "os/files.h"
#include "os/ui.h"
#include "procs/comma_lists.h"
#include "procs/proc_list.h"
#include "procs/proc_record.h"

// This kind's description, at the end of the file.
extern const ProcKind CrcKind;

namespace {

struct CRC_INFO : PROC_INFO {
  TextString File;  // paths, separated by ","
  TextString Type;  // "AND": every compared file must match; else any one
  TextString Crc;   // expected values "0x..."; item i belongs to file i
};

const RecordKey<CRC_INFO> Keys[] = {
    {DescribeKey("FILE", KeyRole::Leading, ValueForm::Paths, PathUse::Reads),
     &CRC_INFO::File, nullptr},
    {DescribeKey("TYPE", KeyRole::Single, ValueForm::Text), &CRC_INFO::Type, nullptr},
    {DescribeKey("CRC", KeyRole::Companion, ValueForm::Checksums), &CRC_INFO::Crc, nullptr},
};

constexpr uint32_t PeriodBytes = Crc32Sum::PeriodBytes;

inline uint64_t LoadWord(const uint8_t* at) {
  uint64_t word;
  memcpy(&word, at, sizeof word);
  return word;
}

// The exclusive or of the words at `column`, one period apart, `count` of
// them. Two accumulators keep two loads in flight. Kept out of line, the loop
// has the registers to itself, which a 32-bit target needs to hold both.
[[gnu::noinline]] uint64_t FoldColumn(const uint8_t* column, size_t count) {
  uint64_t even = 0, odd = 0;
  for (; count >= 2; count -= 2, column += 2 * PeriodBytes) {
    even ^= LoadWord(column);
    odd ^= LoadWord(column + PeriodBytes);
  }
  if (count) even ^= LoadWord(column);
  return even ^ odd;
}

#if defined(__i386__) || defined(__x86_64__)
// The same in MMX registers: twice the bytes a load of a 32-bit target's
// integer registers brings. They are the x87 registers, which every Windows
// saves for each thread; _mm_empty gives them back to x87 before returning.
[[gnu::target("mmx")]] inline __m64 LoadMmx(const uint8_t* at) {
  __m64 word;
  memcpy(&word, at, sizeof word);
  return word;
}

[[gnu::target("mmx")]] uint64_t FoldColumnMmx(const uint8_t* column, size_t count) {
  __m64 even = _mm_setzero_si64(), odd = _mm_setzero_si64();
  for (; count >= 4; count -= 4, column += 4 * PeriodBytes) {
    even = _mm_xor_si64(even, LoadMmx(column));
    odd = _mm_xor_si64(odd, LoadMmx(column + PeriodBytes));
    even = _mm_xor_si64(even, LoadMmx(column + 2 * PeriodBytes));
    odd = _mm_xor_si64(odd, LoadMmx(column + 3 * PeriodBytes));
  }
  for (; count; --count, column += PeriodBytes)
    even = _mm_xor_si64(even, LoadMmx(column));
  even = _mm_xor_si64(even, odd);
  uint64_t folded;
  memcpy(&folded, &even, sizeof folded);
  _mm_empty();
  return folded;
}
#endif

// Combines `periods` whole periods of `data` into the lanes, one lane's
// column at a time over a stretch small enough to stay in the first-level
// cache, so that each lane is a register while its column is folded.
void FoldPeriods(uint64_t* lanes, const uint8_t* data, size_t periods, bool mmx) {
  constexpr size_t StretchPeriods = 16000 / PeriodBytes;
  while (periods) {
    size_t stretch = periods < StretchPeriods ? periods : StretchPeriods;
    for (unsigned lane = 0; lane < 25; ++lane) {
      const uint8_t* column = data + lane * sizeof(uint64_t);
#if defined(__i386__) || defined(__x86_64__)
      if (mmx) {
        lanes[lane] ^= FoldColumnMmx(column, stretch);
        continue;
      }
#endif
      lanes[lane] ^= FoldColumn(column, stretch);
    }
    data += stretch * PeriodBytes;
    periods -= stretch;
  }
}

void AddBlock(void* context, const uint8_t* data, uint32_t count) {
  static_cast<Crc32Sum*>(context)->Add(data, count);
}

}  // namespace

Crc32Sum::Crc32Sum(Loads loads)
    : m_lanes(), m_phase(0), m_mmx(loads == Loads::Best && HasMmx()) {}

bool Crc32Sum::HasMmx() {
#if defined(__i386__) || defined(__x86_64__)
  // Some 32-bit processors the program runs on have none.
  __builtin_cpu_init();
  return __builtin_cpu_supports("mmx");
#else
  return false;
#endif
}

void Crc32Sum::Add(const uint8_t* data, uint32_t count) {
  // The lanes seen as bytes: byte i holds the positions congruent to i
  // modulo PeriodBytes, whatever the machine's byte order.
  uint8_t* laneBytes = reinterpret_cast<uint8_t*>(m_lanes);
  for (; count && m_phase; --count) {
    laneBytes[m_phase] ^= *data++;
    m_phase = (m_phase + 1) % PeriodBytes;
  }
  uint32_t periods = count / PeriodBytes;
  FoldPeriods(m_lanes, data, periods, m_mmx);
  data += periods * PeriodBytes;
  count -= periods * PeriodBytes;
  for (; count; --count) laneBytes[m_phase++] ^= *data++;
}

uint32_t Crc32Sum::Value(uint32_t lowSize) const {
  // Exclusive or and the shift commute, so each byte of the lanes is
  // shifted once for all the positions combined in it; a byte never loses
  // bits, 24 being the largest shift.
  const uint8_t* laneBytes = reinterpret_cast<const uint8_t*>(m_lanes);
  uint32_t value = lowSize;
  for (uint32_t i = 0; i < PeriodBytes; ++i) value ^= uint32_t(laneBytes[i]) << (i % 25);
  return value;
}

uint32_t ComputeCrc32(const uint8_t* data, uint32_t count) {
  Crc32Sum sum;
  sum.Add(data, count);
  return sum.Value(count);
}

bool GetFileData(const char* path, uint32_t& crc) {
  // Checksummed as it is read, in bounded memory: a file need not fit one
  // allocation of a 32-bit process. A file of 4 GiB or more counts all its
  // bytes but only the low 32 bits of its size.
  Crc32Sum sum;
  uint32_t lowSize = 0;
  if (!os::ReadFileBlocks(path, lowSize, AddBlock, &sum, os::ShowFileProgress, nullptr)) {
    ReportFileAction(FileAction::ReadFailed, path, "", os::LastFailure());
    return false;
  }
  crc = sum.Value(lowSize);
  return true;
}

static PROC_INFO* ParseCrc(const char* section) {
  return ParseRecord(section, CrcKind, Keys);
}

static bool ExecuteCrc(PROC_INFO* record) {
  CRC_INFO* test = static_cast<CRC_INFO*>(record);
  int32_t count = CountPositions(*test, test->File, "FILE");
  if (count == 0) return false;
  bool allFiles = test->Type.Equals("AND");
  for (int32_t i = 0; i < count; ++i) {
    TextString file = ListItem(test->File, i);
    TextString expected = ListItem(test->Crc, i);
    uint32_t crc = 0;
    if (!StartingAction(FileAction::Checksummed, file.Text())) return false;
    bool read = GetFileData(file.Text(), crc);
    if (expected.Length() == 0) {
      // A report: the value, or why there is none. Neither stops the run,
      // but a file that cannot be read ends this procedure.
      TextString text;
      if (!read) {
        text.Format("PROC\t: %s\nFILE\t: %s\nCRC32\t: GetFileData Error.", test->Name.Text(),
                    file.Text());
        ShowBox(text.Text(), os::box::Ok | os::box::IconError, os::box::IdOk);
        return true;
      }
      text.Format("PROC\t: %s\nFILE\t: %s\nCRC32\t: 0x%08X", test->Name.Text(), file.Text(),
                  static_cast<unsigned>(crc));
      ShowBox(text.Text(), os::box::Ok | os::box::IconInformation, os::box::IdOk);
      continue;
    }
    // A file that cannot be read counts as a mismatch.
    bool match = read && crc == expected.ToHex();
    if (allFiles && !match) return true;
    if (!allFiles && match) {
      test->Result = true;
      return true;
    }
    if (!allFiles && i == count - 1) return true;
  }
  test->Result = true;
  return true;
}

extern const ProcKind CrcKind = {
    "CRC", "CRC_INFO", Keys, kind_effect::Tests | kind_effect::ShowsBox, ParseCrc, ExecuteCrc};
