#include "base/file_version.h"

#include <cstdio>

#include "os/files.h"

namespace {

uint32_t Number16(const uint8_t* at) { return at[0] | (at[1] << 8); }
uint32_t Number32(const uint8_t* at) {
  return at[0] | (at[1] << 8) | (at[2] << 16) | (static_cast<uint32_t>(at[3]) << 24);
}

constexpr uint32_t VersionResourceType = 16;  // RT_VERSION
constexpr uint32_t FixedInfoSignature = 0xFEEF04BD;
constexpr uint32_t FixedInfoSize = 52;        // VS_FIXEDFILEINFO
constexpr uint32_t SubdirectoryBit = 0x80000000;
constexpr uint32_t MostEntries = 4096;        // per resource directory
constexpr uint32_t MostSections = 96;         // the loader's own limit

// Reads the parts of the file that lead to the version resource; the first
// failed read or impossible value ends the search.
class VersionSearch {
 public:
  explicit VersionSearch(FileBytes& file) : file_(file), size_(file.Size()) {}

  VersionFound Run(FileVersion& version);

 private:
  // A part beyond the file's end is damage, not a failed read.
  bool Read(uint64_t offset, void* out, uint32_t count) {
    if (offset > size_ || count > size_ - offset) return false;
    if (!file_.Read(offset, out, count)) {
      unreadable_ = true;
      return false;
    }
    return true;
  }
  bool FileOffset(uint32_t rva, uint32_t size, uint64_t& offset);
  // The entry of the resource directory at `directory` (an offset into the
  // resources) whose id is `id`, or with `id` 0 the first entry; where it
  // points, as such an offset.
  bool Entry(uint32_t directory, uint32_t id, bool wantSubdirectory, uint32_t& target);

  FileBytes& file_;
  uint64_t size_;
  bool unreadable_ = false;
  uint64_t sectionTable_ = 0;
  uint32_t sectionCount_ = 0;
  uint32_t resources_ = 0;      // the resource directory's RVA
  uint32_t resourceSize_ = 0;
};

bool VersionSearch::FileOffset(uint32_t rva, uint32_t size, uint64_t& offset) {
  for (uint32_t i = 0; i < sectionCount_; ++i) {
    uint8_t section[40];
    if (!Read(sectionTable_ + 40ull * i, section, sizeof section)) return false;
    uint32_t address = Number32(section + 12), rawSize = Number32(section + 16);
    uint32_t rawStart = Number32(section + 20);
    if (rva >= address && uint64_t(rva) + size <= uint64_t(address) + rawSize) {
      offset = uint64_t(rawStart) + (rva - address);
      return true;
    }
  }
  return false;
}

bool VersionSearch::Entry(uint32_t directory, uint32_t id, bool wantSubdirectory,
                          uint32_t& target) {
  uint8_t header[16];
  uint64_t base = 0;
  if (uint64_t(directory) + sizeof header > resourceSize_ ||
      !FileOffset(resources_ + directory, sizeof header, base) ||
      !Read(base, header, sizeof header))
    return false;
  uint32_t named = Number16(header + 12), ids = Number16(header + 14);
  if (named + ids > MostEntries) return false;
  for (uint32_t i = 0; i < named + ids; ++i) {
    uint8_t entry[8];
    if (!Read(base + 16 + 8ull * i, entry, sizeof entry)) return false;
    uint32_t name = Number32(entry), data = Number32(entry + 4);
    bool isId = i >= named && !(name & SubdirectoryBit);
    if (id != 0 && (!isId || name != id)) continue;
    if (((data & SubdirectoryBit) != 0) != wantSubdirectory) return false;
    target = data & ~SubdirectoryBit;
    return target < resourceSize_;
  }
  return false;
}

VersionFound VersionSearch::Run(FileVersion& version) {
  auto none = [this]() { return unreadable_ ? VersionFound::Unreadable : VersionFound::NoVersion; };
  uint8_t dos[64];
  if (!Read(0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return none();
  uint32_t pe = Number32(dos + 0x3C);
  uint8_t headers[24 + 112 + 8 * 3];  // signature, file header, optional header to the resources
  if (!Read(pe, headers, 24 + 2) || Number32(headers) != 0x00004550) return none();
  sectionCount_ = Number16(headers + 6);
  uint32_t optionalSize = Number16(headers + 20);
  bool wide = Number16(headers + 24) == 0x20B;  // PE32+
  uint32_t directories = wide ? 112 : 96;        // the data directories in the optional header
  uint32_t needed = directories + 8 * 3;
  if (sectionCount_ > MostSections || optionalSize < needed ||
      !Read(pe, headers, 24 + needed) ||
      Number32(headers + 24 + directories - 4) < 3)  // NumberOfRvaAndSizes
    return none();
  resources_ = Number32(headers + 24 + directories + 16);
  resourceSize_ = Number32(headers + 24 + directories + 20);
  sectionTable_ = uint64_t(pe) + 24 + optionalSize;
  if (resources_ == 0 || resourceSize_ == 0) return none();

  uint32_t byName = 0, byLanguage = 0, dataEntry = 0;
  if (!Entry(0, VersionResourceType, true, byName) || !Entry(byName, 0, true, byLanguage) ||
      !Entry(byLanguage, 0, false, dataEntry) || uint64_t(dataEntry) + 16 > resourceSize_)
    return none();
  uint8_t entry[16];
  uint64_t at = 0;
  if (!FileOffset(resources_ + dataEntry, sizeof entry, at) || !Read(at, entry, sizeof entry))
    return none();
  uint32_t dataRva = Number32(entry), dataSize = Number32(entry + 4);

  // VS_VERSIONINFO: its length, the value's length, its type, the key
  // "VS_VERSION_INFO" in UTF-16 and padding to four bytes, then the fixed
  // information.
  uint8_t block[6 + 32 + 2 + FixedInfoSize];
  if (dataSize < sizeof block || !FileOffset(dataRva, sizeof block, at) ||
      !Read(at, block, sizeof block) || Number16(block + 2) < FixedInfoSize)
    return none();
  static const char key[] = "VS_VERSION_INFO";
  for (uint32_t i = 0; i < sizeof key; ++i)
    if (Number16(block + 6 + 2 * i) != static_cast<uint8_t>(key[i])) return none();
  const uint8_t* fixed = block + 40;  // 6 + 32 bytes of key, aligned to 4
  if (Number32(fixed) != FixedInfoSignature) return none();
  version = (uint64_t(Number32(fixed + 8)) << 32) | Number32(fixed + 12);
  return VersionFound::Found;
}

}  // namespace

bool ParseVersionText(const char* text, FileVersion& version) {
  FileVersion parsed = 0;
  int parts = 0;
  const char* at = text;
  for (;;) {
    if (*at < '0' || *at > '9' || parts == 4) return false;
    uint32_t part = 0;
    for (; *at >= '0' && *at <= '9'; ++at) {
      part = part * 10 + static_cast<uint32_t>(*at - '0');
      if (part > 0xFFFF) return false;
    }
    parsed |= FileVersion(part) << (48 - 16 * parts++);
    if (*at == '\0') break;
    if (*at++ != '.') return false;
  }
  version = parsed;
  return true;
}

TextString VersionText(FileVersion version) {
  char text[24];
  snprintf(text, sizeof text, "%u.%u.%u.%u", unsigned(version >> 48),
           unsigned(version >> 32) & 0xFFFF, unsigned(version >> 16) & 0xFFFF,
           unsigned(version) & 0xFFFF);
  return TextString(text);
}

VersionFound ReadFileVersion(FileBytes& file, FileVersion& version) {
  return VersionSearch(file).Run(version);
}

VersionFound ReadFileVersion(const char* path, FileVersion& version) {
  // A file's bytes through the seam.
  class SeamFile : public FileBytes {
   public:
    bool Open(const char* path) { return os::OpenToRead(path, file_, size_); }
    uint64_t Size() override { return size_; }
    bool Read(uint64_t offset, void* out, uint32_t count) override {
      return os::ReadAt(file_.Get(), offset, out, count);
    }

   private:
    os::OwnedFile file_;
    uint64_t size_ = 0;
  } file;
  if (!file.Open(path)) return VersionFound::NotOpened;
  return ReadFileVersion(file, version);
}
