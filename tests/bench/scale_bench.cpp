// Scale benchmark: scripts of about 100, 1,000 and 10,000 EXIST procedures
// (a top-level list of SWITCHes, each running a list that names one EXIST
// procedure a hundred times) run under Wine. For each it prints the time per
// procedure beside the time of one profile read, timed by profilereads on
// the same script in the same run: each procedure costs three reads (MODE
// twice, FILE once) and one directory search, so a linear program keeps the
// time per procedure flat, at a few reads' worth, as the script grows.
// Each script runs again with a log of the run (/LOG), whose cost is shown
// beside: two lines a procedure, written as they happen.
//
// Figures only: nothing here passes or fails on time.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "robust_support.h"
#include "wine_case.h"
#include "wine_env.h"

namespace e2e {
namespace {

using robust::Repeated;

// `switches` SWITCHes, each running `perSwitch` EXIST procedures.
std::string ScaleScript(int switches, int perSwitch) {
  return "[UPDATER]\nNAME=T\nPROC=" + Repeated("s", switches) +
         "\n[s]\nMODE=SWITCH\nPROC=s\n0=" + Repeated("e", perSwitch) +
         "\n1=\n[e]\nMODE=EXIST\nFILE=<Src>\\updater.exe\n";
}

// The fastest of a few runs of the script, in seconds.
double FastestRun(WineCase& run, const std::string& script, const std::string& arguments = "",
                  int tries = 3) {
  run.WriteScript(script);
  double best = 1e9;
  for (int i = 0; i < tries; ++i) {
    RunResult result = run.Run(arguments, {}, 932, 600);
    if (result.timedOut || result.exitCode != 0 || !result.boxes.empty()) {
      ADD_FAILURE() << "the benchmark script did not run cleanly: " << result;
      return 0;
    }
    best = std::min(best, result.seconds);
  }
  return best;
}

// Seconds per profile read of the procedures' keys in the script in place:
// the fastest of a few timings of the same reads the procedures make.
double SecondsPerRead(const WineCase& run, unsigned long reads, int tries = 3) {
  double best = 1e9;
  for (int i = 0; i < tries; ++i) {
    CommandResult result =
        RunWine({ToolsDir() + "/profilereads.exe", run.WinPath("updater.ini"),
                    std::to_string(reads), "e", "MODE", "MODE", "FILE"},
                   {}, run.UnixPath(), 600);
    unsigned long done = 0;
    double seconds = 0;
    size_t at = result.output.find("reads ");
    if (result.status != 0 || at == std::string::npos ||
        sscanf(result.output.c_str() + at, "reads %lu seconds %lf", &done, &seconds) != 2 ||
        done == 0) {
      ADD_FAILURE() << "profilereads failed: " << result.output;
      return 0;
    }
    best = std::min(best, seconds / double(done));
  }
  return best;
}

TEST(ScaleBench, TimePerProcedureBesideTimePerRead) {
  WineCase run("scale_bench");
  run.InstallUpdater();
  // What every run costs before its first procedure: Wine, start-up, one
  // SWITCH with nothing to do.
  double base = FastestRun(run, ScaleScript(1, 0));
  printf("\n  base run (start-up, no procedure): %.3f s\n\n", base);
  printf("  %10s %9s %16s %12s %16s %14s %10s\n", "procedures", "run (s)", "per proc (us)",
         "read (us)", "proc / read", "logged run (s)", "log cost");
  for (int switches : {1, 10, 100}) {
    const int procedures = switches * 100;
    double seconds = FastestRun(run, ScaleScript(switches, 100));
    double perProcedure = (seconds - base) / procedures;
    double perRead = SecondsPerRead(run, std::max(3000ul, 3ul * procedures));
    // Each run appends its log; a fresh one each time keeps the file small.
    std::remove(run.UnixPath("run.log").c_str());
    double logged = FastestRun(run, ScaleScript(switches, 100), "/LOG=" + run.WinPath("run.log"));
    printf("  %10d %9.3f %16.1f %12.1f %16.2f %14.3f %9.1f%%\n", procedures, seconds,
           perProcedure * 1e6, perRead * 1e6, perRead > 0 ? perProcedure / perRead : 0.0, logged,
           (logged / seconds - 1) * 100);
    fflush(stdout);
  }
  printf("\n");
}

}  // namespace
}  // namespace e2e
