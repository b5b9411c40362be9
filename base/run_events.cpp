#include "base/run_events.h"

#include "os/os.h"

namespace {

RunObserver g_silent;
RunObserver* g_observer = &g_silent;

}  // namespace

RunObserver& Observer() { return *g_observer; }

void SetRunObserver(RunObserver* observer) { g_observer = observer ? observer : &g_silent; }

void ReportFileAction(FileAction action, const char* first, const char* second,
                      uint32_t number) {
  g_observer->FileActionDone(action, first ? first : "", second ? second : "", number);
  os::ClearFailure();  // the reason of a later failure is that failure's own
}
