// Value expansion with the symbol table: a fuzzed DEFINE section is loaded
// as start-up loads it, then fuzzed values are expanded. The table must
// keep one entry per line whatever the values hold.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/updater.h"
#include "script/script_file.h"
#include "fake/fake_os.h"
#include "fuzz_support.h"
#include "symbols/expansion.h"
#include "symbols/symbol_table.h"

namespace {

void Check(bool condition, const char* what) {
  if (!condition) {
    fprintf(stderr, "broken: %s\n", what);
    abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  fuzz::ResetWorld();
  if (input.ConsumeBool()) fake::SetPlatformId(1);
  // Sometimes a shell without the shared desktop, or a program in a
  // drive's root.
  if (input.ConsumeBool()) fake::SetFolder(25, false, "");
  ModulePath.Assign(input.ConsumeBool() ? "C:\\updater.exe" : "C:\\Program\\updater.exe");
  ScriptPath.Assign("C:\\Program\\updater.ini");
  fake::SetFile(ScriptPath.Text(), "[DEFINE]\n" + input.ConsumeRandomLengthString(8000));

  LoadScriptSymbols();
  for (int32_t i = 0; i < SymbolTable.SymbolCount; ++i)
    Check(SymbolTable.Entry(i).CountOf("\n") == 0, "one entry per line");
  for (int i = 0; i < 4 && input.remaining_bytes() > 0; ++i) {
    TextString value(input.ConsumeRandomLengthString(600).c_str());
    ExpandValue(value);
  }
  return 0;
}
