#include "base/run_events.h"

#include "os/basics.h"

namespace {

// Tells each event to every listener, in the order they were added.
class Listeners : public RunObserver {
 public:
  void Add(RunObserver* listener) {
    if (count_ < MaxRunListeners) listeners_[count_++] = listener;
  }
  void Remove(RunObserver* listener) {
    for (int i = 0; i < count_; ++i)
      if (listeners_[i] == listener) {
        for (int j = i + 1; j < count_; ++j) listeners_[j - 1] = listeners_[j];
        --count_;
        return;
      }
  }

  bool AnswersBoxes() override {
    for (int i = 0; i < count_; ++i)
      if (listeners_[i]->AnswersBoxes()) return true;
    return false;
  }
  bool CancelAsked() override {
    for (int i = 0; i < count_; ++i)
      if (listeners_[i]->CancelAsked()) return true;
    return false;
  }
  void ProcedureStarted(const char* section, const char* mode) override {
    for (int i = 0; i < count_; ++i) listeners_[i]->ProcedureStarted(section, mode);
  }
  void ProcedureEnded(const char* section, bool result, bool succeeded) override {
    for (int i = 0; i < count_; ++i) listeners_[i]->ProcedureEnded(section, result, succeeded);
  }
  void ActionStarting(FileAction action, const char* first, const char* second) override {
    for (int i = 0; i < count_; ++i) listeners_[i]->ActionStarting(action, first, second);
  }
  void FileActionDone(FileAction action, const char* first, const char* second,
                      uint32_t number) override {
    for (int i = 0; i < count_; ++i) listeners_[i]->FileActionDone(action, first, second, number);
  }
  void RunCancelled() override {
    for (int i = 0; i < count_; ++i) listeners_[i]->RunCancelled();
  }
  void ErrorReported(unsigned id, const char* const* arguments, int count,
                     const char* text) override {
    for (int i = 0; i < count_; ++i) listeners_[i]->ErrorReported(id, arguments, count, text);
  }
  void BoxDone(const BoxEvent& box) override {
    for (int i = 0; i < count_; ++i) listeners_[i]->BoxDone(box);
  }
  void JournalNoted(JournalNote note, const char* path, const char* utf8Detail,
                    uint32_t number) override {
    for (int i = 0; i < count_; ++i) listeners_[i]->JournalNoted(note, path, utf8Detail, number);
  }

 private:
  RunObserver* listeners_[MaxRunListeners] = {};
  int count_ = 0;
};

Listeners g_listeners;

}  // namespace

void AddRunListener(RunObserver* listener) { g_listeners.Add(listener); }
void RemoveRunListener(RunObserver* listener) { g_listeners.Remove(listener); }
RunObserver& Observer() { return g_listeners; }

void ReportFileAction(FileAction action, const char* first, const char* second,
                      uint32_t number) {
  g_listeners.FileActionDone(action, first ? first : "", second ? second : "", number);
  os::ClearFailure();  // the reason of a later failure is that failure's own
}

bool StartingAction(FileAction action, const char* first, const char* second) {
  if (!RunGoesOn()) return false;
  g_listeners.ActionStarting(action, first ? first : "", second ? second : "");
  return true;
}

bool RunGoesOn() {
  if (!g_listeners.CancelAsked()) return true;
  g_listeners.RunCancelled();
  return false;
}
