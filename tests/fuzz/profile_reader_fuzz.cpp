// The double's profile reader, and the script reads built on it, on any
// file: the value and section reads must stay inside the areas they are
// given, whatever their size, and keep the shapes the core walks.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "fake/fake_os.h"
#include "fuzz_support.h"
#include "os/basics.h"
#include "script/script_file.h"

namespace {

const char* const File = "C:\\Program\\updater.ini";

void Check(bool condition, const char* what) {
  if (!condition) {
    fprintf(stderr, "broken: %s\n", what);
    abort();
  }
}

// An area of exactly `size` bytes (at least one, so that it has an address),
// filled with garbage: nothing may rely on it being zeroed.
std::unique_ptr<char[]> Area(uint32_t size) {
  std::unique_ptr<char[]> area(new char[size ? size : 1]);
  memset(area.get(), 'X', size ? size : 1);
  return area;
}

void ReadValueInto(const char* section, const char* key, uint32_t size) {
  std::unique_ptr<char[]> area = Area(size);
  uint32_t length = os::ReadProfileString(File, section, key, "NO_DATA", area.get(), size);
  if (size == 0) return;
  Check(length < size, "a value fills at most size - 1 bytes");
  // A zero byte inside a value (the file may hold any bytes) ends it early.
  Check(strlen(area.get()) <= length && area[length] == '\0', "a value is terminated");
}

void ReadSectionInto(const char* section, uint32_t size) {
  std::unique_ptr<char[]> area = Area(size);
  uint32_t used = os::ReadProfileSection(File, section, area.get(), size);
  if (size < 2) return;
  Check(used < size && area[used] == '\0', "the closing empty string is inside");
  // The lines are zero-terminated strings up to an empty one, all inside.
  uint32_t at = 0;
  while (area[at] != '\0') {
    at += static_cast<uint32_t>(strnlen(area.get() + at, size - at)) + 1;
    Check(at < size, "every line ends inside the area");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  std::string section = input.ConsumeRandomLengthString(40);
  std::string key = input.ConsumeRandomLengthString(40);
  uint32_t valueSize = input.ConsumeIntegralInRange<uint32_t>(0, 300);
  uint32_t sectionSize = input.ConsumeIntegralInRange<uint32_t>(0, 40000);
  fuzz::ResetWorld();
  fake::SetFile(File, input.ConsumeRemainingBytesAsString());

  ReadValueInto(section.c_str(), key.c_str(), valueSize);
  ReadSectionInto(section.c_str(), sectionSize);

  // The core's reads on the same file.
  TextString text("before");
  if (ReadString(File, section.c_str(), key.c_str(), text))
    Check(text.Length() <= ValueLength, "a value holds at most 258 characters");
  int32_t number = 0;
  ReadInt(File, section.c_str(), key.c_str(), number);
  TextString lines;
  int count = ReadSection(File, section.c_str(), lines);
  Check(count == 0 ? lines.Length() == 0 : lines.ItemCount("\n") == count,
        "a section read gives one line per entry it counts");
  return 0;
}
