// The checker's listener of the run: the run's error reports reach the
// checker's world through the run's observer, with their numbers and
// arguments as the updater has them.
#include "base/run_events.h"
#include "check_world.h"

namespace check {
namespace {

class ReportKeeper : public RunObserver {
 public:
  void ErrorReported(unsigned id, const char* const* arguments, int count,
                     const char* text) override {
    World& world = TheWorld();
    Report report{id, {}, text, world.Reads.size()};
    for (int i = 0; i < count; ++i) report.Arguments.push_back(arguments[i]);
    world.Reports.push_back(report);
  }
};

}  // namespace

void ResetWorld(const std::string& scriptText) {
  static ReportKeeper keeper;
  RemoveRunListener(&keeper);  // once, before the run's own
  AddRunListener(&keeper);
  NewWorld(scriptText);
}

}  // namespace check
