// Where the journals of runs that can be undone live, what each is called,
// and the lock that keeps one run of a script at a time.
//
// An elevated run (an administrator's or the system's; on systems without
// elevation, any run) keeps its journals in "Updater" under the Windows
// folder, where only administrators can create by default, made with a
// protection that admits the system and the administrators only. A run
// that is not elevated keeps them in "Updater" under the user's own local
// application data. A folder there with another owner or writer is never
// read, and only taken back (its contents moved aside unread) by a run that
// is about to write a journal. A journal is named from a hash of its
// script's canonical path, so that every road to one script (letter case,
// short names, a mapped drive or its share) finds one journal.
//
// The lock is a named object no other account can take first or know: for
// an elevated run, one in the administrators' private namespace, or where
// the system has none, one whose name holds a secret kept in the protected
// folder; for any other run, one in the user's own session.
#pragma once

#include "base/text_string.h"
#include "os/journal_support.h"

namespace journal {

struct Place {
  TextString Folder;   // the journals' folder
  bool Elevated = true;
  TextString Name;     // the script's: sixteen hexadecimal digits
  TextString Journal;  // Folder\Name.journal
};

// The place of the journal of the script at `scriptPath`; false where the
// system gives no folder or the script cannot be named.
bool FindPlace(const TextString& scriptPath, Place& place);

// The journal in `folder` whose name is `name`.
TextString JournalPath(const TextString& folder, const TextString& name);
// The name of a journal file ("0123456789ABCDEF.journal" gives its first
// sixteen digits); false for any other name.
bool NameOfJournal(const char* fileName, TextString& name);

// Makes the journals' folder where it is missing, or takes it back where it
// has another owner or writer: owner and protection reset, and what was in
// it moved aside, unread, to a folder beside it named with `token`. False
// when that cannot be done.
bool SecureFolder(const Place& place, const TextString& token);

// Takes the lock of the runs of the journal named `name`. Held where a run
// holds it; Failed where it cannot be had.
os::Locking TakeRunLock(const Place& place, const TextString& name, os::OwnedLock& lock);

// FNV-1a, 64 bits, of `text`: sixteen hexadecimal digits.
TextString HashName(const TextString& text);

}  // namespace journal
