// A run that completes or changes nothing (ROLLBACK=1).
//
// Before a procedure changes anything, every change it will make is written
// to the run's journal and flushed, once for the whole procedure: a file it
// replaces, deletes or overwrites with a shortcut is to be moved aside into
// its own folder under a name of the run's own (a rename: no copy, and the
// system allows it for a running program's file), with the identity that
// the system gives the file (its volume and file index); a file or folder
// it makes, and attributes it replaces, are noted; so are the registry
// values it sets or deletes and the keys it makes. The run's own new files
// (a copy written beside its target, a shortcut) are recorded with their
// identities in a second flush, once they exist and before they take a
// target's place. A run that ends with a report or an abort answer is
// undone in reverse order; a completed one removes what it kept. A run
// that was cut short (killed, the power gone) is undone, or finished where
// it had completed, by the next start of the updater, from any folder.
//
// The undo believes only what it proves: it moves back a kept file only
// where the file at the kept name has the identity recorded, and removes
// only a file that the run itself made, by identity, through the handle that
// proved it. An undo that meets a file someone holds keeps what is left to
// do for the next start; a record whose file is gone for good is reported
// once and retired.
//
// Where it lives: no file beside the script is ever read. An elevated run's
// journals (and any run's, on systems without elevation) are in a folder of
// their own under the Windows folder, made so that only the system and the
// administrators can write it; a run that is not elevated keeps its own
// under the user's local application data. One journal per script, named
// from its canonical path; a lock that no other account can take or know
// (procs/journal_place.h) keeps one run of a script at a time.
//
// Journal: text in the ANSI code page, one record a line, its fields
// separated by tabs and ended by its checksum; the first damaged or cut line
// ends the journal (a change is recorded before it is made, so a cut record
// names a change that never happened). A whole first line that this version
// cannot read keeps the journal, untouched, for an administrator.
#pragma once

#include <cstdint>

#include "base/text_string.h"
#include "os/files.h"
#include "procs/registry_data.h"

namespace journal {

enum class Outcome {
  Done,        // nothing was there, or it has been undone or finished
  InProgress,  // a run of the same script holds its lock (reported)
  Failed,      // reported
};
// At start-up, before any procedure runs, for the script at `scriptPath`:
// undoes (or finishes) the interrupted run of that script, whatever the
// script now says, then every other interrupted run in the journals' folder
// that no run holds (quietly: the log tells). A `rollback` run takes the
// script's lock first and keeps it. Reports what cannot be put back, a
// journal that cannot be read, and a run in progress (message 16).
Outcome Recover(const TextString& scriptPath, bool rollback);

// Opens this run's journal; its changes can be undone from now on. Failed
// after message 15: the run then changes nothing.
Outcome Begin();
bool Active();
// The end of the run. A completed run keeps its changes and removes what
// it kept; any other is undone. The journal goes once nothing is left to
// do; the lock is let go. Gives whether the run stands completed (false
// when its completion could not be recorded, and it was undone).
bool End(bool completed);

// --- The steps before a procedure's changes ---------------------------------
//
// Each changing kind plans the changes of its procedure (Plan...), commits
// them (one flush), makes its new files and notes them (NoteNewFile), commits
// again where it did, and only then changes what is there.

// The files of a replacement: what is at Target (a full path) is kept aside
// at Kept; a new file is written into Temporary (empty where the kind
// writes no file of its own) and put in Target's place.
struct Replacement {
  TextString Target;
  TextString Temporary;
  TextString Kept;
  uint32_t Sequence = 0;
  bool Existed = false;     // a file (no folder) was at Target when planned
  uint32_t Attributes = 0;  // its attributes then
  uint32_t NewAttributes = 0;  // those the new file takes
  os::OwnedFile Old;        // that file, held open (sharing everything) until kept aside
};
enum class Recorded { Yes, Refused, Failed };
// Plans the replacement of `target`: names the files beside its full path
// and stages the record. Refused, with nothing recorded, when the path
// cannot be made full or the names do not fit the path limit, where a file
// is there that another program holds without sharing (who holds it goes to
// the log), and, where `mustExist`, when no file is there; Failed after
// message 15.
Recorded Plan(const TextString& target, bool withTemporary, bool mustExist, Replacement& files);
// Stages the attributes that `path` has before they are replaced, and a
// folder before it is made. False after message 15.
bool PlanAttributes(const char* path, uint32_t old);
bool PlanFolder(const char* path);
// --- Services ---------------------------------------------------------------
//
// Stages a service that the procedure is about to stop (`stopped`) or
// start, with the seconds its undo may wait for it: the undo starts again
// what the run stopped and stops what it started. False after message 15.
bool PlanService(const char* name, bool stopped, uint32_t seconds);

// Stages the identity of the run's new file for `files`, open at `file`.
bool NoteNewFile(const Replacement& files, os::FileHandle file);
// Writes what was staged and flushes it; false after message 15.
bool Commit();

// --- The registry's changes ---------------------------------------------------
//
// A value under HKCU is recorded under the account's own key (HKU\<its SID>),
// so that an undo by another account (a later start as the system) puts
// back that user's value.

// Stages a key that is about to be made; each missing key of a path, the
// outermost first, so that the undo removes the innermost first.
bool PlanRegistryKey(const registry::Place& place);
// Stages value `name` of the key at `place` before it changes: what it
// holds (`old`) and what the run writes (`written`; not present: deleted).
bool PlanRegistryValue(const registry::Place& place, const char* name,
                       const registry::Value& old, const registry::Value& written);

// The replacements of one procedure and the run's new file of each, held
// open from when it is made until it takes its target's place; what has not
// taken it when the procedure ends goes, through the same handle.
class NewFiles {
 public:
  explicit NewFiles(int32_t count);
  ~NewFiles();
  NewFiles(const NewFiles&) = delete;
  NewFiles& operator=(const NewFiles&) = delete;

  // False after message 3, naming `record`, where memory ran out.
  bool Ready(const char* record);
  Replacement& Files(int32_t i) { return m_files[i]; }
  os::OwnedFile& File(int32_t i) { return m_made[i]; }
  // Puts new file `i` in its target's place with its NewAttributes,
  // replacing nothing (by name on systems without calls through handles).
  // False when it cannot; a file of the run's that stays is named in
  // `leftover`.
  bool Place(int32_t i, TextString& leftover);
  // The new files from `first` on go; false where one stays, named in
  // `leftover`.
  bool DiscardFrom(int32_t first, TextString& leftover);

 private:
  Replacement* m_files;
  os::OwnedFile* m_made;
  int32_t m_count;
};

// Moves the planned target aside to its Kept name, through the handle that
// proved it. Absent when no file was there; Refused for a read-only file,
// as a deletion would be, and for one the system will not rename.
enum class Aside { Moved, Absent, Refused };
Aside KeepAside(Replacement& files);

}  // namespace journal
