#include "procs/held_files.h"

#include "base/run_events.h"
#include "os/basics.h"
#include "os/files.h"

namespace held {
namespace {

constexpr uint32_t SharingViolation = 32;  // ERROR_SHARING_VIOLATION
constexpr uint32_t LockViolation = 33;     // ERROR_LOCK_VIOLATION
constexpr uint32_t AccessDenied = 5;       // ERROR_ACCESS_DENIED

constexpr uint32_t FirstPause = 50;
constexpr uint32_t LongestPause = 500;
constexpr uint32_t Limit = 5000;

// Whether `code`, the reason an action on `path` failed, says that another
// program holds the file. A file that is open cannot be replaced, whatever
// its holder shares, and the system says so with "access denied", as it
// does for a read-only file, a folder or a file the account may not
// delete. So that only the first is tried again, the target is looked at:
// it is held where it cannot be opened to be deleted for a sharing
// violation, or where it can, and is neither read-only nor a folder, so
// that only someone's open stands in the way (a running program's file
// among them).
bool IsHeld(Step step, const char* path, uint32_t code) {
  if (code == SharingViolation || code == LockViolation) return true;
  if (step != Step::Replace || code != AccessDenied) return false;
  os::OwnedFile file;
  os::FileIdentity identity;
  os::Opening opening = os::OpenToChange(path, file, identity);
  return opening == os::Opening::Held ||
         (opening == os::Opening::Opened && !(identity.Attributes & os::AttributeReadOnly));
}

// By Step. Texts in place, not pointers: no relocations in the program.
const char Verbs[][22] = {
#define UPDATER_HELD_STEP_VERB(name, verb) verb,
    UPDATER_HELD_STEPS(UPDATER_HELD_STEP_VERB)
#undef UPDATER_HELD_STEP_VERB
};

}  // namespace

bool Wait::Again(Step step, const char* path) {
  uint32_t code = os::LastFailure();
  bool held = IsHeld(step, path, code);
  os::KeepFailure(code);  // the look at the target keeps no reason of its own
  if (!held) return false;
  uint32_t now = os::Milliseconds();
  if (m_pause == 0) {
    m_start = now;
    m_pause = FirstPause;
  }
  uint32_t spent = now - m_start;
  if (spent >= Limit) return false;
  ReportFileAction(FileAction::HeldRetried, path, Verbs[static_cast<int>(step)], code);
  os::PauseRun(m_pause < Limit - spent ? m_pause : Limit - spent);
  m_pause = m_pause * 2 < LongestPause ? m_pause * 2 : LongestPause;
  return true;
}

}  // namespace held
