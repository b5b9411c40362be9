// The checksum of the CRC procedure, which its reports call "CRC32". It is
// the program's own and not the CRC-32 of ISO 3309: the byte count (its low
// 32 bits), then each byte shifted left by its position modulo 25 and
// combined with exclusive or.
#pragma once

#include <cstdint>

// The checksum of content that arrives in pieces. Since a byte's shift
// depends only on its position modulo 25, bytes are first combined with
// exclusive or into lanes of one 25-word period, eight bytes at a time, and
// shifted only once, at the end.
class Crc32Sum {
 public:
  // How the words are loaded: Plain, as 64-bit integers; Best, through the
  // MMX registers where the processor has them, which are the only 64-bit
  // loads of a 32-bit x86. Both give the same value.
  enum class Loads { Plain, Best };
  explicit Crc32Sum(Loads loads = Loads::Best);

  void Add(const uint8_t* data, uint32_t count);
  // The checksum of everything added, for content of `lowSize` bytes (the
  // low 32 bits of its length).
  uint32_t Value(uint32_t lowSize) const;

  static constexpr uint32_t PeriodBytes = 25 * sizeof(uint64_t);
  // Whether Loads::Best uses the MMX registers here.
  static bool HasMmx();

 private:
  uint64_t m_lanes[25];
  uint32_t m_phase;  // position of the next byte, modulo PeriodBytes
  bool m_mmx;
};

uint32_t ComputeCrc32(const uint8_t* data, uint32_t count);

// Reads the whole file, opened so that others may read it but no one write
// it meanwhile, and gives its checksum in `crc`. False (the log told why)
// when the file does not open, is empty or cannot be read.
bool GetFileData(const char* path, uint32_t& crc);
