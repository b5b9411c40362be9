// COPY: copies each source of FROM to the target at the same position of TO,
// replacing a target that exists. The first copy that fails is reported and
// ends the run; the copies made before it stay.
//
// A copy never leaves a half-written target: the file is written into a new
// file that the run creates beside the target and holds open, flushed, and
// put in the target's place only once it is whole, so the target holds
// either its old content or all of the new one. That file is never one that
// was there before, and it is removed through the same handle on every road
// where it is not put in place; a file the run did not create is never
// touched.
//
// In a run that can be undone (ROLLBACK=1) the target is not replaced but
// kept aside first (procs/journal.h), so that it can come back; a running
// program's file can be kept aside like any other, and so be updated. Such a
// procedure writes all its new files before it puts any in place, so that
// its changes cost the journal two flushes, however many files it copies.
//
// Each source is opened once, sharing reading only, and copied through that
// handle: where SIGNER names a publisher, its signature is checked through
// the same handle first, and where SHA256 pins its digest, the digest is
// computed from the very bytes the copy reads and writes; a new file whose
// digest differs is discarded before it takes the target's place, and the
// run ends. The bytes checked are the bytes copied.
//
// A FROM item whose last part holds a wildcard names a folder's files, and
// its TO item the folder they go to: a last part of exactly "*" takes every
// file of the folder and of its subfolders, whose tree is made in the
// target; any other pattern takes the matching files of the folder alone,
// by their long names (the system would match short names too). The items
// are expanded into single copies first, and the folders these need are
// made before any is copied. A link or junction in the folder is passed
// over, never followed.
#include "procs/proc_list.h"

#include <cstring>

#include "base/characters.h"
#include "base/report.h"
#include "base/run_events.h"
#include "os/files.h"
#include "os/ui.h"
#include "procs/comma_lists.h"
#include "procs/file_digest.h"
#include "procs/held_files.h"
#include "procs/journal.h"
#include "procs/proc_record.h"
#include "procs/signature.h"

// This kind's description, at the end of the file.
extern const ProcKind CopyKind;

namespace {

struct COPY_INFO : PROC_INFO {
  TextString From;  // source paths, separated by ","
  TextString To;    // target paths; item i is the target of source i
  TextString Sha256;  // digests; item i pins source i ("-": none)
  bool Sha256Written = false;
  TextString Signer;  // the publisher every source must be signed by
  bool SignerWritten = false;
};

const RecordKey<COPY_INFO> Keys[] = {
    {DescribeKey("FROM", KeyRole::Leading, ValueForm::FileGroups, PathUse::Reads),
     &COPY_INFO::From, nullptr},
    {DescribeKey("TO", KeyRole::Companion, ValueForm::Paths, PathUse::Writes),
     &COPY_INFO::To, nullptr},
    {DescribeKey("SHA256", KeyRole::OptionalCompanion, ValueForm::Digests), &COPY_INFO::Sha256,
     nullptr, &COPY_INFO::Sha256Written},
    {DescribeKey("SIGNER", KeyRole::Optional, ValueForm::Publisher), &COPY_INFO::Signer, nullptr,
     &COPY_INFO::SignerWritten},
};

// The longest path the system's ANSI calls take, its zero aside.
constexpr int32_t MaxPathLength = 259;

// One copy of a procedure: a file and its target, from FROM's item `Item`.
// In a list of folders to make, only Target is used.
struct OneCopy {
  TextString Source;
  TextString Target;
  int32_t Item = 0;
  OneCopy* Next = nullptr;
};

// The copies, in order, as they are found.
class CopyList {
 public:
  CopyList() = default;
  CopyList(const CopyList&) = delete;
  CopyList& operator=(const CopyList&) = delete;
  ~CopyList() {
    while (OneCopy* next = m_first) {
      m_first = next->Next;
      delete next;
    }
  }

  OneCopy* First() const { return m_first; }
  int32_t Count() const { return m_count; }
  // False after message 3 where memory runs out.
  bool Add(const TextString& source, const TextString& target, int32_t item) {
    OneCopy* added = new (std::nothrow) OneCopy;
    if (added) {
      *m_end = added;
      m_end = &added->Next;
      ++m_count;
      added->Item = item;
      added->Source.Assign(source);
      added->Target.Assign(target);
      if (added->Source.Length() == source.Length() && added->Target.Length() == target.Length())
        return true;
    }
    ShowError(MsgOutOfMemory, "COPY_INFO");
    return false;
  }
  bool Holds(const TextString& target) const {
    for (OneCopy* one = m_first; one; one = one->Next)
      if (one->Target.Equals(target)) return true;
    return false;
  }

 private:
  OneCopy* m_first = nullptr;
  OneCopy** m_end = &m_first;
  int32_t m_count = 0;
};

// What a procedure does: the folders to make, outermost first, then the
// copies.
struct CopyPlan {
  CopyList Folders;
  CopyList Files;
};

// A folder's files being listed into a plan: item `Item` of FROM, the
// folder's path and its target's, each with a backslash at its end; its
// pattern, or null for the whole tree.
struct FolderWalk {
  CopyPlan* Plan;
  int32_t Item;
  const char* Pattern;
  TextString From;
  TextString To;
  int32_t Found;
};

// `folder` with a backslash at its end.
TextString AsFolder(const TextString& folder) {
  TextString path(folder);
  const char* last = FindLastCharacter(path.Text(), '\\');
  if (!last || last[1] != '\0') path.Append("\\");
  return path;
}

// The target folder and the folders above it that are missing, outermost
// first.
bool AddMissingFolders(const TextString& folder, CopyPlan& plan) {
  if (os::IsExistingDirectory(folder.Text()) || plan.Folders.Holds(folder)) return true;
  TextString parent;
  if (DirectoryOfPath(folder.Text(), parent) && !AddMissingFolders(parent, plan)) return false;
  return plan.Folders.Add("", folder, 0);
}

bool ListFolder(FolderWalk& walk);

// One entry of a listed folder: a matching file becomes a copy, a
// subfolder of a whole tree a folder to make and list.
bool AddEntry(void* context, const char* name, uint32_t attributes, bool exact) {
  FolderWalk& walk = *static_cast<FolderWalk*>(context);
  bool folder = (attributes & os::AttributeDirectory) != 0;
  if (folder ? walk.Pattern || !strcmp(name, ".") || !strcmp(name, "..")
             : walk.Pattern && !NameMatches(walk.Pattern, name))
    return true;
  TextString source = walk.From.Concat(name);
  if (attributes & os::AttributeReparsePoint) {
    ReportFileAction(FileAction::LinkPassed, source.Text());
    return true;
  }
  TextString target = walk.To.Concat(name);
  // A name this code page cannot hold exactly, or one with a folder part,
  // would name another file; a path past the limit (or cut short for want
  // of memory) is never taken.
  int32_t length = static_cast<int32_t>(strlen(name));
  if (!exact || FindLastCharacter(name, '\\') ||
      source.Length() + target.Length() != walk.From.Length() + walk.To.Length() + 2 * length ||
      source.Length() > MaxPathLength || target.Length() > MaxPathLength) {
    ShowError(MsgCopyFailed, source.Text(), target.Text());
    return false;
  }
  if (!folder) {
    ++walk.Found;
    return walk.Plan->Files.Add(source, target, walk.Item);
  }
  if (!os::IsExistingDirectory(target.Text()) && !walk.Plan->Folders.Add("", target, 0))
    return false;
  FolderWalk inner = {walk.Plan, walk.Item, nullptr, AsFolder(source), AsFolder(target), 0};
  bool listed = ListFolder(inner);
  walk.Found += inner.Found;
  return listed;
}

bool ListFolder(FolderWalk& walk) {
  TextString pattern = walk.From.Concat(walk.Pattern ? walk.Pattern : "*");
  os::Listing listing = pattern.Length() > MaxPathLength
                            ? os::Listing::Failed
                            : os::ForEachEntry(pattern.Text(), AddEntry, &walk);
  if (listing == os::Listing::Failed) ShowError(MsgCopyFailed, pattern.Text(), walk.To.Text());
  // Stopped: reported by the entry that stopped it.
  return listing == os::Listing::Complete;
}

// The copies of FROM's item `i`: one, or a folder's files. A digest pins
// one file, so a SHA256 item beside a folder's files can only be "-".
bool ExpandItem(const COPY_INFO& copy, int32_t i, CopyPlan& plan) {
  TextString source = ListItem(copy.From, i);
  TextString target = ListItem(copy.To, i);
  const char* last = FindLastCharacter(source.Text(), '\\');
  const char* pattern = last ? last + 1 : source.Text();
  if (!FindLastCharacter(pattern, '*') && !FindLastCharacter(pattern, '?'))
    return plan.Files.Add(source, target, i);
  TextString digest = ListItem(copy.Sha256, i);
  if (copy.Sha256Written && !digest.Equals("-")) {
    ShowError(MsgBadSymbol, digest.Text());
    return false;
  }
  int32_t prefix = static_cast<int32_t>(pattern - source.Text());
  TextString folder = AsFolder(target);
  FolderWalk walk = {&plan, i, strcmp(pattern, "*") ? pattern : nullptr,
                     prefix > 0 ? source.Mid(0, prefix - 1) : TextString(), folder, 0};
  if (target.Length() > 0 && folder.Length() <= MaxPathLength) {
    if (!AddMissingFolders(folder.Mid(0, folder.Length() - 2), plan) || !ListFolder(walk))
      return false;
    if (walk.Found > 0) return true;
  }
  ShowError(MsgCopyFailed, source.Text(), target.Text());  // nothing to copy
  return false;
}

// Makes the plan's folders.
bool MakeFolders(const CopyPlan& plan) {
  for (OneCopy* folder = plan.Folders.First(); folder; folder = folder->Next)
    if (!MakeFolder(folder->Target.Text())) return false;
  return true;
}

// Opens `source` to be copied; false (`checked` false after its report)
// where it does not open, or SIGNER is written and its signature fails.
bool OpenSource(const COPY_INFO& copy, const TextString& source, os::OwnedFile& from,
                bool& checked) {
  checked = true;
  held::Wait wait;
  while (!os::OpenSharingRead(source.Text(), from))
    if (!wait.Again(held::Step::Read, source.Text())) return false;
  checked = !copy.SignerWritten || SignedBy(from.Get(), source.Text(), copy.Signer);
  return checked;
}

// Copies the open `source` (named `path`) into the new file, its digest
// checked where one is pinned. A read cut by a region that another program
// locks a moment begins again, into the emptied file, with a new digest.
bool CopyChecked(os::FileHandle source, const TextString& path, os::FileHandle file,
                 uint32_t& attributes, FileDigest& digest) {
  held::Wait wait;
  while (!os::CopyIntoFile(source, file, attributes, os::ShowFileProgress, nullptr,
                           FileDigest::Add, &digest))
    if (!wait.Again(held::Step::Read, path.Text()) || !os::EmptyFile(file) ||
        !digest.Start(path.Text()))
      return false;
  return digest.Matches(path.Text());
}

// How many names beside the target are tried for a file of the run. Only a
// leftover of an interrupted run (or another program's file) takes a name.
constexpr int NameCount = 10;

// Name `attempt` for a file of the run in the folder of `target`:
// "~upd<attempt><extension>", or as much of "~upd<attempt>" as the path
// limit leaves room for (at least its digit: the target's own name fits).
bool NameBeside(const TextString& target, int attempt, const char* extension,
                TextString& name) {
  const char* last = FindLastCharacter(target.Text(), '\\');
  int32_t folderLength = last ? static_cast<int32_t>(last - target.Text()) + 1 : 0;
  char base[] = "~upd0";
  base[4] = static_cast<char>('0' + attempt);
  TextString own(base);
  int32_t room = MaxPathLength - folderLength;
  if (room >= own.Length() + TextString(extension).Length()) own.Append(extension);
  else if (room >= 1) own = own.Mid(own.Length() - room, own.Length() - 1);
  else return false;
  name = target.Mid(0, folderLength - 1);
  name.Append(own);
  return own.Length() > 0 && name.Length() == folderLength + own.Length();
}

// Creates the run's file beside `target`, on the first name nothing holds.
bool CreateBeside(const TextString& target, TextString& temporary, os::OwnedFile& file) {
  for (int attempt = 0; attempt < NameCount; ++attempt) {
    if (!NameBeside(target, attempt, ".tmp", temporary)) return false;
    switch (os::CreateNewFile(temporary.Text(), file.Receive())) {
      case os::Creation::Created:
        return true;
      case os::Creation::NameTaken:
        continue;
      case os::Creation::Failed:
        return false;
    }
  }
  return false;
}

// Removes the run's file after a failure; one that stays becomes `leftover`,
// to be reported. Always false: the copy failed.
bool Discard(os::OwnedFile& file, const TextString& temporary, TextString& leftover) {
  if (!os::DiscardFile(file, temporary.Text())) leftover.Assign(temporary);
  return false;
}

bool DiscardByName(const TextString& path, TextString& leftover) {
  os::SetAttributes(path.Text(), os::AttributeNormal);  // a read-only file cannot go
  if (!os::DeleteOneFile(path.Text())) leftover.Assign(path);
  return false;
}

// Systems without calls through file handles put the finished file in
// place by name. Where even the replacing move is missing (the Windows 95
// family), the old target steps aside first, so that it can come back when
// the new file cannot take its place: it is never lost.
bool PlaceByName(const TextString& temporary, const TextString& target, uint32_t attributes,
                 TextString& leftover) {
  held::Wait wait;
  os::Move moved;
  do moved = os::MoveReplacing(temporary.Text(), target.Text());
  while (moved == os::Move::Failed && wait.Again(held::Step::Replace, target.Text()));
  switch (moved) {
    case os::Move::Moved:
      return os::SetAttributes(target.Text(), attributes);
    case os::Move::Failed:
      return DiscardByName(temporary, leftover);
    case os::Move::Unsupported:
      break;
  }
  TextString aside;
  bool hadTarget = os::IsExistingFile(target.Text());
  if (hadTarget) {
    int attempt = 0;
    while (attempt < NameCount && !(NameBeside(target, attempt, ".old", aside) &&
                                    os::MoveOneFile(target.Text(), aside.Text())))
      ++attempt;
    if (attempt == NameCount) return DiscardByName(temporary, leftover);
  }
  if (!os::MoveOneFile(temporary.Text(), target.Text())) {
    // The old content goes back; where it cannot, it is named as left over.
    if (hadTarget && !os::MoveOneFile(aside.Text(), target.Text())) leftover.Assign(aside);
    TextString unused;
    return DiscardByName(temporary, leftover.Length() > 0 ? unused : leftover);
  }
  if (hadTarget) DiscardByName(aside, leftover);
  return os::SetAttributes(target.Text(), attributes);
}

// Copies the open `source` (named `path`) to `target` through the run's own
// file beside it, closing the source once read. A file of the run that
// could not be removed is named in `leftover`.
bool CopyReplacing(os::OwnedFile& source, const TextString& path, const TextString& target,
                   TextString& leftover, FileDigest& digest) {
  // An empty target names no file; one past the path limit is a file the
  // system's ANSI calls could not reach afterwards.
  if (target.Length() == 0 || target.Length() > MaxPathLength) return false;
  TextString temporary;
  os::OwnedFile file;
  if (!CreateBeside(target, temporary, file)) return false;
  uint32_t attributes = 0;
  bool copied = CopyChecked(source.Get(), path, file.Get(), attributes, digest);
  source.Close();  // the source may be the target itself
  if (!copied) return Discard(file, temporary, leftover);
  held::Wait wait;
  os::Placement placement;
  do placement = os::PlaceFile(file, target.Text(), attributes);
  while (placement == os::Placement::Refused && wait.Again(held::Step::Replace, target.Text()));
  switch (placement) {
    case os::Placement::Placed:
      return true;
    case os::Placement::Refused:
      return Discard(file, temporary, leftover);
    case os::Placement::Unsupported:
      break;
  }
  file.Close();  // moved by name, which a file held open cannot be
  return PlaceByName(temporary, target, attributes, leftover);
}

// The copies of one procedure in a run that can be undone. Every change is
// planned and recorded first (one flush), the folders to make included,
// which are then made; every new file is written beside its target and
// recorded with its identity (a second flush), and only then is each target
// kept aside and its new file put in its place, replacing nothing. The
// copies stop at the first that fails, which is reported.
class KeptCopies {
 public:
  KeptCopies(const COPY_INFO& copy, const CopyPlan& plan)
      : m_copy(copy), m_new(plan.Files.Count()), m_count(plan.Files.Count()) {}

  bool Run(const CopyPlan& plan) {
    if (!m_new.Ready("COPY_INFO")) return false;
    for (OneCopy* folder = plan.Folders.First(); folder; folder = folder->Next)
      if (!journal::PlanFolder(folder->Target.Text())) return false;
    int32_t planned = 0;
    OneCopy* refused = plan.Files.First();
    for (; planned < m_count; ++planned, refused = refused->Next) {
      switch (journal::Plan(refused->Target, true, false, m_new.Files(planned))) {
        case journal::Recorded::Yes:
          continue;
        case journal::Recorded::Refused:
          break;
        case journal::Recorded::Failed:
          return false;
      }
      break;
    }
    if (!journal::Commit() || !MakeFolders(plan)) return false;
    OneCopy* one = plan.Files.First();
    for (int32_t i = 0; i < planned; ++i, one = one->Next) {
      if (!StartingAction(FileAction::Copied, one->Source.Text(), one->Target.Text()))
        return false;
      os::OwnedFile& made = m_new.File(i);
      FileDigest digest(ListItem(m_copy.Sha256, one->Item));
      os::OwnedFile from;
      bool checked = true;
      bool written =
          digest.Start(one->Source.Text()) && OpenSource(m_copy, one->Source, from, checked) &&
          os::CreateNewFile(m_new.Files(i).Temporary.Text(), made.Receive()) ==
              os::Creation::Created &&
          CopyChecked(from.Get(), one->Source, made.Get(), m_new.Files(i).NewAttributes, digest);
      if (!written) return Failed(*one, i, false, checked && !digest.Refused());
      if (!journal::NoteNewFile(m_new.Files(i), made.Get())) return false;
    }
    if (!journal::Commit()) return false;
    one = plan.Files.First();
    for (int32_t i = 0; i < planned; ++i, one = one->Next) {
      TextString leftover;
      if (journal::KeepAside(m_new.Files(i)) == journal::Aside::Refused ||
          !m_new.Place(i, leftover)) {
        Failed(*one, i, false);
        if (leftover.Length() > 0) ShowError(MsgDeleteFailed, leftover.Text());
        return false;
      }
      ReportFileAction(FileAction::Copied, one->Source.Text(), one->Target.Text());
    }
    return planned == m_count || Failed(*refused, planned, true);
  }

 private:
  // Copy `i` failed: it is reported (a copy never planned, as it starts;
  // not again after a report of its signature or digest), and the new files
  // not yet in place go. Always false.
  bool Failed(const OneCopy& one, int32_t i, bool starting, bool report = true) {
    if (starting && !StartingAction(FileAction::Copied, one.Source.Text(), one.Target.Text()))
      return false;
    TextString leftover;
    bool gone = m_new.DiscardFrom(i, leftover);
    if (report) ShowError(MsgCopyFailed, one.Source.Text(), one.Target.Text());
    if (!gone) ShowError(MsgDeleteFailed, leftover.Text());
    return false;
  }

  const COPY_INFO& m_copy;
  journal::NewFiles m_new;
  int32_t m_count;
};

}  // namespace

static PROC_INFO* ParseCopy(const char* section) {
  return ParseRecord(section, CopyKind, Keys);
}

static bool ExecuteCopy(PROC_INFO* record) {
  COPY_INFO* copy = static_cast<COPY_INFO*>(record);
  int32_t count = CountPositions(*copy, copy->From, "FROM");
  if (count == 0 || (copy->Sha256Written && !DigestListIsWhole(copy->Sha256, count)))
    return false;
  CopyPlan plan;
  for (int32_t i = 0; i < count; ++i)
    if (!ExpandItem(*copy, i, plan)) return false;
  if (journal::Active()) {
    KeptCopies copies(*copy, plan);
    if (!copies.Run(plan)) return false;
    copy->Result = true;
    return true;
  }
  if (!MakeFolders(plan)) return false;
  for (OneCopy* one = plan.Files.First(); one; one = one->Next) {
    // A missing target (TO shorter than FROM) is the empty text, which fails.
    const TextString& source = one->Source;
    const TextString& target = one->Target;
    if (!StartingAction(FileAction::Copied, source.Text(), target.Text())) return false;
    TextString leftover;
    FileDigest digest(ListItem(copy->Sha256, one->Item));
    os::OwnedFile from;
    bool checked = true;
    bool copied = digest.Start(source.Text()) && OpenSource(*copy, source, from, checked) &&
                  CopyReplacing(from, source, target, leftover, digest);
    if (!copied && checked && !digest.Refused())
      ShowError(MsgCopyFailed, source.Text(), target.Text());
    // A file of the run that stays behind is reported, never left unsaid.
    if (leftover.Length() > 0) ShowError(MsgDeleteFailed, leftover.Text());
    if (!copied || leftover.Length() > 0) return false;
    ReportFileAction(FileAction::Copied, source.Text(), target.Text());
  }
  copy->Result = true;
  return true;
}

extern const ProcKind CopyKind = {"COPY", "COPY_INFO", Keys, 0, ParseCopy, ExecuteCopy};
