// A file that another program holds for a moment (a scanner, a backup, an
// indexer that opens a file just written) makes an action on it fail for
// no lasting reason (or locks a region of it, which stops a copy's read
// part-way). Such an action is tried again, after pauses that grow
// from 50 ms to 500 ms, for 5 seconds in all; each try is in the log. Only
// then is its failure reported, as any other. A failure of any other kind
// is final at once.
#pragma once

#include <cstdint>

namespace held {

// What is tried again, and how the log words it ("could not ... PATH").
#define UPDATER_HELD_STEPS(STEP)                 \
  STEP(Read, "read")                             \
  STEP(Replace, "replace")                       \
  STEP(Delete, "delete")                         \
  STEP(SetAttributes, "set the attributes of")   \
  STEP(MoveAside, "move aside")                  \
  STEP(Undo, "undo the change of")

enum class Step {
#define UPDATER_HELD_STEP_NAME(name, verb) name,
  UPDATER_HELD_STEPS(UPDATER_HELD_STEP_NAME)
#undef UPDATER_HELD_STEP_NAME
};

// The tries of one action on one file.
class Wait {
 public:
  // Called after the action's attempt on `path` failed, its reason kept by
  // the seam (os::LastFailure). True, after a pause (the progress window's
  // messages handled meanwhile), where the file is held by another program
  // and the 5 seconds are not over: the action is to be tried again. False
  // where the failure is to be reported; its reason is kept as it was.
  bool Again(Step step, const char* path);

 private:
  uint32_t m_start = 0;  // the clock's time of the first failure
  uint32_t m_pause = 0;  // the next pause; 0 before the first
};

}  // namespace held
