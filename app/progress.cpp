#include "app/progress.h"

#include "base/characters.h"
#include "base/report.h"
#include "os/ui.h"
#include "procs/proc_list.h"

ProgressListener TheProgress;

void ProgressListener::Begin(int32_t steps, bool undoes) {
  m_open = m_failed = false;
  m_undoes = undoes;
  m_steps = steps;
  m_done = m_depth = 0;
}

void ProgressListener::End() {
  if (m_open) os::CloseProgress();
  m_open = false;
}

void ProgressListener::ProcedureStarted(const char*, const char* mode) {
  if (!m_open && !m_failed) {
    TextString cancel;
    cancel.FormatById(TextCancelButton);
    m_open = os::OpenProgress(CaptionUtf8().Text(), cancel.Text());
    m_failed = !m_open;
    if (m_open) os::ShowRunProgress(0, static_cast<uint32_t>(m_steps));
  }
  ++m_depth;
  // A test says only that it checks; the other kinds say each action.
  const ProcKind* kind = KindOfMode(TextString(mode));
  if (kind && (kind->Effects & kind_effect::Tests)) Say(TextChecking);
}

void ProgressListener::ProcedureEnded(const char*, bool, bool) {
  if (--m_depth == 0 && m_open)
    os::ShowRunProgress(static_cast<uint32_t>(++m_done), static_cast<uint32_t>(m_steps));
}

void ProgressListener::ActionStarting(FileAction action, const char* first, const char*) {
  static const unsigned Texts[] = {
#define UPDATER_ACTION_TEXT(name, log, progress) progress,
      UPDATER_FILE_ACTIONS(UPDATER_ACTION_TEXT)
#undef UPDATER_ACTION_TEXT
  };
  if (unsigned text = Texts[static_cast<int>(action)]) Say(text, first);
}

bool ProgressListener::CancelAsked() {
  if (!m_open || !os::TakeCancelPress()) return false;
  // No by default: a press by mistake must not end an update half done.
  int answer = ShowCatalogueBox(m_undoes ? MsgCancelUndoes : MsgCancelKeeps,
                                os::box::YesNo | os::box::IconQuestion | os::box::DefaultButton2,
                                os::box::IdNo);
  return answer == os::box::IdYes;
}

// The catalogue's text `id`, with the name of the file at `path` (ANSI)
// where the text has a place for it.
void ProgressListener::Say(unsigned id, const char* path) {
  if (!m_open) return;
  TextString text;
  if (path) {
    const char* last = FindLastCharacter(path, '\\');
    text.FormatById(id, ToUtf8(last ? last + 1 : path).Text());
  } else {
    text.FormatById(id);
  }
  os::ShowProgressText(text.Text());
}
