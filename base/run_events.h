// What a run does, as it happens: the one road by which the log, the
// unattended answers, the progress window and the script checker learn of
// it. Each event is fed where it happens (the runner, each procedure kind,
// the reports and boxes), before the run takes its next step, to every
// listener of the run in the order they were added.
#pragma once

#include <cstdint>

// Every file action, said once: its name, the log's line for it, and the
// catalogue text the progress window says as it starts (0: none). A kind
// that does something new adds its row here, and the log and the window
// follow. In a log line, %1 and %2 stand for the first and the second path
// in double quotes, %s for the second as it is (UTF-8), %x and %u for the
// number in hexadecimal (0x%08X) or decimal, %r for the system's reason,
// the number being its error code; an empty line writes none.
#define UPDATER_FILE_ACTIONS(ACTION)                                                     \
  /* first: the source, second: the target */                                           \
  ACTION(Copied, "copied %1 to %2", TextCopying)                                        \
  ACTION(Deleted, "deleted %1", TextDeleting)                                           \
  /* number: the attributes */                                                          \
  ACTION(AttributesSet, "attributes of %1 set to %x", TextSettingAttributes)            \
  ACTION(FolderMade, "folder made %1", TextMakingDirectory)                             \
  /* first: a link or junction in a folder that a copy takes whole */                    \
  ACTION(LinkPassed, "passed over %1: a link or junction is never followed", 0)          \
  /* first: the shortcut file, second: its target */                                    \
  ACTION(ShortcutSaved, "shortcut saved %1 to %2", TextMakingShortcut)                  \
  /* first: the command line, second: the folder it runs in */                         \
  ACTION(ProgramStarted, "program started: %1 in %2", TextStarting)                     \
  /* first: the program, number: its exit code (when waited for); as it */              \
  /* starts: the run waits for it to end */                                             \
  ACTION(ProgramEnded, "program ended: %1, exit code %u", TextWaiting)                  \
  /* first: the program, number: the exit code of success with which it */              \
  /* asks for a restart (SUCCESS) */                                                      \
  ACTION(RestartAsked, "%1 asks for a restart: exit code %u", 0)                        \
  /* first: a file CRC reads (told only as it starts) */                                \
  ACTION(Checksummed, "", TextChecksumming)                                             \
  /* first: the file, second: its file version, or why it has none; number: */          \
  /* the system's error code when it could not be read */                               \
  ACTION(VersionRead, "version of %1: %s%r", 0)                                         \
  /* first: a file a SHA256 item pins; second: its digest as found and as */              \
  /* the item has it ("found X, expected Y") */                                            \
  ACTION(DigestChecked, "digest of %1 as expected: %s", 0)                                \
  ACTION(DigestMismatch, "digest of %1 differs: %s", 0)                                   \
  /* first: a file whose signature verified, second: its signer (SIGNER) */              \
  ACTION(SignerChecked, "signature of %1: signed by %s", 0)                             \
  /* Actions that failed without a report, with the system's error code. */             \
  ACTION(ReadFailed, "could not read %1%r", 0)                                          \
  ACTION(ShortcutFailed, "shortcut not saved %1 to %2%r", 0)                            \
  /* first: a file another program holds; second: what was to be done */                \
  /* with it; number: the system's error code. The action is tried again */             \
  /* after a pause, for 5 seconds at most. */                                           \
  ACTION(HeldRetried, "held by another program: could not %s %1%r; trying again", 0)    \
  /* first: the key and value's name (key\name), second: the new data and */             \
  /* what it replaced, as the registry kind words them */                                  \
  ACTION(RegistrySet, "registry %1 set to %s", TextWritingRegistry)                     \
  ACTION(RegistryDeleted, "registry %1 deleted (was %s)", TextWritingRegistry)            \
  ACTION(RegistryKeyMade, "registry key made %1", 0)                                    \
  /* first: the service's name; number: the milliseconds the change took */            \
  ACTION(ServiceStopped, "service %1 stopped in %u ms", TextStoppingService)            \
  ACTION(ServiceStarted, "service %1 started in %u ms", TextStartingService)            \
  /* second: why it is left (already stopped, not installed, already running) */        \
  ACTION(ServiceLeft, "service %1 left as it is: %s", 0)                               \
  /* Changes that can be undone (ROLLBACK=1), and their undoing. */                     \
  /* first: the file, second: where its old content is kept */                          \
  ACTION(KeptAside, "kept %1 aside as %2", 0)                                           \
  /* first: the file, second: the kept file it came back from */                        \
  ACTION(PutBack, "undo: put back %1 from %2", 0)                                       \
  ACTION(RemovedMade, "undo: removed %1", 0)                                            \
  ACTION(FolderRemoved, "undo: removed folder %1", 0)                                   \
  ACTION(FolderLeft, "undo: left folder %1: not empty", 0)                              \
  /* number: the attributes the file has again */                                      \
  ACTION(AttributesPutBack, "undo: attributes of %1 set back to %x", 0)                 \
  /* first: key\name, second: the data it has again, or "removed" */                      \
  ACTION(RegistryPutBack, "undo: registry %1 set back: %s", 0)                          \
  ACTION(RegistryKeyRemoved, "undo: removed registry key %1", 0)                        \
  ACTION(RegistryKeyLeft, "undo: left registry key %1: not empty", 0)                   \
  /* first: key\name, second: the data found, which is not the run's */                 \
  ACTION(RegistryLeft, "undo: left registry %1: changed since to %s", 0)                \
  ACTION(ServiceRestarted, "undo: service %1 started again", 0)                         \
  ACTION(ServiceStoppedAgain, "undo: service %1 stopped again", 0)                      \
  ACTION(KeptRemoved, "removed kept %1", 0)                                             \
  ACTION(RemovedAtRestart, "%1 is in use: it is removed at the next restart", 0)

enum class FileAction {
#define UPDATER_ACTION_NAME(name, log, progress) name,
  UPDATER_FILE_ACTIONS(UPDATER_ACTION_NAME)
#undef UPDATER_ACTION_NAME
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
  BesideScript,   // path: a journal beside the script, which is never read
  FolderNotRead,  // path: the journals' folder, which has another owner or writer
  FolderTaken,    // path: that folder, taken back, its contents moved aside unread
  OtherRun,       // path: another script's journal; detail: its script (UTF-8);
                  // number 1: finishing its completed run, 0: undoing it
  OtherLeft,      // path: another script's journal, left: number 0 a run holds
                  // it, 1 it cannot be read, 2 what is left waits for a later start
  Unreadable,     // path: a journal this version cannot read, kept as it is
  LeftToDo,       // path: the journal, kept; number: the changes left for a later start
  KeptLeft,       // path: a kept file that could not be removed; number: why
  NotUndone,      // path, detail (UTF-8): what an undo of another script's run
                  // could not do, told as message `number` tells it
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

// Every event does nothing unless a listener says otherwise. The bodies
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
  // An action about to be done, in the words of FileActionDone.
  virtual void ActionStarting(FileAction /*action*/, const char* /*first*/,
                              const char* /*second*/) {}
  virtual void FileActionDone(FileAction /*action*/, const char* /*first*/,
                              const char* /*second*/, uint32_t /*number*/) {}
  // True when the user asked to end the run, and confirmed it; asked
  // between file actions, never inside one.
  virtual bool CancelAsked() { return false; }
  // The run ends at the user's request.
  virtual void RunCancelled() {}
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

// The listeners of this process's run (at most MaxRunListeners), and the
// one that tells them all each event: boxes are answered without being
// shown when one of them answers them, a cancel is asked for when one of
// them asks for it.
constexpr int MaxRunListeners = 4;
void AddRunListener(RunObserver* listener);
void RemoveRunListener(RunObserver* listener);
RunObserver& Observer();

// A file action, for the kinds' brevity.
void ReportFileAction(FileAction action, const char* first, const char* second = "",
                      uint32_t number = 0);
// Tells of an action about to be done; false when the user has ended the
// run instead (the caller then returns its failure without a report, as
// after an answer that ends the run).
bool StartingAction(FileAction action, const char* first, const char* second = "");
// False when the user has ended the run: asked between procedures.
bool RunGoesOn();
