// The Windows entry point. Its only argument of use is the argument text:
// the command line less the program's own name and the blanks after it.
#include "app/updater.h"
#include "os/os.h"

extern "C" int __stdcall WinMain(void* /*instance*/, void* /*previous*/, char* argumentText,
                                 int /*showCommand*/) {
  // Before anything can load a DLL from the program's own folder.
  os::RestrictDllSearch();
  return UpdaterMain(argumentText);
}
