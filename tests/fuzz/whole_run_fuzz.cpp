// A whole run of a fuzzed script against the double: start-up, symbols,
// list building, every kind's Parse and Execute, the reports. Boxes answer
// themselves (their default button), programs "run" at once, so nothing
// waits. A run must end, give 0 (an unattended run one of its exit codes)
// and leave no list behind.
//
// The script may also vanish part-way: after a number of value reads taken
// from the input, every further read finds no file, as when the script is
// deleted while the run goes on.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/run_record.h"
#include "app/updater.h"
#include "script/script_file.h"
#include "fake/fake_os.h"
#include "fuzz_support.h"
#include "procs/proc_list.h"

namespace {

void Check(bool condition, const char* what) {
  if (!condition) {
    fprintf(stderr, "broken: %s\n", what);
    abort();
  }
}

// Value reads left before the script vanishes. Even the deepest honest
// nesting of lists needs far fewer, so the budget also keeps each input fast.
uint32_t ReadsLeft = 0;

}  // namespace

// os::ReadProfileString, reached through --wrap on this target's link.
extern "C" uint32_t __real__ZN2os17ReadProfileStringEPKcS1_S1_S1_Pcj(
    const char* file, const char* section, const char* key, const char* fallback, char* buffer,
    uint32_t size);
extern "C" uint32_t __wrap__ZN2os17ReadProfileStringEPKcS1_S1_S1_Pcj(
    const char* file, const char* section, const char* key, const char* fallback, char* buffer,
    uint32_t size) {
  if (ReadsLeft == 0) file = "C:\\Program\\vanished.ini";
  else --ReadsLeft;
  return __real__ZN2os17ReadProfileStringEPKcS1_S1_S1_Pcj(file, section, key, fallback, buffer,
                                                           size);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  // Taken from the end of the input, so that a seed is a script with one
  // byte behind it: 0 to 254 reads, or (255) a budget no run reaches.
  uint8_t budget = input.ConsumeIntegral<uint8_t>();
  ReadsLeft = budget == 255 ? 20000 : budget;
  fuzz::ResetWorld();
  fake::SetFile("C:\\Program\\updater.ini", input.ConsumeRemainingBytesAsString());

  int exitCode = UpdaterMain("fuzz");
  Check(TheRun.Unattended() ? exitCode == ExitCompleted || exitCode == ExitAnswerEnded ||
                                  exitCode == ExitReportEnded || exitCode == ExitRunInProgress ||
                                  exitCode == ExitRestartNeeded
                            : exitCode == 0,
        "the exit code is 0, or an unattended run's");
  Check(ProcListArray.Count == 0 && TopProcList() == nullptr, "no list is left");
  return 0;
}
