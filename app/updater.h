// Start-up and main flow: the whole road of a run.
#pragma once

#include <cstdint>

#include "base/catalogue.h"
#include "base/text_string.h"
#include "procs/journal.h"

// The UPDATER section, which describes itself as a procedure kind does:
// each key once, with what it holds, whether the run needs it and, for a
// key that turns an ability on, what a value that is no number leaves off
// (a word reads as 0). The start-up reads the keys by these rows, the
// script checker checks them, and a test holds the script guide and the
// fuzz dictionary against them.
extern const char* const UpdaterSection;
enum class RunKeyForm : uint8_t {
  Caption,   // the title of the boxes from here on
  ProcList,  // the top-level procedure list
  OnOff,     // a number: anything but 0 turns the ability on
  Path,      // a file's path
  Language,  // a word of LanguageWords
};
struct RunKey {
  const char* Key;
  RunKeyForm Form;
  bool Required;
  const char* Off;  // OnOff: what the run does without it
};
// The rows, in the order the guide tells them; RunKeyIndex names each.
enum RunKeyIndex {
  KeyName, KeyProc, KeyUnattended, KeyLog, KeyRollback, KeyProgress, KeyLanguage
};
extern const RunKey RunKeys[];
extern const int RunKeyCount;

// The words of LANGUAGE, the language of the built-in texts: JA (the
// default), EN, and AUTO (English where the user's interface language is
// not Japanese). Any other reads as JA.
extern const char* const LanguageWords[];
extern const int LanguageWordCount;
// The language that LANGUAGE=`word` gives.
TextLanguage LanguageOf(const TextString& word);

// Process-wide state, empty until start-up fills it.
extern TextString CommandLine;  // the argument text the program was started with
extern TextString UpdaterName;  // NAME of the UPDATER section
extern TextString UpdaterProc;  // PROC of the UPDATER section
extern bool UpdaterRollback;    // ROLLBACK of the UPDATER section: the run can be undone
extern bool UpdaterProgress;    // PROGRESS of the UPDATER section: a progress window

// The argument text of a whole command line: what follows the program's own
// name (in double quotes, or up to the first blank) and the blanks after it.
// Bytes of 0x80 and above are characters like any other, never blanks.
const char* ArgumentTextOf(const char* commandLine);

// The entry's work once the process is set up: start-up, the run, the
// clean-up. Gives the exit code: 0 on every road of a run that shows its
// boxes; an unattended run's tells how it ended (app/run_record.h).
int UpdaterMain(const char* argumentText);

// True when the run may proceed; every false has been reported.
bool InitUpdater(const char* argumentText);
// Builds and runs the top-level procedure list.
bool RunUpdater();
// The number of procedures PROC names; 0 after message 4.
int32_t UpdaterProcCount(const TextString& proc);

bool CaptionFromCommandLine(const TextString& commandLine, TextString& caption);
// The optional keys of the UPDATER section: LANGUAGE, ROLLBACK, PROGRESS,
// and UNATTENDED and LOG where no switch has said otherwise.
struct RunSwitches;
void ReadRunKeys(const RunSwitches& switches);
bool ReadUpdaterSection();
// Whether the journal lets the run go on; a run of the same script in
// progress ends this one with its own exit code.
bool JournalAllows(journal::Outcome outcome);

