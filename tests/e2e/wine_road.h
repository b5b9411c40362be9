// Which Wine runs the Windows programs of the bench, and so which build is
// tested: the 32-bit release through Wine's 32-bit loader where this host
// has it and can start 32-bit programs, else the 64-bit build through the 64-bit loader
// in a 64-bit prefix. UPDATER_WINE_ARCH=win32|win64 forces either.
//
// Everything that starts Wine (the suite, headless_run, the benchmarks and,
// through headless_run --wine-road, the shell tools) asks here.
#ifndef TESTS_E2E_WINE_ROAD_H
#define TESTS_E2E_WINE_ROAD_H

#include <functional>
#include <string>

namespace e2e {

struct WineRoad {
  std::string arch;    // "win32" or "win64": the folder of dist/ under test
  std::string loader;  // the Wine loader that starts the programs
  // Why the 64-bit road was taken ("this host cannot run 32-bit programs",
  // "32-bit Wine is not installed", or the variable that forced it) and the 32-bit loader's own error; ""
  // on the 32-bit road.
  std::string reason, cause;
  std::string error;  // why Wine cannot run at all; "" when it can
};

// The error of starting `loader --version`, "" when it starts;
// NotInstalled(loader) where there is no such loader.
std::string NotInstalled(const std::string& loader);
using LoaderCheck = std::function<std::string(const std::string& loader)>;

// The decision itself: forced is UPDATER_WINE_ARCH's value ("" when unset).
// Each loader is tried at most once.
WineRoad ChooseWineRoad(const std::string& forced, const LoaderCheck& check);

// The road of this process, chosen on first use.
const WineRoad& TheWineRoad();

// The one sentence that says the 64-bit road is taken, with its reason and
// the 32-bit loader's error; "" on the 32-bit road.
std::string RoadNotice(const WineRoad& road);

}  // namespace e2e

#endif  // TESTS_E2E_WINE_ROAD_H
