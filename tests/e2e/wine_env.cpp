#include "wine_env.h"

#include <fcntl.h>
#include <locale.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>

#include "wine_case.h"
#include "wine_road.h"

extern char** environ;

namespace fs = std::filesystem;

namespace e2e {

namespace {

std::string g_prefix;
bool g_endAtStop = false;

// No Mono or Gecko prompts, no menu entries or file associations in $HOME.
const char kDllOverrides[] = "mscoree,mshtml=;winemenubuilder.exe=d";
std::string NameOf(const std::string& entry) { return entry.substr(0, entry.find('=')); }

bool PrefixReady(const fs::path& prefix) {
  return fs::exists(prefix / "system.reg") && fs::exists(prefix / "drive_c");
}

// "win32" or "win64" as the prefix's registry records it, "" when unknown.
std::string PrefixArch(const fs::path& prefix) {
  std::ifstream registry(prefix / "system.reg");
  std::string line;
  for (int n = 0; n < 20 && std::getline(registry, line); ++n)
    if (line.compare(0, 6, "#arch=") == 0) return line.substr(6, 5);
  return "";
}

void Check(const CommandResult& r, const std::string& what) {
  if (r.timedOut) throw std::runtime_error(what + " timed out\n" + r.output);
  if (r.status != 0)
    throw std::runtime_error(what + " failed with status " + std::to_string(r.status) +
                             "\n" + r.output);
}

// Built in a side folder and moved into place, so that an interrupted
// creation never leaves a half-made prefix where the next run looks.
void CreatePrefix(const fs::path& prefix) {
  fs::path side = prefix.string() + ".new-" + std::to_string(getpid());
  fs::remove_all(side);
  fs::create_directories(prefix.parent_path());
  // No display: nothing to show while the prefix is made.
  std::vector<std::string> env = {"WINEPREFIX=" + side.string(), "DISPLAY"};
  try {
    Check(RunWine({"wineboot", "-i"}, env, "", 300), "wineboot -i");
    Check(RunCommand({"wineserver", "-w"}, env, "", 120), "wineserver -w");
  } catch (...) {
    fs::remove_all(side);
    throw;
  }
  std::error_code ec;
  fs::rename(side, prefix, ec);
  if (ec) {
    fs::remove_all(side);
    if (!PrefixReady(prefix))
      throw std::runtime_error("cannot move the new prefix to " + prefix.string() + ": " +
                               ec.message());
  }
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

CommandResult RunCommand(const std::vector<std::string>& argv,
                         const std::vector<std::string>& env, const std::string& cwd,
                         int timeoutSeconds) {
  if (argv.empty()) throw std::invalid_argument("RunCommand: empty argv");
  // An entry without '=' removes the variable.
  std::vector<std::string> envStrings;
  for (char** e = environ; *e; ++e) {
    std::string entry = *e;
    bool replaced = false;
    for (const std::string& extra : env) replaced = replaced || NameOf(extra) == NameOf(entry);
    if (!replaced) envStrings.push_back(entry);
  }
  for (const std::string& extra : env)
    if (extra.find('=') != std::string::npos) envStrings.push_back(extra);
  std::vector<char*> envp, args;
  for (std::string& s : envStrings) envp.push_back(&s[0]);
  envp.push_back(nullptr);
  std::vector<std::string> argvCopy = argv;
  for (std::string& s : argvCopy) args.push_back(&s[0]);
  args.push_back(nullptr);

  char pattern[] = "/tmp/e2e-output-XXXXXX";
  int out = mkstemp(pattern);
  if (out < 0) throw std::runtime_error("RunCommand: mkstemp failed");
  unlink(pattern);
  int in = open("/dev/null", O_RDONLY);

  pid_t pid = fork();
  if (pid == 0) {
    setpgid(0, 0);
    dup2(in, 0);
    dup2(out, 1);
    dup2(out, 2);
    // The reason goes first in the output: it is what a caller shows.
    if (!cwd.empty() && chdir(cwd.c_str()) != 0) {
      dprintf(2, "%s: %s\n", cwd.c_str(), strerror(errno));
      _exit(126);
    }
    // A path is started as it is: execvpe would hand a program this host
    // cannot start ("Exec format error") to the shell as a script.
    if (strchr(args[0], '/')) execve(args[0], args.data(), envp.data());
    else execvpe(args[0], args.data(), envp.data());
    dprintf(2, "%s: %s\n", args[0], strerror(errno));
    _exit(127);
  }
  if (in >= 0) close(in);
  if (pid < 0) {
    close(out);
    throw std::runtime_error("RunCommand: fork failed");
  }
  setpgid(pid, pid);

  CommandResult result;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  int status = 0;
  for (;;) {
    pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) break;
    if (r < 0 && errno != EINTR) break;
    if (std::chrono::steady_clock::now() >= deadline) {
      result.timedOut = true;
      kill(-pid, SIGKILL);
      waitpid(pid, &status, 0);
      break;
    }
    usleep(10000);
  }
  if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
  else if (WIFSIGNALED(status)) result.status = 128 + WTERMSIG(status);

  lseek(out, 0, SEEK_SET);
  char buf[4096];
  ssize_t n;
  while ((n = read(out, buf, sizeof(buf))) > 0) result.output.append(buf, n);
  close(out);
  return result;
}

CommandResult RunWine(const std::vector<std::string>& argv,
                      const std::vector<std::string>& env, const std::string& cwd,
                      int timeoutSeconds) {
  std::vector<std::string> withLoader = {TheWineRoad().loader};
  withLoader.insert(withLoader.end(), argv.begin(), argv.end());
  return RunCommand(withLoader, env, cwd, timeoutSeconds);
}

CommandResult RegAdd(const std::vector<std::string>& arguments) {
  std::vector<std::string> argv = {"reg", "add"};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  argv.push_back("/f");
  // The first program of a new prefix may take its time. Under load Wine's
  // loader now and then fails to start reg.exe at all ("Application could
  // not be started"); the addition is idempotent, so it is tried again.
  CommandResult r;
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (attempt > 0) sleep(1);
    r = RunWine(argv, {}, "", 120);
    if (r.status == 0 || r.timedOut) break;
  }
  return r;
}

const std::string& WinePrefix() { return g_prefix; }

std::string DistDir() { return std::string(E2E_SOURCE_DIR) + "/dist"; }

std::string BuildDir() { return DistDir() + "/" + TheWineRoad().arch; }

std::string ToolsDir() { return DistDir() + "/tools/" + TheWineRoad().arch; }

std::string BoxHelperPath() { return ToolsDir() + "/boxhelper.exe"; }

std::string MissingBuildMessage(const std::string& path) {
  return "missing " + path + ": build the Windows builds first (bash tools/build.sh)";
}

std::string StartWine(const std::function<void(const std::string&)>& say,
                      OtherPrograms others) {
  const WineRoad& road = TheWineRoad();
  if (!road.error.empty()) return road.error;
  std::string notice = RoadNotice(road);
  if (!notice.empty()) say(notice);

  const char* display = getenv("DISPLAY");
  if (!display || !*display)
    return "Wine needs an X display for the message boxes: run under "
           "xvfb-run -a -s \"-screen 0 1024x768x24\"";
  if (!fs::exists(BoxHelperPath())) return MissingBuildMessage(BoxHelperPath());
  if (locale_t ja = newlocale(LC_ALL_MASK, "ja_JP.UTF-8", nullptr)) freelocale(ja);
  else return "the locale ja_JP.UTF-8 is missing (it gives Wine code page 932)";

  // Each road has a prefix of its own: a 64-bit program cannot run in a
  // 32-bit prefix.
  const char* fromEnv = getenv("WINEPREFIX");
  fs::path prefix = fromEnv && *fromEnv ? fs::path(fromEnv)
                                        : fs::path(E2E_BINARY_DIR) / ("wineprefix-" + road.arch);
  g_prefix = fs::absolute(prefix).lexically_normal().string();
  while (g_prefix.size() > 1 && g_prefix.back() == '/') g_prefix.pop_back();
  prefix = g_prefix;
  setenv("WINEPREFIX", g_prefix.c_str(), 1);
  setenv("WINEDEBUG", "-all", 1);
  setenv("WINEDLLOVERRIDES", kDllOverrides, 1);
  if (road.arch == "win64") {
    // A new prefix is made 64-bit, and Wine starts child processes through
    // the same loader, as the launcher script does where only it exists.
    setenv("WINEARCH", "win64", 1);
    setenv("WINELOADER", road.loader.c_str(), 1);
  }

  auto start = std::chrono::steady_clock::now();
  try {
    if (!PrefixReady(prefix)) {
      if (fs::exists(prefix) && !fs::is_empty(prefix))
        return g_prefix + " exists but is no Wine prefix; remove it or set WINEPREFIX";
      say("creating the Wine prefix " + g_prefix);
      CreatePrefix(prefix);
    } else if (road.arch == "win64" && PrefixArch(prefix) == "win32") {
      return g_prefix + " is a 32-bit prefix, which cannot run the 64-bit build; "
                        "remove it or set WINEPREFIX to another folder";
    }
    // One server that outlives the gaps between runs (and dies by itself
    // 30 s after the last program, should this process be killed). Status
    // 2 says that one runs already.
    if (others == OtherPrograms::kEnd) RunCommand({"wineserver", "-k"}, {}, "", 30);
    CommandResult server = RunCommand({"wineserver", "-p30"}, {}, "", 30);
    if (others == OtherPrograms::kEnd || server.status != 2) Check(server, "wineserver -p30");
    g_endAtStop = others == OtherPrograms::kEnd;
    // Without a window manager Wine waits at every box unless unmanaged.
    Check(RegAdd({"HKCU\\Software\\Wine\\X11 Driver", "/v", "Managed", "/d", "N"}),
          "wine reg add");
    // Wine draws the frame's close button with Marlett, which it does not
    // find in fonts-wine's folder by itself; unregistered, the pictures of
    // the boxes show an "r" there.
    if (fs::exists("/usr/share/wine/fonts/marlett.ttf"))
      Check(RegAdd({"HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts", "/v",
                    "Marlett (TrueType)", "/d", "Z:\\usr\\share\\wine\\fonts\\marlett.ttf"}),
            "wine reg add");
    // The first program with a window starts Wine's desktop; pay for it here
    // rather than in the first run's time limit.
    if (fs::exists(ToolsDir() + "/boxprobe.exe")) {
      WineCase warmUp("_warmup");
      warmUp.InstallTool("boxprobe.exe");
      warmUp.Run("ok", {}, 932, 120);
    }
  } catch (const std::exception& e) {
    return e.what();
  }
  char seconds[32];
  snprintf(seconds, sizeof seconds, "%.1f", SecondsSince(start));
  say(std::string("Wine ready in ") + seconds + " s (the " + road.arch + " build, prefix " +
      g_prefix + ")");
  return "";
}

void StopWine() {
  if (g_endAtStop) RunCommand({"wineserver", "-k"}, {}, "", 30);
  g_endAtStop = false;
}

void WineEnvironment::SetUp() {
  std::string error = StartWine(
      [](const std::string& line) { std::cout << "[ e2e      ] " << line << std::endl; });
  if (!error.empty()) FAIL() << error;
}

void WineEnvironment::TearDown() { StopWine(); }

}  // namespace e2e
