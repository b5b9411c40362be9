// A run that completes or changes nothing (ROLLBACK=1).
//
// Before the run changes anything, the change is written to a journal
// beside the script and flushed: a file it replaces, deletes or overwrites
// with a shortcut is first moved aside into its own folder under a name of
// the run's own (a rename: no copy, and the system allows it for a running
// program's file); a file or folder it makes, and attributes it replaces,
// are noted. A run that ends with a report or an abort answer is undone in
// reverse order; a completed one removes what it kept. A run that was cut
// short (killed, the power gone) is undone, or finished where it had
// completed, by the next start. The journal is held open while its run
// lasts, so that a second run of the same script can tell.
//
// Journal: CP932 text, one record a line, its fields separated by tabs and
// ended by its checksum; the first damaged or cut line ends the journal (a
// change is recorded before it is made, so a cut record names a change that
// never happened).
#pragma once

#include <cstdint>

#include "base/text_string.h"

namespace journal {

// The journal beside `scriptPath`: the same name with the extension
// "journal".
TextString PathFor(const TextString& scriptPath);

enum class Outcome {
  Done,        // nothing was there, or it has been undone or finished
  InProgress,  // a run of the same script holds the journal (reported)
  Failed,      // reported
};
// At start-up, before any procedure runs: undoes (or finishes) the run that
// the journal at `path` tells of, whatever the script now says, and removes
// the journal. Reports only what cannot be put back, a journal that is there
// but cannot be opened, and a run in progress (message 16).
Outcome RecoverInterruptedRun(const char* path);

// Opens this run's journal at `path`; its changes can be undone from now
// on. Failed after message 15: the run then changes nothing.
Outcome Begin(const char* path);
bool Active();
// The end of the run. A completed run keeps its changes and removes what
// it kept; any other is undone. Either way the journal goes. Gives whether
// the run stands completed (false when its completion could not be
// recorded, and it was undone).
bool End(bool completed);

// --- The step before each change, which every changing kind takes ----------

// The files of a replacement: what is at Target is kept aside at Kept; a
// copy is written into Temporary (empty where the kind writes no file of
// its own) and put in Target's place.
struct Replacement {
  TextString Target;
  TextString Temporary;
  TextString Kept;
  bool Existed = false;     // a file (no folder) was at Target when recorded
  uint32_t Attributes = 0;  // its attributes then
};
enum class Recorded { Yes, Refused, Failed };
// Names the files beside `target` and records the replacement. Refused,
// with nothing recorded and nothing said, when their names do not fit the
// path limit or, where `mustExist`, no file is there; Failed after message
// 15.
Recorded BeforeReplacing(const TextString& target, bool withTemporary, Replacement& files,
                         bool mustExist = false);
// Moves the target aside to its Kept name. Absent when no file was there
// when recorded (a folder is no file); Refused for a read-only file, as a
// deletion would be, and for one the system will not rename (who holds it
// goes to the log).
enum class Aside { Moved, Absent, Refused, Failed };
Aside KeepAside(const Replacement& files);
// Both steps at once, for the kinds that write no file of their own (DELETE,
// LINK): Refused also where nothing could be recorded; Failed after message
// 15.
Aside SetAside(const TextString& target, bool mustExist, Replacement& files);
// Puts the kept file back in the target's place at once (a change that
// did not happen after all); false after message 14.
bool PutBack(const Replacement& files);

// Records the attributes that `path` has before they are replaced, and a
// folder before it is made. False after message 15.
bool BeforeAttributes(const char* path, uint32_t old);
bool BeforeFolder(const char* path);

}  // namespace journal
