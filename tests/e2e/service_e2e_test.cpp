// SERVICE under Wine, whose service manager is real: a stopped service's
// program is replaced only once its process has ended, a failed update
// leaves the service running its old program, and a service that stops
// again while starting ends the run. The services are svcprobe (its
// process lingers after it reports stopped), registered with sc.exe.
#include <gtest/gtest.h>

#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

#include "report_texts.h"
#include "wine_case.h"
#include "wine_env.h"

namespace e2e {
namespace {

std::string CaseName() {
  return std::string("service_") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
}

// svcprobe's lines: the tick count, what happened, the process id.
struct ProbeLine {
  unsigned long tick = 0;
  std::string what;
  unsigned long process = 0;
};
std::vector<ProbeLine> ProbeLog(const WineCase& c) {
  std::vector<ProbeLine> lines;
  if (!c.Exists("svc.log")) return lines;
  std::istringstream in(c.ReadFile("svc.log"));
  ProbeLine line;
  while (in >> line.tick >> line.what >> line.process) lines.push_back(line);
  return lines;
}
// The tick of the `nth` (from 1) line of `what`, or 0.
unsigned long TickOf(const std::vector<ProbeLine>& lines, const std::string& what, int nth = 1) {
  for (const ProbeLine& line : lines)
    if (line.what == what && --nth == 0) return line.tick;
  return 0;
}
int CountOf(const std::vector<ProbeLine>& lines, const std::string& what) {
  int count = 0;
  for (const ProbeLine& line : lines) count += line.what == what;
  return count;
}

// A service of the case: svcprobe in app\, registered under `name` (the
// case's own, so that no case meets another's), its log svc.log, stopped
// and removed again when the case ends.
class ProbeService {
 public:
  ProbeService(WineCase& c, const std::string& name, int lingerSeconds, bool fail = false)
      : name_(name) {
    c.InstallTool("svcprobe.exe", "app/svcprobe.exe");
    Remove();  // left by an earlier run of the suite
    std::string command = c.WinPath("app\\svcprobe.exe") + " " + name + " " +
                          c.WinPath("svc.log") + " " + std::to_string(lingerSeconds) +
                          (fail ? " fail" : "");
    CommandResult made =
        RunWine({"sc", "create", name, "binPath=", command, "start=", "demand"}, {}, "", 60);
    EXPECT_EQ(made.status, 0) << made.output;
  }
  ~ProbeService() { Remove(); }

  // Starts it and waits until it has said that it runs.
  bool Start(const WineCase& c) {
    RunWine({"sc", "start", name_}, {}, "", 60);
    for (int i = 0; i < 300; ++i) {
      if (CountOf(ProbeLog(c), "running") > 0) return true;
      usleep(100000);
    }
    return false;
  }

 private:
  void Remove() {
    RunWine({"sc", "stop", name_}, {}, "", 60);
    RunWine({"sc", "delete", name_}, {}, "", 60);
  }
  std::string name_;
};

// The new version of svcprobe: the same program with bytes after it, which
// a program's file may carry and still run.
void LayOutNewVersion(WineCase& c) {
  c.WriteFile("new/svcprobe.exe", c.ReadFile("app/svcprobe.exe") + "version 2");
}

// The milliseconds the log says the stop of `name` took, or -1.
long StopMilliseconds(const std::string& log, const std::string& name) {
  std::string said = "service \"" + name + "\" stopped in ";
  size_t at = log.find(said);
  return at == std::string::npos ? -1 : std::stol(log.substr(at + said.size()));
}

TEST(Service, AStoppedServicesProgramIsReplacedOnlyOnceItsProcessHasEnded) {
  WineCase c(CaseName());
  ProbeService service(c, "UpdSvcReplace", 3);
  LayOutNewVersion(c);
  c.InstallTool("svcprobe.exe", "note/svcprobe.exe");
  c.InstallUpdater();
  ASSERT_TRUE(service.Start(c));
  // The note marks, in the service's own log, the moment between the stop
  // and the copy.
  c.WriteScript(
      "[UPDATER]\nNAME=T\nLOG=<Src>\\run.log\nPROC=stop,note,copy,start\n"
      "[stop]\nMODE=SERVICE\nNAME=UpdSvcReplace\nACTION=STOP\n"
      "[note]\nMODE=LAUNCH\nFILE=<Src>\\note\\svcprobe.exe\nPARAM=- <Src>\\svc.log 0 note\n"
      "ISWAIT=1\n"
      "[copy]\nMODE=COPY\nFROM=<Src>\\new\\svcprobe.exe\nTO=<Src>\\app\\svcprobe.exe\n"
      "[start]\nMODE=SERVICE\nNAME=UpdSvcReplace\nACTION=START\nTIMEOUT=20\n");
  RunResult r = c.Run("", {}, 932, 60);
  EXPECT_TRUE(r.boxes.empty()) << r;
  EXPECT_EQ(r.exitCode, 0) << r;
  std::vector<ProbeLine> lines = ProbeLog(c);
  std::string log = c.ReadFile("run.log");
  unsigned long stopped = TickOf(lines, "stopped"), ended = TickOf(lines, "ended"),
                noted = TickOf(lines, "note");
  ASSERT_NE(ended, 0u) << c.ReadFile("svc.log");
  EXPECT_GE(ended - stopped, 2500u) << c.ReadFile("svc.log");  // it lingered
  EXPECT_LE(ended, noted) << c.ReadFile("svc.log");
  EXPECT_GE(StopMilliseconds(log, "UpdSvcReplace"), 2500) << log;
  EXPECT_EQ(c.ReadFile("app/svcprobe.exe"), c.ReadFile("new/svcprobe.exe"));
  // The new program runs.
  EXPECT_EQ(CountOf(lines, "running"), 2) << c.ReadFile("svc.log");
  EXPECT_NE(log.find("service \"UpdSvcReplace\" started in "), std::string::npos) << log;
  printf("the stop waited %ld ms, the process ended %lu ms after the service said stopped\n",
         StopMilliseconds(log, "UpdSvcReplace"), ended - stopped);
}

TEST(Service, AFailedUpdateLeavesTheServiceRunningItsOldProgram) {
  WineCase c(CaseName());
  ProbeService service(c, "UpdSvcUndo", 2);
  LayOutNewVersion(c);
  c.InstallUpdater();
  ASSERT_TRUE(service.Start(c));
  const std::string old = c.ReadFile("app/svcprobe.exe");
  c.WriteScript(
      "[UPDATER]\nNAME=T\nROLLBACK=1\nLOG=<Src>\\run.log\nPROC=stop,copy,start,fail\n"
      "[stop]\nMODE=SERVICE\nNAME=UpdSvcUndo\nACTION=STOP\n"
      "[copy]\nMODE=COPY\nFROM=<Src>\\new\\svcprobe.exe\nTO=<Src>\\app\\svcprobe.exe\n"
      "[start]\nMODE=SERVICE\nNAME=UpdSvcUndo\nACTION=START\n"
      "[fail]\nMODE=DELETE\nFILE=<Src>\\missing.txt\n");
  RunResult r = c.Run("", {}, 932, 60);
  ASSERT_EQ(r.boxes.size(), 1u) << r;
  EXPECT_EQ(r.boxes[0].text, Report(10, c.WinPath("missing.txt"))) << r;
  std::string log = c.ReadFile("run.log");
  EXPECT_EQ(c.ReadFile("app/svcprobe.exe"), old);
  // Started by the run with the new program, stopped by the undo, its old
  // program put back, and started again.
  std::vector<ProbeLine> lines = ProbeLog(c);
  EXPECT_EQ(CountOf(lines, "running"), 3) << c.ReadFile("svc.log");
  EXPECT_EQ(CountOf(lines, "ended"), 2) << c.ReadFile("svc.log");
  EXPECT_GT(TickOf(lines, "running", 3), TickOf(lines, "ended", 2)) << c.ReadFile("svc.log");
  size_t stoppedAgain = log.find("undo: service \"UpdSvcUndo\" stopped again");
  size_t putBack = log.find("undo: put back");
  size_t startedAgain = log.find("undo: service \"UpdSvcUndo\" started again");
  EXPECT_NE(startedAgain, std::string::npos) << log;
  EXPECT_LT(stoppedAgain, putBack) << log;
  EXPECT_LT(putBack, startedAgain) << log;
}

TEST(Service, AServiceThatStopsAgainWhileStartingEndsTheRun) {
  WineCase c(CaseName());
  ProbeService service(c, "UpdSvcBroken", 0, true);
  c.InstallUpdater();
  c.WriteScript(
      "[UPDATER]\nNAME=T\nLOG=<Src>\\run.log\nPROC=start,after\n"
      "[start]\nMODE=SERVICE\nNAME=UpdSvcBroken\nACTION=START\nTIMEOUT=20\n"
      "[after]\nMODE=MSGBOX\nFLAG=\nTYPE=INFORMATION\nTEXT=never\nISABORT=0,0\n");
  RunResult r = c.Run("", {}, 932, 60);
  ASSERT_EQ(r.boxes.size(), 1u) << r;
  EXPECT_EQ(r.boxes[0].text, Report(33, "UpdSvcBroken")) << r;
  EXPECT_NE(c.ReadFile("run.log").find("error report 33"), std::string::npos)
      << c.ReadFile("run.log");
}

}  // namespace
}  // namespace e2e
