// The OS seam: what the journal of a run that can be undone needs of the
// system. Its files, the protected folder they live in, the lock of a run
// and bytes no one can foresee. See os/basics.h for the seam as a whole and
// for the reasons of failed calls.
#pragma once

#include <cstdint>

#include "os/files.h"
#include "os/owned.h"

namespace os {

// --- The journals' own place ------------------------------------------------

// Whether no one but the system, the administrators and the run's own
// account can own the folder at `path` or write in it: opened itself
// (FILE_FLAG_OPEN_REPARSE_POINT; a link or junction, or a folder reached
// through one, is Foreign), its owner and every entry of its access list
// that allows a change (GetSecurityInfo; no list at all is Foreign).
enum class FolderTrust { Trusted, Missing, Foreign, Failed };
FolderTrust TrustOfFolder(const char* path);
// CreateDirectoryA with a protected access list that admits the system and
// the administrators only (owned by the administrators), or, where
// `ownAccount`, the run's own account beside them (owned by it): nothing
// is inherited from the folder above.
bool MakeProtectedFolder(const char* path, bool ownAccount);
// Takes the folder at `path` back (SeTakeOwnershipPrivilege and
// SeRestorePrivilege, SetSecurityInfo through a handle of the folder
// itself): the owner and the access list of MakeProtectedFolder. A link or
// junction at `path` is left as it is (its target is never changed), and
// gives true: renaming it moves only the link.
bool ReclaimFolder(const char* path, bool ownAccount);

// --- The lock of a run ----------------------------------------------------------

// A mutex that this process holds while the run lasts. Of a type of its
// own, so that it cannot pass for a file, a process or a registry key.
struct LockObject;
using LockHandle = LockObject*;

// The lock (CreateMutexW, WaitForSingleObject with no wait; one left by a
// process that ended is taken). Administrators: named in the private
// namespace "Updater", bound to the administrators' group, which no other
// account can create or open (CreateBoundaryDescriptorW,
// AddSIDToBoundaryDescriptor, CreatePrivateNamespaceW or
// OpenPrivateNamespaceW), Unsupported where the system has none; Global:
// "Global\<name>"; Session: "Local\<name>", the session's own. Held where
// another process holds it.
enum class LockScope { Administrators, Global, Session };
enum class Locking { Taken, Held, Unsupported, Failed };
Locking TakeLock(const char* name, LockScope scope, LockHandle& lock);
void ReleaseLock(LockHandle lock);  // ReleaseMutex, CloseHandle
using OwnedLock = Owned<LockObject, ReleaseLock>;

// Bytes no one can foresee (RtlGenRandom, SystemFunction036 of advapi32).
// False where the system cannot give them.
bool RandomBytes(void* out, uint32_t count);

// --- The journal's file -----------------------------------------------------------

// The journal of a run that can be undone, in the journals' own folder:
// CreateFileA(path, GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ,
// CREATE_NEW when `create` else OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT).
// A journal that is a link, a folder, a file of more than one hard link, or
// reached through a link or junction (GetFinalPathNameByHandleW against the
// path given) is Failed (and closed).
enum class JournalOpening { Opened, Missing, Exists, InUse, Failed };
JournalOpening OpenJournal(const char* path, bool create, FileHandle& journal);
// Reads the journal from its start (ReadFile), handing each block to
// `consume`; false when a read fails.
bool ReadJournal(FileHandle journal, BlockConsumer consume, void* context);
// Writes `count` bytes at the journal's end (WriteFile at the offset of all
// ones), not yet flushed. The journal is removed with RenameOpenFile and
// DiscardFile, and closed with CloseFile (os/files.h).
bool AppendToJournal(FileHandle journal, const char* bytes, uint32_t count);
// Flushes what was written to the disk (FlushFileBuffers).
bool FlushJournal(FileHandle journal);

}  // namespace os
