// The OS seam: files and folders. Whether they are there, their attributes
// and dates, folder listings, whole-file reads, the files a run creates and
// puts in place, moves, what a file is to the system whatever its name, and
// the names that every account shares. See os/basics.h for the seam as a
// whole and for the reasons of failed calls.
#pragma once

#include <cstdint>

#include "os/owned.h"

namespace os {

constexpr uint32_t AttributeReadOnly = 0x1;    // FILE_ATTRIBUTE_READONLY
constexpr uint32_t AttributeDirectory = 0x10;  // FILE_ATTRIBUTE_DIRECTORY
constexpr uint32_t AttributeNormal = 0x80;     // FILE_ATTRIBUTE_NORMAL
// FILE_ATTRIBUTE_REPARSE_POINT: a link, a junction or another reparse point.
constexpr uint32_t AttributeReparsePoint = 0x400;

// --- By name --------------------------------------------------------------

// FindFirstFileA and FindClose: true when the search finds at least one entry.
bool FindAnyEntry(const char* pattern);

bool DeleteOneFile(const char* path);                  // DeleteFileA
bool SetAttributes(const char* path, uint32_t value);  // SetFileAttributesA
bool MakeDirectory(const char* path);                  // CreateDirectoryA(path, NULL)
bool RemoveEmptyDirectory(const char* path);           // RemoveDirectoryA
// GetFileAttributesA: true when `path` names an existing file that is not a
// directory (no wildcards).
bool IsExistingFile(const char* path);
// GetFileAttributesA: true when `path` names an existing directory; a
// trailing backslash and a drive root ("C:\") are understood.
bool IsExistingDirectory(const char* path);
// GetFileAttributesA; false when the path names nothing.
bool AttributesOf(const char* path, uint32_t& attributes);
// True when the folder `path` exists and is reached with no link, junction
// or other reparse point on the way, itself included: its final path
// (GetFinalPathNameByHandleW, opened with FILE_FLAG_BACKUP_SEMANTICS and
// FILE_FLAG_OPEN_REPARSE_POINT) is its full path with long names
// (GetFullPathNameW, GetLongPathNameW). Systems without that call (before
// Vista) look only at the folder's own attributes.
bool IsDirectFolder(const char* path);

// FindFirstFileW, FindNextFileW until ERROR_NO_MORE_FILES, FindClose: calls
// `visit` with each entry's name in the ANSI code page and its attributes,
// in the order the search delivers them, until it gives false (a link's or
// a junction's with AttributeReparsePoint, as the search has it). A name is
// converted without best fit (WideCharToMultiByte, WC_NO_BEST_FIT_CHARS),
// for best fit would give another file's name ("..¥x" as "..\x"); where the
// long name has no exact ANSI form, its short name is given if that has
// one. Otherwise `exact` is false and `name` has "?" for what has no form,
// fit only for a report.
using EntryVisitor = bool (*)(void* context, const char* name, uint32_t attributes,
                              bool exact);
enum class Listing {
  Complete,  // every entry visited (none for a pattern without matches, or
             // whose folder does not exist)
  Stopped,   // `visit` gave false
  Failed,    // the folder could not be listed, or the listing broke off
};
Listing ForEachEntry(const char* pattern, EntryVisitor visit, void* context);

// --- Reading whole files ----------------------------------------------------

// Files are read with CreateFileA (GENERIC_READ, FILE_SHARE_READ,
// OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL): a file that others only read (a
// running program's own file among them) opens, while no one may write it
// meanwhile; a file someone holds for writing, or exclusively, does not.

// Told, after each block that a loop over a file's bytes has read or
// written, that `done` of the file's `total` bytes are: the progress
// window's file bar (os::ShowFileProgress, os/ui.h), where the caller gives
// it.
using BytesDone = void (*)(void* context, uint64_t done, uint64_t total);

// The last-write date of a file in local time: CreateFileA as above,
// GetFileTime, CloseHandle, FileTimeToLocalFileTime, FileTimeToSystemTime.
// False when it cannot be opened or converted.
struct CalendarDate {
  uint16_t Year;
  uint16_t Month;
  uint16_t Day;
};
bool FileWriteDate(const char* path, CalendarDate& date);

// Reads a whole file, opened with CreateFileA as above, in blocks of at most
// ReadBlockSize bytes (ReadFile), handing each to `consume` in order and
// then telling `told` of the bytes read so far. `lowSize` receives the low
// 32 bits of the file's size (GetFileSize). False when the file does not
// open, is empty, or a read fails; the handle is closed on every road.
// 256 KiB: each block is still in the second-level cache when it is
// checksummed, which measured faster than larger blocks.
constexpr uint32_t ReadBlockSize = 1u << 18;
using BlockConsumer = void (*)(void* context, const uint8_t* data, uint32_t count);
bool ReadFileBlocks(const char* path, uint32_t& lowSize, BlockConsumer consume, void* context,
                    BytesDone told, void* toldContext);

// --- Open files -------------------------------------------------------------

// The system's handle of an open file. Of a type of its own, so that it
// cannot pass for a process, a registry key or a lock.
struct FileObject;
using FileHandle = FileObject*;

void CloseFile(FileHandle file);  // CloseHandle
using OwnedFile = Owned<FileObject, CloseFile>;

// A file opened to be read anywhere in it (CreateFileA with GENERIC_READ,
// sharing read, write and delete, OPEN_EXISTING; GetFileSizeEx), as a
// running program's file or one another program writes allows: the reader
// locks nothing.
bool OpenToRead(const char* path, OwnedFile& file, uint64_t& size);
// A file opened as files are read (above), to be held from a check of it to
// its use: others may read it, the system start a program from it, but no
// one write, replace or delete it until it is closed.
bool OpenSharingRead(const char* path, OwnedFile& file);
// SetFilePointerEx and ReadFile: exactly `count` bytes at `offset`.
bool ReadAt(FileHandle file, uint64_t offset, void* out, uint32_t count);

// ReadFile from the file's start to its end, in blocks of at most
// ReadBlockSize bytes, each handed to `consume` in order. False when a read
// fails.
bool ReadToEnd(FileHandle file, BlockConsumer consume, void* context);

// --- Files the run creates ----------------------------------------------------
//
// A copy is written into a file the run creates beside its target and holds
// open, shared with no one, until the file is in the target's place or gone:
// no other file can be taken for it, and nothing is moved or deleted by a
// name that another program could have put there.

enum class Creation { Created, NameTaken, Failed };
// CreateFileA(path, GENERIC_READ | GENERIC_WRITE | DELETE, no sharing,
// CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT): a new
// file, never anything already at `path` (a link included). NameTaken when
// something is there.
Creation CreateNewFile(const char* path, FileHandle& file);

// Writes the whole of the open `source` (OpenSharingRead), from its start
// (SetFilePointerEx), into `file` (ReadFile, WriteFile), telling `told` of
// the bytes written after each block, gives it the source's last-write time
// (GetFileTime, SetFileTime) and flushes it (FlushFileBuffers), so that its
// data is on the disk before it takes a target's place. `attributes`
// receives the source's (GetFileInformationByHandle). Where `consume` is
// given, it is handed each block as it was read, in order, before it is
// written: the copied bytes themselves, never a second read. For a large
// file it is called on a thread of its own (CreateThread), so that it works
// while the copy goes on; it has consumed every block when the call
// returns. False on any failure.
bool CopyIntoFile(FileHandle source, FileHandle file, uint32_t& attributes, BytesDone told,
                  void* toldContext, BlockConsumer consume = nullptr,
                  void* consumeContext = nullptr);
// Empties the open `file` and moves its position to its start
// (SetFilePointerEx, SetEndOfFile), for a copy into it to begin again.
bool EmptyFile(FileHandle file);

enum class Placement { Placed, Refused, Unsupported };
// Gives `file` the attributes and puts it in place of `target`, replacing
// what is there unless `replace` is false, through its handle
// (SetFileInformationByHandle with FileBasicInfo, then FileRenameInfo), and
// closes it. Refused leaves it open and where it was; so does Unsupported,
// on systems without that call (before Vista).
Placement PlaceFile(FileHandle file, const char* target, uint32_t attributes,
                    bool replace = true);

// Deletes `file` through its handle (SetFileInformationByHandle with
// FileBasicInfo, FileDispositionInfo) and closes it; on systems without that
// call, closes it and deletes `path` (SetFileAttributesA, DeleteFileA).
// False when the file is still there.
bool DiscardFile(FileHandle file, const char* path);

// PlaceFile and DiscardFile on an owned file: the owner gives up the handle
// that the call closed.
inline Placement PlaceFile(OwnedFile& file, const char* target, uint32_t attributes,
                           bool replace = true) {
  Placement placement = PlaceFile(file.Get(), target, attributes, replace);
  if (placement == Placement::Placed) file.Release();
  return placement;
}
inline bool DiscardFile(OwnedFile& file, const char* path) {
  return DiscardFile(file.Release(), path);
}

// --- Moves by name ------------------------------------------------------------

// The road of systems without the calls above, by name.
enum class Move { Moved, Failed, Unsupported };
// MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH).
// Unsupported where the call is missing (the Windows 95 family).
Move MoveReplacing(const char* from, const char* to);
// MoveFileA(from, to): fails when something is at `to`.
bool MoveOneFile(const char* from, const char* to);

// MoveFileExA(from, to, MOVEFILE_WRITE_THROUGH), MoveFileA where that call is
// missing: renames a file within its volume, never replacing anything at
// `to`. The system allows it for a running program's file or a loaded DLL,
// not for a file someone holds without sharing its deletion.
bool MoveAside(const char* from, const char* to);
// MoveFileExA(path, NULL, MOVEFILE_DELAY_UNTIL_REBOOT): the file is removed
// when the system next starts (needs administrator rights).
bool RemoveAtRestart(const char* path);

// --- What the undo proves before it touches a file ------------------------

// A file as the system knows it, whatever its name (GetFileInformationByHandle):
// its volume's serial number and its file index, with its size, times,
// attributes and links. FAT, FAT32 and exFAT number a file by its folder
// entry, which a rename changes: on such a volume `StableIndex` is false
// (GetVolumeInformationByHandleW, where the system has it; else the index is
// taken as unstable), and only the size and times can tell a file.
struct FileIdentity {
  uint32_t Volume = 0;
  uint64_t Index = 0;
  uint64_t Size = 0;
  uint64_t WriteTime = 0;     // FILETIME units
  uint64_t CreationTime = 0;  // FILETIME units
  uint32_t Attributes = 0;
  uint32_t Links = 0;
  bool StableIndex = true;
};
bool IdentityOf(FileHandle file, FileIdentity& identity);

// Opens the entry at `path` itself, never what a link leads to, in order to
// prove what it is and then move, delete or change it through the handle:
// CreateFileA(path, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
// sharing read, write and delete, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT
// | FILE_FLAG_BACKUP_SEMANTICS), then IdentityOf. A running program's file
// opens; one that another program holds without sharing is Held (sharing or
// lock violation); a folder is Folder (and closed).
enum class Opening { Opened, Missing, Held, Folder, Failed };
Opening OpenToChange(const char* path, OwnedFile& file, FileIdentity& identity);
// Gives the open file the name `to`, never replacing anything there
// (SetFileInformationByHandle with FileRenameInfo); the handle stays open.
// Unsupported on systems without that call (before Vista).
Placement RenameOpenFile(FileHandle file, const char* to);
// SetFileInformationByHandle with FileBasicInfo: the attributes, nothing
// else. False also where the call is missing (before Vista).
bool SetOpenFileAttributes(FileHandle file, uint32_t attributes);

// --- Names every account shares -----------------------------------------------

// `path` as a full path (GetFullPathNameA, from the current folder), with a
// drive that is mapped to a network share written as the share's own path
// (GetDriveTypeA, WNetGetUniversalNameA from mpr.dll, loaded from the system
// folder at run time), so that any account, started in any folder, finds
// the same file by it. False when it cannot be made.
bool FullPathForAll(const char* path, OwnedText& full);
// The one name of the file at `path` that every road to it shares, in
// UTF-8 upper case: its final path (GetFinalPathNameByHandleW, normalized,
// long names, a share's own path for a mapped drive), else FullPathForAll
// with long names (GetLongPathNameA), upper-cased (CharUpperBuffW). False
// when the file cannot be named.
bool CanonicalName(const char* path, OwnedText& utf8);

}  // namespace os
