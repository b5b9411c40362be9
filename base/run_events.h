// What a run does, as it happens: the one road by which the log, the
// unattended answers and the script checker learn of it. Each event is fed
// where it happens (the runner, each procedure kind, the reports and boxes),
// before the run takes its next step.
#pragma once

#include <cstdint>

enum class FileAction {
  Copied,          // first: the source, second: the target
  Deleted,         // first: the file
  AttributesSet,   // first: the file, number: the attributes
  FolderMade,      // first: the folder
  ShortcutSaved,   // first: the shortcut file, second: its target
  ProgramStarted,  // first: the command line, second: the folder it runs in
  ProgramEnded,    // first: the program, number: its exit code (when waited for)
};

// A box of the run: an error report (Report, its catalogue number) or one of
// the script's own (Report 0). Texts are UTF-8, as the box shows them.
struct BoxEvent {
  unsigned Report;
  const char* Text;
  const char* Caption;
  uint32_t Style;
  int Answer;  // the button, or 0 when no box could be shown
  bool Shown;  // false: answered without a box
};

// Every event does nothing unless an observer says otherwise. The bodies
// stay in this header, so that the class has no one file whose build decides
// its run-time type information: the core is built without it, the checker
// and the tests with it.
class RunObserver {
 public:
  virtual ~RunObserver() {}
  // True when boxes take their answers without being shown (unattended).
  virtual bool AnswersBoxes() { return false; }
  virtual void ProcedureStarted(const char* /*section*/, const char* /*mode*/) {}
  // `succeeded` false when the procedure ended the run.
  virtual void ProcedureEnded(const char* /*section*/, bool /*result*/, bool /*succeeded*/) {}
  virtual void FileActionDone(FileAction /*action*/, const char* /*first*/,
                              const char* /*second*/, uint32_t /*number*/) {}
  // An error report about to be shown: its number, its arguments (ANSI, in
  // the order of the text's placeholders; a number is not among them) and
  // its text.
  virtual void ErrorReported(unsigned /*id*/, const char* const* /*arguments*/, int /*count*/,
                             const char* /*text*/) {}
  virtual void BoxDone(const BoxEvent& /*box*/) {}
};

// The observer of this process's run; one that sees nothing until one is
// set. Null sets that one back.
RunObserver& Observer();
void SetRunObserver(RunObserver* observer);

// A file action, for the kinds' brevity.
void ReportFileAction(FileAction action, const char* first, const char* second = "",
                      uint32_t number = 0);
