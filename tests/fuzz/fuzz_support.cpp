#include "fuzz_support.h"

#include "fake/fake_os.h"

namespace fuzz {

void ResetWorld() {
  ForgetRefusedBlocks();
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
