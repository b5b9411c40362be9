// Rollback benchmark: what ROLLBACK=1 costs under Wine. A run copies 1,000
// small files over existing ones (ten COPY procedures of 100 files), and
// one copies a large file (1 GiB, or UPDATER_BENCH_MIB MiB) over an
// existing one, each without and with the key; the ratio is the price of
// the journal (a flushed record before each change, the old file moved
// aside, then removed). The same runs meeting a failure at their end are
// undone; the log's times of the undo's first and last lines give its
// duration. Each figure is the fastest of a few runs. The same runs, attended,
// without and with PROGRESS=1 give the price of the progress window (its
// bars moved as the files are read, its messages handled), on a quiet
// machine and while another thread keeps a core busy; as a run's time
// here drifts by a tenth from minute to minute, they also give the median
// of the ratios of the runs made one after the other, with the middle half
// of them, and first the window's fixed price around a run that does nothing.
//
//   xvfb-run -a -s "-screen 0 1024x768x24" build/native/tests/bench/rollback_bench
//
// The same copies with SHA256= give the price of the digest, computed in
// the copy's own loop: beside the time sha256sum takes for the same bytes
// here, the digest's own floor.
//
// The same 1,000 files copied by one COPY item that names their folder
// ("<Src>\src\*") beside their lists give the price of listing the folder.
//
// Figures only: nothing here passes or fails on time. Goals: at most 1.15x
// for the journal, 1.05x for the window; for SHA256, an extra time on the
// large file of at most 1.1x sha256sum's, and at most 1.10x on the small
// files.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/updater.h"
#include "fake/fake_os.h"
#include "wine_case.h"
#include "wine_env.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

const int Procedures = 10;
const int FilesEach = 100;

// The name of small file `i` of procedure `p`, without its folder.
std::string SmallName(int p, int i) {
  char name[16];
  snprintf(name, sizeof name, "%d%02d", p, i);
  return name;
}

// Ten COPY procedures of a hundred files each, from src\ to dst\ (or, with
// `folders`, to dst\0\ to dst\9\); their lists come from DEFINE, where a
// value may be longer than a key's.
// With `digest`, each procedure pins every file to it (they are alike).
std::string SmallFilesScript(const std::string& keys, const std::string& tail, bool folders,
                             const std::string& digest = "") {
  std::string define = "[DEFINE]\n<S>=<Src>\\src\n<T>=<Src>\\dst\n";
  std::string pins;
  for (int i = 0; !digest.empty() && i < FilesEach; ++i) pins += i ? ",<H>" : "<H>";
  if (!digest.empty()) define += "<H>=" + digest + "\n<P>=" + pins + "\n";
  std::string procs, sections;
  for (int p = 0; p < Procedures; ++p) {
    std::string from, to;
    for (int i = 0; i < FilesEach; ++i) {
      from += (i ? ",<S>\\" : "<S>\\") + SmallName(p, i);
      to += std::string(i ? ",<T>\\" : "<T>\\") + (folders ? std::to_string(p) + "\\" : "") +
            SmallName(p, i);
    }
    define += "<F" + std::to_string(p) + ">=" + from + "\n<D" + std::to_string(p) + ">=" + to + "\n";
    procs += (p ? ",c" : "c") + std::to_string(p);
    sections += "[c" + std::to_string(p) + "]\nMODE=COPY\nFROM=<F" + std::to_string(p) +
                ">\nTO=<D" + std::to_string(p) + ">\n" + (digest.empty() ? "" : "SHA256=<P>\n");
  }
  return "[UPDATER]\nNAME=B\n" + keys + "PROC=" + procs + (tail.empty() ? "" : ",fail") + "\n" +
         define + sections + tail;
}

std::string BigFileScript(const std::string& keys, const std::string& tail) {
  return "[UPDATER]\nNAME=B\n" + keys + "PROC=big" + (tail.empty() ? "" : ",fail") +
         "\n[big]\nMODE=COPY\nFROM=<Src>\\src\\big.bin\nTO=<Src>\\dst\\big.bin\n" + tail;
}

const char* const Failure = "[fail]\nMODE=COPY\nFROM=<Src>\\none\nTO=<Src>\\dst\\none\n";

// `arguments` "/UNATTENDED", or "" for an attended run (which these
// scripts let end without a box).
double Timed(WineCase& run, const std::string& script, const std::string& arguments) {
  run.WriteScript(script);
  RunResult result = run.Run(arguments, {}, 932, 1200);
  if (result.timedOut || result.exitCode != 0) {
    ADD_FAILURE() << "the benchmark script did not complete: " << result;
    return 0;
  }
  return result.seconds;
}

double Fastest(WineCase& run, const std::string& script, int tries) {
  double best = 1e9;
  for (int i = 0; i < tries; ++i) best = std::min(best, Timed(run, script, "/UNATTENDED"));
  return best;
}

// The fastest of each, run in turns, so that both meet the disk alike, and
// the median of each turn's ratio (the other run's time over the plain
// one's, made just after it) with the quartiles around it, which say how
// far one figure can be trusted on this machine.
struct Paired {
  std::pair<double, double> fastest;
  double medianRatio, lowerQuartile, upperQuartile;
  double medianExtra;  // seconds the other run took beyond the plain one
};
Paired PairedInTurns(WineCase& run, const std::string& plain, const std::string& other,
                     int tries, const std::string& arguments = "/UNATTENDED") {
  Paired result{{1e9, 1e9}, 0, 0, 0, 0};
  std::vector<double> ratios, extras;
  for (int i = 0; i < tries; ++i) {
    double first = Timed(run, plain, arguments), second = Timed(run, other, arguments);
    result.fastest = {std::min(result.fastest.first, first),
                      std::min(result.fastest.second, second)};
    if (first > 0) ratios.push_back(second / first);
    if (first > 0 && second > 0) extras.push_back(second - first);
  }
  std::sort(ratios.begin(), ratios.end());
  std::sort(extras.begin(), extras.end());
  if (!ratios.empty()) {
    result.medianRatio = ratios[ratios.size() / 2];
    result.lowerQuartile = ratios[ratios.size() / 4];
    result.upperQuartile = ratios[ratios.size() * 3 / 4];
  }
  if (!extras.empty()) result.medianExtra = extras[extras.size() / 2];
  return result;
}

std::pair<double, double> FastestInTurns(WineCase& run, const std::string& plain,
                                         const std::string& other, int tries,
                                         const std::string& arguments = "/UNATTENDED") {
  return PairedInTurns(run, plain, other, tries, arguments).fastest;
}

// Seconds from the log's "undo: ... recorded" line to its "undo: complete".
double UndoSeconds(WineCase& run, const std::string& script, int tries) {
  run.WriteScript(script);
  double best = 1e9;
  for (int i = 0; i < tries; ++i) {
    fs::remove(run.UnixPath("undo.log"));
    RunResult result = run.Run("/UNATTENDED /LOG=" + run.WinPath("undo.log"), {}, 932, 1200);
    std::istringstream log(run.ReadFile("undo.log"));
    std::string line;
    double start = -1, end = -1;
    const std::regex time(R"(^\d{4}-\d\d-\d\d (\d\d):(\d\d):(\d\d)\.(\d{3}) )");
    while (std::getline(log, line)) {
      std::smatch m;
      if (!std::regex_search(line, m, time)) continue;
      double at = std::stoi(m[1]) * 3600.0 + std::stoi(m[2]) * 60.0 + std::stoi(m[3]) +
                  std::stoi(m[4]) / 1000.0;
      if (line.find("changes recorded") != std::string::npos) start = at;
      if (line.find("undo: complete") != std::string::npos) end = at;
    }
    if (result.exitCode != 1603 || start < 0 || end < start) {
      ADD_FAILURE() << "the failing run was not undone: " << result;
      return 0;
    }
    best = std::min(best, end - start);
  }
  return best;
}

// `undo` < 0: no undo column.
void Row(const char* what, double base, std::pair<double, double> times, double undo) {
  double plain = times.first, journaled = times.second;
  printf("  %-34s %9.3f %9.3f %8.2fx %9.3f %8.2fx", what, plain, journaled, journaled / plain,
         plain - base, (journaled - base) / (plain - base));
  if (undo >= 0) printf(" %9.3f", undo);
  printf("\n");
  fflush(stdout);
}

// The same runs in the test double: the journal's flushes and the calls of
// the seam for each changed file, without and with the key, and which calls
// the key adds. The double counts every call alike, a look at a file's
// identity through its open handle as much as a rename; Wine's times below
// say what they cost.
struct Counted {
  std::map<std::string, unsigned> calls;
  unsigned total = 0, flushes = 0;
};
Counted CountInDouble(const std::string& script, bool big) {
  fake::Reset();
  fake::SetModulePath("C:\\Setup\\updater.exe");
  fake::SetFile("C:\\Setup\\updater.ini", script);
  for (int p = 0; p < Procedures && !big; ++p)
    for (int i = 0; i < FilesEach; ++i) {
      fake::SetFile("C:\\Setup\\src\\" + SmallName(p, i), std::string(4096, 'n'));
      fake::SetFile("C:\\Setup\\dst\\" + SmallName(p, i), "old");
    }
  if (big) {
    fake::SetFile("C:\\Setup\\src\\big.bin", std::string(1 << 20, 'b'));
    fake::SetFile("C:\\Setup\\dst\\big.bin", "old");
  }
  UpdaterMain("/UNATTENDED");
  Counted counted;
  counted.calls = fake::CallsByName();
  counted.total = fake::Calls();
  counted.flushes = fake::Flushes();
  return counted;
}

void DoubleRow(const char* what, const std::string& plain, const std::string& keyed, int files,
               bool big) {
  Counted without = CountInDouble(plain, big), with = CountInDouble(keyed, big);
  printf("  %-34s %9.2f %9.2f %9.2f %9.3f\n", what, double(without.total) / files,
         double(with.total) / files, double(with.total - without.total) / files,
         double(with.flushes) / files);
  std::string extra;
  for (const auto& call : with.calls) {
    auto before = without.calls.find(call.first);
    int added = int(call.second) - (before == without.calls.end() ? 0 : int(before->second));
    if (added <= 0) continue;
    char text[96];
    snprintf(text, sizeof text, "%s%s %.2f", extra.empty() ? "" : ", ", call.first.c_str(),
             double(added) / files);
    extra += text;
  }
  printf("  %-34s %s\n", "    added, per changed file:", extra.c_str());
  fflush(stdout);
}

// The bench's folder: the updater, 1,000 small sources and their old
// targets (in one folder, and where `folders`, in ten as well), and a large
// file of UPDATER_BENCH_MIB MiB (1 GiB unless set) over an old one. Gives
// its size in MiB.
void LaySmallFiles(WineCase& run, bool folders) {
  run.InstallUpdater();
  const std::string content(4096, 'n');
  for (int p = 0; p < Procedures; ++p)
    for (int i = 0; i < FilesEach; ++i) {
      run.WriteFile("src/" + SmallName(p, i), content);
      run.WriteFile("dst/" + SmallName(p, i), "old");
      if (folders) run.WriteFile("dst/" + std::to_string(p) + "/" + SmallName(p, i), "old");
    }
}
long LayOut(WineCase& run, bool folders) {
  LaySmallFiles(run, folders);
  const char* mibText = getenv("UPDATER_BENCH_MIB");
  const long mib = mibText ? atol(mibText) : 1024;
  {
    std::ofstream big(run.UnixPath("src/big.bin"), std::ios::binary);
    std::string block(1 << 20, 'b');
    for (long i = 0; i < mib; ++i) big.write(block.data(), block.size());
  }
  run.WriteFile("dst/big.bin", "old");
  return mib;
}

TEST(RollbackBench, TheJournalsCallsInTheDouble) {
  printf("\n  %-34s %9s %9s %9s %9s\n", "in the double, per changed file", "calls", "undoable",
         "extra", "flushes");
  DoubleRow("1,000 files of 4 KiB, one folder", SmallFilesScript("", "", false),
            SmallFilesScript("ROLLBACK=1\n", "", false), Procedures * FilesEach, false);
  DoubleRow("one large file over an old one", BigFileScript("", ""),
            BigFileScript("ROLLBACK=1\n", ""), 1, true);
}

// sha256sum's digest of the file at `path`, and the fastest of `tries`
// times it took.
std::pair<std::string, double> Sha256sum(const std::string& path, int tries) {
  std::pair<std::string, double> best("", 1e9);
  for (int i = 0; i < tries; ++i) {
    auto start = std::chrono::steady_clock::now();
    FILE* pipe = popen(("sha256sum '" + path + "'").c_str(), "r");
    char digest[65] = {};
    if (!pipe || fread(digest, 1, 64, pipe) != 64) ADD_FAILURE() << "sha256sum failed";
    if (pipe) pclose(pipe);
    best.first = digest;
    best.second = std::min(
        best.second,
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}

TEST(DigestBench, TheCostOfSha256BesideSha256sum) {
  WineCase run("digest_bench");
  const long mib = LayOut(run, false);
  const double base = Fastest(run, "[UPDATER]\nNAME=B\nPROC=o\n[o]\nMODE=OSVER\n", 3);
  auto small = Sha256sum(run.UnixPath("src/000"), 1);
  auto large = Sha256sum(run.UnixPath("src/big.bin"), 3);
  printf("\n  the %s build; a run that does nothing takes %.3f s (Wine's start-up)\n\n",
         BuildDir().c_str(), base);
  printf("  %-34s %9s %9s %9s %9s %9s %9s\n", "", "plain (s)", "SHA256", "ratio", "net plain",
         "net ratio", "extra (s)");
  auto smallTimes = FastestInTurns(run, SmallFilesScript("", "", false),
                                   SmallFilesScript("", "", false, small.first), 5);
  Row("1,000 files of 4 KiB, one folder", base, smallTimes, smallTimes.second - smallTimes.first);
  std::string what = std::to_string(mib) + " MiB file over an old one";
  auto largeTimes = FastestInTurns(run, BigFileScript("", ""),
                                   BigFileScript("", "") + "SHA256=" + large.first + "\n", 3);
  Row(what.c_str(), base, largeTimes, largeTimes.second - largeTimes.first);
  printf("  sha256sum of the %s MiB file: %.3f s; the key's extra time is %.2fx that\n\n",
         std::to_string(mib).c_str(), large.second,
         (largeTimes.second - largeTimes.first) / large.second);
  fs::remove(run.UnixPath("src/big.bin"));
  fs::remove(run.UnixPath("dst/big.bin"));
}

// The 1,000 files of SmallFilesScript as a folder's files, by one item.
std::string FolderScript(const std::string& keys) {
  return "[UPDATER]\nNAME=B\n" + keys +
         "PROC=c\n[c]\nMODE=COPY\nFROM=<Src>\\src\\*\nTO=<Src>\\dst\n";
}

TEST(FolderBench, AFoldersFilesByOneItemBesideTheirLists) {
  WineCase run("folder_bench");
  LaySmallFiles(run, false);
  const double base = Fastest(run, "[UPDATER]\nNAME=B\nPROC=o\n[o]\nMODE=OSVER\n", 3);
  printf("\n  the %s build; a run that does nothing takes %.3f s (Wine's start-up)\n\n",
         BuildDir().c_str(), base);
  printf("  %-34s %9s %9s %9s %9s %9s\n", "1,000 files of 4 KiB, one folder", "lists (s)",
         "one item", "ratio", "net lists", "net ratio");
  for (const char* keys : {"", "ROLLBACK=1\n"})
    Row(*keys ? "  with ROLLBACK=1" : "  without", base,
        FastestInTurns(run, SmallFilesScript(keys, "", false), FolderScript(keys), 5), -1);
  printf("\n");
}

TEST(RollbackBench, TheCostOfUndoableRuns) {

  WineCase run("rollback_bench");
  const long mib = LayOut(run, true);

  const double base = Fastest(run, "[UPDATER]\nNAME=B\nPROC=o\n[o]\nMODE=OSVER\n", 3);
  printf("\n  the %s build; a run that does nothing takes %.3f s (Wine's start-up)\n\n",
         BuildDir().c_str(), base);
  printf("  %-34s %9s %9s %9s %9s %9s %9s\n", "", "plain (s)", "undoable", "ratio", "net plain",
         "net ratio", "undo (s)");
  for (bool folders : {false, true})
    Row(folders ? "1,000 files of 4 KiB, 10 folders" : "1,000 files of 4 KiB, one folder", base,
        FastestInTurns(run, SmallFilesScript("", "", folders),
                       SmallFilesScript("ROLLBACK=1\n", "", folders), 5),
        UndoSeconds(run, SmallFilesScript("ROLLBACK=1\n", Failure, folders), 2));
  std::string big = std::to_string(mib) + " MiB file over an old one";
  Row(big.c_str(), base,
      FastestInTurns(run, BigFileScript("", ""), BigFileScript("ROLLBACK=1\n", ""), 3),
      UndoSeconds(run, BigFileScript("ROLLBACK=1\n", Failure), 2));

  printf("\n");
  fs::remove(run.UnixPath("src/big.bin"));
  fs::remove(run.UnixPath("dst/big.bin"));
}

// Keeps one core busy while it lives, as another program on a customer's
// machine does: the window's cost is measured beside it too.
class BusyCore {
 public:
  BusyCore() : m_spinner([this] {
      volatile unsigned long spins = 0;
      while (!m_stop.load(std::memory_order_relaxed)) ++spins;
    }) {}
  ~BusyCore() {
    m_stop = true;
    m_spinner.join();
  }

 private:
  std::atomic<bool> m_stop{false};
  std::thread m_spinner;
};

// The window's cost: attended runs with PROGRESS=1 beside the same runs
// without it, on a quiet machine and beside a busy core. The box reader
// leaves the window alone, as no one reads a user's window a hundred times
// a second; the last rows show what its reading adds under Wine.
TEST(ProgressBench, TheCostOfTheWindowQuietAndBusy) {
  WineCase run("progress_bench");
  const long mib = LayOut(run, false);
  const double base = Fastest(run, "[UPDATER]\nNAME=B\nPROC=o\n[o]\nMODE=OSVER\n", 3);
  printf("\n  the %s build; a run that does nothing takes %.3f s (Wine's start-up)\n",
         BuildDir().c_str(), base);
  std::string big = std::to_string(mib) + " MiB file over an old one";
  const std::string small = SmallFilesScript("", "", false);
  const std::string smallShown = SmallFilesScript("PROGRESS=1\n", "", false);
  // Many turns for the small files, as one turn's ratio drifts here by a
  // tenth either way: the median of their ratios, and the middle half.
  auto smallRow = [&](const char* what, int turns) {
    Paired times = PairedInTurns(run, small, smallShown, turns, "");
    Row(what, base, times.fastest, -1);
    printf("  %-34s %29.2fx  (middle half %.2fx to %.2fx, %d turns)\n",
           "  median of the turns' ratios", times.medianRatio, times.lowerQuartile,
           times.upperQuartile, turns);
  };
  run.ReadingBoxesOnly();
  // The window's fixed price: made, shown and closed around a run that
  // does nothing.
  const std::string nothing = "[UPDATER]\nNAME=B\nPROC=o\n[o]\nMODE=OSVER\n";
  const std::string nothingShown = "[UPDATER]\nNAME=B\nPROGRESS=1\nPROC=o\n[o]\nMODE=OSVER\n";
  Paired opened = PairedInTurns(run, nothing, nothingShown, 11, "");
  printf("  the window made and closed around a run that does nothing: %.0f ms (median of 11 "
         "turns)\n",
         opened.medianExtra * 1000);
  for (bool busy : {false, true}) {
    printf("\n  %-34s %9s %9s %9s %9s %9s\n",
           busy ? "attended, another core kept busy" : "attended, a quiet machine", "plain (s)",
           "PROGRESS", "ratio", "net plain", "net ratio");
    std::unique_ptr<BusyCore> load(busy ? new BusyCore : nullptr);
    smallRow("1,000 files of 4 KiB, one folder", busy ? 21 : 31);
    Row(big.c_str(), base,
        FastestInTurns(run, BigFileScript("", ""), BigFileScript("PROGRESS=1\n", ""), 3, ""), -1);
  }
  printf("\n  %-34s\n", "the bench's box reader at the window");
  run.ReadingBoxesOnly(false);
  smallRow("1,000 files, a quiet machine", 11);
  printf("\n");
  fs::remove(run.UnixPath("src/big.bin"));
  fs::remove(run.UnixPath("dst/big.bin"));
}

}  // namespace
}  // namespace e2e
