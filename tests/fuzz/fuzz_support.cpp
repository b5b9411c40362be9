#include "fuzz_support.h"

#include <cstdlib>

#include "fake/fake_os.h"

namespace {
size_t Refused = 0;
}

// Linked with --wrap=malloc: every malloc of the statically linked code,
// the program's core included, comes here first.
extern "C" void* __real_malloc(size_t size);
extern "C" void* __wrap_malloc(size_t size) {
  if (size <= fuzz::LargestBlock) return __real_malloc(size);
  ++Refused;
  return nullptr;
}

namespace fuzz {

size_t RefusedBlocks() { return Refused; }

void ResetWorld() {
  Refused = 0;
  fake::Reset();
  fake::SetModulePath("C:\\Program\\updater.exe");
  fake::SetFile("C:\\Program\\a.txt", "alpha");
  fake::SetFile("C:\\Program\\b.txt", "bravo bravo");
  fake::MakeDir("C:\\Program\\sub");
  fake::SetFile("C:\\Windows\\notepad.exe", "MZ");
  const std::string appPaths = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
  fake::SetRegistryValue(appPaths + "x.exe", "", std::string("C:\\Apps\\x.exe") + '\0');
  fake::SetRegistryValue(appPaths + "x.exe", "PATH", std::string("C:\\Apps\\;") + '\0');
  fake::SetRegistryValue(appPaths + "raw.exe", "", "C:\\Raw\\raw.exe");
  fake::SetRegistryValue(appPaths + "raw.exe", "PATH", "C:\\Raw");
}

}  // namespace fuzz
