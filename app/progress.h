// The progress window of a run with PROGRESS=1, as a listener of the run:
// it opens when the first procedure starts, says what each step does, moves
// the run's bar by the top-level procedures done (a SWITCH's chosen list
// counts inside its step), and asks before a Cancel ends the run.
#pragma once

#include <cstdint>

#include "base/run_events.h"

class ProgressListener : public RunObserver {
 public:
  // The run has `steps` top-level procedures; `undoes` says whether a
  // cancelled run is undone (ROLLBACK=1).
  void Begin(int32_t steps, bool undoes);
  // Closes the window.
  void End();

  void ProcedureStarted(const char* section, const char* mode) override;
  void ProcedureEnded(const char* section, bool result, bool succeeded) override;
  void ActionStarting(FileAction action, const char* first, const char* second) override;
  bool CancelAsked() override;

 private:
  void Say(unsigned id, const char* path = nullptr);

  bool m_open = false;
  bool m_failed = false;  // the window could not be made: the run goes on without it
  bool m_undoes = false;
  int32_t m_steps = 0;
  int32_t m_done = 0;
  int32_t m_depth = 0;  // procedures running: 1 for a top-level one
};

extern ProgressListener TheProgress;
