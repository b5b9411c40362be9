#include "wine_road.h"

#include <cstdlib>

#include <unistd.h>

#include "wine_env.h"

namespace e2e {

namespace {

// Debian's loaders. The `wine` launcher script would pick the 32-bit one
// whenever it is installed, even where it cannot start.
const char kLoader32[] = "/usr/lib/wine/wine";
const char kLoader64[] = "/usr/lib/wine/wine64";

std::string FirstLine(const std::string& text) {
  size_t start = text.find_first_not_of("\r\n");
  if (start == std::string::npos) return "";
  return text.substr(start, text.find_first_of("\r\n", start) - start);
}

std::string StartError(const std::string& loader) {
  if (access(loader.c_str(), X_OK) != 0) return NotInstalled(loader);
  CommandResult r = RunCommand({loader, "--version"}, {"WINEDEBUG=-all"}, "", 60);
  if (r.timedOut) return loader + ": --version did not end in 60 s";
  if (r.status == 0) return "";
  std::string line = FirstLine(r.output);
  return line.empty() ? loader + ": exit status " + std::to_string(r.status) : line;
}

}  // namespace

std::string NotInstalled(const std::string& loader) { return loader + ": not installed"; }

WineRoad ChooseWineRoad(const std::string& forced, const LoaderCheck& check) {
  WineRoad road;
  if (!forced.empty() && forced != "win32" && forced != "win64") {
    road.error = "UPDATER_WINE_ARCH is \"" + forced + "\"; it takes win32 or win64";
    return road;
  }
  if (forced != "win64") {
    road.cause = check(kLoader32);
    if (road.cause.empty()) {
      road.arch = "win32";
      road.loader = kLoader32;
      return road;
    }
    if (forced == "win32") {
      road.error = "UPDATER_WINE_ARCH=win32, but Wine's 32-bit loader cannot start: " + road.cause;
      return road;
    }
  }
  std::string cause64 = check(kLoader64);
  if (!cause64.empty()) {
    road.error = forced == "win64"
                     ? "UPDATER_WINE_ARCH=win64, but Wine's 64-bit loader cannot start: " + cause64
                     : "Wine cannot start: " + road.cause + "; " + cause64 +
                           " (bash tools/install.sh installs it)";
    return road;
  }
  road.arch = "win64";
  road.loader = kLoader64;
  if (forced == "win64") {
    road.reason = "UPDATER_WINE_ARCH=win64";
  } else if (road.cause == NotInstalled(kLoader32)) {
    // tools/install.sh goes on without it where the mirror cannot give it.
    road.reason = "32-bit Wine is not installed";
    road.cause.clear();
  } else {
    road.reason = "this host cannot run 32-bit programs";
  }
  return road;
}

const WineRoad& TheWineRoad() {
  static const WineRoad road = [] {
    const char* forced = getenv("UPDATER_WINE_ARCH");
    return ChooseWineRoad(forced ? forced : "", StartError);
  }();
  return road;
}

std::string RoadNotice(const WineRoad& road) {
  if (road.arch != "win64") return "";
  return road.reason +
         ": the end-to-end cases, the demo and the benchmarks run the 64-bit build; the "
         "32-bit release is built but not run" +
         (road.cause.empty() ? "" : " (" + road.cause + ")");
}

}  // namespace e2e
