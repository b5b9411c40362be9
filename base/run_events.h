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
  VersionRead,     // first: the file, second: its file version, or why it has none;
                   // number: the system's error code when it could not be read
  // Actions that failed without a report, with the system's error code.
  ReadFailed,      // first: a file a test could not read
  ShortcutFailed,  // first: the shortcut file, second: its target
  // Changes that can be undone (ROLLBACK=1), and their undoing.
  KeptAside,          // first: the file, second: where its old content is kept
  PutBack,            // first: the file, second: the kept file it came back from
  RemovedMade,        // first: a file the run had made, removed by the undo
  FolderRemoved,      // first: a folder the run had made, removed by the undo
  FolderLeft,         // first: a folder the run had made, left: not empty
  AttributesPutBack,  // first: the file, number: the attributes it has again
  KeptRemoved,        // first: a kept file, removed once the run completed
  RemovedAtRestart,   // first: a file in use, removed when the system next starts
};

// What the journal of a run that can be undone tells.
enum class JournalNote {
  Opened,      // path: the journal; the run's changes can be undone
  InProgress,  // path: the journal, held by a run of the same script
  Recovering,  // path: a journal of a run that was cut short; number 1 when
               // that run had completed (it is finished), 0 (it is undone)
  Undoing,     // number: the changes to undo
  Undone,      // number: the changes that could not be undone
  Completed,   // number: the files kept aside, to be removed
  HeldBy,      // path: a file that could not be moved aside; detail: who holds it
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
  // `path` is ANSI, `utf8Detail` UTF-8 (or empty).
  virtual void JournalNoted(JournalNote /*note*/, const char* /*path*/,
                            const char* /*utf8Detail*/, uint32_t /*number*/) {}
};

// The observer of this process's run; one that sees nothing until one is
// set. Null sets that one back.
RunObserver& Observer();
void SetRunObserver(RunObserver* observer);

// A file action, for the kinds' brevity.
void ReportFileAction(FileAction action, const char* first, const char* second = "",
                      uint32_t number = 0);
