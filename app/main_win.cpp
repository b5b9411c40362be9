// The Windows entry point. The argument text is taken from the command line
// here rather than from the runtime's, whose blank-skipping takes every byte
// of 0x80 and above for a blank and so eats the lead byte of a Japanese
// first word.
#include "app/updater.h"
#include "os/basics.h"

extern "C" int __stdcall WinMain(void* /*instance*/, void* /*previous*/, char* /*argumentText*/,
                                 int /*showCommand*/) {
  // Before anything can load a DLL from the program's own folder.
  os::RestrictDllSearch();
  return UpdaterMain(ArgumentTextOf(os::ProcessCommandLine()));
}
