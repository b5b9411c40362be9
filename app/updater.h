// Start-up and main flow: the whole road of a run.
#pragma once

#include "base/text_string.h"
#include "procs/journal.h"

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
int32_t UpdaterProcCount();

bool CaptionFromCommandLine(const TextString& commandLine, TextString& caption);
// The optional keys ROLLBACK, UNATTENDED and LOG of the UPDATER section
// (the last two where no switch has said otherwise).
struct RunSwitches;
void ReadRunKeys(const RunSwitches& switches);
bool ReadUpdaterSection();
// Whether the journal lets the run go on; a run of the same script in
// progress ends this one with its own exit code.
bool JournalAllows(journal::Outcome outcome);

