// The run as deployment tools see it: the answers of an unattended run, the
// log of its events and its exit code. Fed by the run's events
// (base/run_events.h); a run with neither switch nor key shows its boxes,
// writes nothing and ends with 0, as it always has.
#pragma once

#include <cstdint>

#include "base/byte_buffer.h"
#include "base/run_events.h"
#include "base/text_string.h"
#include "os/files.h"

// Exit codes of an unattended run, as installers give them.
constexpr int ExitCompleted = 0;
constexpr int ExitAnswerEnded = 1602;  // an answer ended the run (ISABORT)
constexpr int ExitReportEnded = 1603;  // an error report, or an answer to an ERROR box, ended it
constexpr int ExitRunInProgress = 1618;  // a run of the same script was in progress
constexpr int ExitRestartNeeded = 3010;  // completed; a restart is needed to finish

// What the command line's switches ask for.
struct RunSwitches {
  bool Unattended = false;
  bool LogGiven = false;
  TextString LogPath;
};

// Takes the switches "/UNATTENDED" and "/LOG=PATH" (the path in double
// quotes where it holds blanks; case ignored) off the start of the argument
// text, and gives the rest, where the caption is found as ever. The first
// word that is neither ends them: a "/" word after it is text like any other.
const char* TakeSwitches(const char* argumentText, RunSwitches& switches);

class RunRecord : public RunObserver {
 public:
  RunRecord();
  ~RunRecord() override;
  RunRecord(const RunRecord&) = delete;
  RunRecord& operator=(const RunRecord&) = delete;

  // A fresh record: no log, boxes shown, no report yet.
  void Begin();
  // A log already started says so: its start line told an attended run.
  void SetUnattended();
  // No one could see the run's boxes: it runs as if unattended, and the
  // log says why (`why` a static text).
  void SetUnseen(const char* why) {
    m_unattended = true;
    m_unseen = why;
  }
  // Another run of the script holds its journal: this one does nothing.
  void SetRunInProgress() { m_inProgress = true; }
  bool Unattended() const { return m_unattended; }
  // Opens the log at `path` and writes the start line. A log that cannot
  // be opened (or is reached through a link) is left out; the run goes on.
  void StartLog(const char* path);
  bool Logging() const { return m_log.IsOpen(); }
  // The script's NAME became the caption: the log says so where it differs
  // from the caption of the start line.
  void NoteCaption();
  // Writes the end line and closes the log; gives the run's exit code.
  int End(bool completed);

  bool AnswersBoxes() override { return m_unattended; }
  void ProcedureStarted(const char* section, const char* mode) override;
  void ProcedureEnded(const char* section, bool result, bool succeeded) override;
  void FileActionDone(FileAction action, const char* first, const char* second,
                      uint32_t number) override;
  void ErrorReported(unsigned id, const char* const* arguments, int count,
                     const char* text) override;
  void BoxDone(const BoxEvent& box) override;
  void RunCancelled() override;
  void JournalNoted(JournalNote note, const char* path, const char* utf8Detail,
                    uint32_t number) override;

 private:
  // One line: the local time to the millisecond, `utf8Text`, CRLF; written
  // at once, so that a run killed after it still leaves it.
  void Write(const TextString& utf8Text);
  void CloseLog();

  os::OwnedFile m_log;
  bool m_unattended;
  const char* m_unseen;  // why no one can see the boxes, or null
  bool m_reported;       // an error report was shown (or answered)
  bool m_inProgress;     // another run of the script was in progress
  bool m_cancelled;      // the user ended the run with Cancel
  bool m_restartNeeded;  // a file in use is removed at the next restart
  bool m_restartAsked;   // a program of a LAUNCH with SUCCESS asked for a restart
  uint32_t m_startTime;  // os::Milliseconds at Begin
  uint32_t m_lastBoxStyle;     // the style of the last box, whose answer may end the run
  TextString m_loggedCaption;  // UTF-8, as the start line gave it
  ByteBuffer m_procedureStarts;  // the start times of the procedures running
};

// The record of this process's run.
extern RunRecord TheRun;
