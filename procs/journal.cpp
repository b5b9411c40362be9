#include "procs/journal.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "base/byte_buffer.h"
#include "base/characters.h"
#include "base/report.h"
#include "base/run_events.h"
#include "os/os.h"
#include "procs/crc.h"
#include "script/script_file.h"

namespace journal {
namespace {

// The longest path the system's ANSI calls take, its zero aside.
constexpr int32_t MaxPathLength = 259;
const char* const Header = "UPDATER-JOURNAL";
const char* const Version = "1";

// The record types.
const char* const Replaced = "R";    // target, temporary, kept, existed (0/1)
const char* const Attributes = "A";  // path, the attributes before (hexadecimal)
const char* const Folder = "D";      // path
const char* const CompletedMark = "C";   // the run completed: what it kept may go
const char* const UndoneMark = "U";      // every change has been undone

// A fresh Run put in place of the last one closes the journal that one held.
struct Run {
  os::OwnedFile File;
  TextString Path;
  TextString Token;  // eight hexadecimal digits in the names of the run's files
  uint32_t Sequence = 0;
  bool Active = false;
};
Run TheJournal;

bool HasNoControlCharacters(const TextString& text) {
  for (const char* at = text.Text(); *at; ++at)
    if (static_cast<unsigned char>(*at) < 0x20) return false;
  return true;
}

bool IsHex(const TextString& text, int32_t length) {
  if (text.Length() != length) return false;
  for (const char* at = text.Text(); *at; ++at)
    if (!strchr("0123456789ABCDEF", *at)) return false;
  return true;
}

uint32_t HexValue(const TextString& text) {
  return static_cast<uint32_t>(strtoul(text.Text(), nullptr, 16));
}

TextString Hex(uint32_t value) {
  char text[16];
  snprintf(text, sizeof text, "%08X", static_cast<unsigned>(value));
  return TextString(text);
}

// The folder part of `path` ("" for none; "C:" for a drive's root).
TextString FolderOf(const TextString& path) {
  const char* last = FindLastCharacter(path.Text(), '\\');
  return last ? path.Mid(0, static_cast<int32_t>(last - path.Text()) - 1) : TextString();
}

// The folder as the system is asked about it.
TextString FolderToCheck(const TextString& path) {
  TextString folder = FolderOf(path);
  if (folder.Length() == 0) return TextString(".");
  if (folder.Length() == 2 && folder.Text()[1] == ':') folder.Append("\\");
  return folder;
}

// "~upd<token>-<sequence><extension>" in the folder of `target`; false when
// it does not fit the path limit.
bool NameBeside(const TextString& target, const TextString& token, uint32_t sequence,
                const char* extension, TextString& name) {
  char own[48];
  snprintf(own, sizeof own, "~upd%s-%u%s", token.Text(), static_cast<unsigned>(sequence),
           extension);
  TextString folder = FolderOf(target);
  bool separated = folder.Length() > 0 || target.Text()[0] == '\\';
  name = folder;
  if (separated) name.Append("\\");
  name.Append(own);
  // A name cut short for want of memory is no name.
  int32_t expected = folder.Length() + (separated ? 1 : 0) + static_cast<int32_t>(strlen(own));
  return name.Length() == expected && expected <= MaxPathLength;
}

// The sequence number in the name of a kept file ("...-12.old").
uint32_t SequenceOf(const TextString& kept) {
  return static_cast<uint32_t>(kept.Item(-1, "-").ToInt());
}

// --- Writing ---------------------------------------------------------------

// Writes one record, flushed; false after message 15 (where `report`).
bool Record(const char* const* fields, int count, bool report = true) {
  TextString line;
  int32_t expected = 0;
  for (int i = 0; i < count; ++i) {
    line.Append(fields[i]).Append("\t");
    expected += TextString(fields[i]).Length() + 1;
  }
  line.Append(Hex(ComputeCrc32(reinterpret_cast<const uint8_t*>(line.Text()),
                               static_cast<uint32_t>(line.Length()))))
      .Append("\r\n");
  if (line.Length() != expected + 10 ||
      !os::AppendToJournal(TheJournal.File.Get(), line.Text(),
                           static_cast<uint32_t>(line.Length()))) {
    if (report) ShowError(MsgJournalFailed, TheJournal.Path.Text());
    return false;
  }
  return true;
}

bool Mark(const char* type, bool report = true) {
  const char* fields[] = {type};
  return Record(fields, 1, report);
}

// --- Reading ---------------------------------------------------------------

void AppendBlock(void* context, const uint8_t* data, uint32_t count) {
  static_cast<ByteBuffer*>(context)->AppendBytes(data, static_cast<int32_t>(count));
}

// One record, its fields without the checksum.
struct Entry {
  TextString Fields[5];
  int Count = 0;
  bool Is(const char* type) const { return Count > 0 && Fields[0].Equals(type); }
};

// What a journal tells: its token, its valid records (their lines' offsets)
// and whether its run completed or was undone.
class JournalText {
 public:
  bool Read(os::FileHandle file) {
    m_bytes.Free();
    if (!os::ReadJournal(file, AppendBlock, &m_bytes)) return false;
    Scan();
    return true;
  }
  const TextString& Token() const { return m_token; }
  bool Completed() const { return m_completed; }
  bool Undone() const { return m_undone; }
  int32_t Count() const { return m_lines.Size / static_cast<int32_t>(sizeof(int32_t)); }
  // Record `index` (from 0), parsed again.
  Entry At(int32_t index) const {
    int32_t offset;
    memcpy(&offset, m_lines.Data() + index * sizeof(int32_t), sizeof offset);
    Entry entry;
    Parse(offset, entry);
    return entry;
  }

 private:
  // The line at `offset`, checked: false for a cut or damaged one.
  bool Parse(int32_t offset, Entry& entry, int32_t* next = nullptr) const {
    const uint8_t* data = m_bytes.Data();
    int32_t end = offset;
    while (end + 1 < m_bytes.Size && !(data[end] == '\r' && data[end + 1] == '\n')) {
      if (data[end] == 0) return false;
      ++end;
    }
    if (end + 1 >= m_bytes.Size) return false;  // cut before its end
    TextString line;
    if (!line.Reserve(end - offset + 1)) return false;
    memcpy(line.Buffer(), data + offset, static_cast<size_t>(end - offset));
    line.Buffer()[end - offset] = '\0';
    int32_t items = line.ItemCount("\t");
    if (items < 2 || items > 6) return false;
    TextString sum = line.Item(-1, "\t");
    uint32_t signedLength = static_cast<uint32_t>(line.Length() - sum.Length());
    if (!IsHex(sum, 8) ||
        ComputeCrc32(reinterpret_cast<const uint8_t*>(line.Text()), signedLength) != HexValue(sum))
      return false;
    entry.Count = items - 1;
    for (int i = 0; i < entry.Count; ++i) {
      entry.Fields[i] = line.Item(i, "\t");
      if (!HasNoControlCharacters(entry.Fields[i])) return false;
    }
    if (next) *next = end + 2;
    return true;
  }

  // A record that a run of this program could have written, and no other.
  bool Plausible(const Entry& entry) const {
    const TextString* f = entry.Fields;
    if (entry.Is(CompletedMark) || entry.Is(UndoneMark)) return entry.Count == 1;
    if (entry.Is(Folder)) return entry.Count == 2 && f[1].Length() > 0 && f[1].Length() <= MaxPathLength;
    if (entry.Is(Attributes))
      return entry.Count == 3 && f[1].Length() > 0 && f[1].Length() <= MaxPathLength &&
             IsHex(f[2], 8);
    if (!entry.Is(Replaced) || entry.Count != 5 || f[1].Length() == 0 ||
        f[1].Length() > MaxPathLength || !(f[4].Equals("0") || f[4].Equals("1")))
      return false;
    // The kept and temporary files bear the run's names, beside the target.
    uint32_t sequence = SequenceOf(f[3]);
    TextString expected;
    if (!NameBeside(f[1], m_token, sequence, ".old", expected) || expected.NotEquals(f[3]))
      return false;
    return f[2].Length() == 0 ||
           (NameBeside(f[1], m_token, sequence, ".tmp", expected) && expected.Equals(f[2]));
  }

  void Scan() {
    m_lines.Free();
    m_token.Assign("");
    m_completed = m_undone = false;
    Entry header;
    int32_t offset = 0;
    if (!Parse(0, header, &offset) || header.Count != 3 || !header.Fields[0].Equals(Header) ||
        !header.Fields[1].Equals(Version) || !IsHex(header.Fields[2], 8))
      return;
    m_token = header.Fields[2];
    Entry entry;
    int32_t next = 0;
    while (offset < m_bytes.Size && Parse(offset, entry, &next) && Plausible(entry)) {
      if (entry.Is(CompletedMark)) m_completed = true;
      if (entry.Is(UndoneMark)) m_undone = true;
      if (m_completed || m_undone) return;
      m_lines.AppendBytes(&offset, sizeof offset);
      offset = next;
    }
  }

  ByteBuffer m_bytes;
  ByteBuffer m_lines;
  TextString m_token;
  bool m_completed = false;
  bool m_undone = false;
};

// --- Undoing ---------------------------------------------------------------

void Note(FileAction action, const TextString& first, const TextString& second = TextString(),
          uint32_t number = 0) {
  ReportFileAction(action, first.Text(), second.Text(), number);
}

// Removes a file of the run's own where one is there (a folder is none);
// one in use goes when the system next starts, where `atRestart` allows.
enum class Removal { Absent, Removed, AtRestart, Stays };
Removal RemoveIfThere(const TextString& path, FileAction done, bool atRestart = true) {
  if (!os::DeleteOneFile(path.Text())) {
    uint32_t attributes = 0;
    if (!os::AttributesOf(path.Text(), attributes) || (attributes & os::AttributeDirectory))
      return Removal::Absent;
    // A read-only file cannot go as it is.
    bool deleted = (attributes & os::AttributeReadOnly) &&
                   os::SetAttributes(path.Text(), attributes & ~os::AttributeReadOnly) &&
                   os::DeleteOneFile(path.Text());
    if (!deleted) {
      if (!atRestart || !os::RemoveAtRestart(path.Text())) return Removal::Stays;
      Note(FileAction::RemovedAtRestart, path);
      return Removal::AtRestart;
    }
  }
  Note(done, path);
  return Removal::Removed;
}

// A file that the run put at `target` and that cannot go at once (a program
// runs from it) steps aside to `aside`, to go when the system next starts.
bool StepAside(const TextString& target, const TextString& aside) {
  return os::MoveAside(target.Text(), aside.Text()) &&
         RemoveIfThere(aside, FileAction::RemovedMade) != Removal::Stays;
}

// Removes a file the run made at `target`; it steps aside where it is in use.
Removal RemoveMade(const TextString& target, const TextString& aside) {
  Removal removal = RemoveIfThere(target, FileAction::RemovedMade, false);
  if (removal == Removal::Stays && StepAside(target, aside)) return Removal::AtRestart;
  return removal;
}

// Puts `kept` back at `target`, in place of what the run put there.
enum class Return { Back, NoKept, Failed };
Return PutBackFile(const TextString& kept, const TextString& target, const TextString& aside) {
  bool back = false;
  switch (os::MoveReplacing(kept.Text(), target.Text())) {
    case os::Move::Moved:
      back = true;
      break;
    case os::Move::Unsupported:
      if (!os::IsExistingFile(kept.Text())) return Return::NoKept;
      back = RemoveMade(target, aside) != Removal::Stays &&
             os::MoveOneFile(kept.Text(), target.Text());
      break;
    case os::Move::Failed: {
      if (!os::IsExistingFile(kept.Text())) return Return::NoKept;
      // The run's file is in the way: read-only, or a program runs from it.
      uint32_t attributes = 0;
      bool there = os::AttributesOf(target.Text(), attributes) &&
                   !(attributes & os::AttributeDirectory);
      if (there && (attributes & os::AttributeReadOnly) &&
          os::SetAttributes(target.Text(), attributes & ~os::AttributeReadOnly))
        back = os::MoveReplacing(kept.Text(), target.Text()) == os::Move::Moved;
      if (!back && there)
        back = StepAside(target, aside) && os::MoveOneFile(kept.Text(), target.Text());
      break;
    }
  }
  if (!back) return Return::Failed;
  Note(FileAction::PutBack, target, kept);
  return Return::Back;
}

// What the undo knows of the folder it works in: whether it is reached with
// no link on the way, and which of the run's own files are in it. Both are
// asked once for each folder in turn, as a journal's records mostly share
// a few: a listing of the run's names costs one look at the folder, where a
// look for each file that is not there may cost one each (under Wine).
class FolderView {
 public:
  explicit FolderView(const TextString& token) : m_token(token) {}

  bool Direct(const TextString& path) {
    Look(path);
    return m_direct;
  }
  // Whether the run's own file `path` may be there.
  bool Has(const TextString& path) {
    Look(path);
    if (!m_listed) return true;  // not known: it is looked for
    const char* name = FindLastCharacter(path.Text(), '\\');
    TextString entry("|");
    entry.Append(name ? name + 1 : path.Text()).Append("|");
    return strstr(m_names.Text(), entry.Text()) != nullptr;
  }

 private:
  static bool Collect(void* context, const char* name, uint32_t attributes, bool exact) {
    if (exact && !(attributes & os::AttributeDirectory))
      static_cast<TextString*>(context)->Append(name).Append("|");
    return true;
  }

  void Look(const TextString& path) {
    TextString folder = FolderToCheck(path);
    if (m_asked && folder.Equals(m_folder)) return;
    m_asked = true;
    m_folder = folder;
    m_direct = os::IsDirectFolder(folder.Text());
    // "...\~upd<token>-*": every file of the run's names there.
    TextString pattern;
    NameBeside(path, m_token, 0, "", pattern);
    pattern.ReplaceMid(pattern.Length() - 1, "*");
    m_names.Assign("|");
    m_listed = m_direct && os::ForEachEntry(pattern.Text(), Collect, &m_names) ==
                               os::Listing::Complete;
  }

  TextString m_token;
  TextString m_folder;
  TextString m_names;  // "|name|name|"
  bool m_direct = false;
  bool m_listed = false;
  bool m_asked = false;
};

// Undoes one replacement; false when it could not be undone (reported).
bool UndoReplacement(const Entry& entry, const TextString& token, FolderView& folders) {
  const TextString& path = entry.Fields[1];
  const TextString& temporary = entry.Fields[2];
  const TextString& kept = entry.Fields[3];
  bool existed = entry.Fields[4].Equals("1");
  TextString aside;
  NameBeside(path, token, SequenceOf(kept), ".new", aside);
  // Nothing is moved or removed through a link or junction that has come
  // to stand on the way; where something is left to undo, that is said.
  if (!folders.Direct(path)) {
    if (existed && os::IsExistingFile(kept.Text())) {
      ShowError(MsgPutBackFailed, path.Text(), kept.Text());
      return false;
    }
    const TextString* const left[] = {&temporary, &aside, existed ? nullptr : &path};
    for (const TextString* file : left)
      if (file && file->Length() > 0 && os::IsExistingFile(file->Text())) {
        ShowError(MsgDeleteFailed, file->Text());
        return false;
      }
    return true;
  }
  if (temporary.Length() > 0 && folders.Has(temporary))
    RemoveIfThere(temporary, FileAction::RemovedMade);
  bool undone = true;
  // A target that was not there had nothing kept: what is there now is the run's.
  switch (existed && folders.Has(kept) ? PutBackFile(kept, path, aside) : Return::NoKept) {
    case Return::Back:
      break;
    case Return::Failed:
      ShowError(MsgPutBackFailed, path.Text(), kept.Text());
      undone = false;
      break;
    case Return::NoKept:
      if (!existed && RemoveMade(path, aside) == Removal::Stays) {
        ShowError(MsgDeleteFailed, path.Text());
        undone = false;
      }
      break;
  }
  if (folders.Has(aside)) RemoveIfThere(aside, FileAction::RemovedMade);
  return undone;
}

// Undoes one record; false when it could not be undone (reported).
bool UndoEntry(const Entry& entry, const TextString& token, FolderView& folders) {
  if (entry.Is(Replaced)) return UndoReplacement(entry, token, folders);
  const TextString& path = entry.Fields[1];
  if (entry.Is(Folder)) {
    if (!os::IsExistingDirectory(path.Text())) return true;
    if (folders.Direct(path) && os::RemoveEmptyDirectory(path.Text()))
      Note(FileAction::FolderRemoved, path);
    else
      Note(FileAction::FolderLeft, path);
    return true;
  }
  uint32_t now = 0;
  if (!os::AttributesOf(path.Text(), now)) return true;  // gone with a later change undone
  uint32_t old = HexValue(entry.Fields[2]);
  if (folders.Direct(path) && os::SetAttributes(path.Text(), old)) {
    Note(FileAction::AttributesPutBack, path, TextString(), old);
    return true;
  }
  ShowError(MsgAttributesFailed, path.Text(), old);
  return false;
}

// Undoes every record, the last first.
void UndoAll(const JournalText& text) {
  int32_t count = text.Count();
  Observer().JournalNoted(JournalNote::Undoing, "", "", static_cast<uint32_t>(count));
  uint32_t failed = 0;
  FolderView folders(text.Token());
  for (int32_t i = count - 1; i >= 0; --i)
    if (!UndoEntry(text.At(i), text.Token(), folders)) ++failed;
  Observer().JournalNoted(JournalNote::Undone, "", "", failed);
}

// Removes what a completed run kept.
void FinishAll(const JournalText& text) {
  uint32_t kept = 0;
  for (int32_t i = 0; i < text.Count(); ++i) {
    Entry entry = text.At(i);
    if (entry.Is(Replaced) && entry.Fields[4].Equals("1")) ++kept;
  }
  Observer().JournalNoted(JournalNote::Completed, "", "", kept);
  // Only files of the run's own names go, so no folder is asked about.
  for (int32_t i = 0; i < text.Count(); ++i) {
    Entry entry = text.At(i);
    if (entry.Is(Replaced) && entry.Fields[4].Equals("1"))
      RemoveIfThere(entry.Fields[3], FileAction::KeptRemoved);
  }
}

// Another run of the script holds its journal: message 16.
Outcome InProgress(const char* path) {
  Observer().JournalNoted(JournalNote::InProgress, path, "", 0);
  ShowError(MsgRunInProgress, ScriptPath.Text());
  return Outcome::InProgress;
}

}  // namespace

TextString PathFor(const TextString& scriptPath) {
  TextString path(scriptPath);
  path.ReplaceItem(-1, ".", "journal");
  return path;
}

Outcome RecoverInterruptedRun(const char* path) {
  // A run that never reached its end in this process (the checker's) holds
  // nothing any more.
  TheJournal = Run();
  os::OwnedFile file;
  switch (os::OpenJournal(path, false, file.Receive())) {
    case os::JournalOpening::Missing:
      return Outcome::Done;
    case os::JournalOpening::Opened:
      break;
    case os::JournalOpening::Exists:
    case os::JournalOpening::InUse:
      return InProgress(path);
    case os::JournalOpening::Failed:
      ShowError(MsgJournalFailed, path);
      return Outcome::Failed;
  }
  JournalText text;
  if (!text.Read(file.Get())) {
    file.Close();  // not held while the box waits
    ShowError(MsgJournalFailed, path);
    return Outcome::Failed;
  }
  Observer().JournalNoted(JournalNote::Recovering, path, "", text.Completed() ? 1 : 0);
  TheJournal = Run();
  TheJournal.File = std::move(file);
  TheJournal.Path.Assign(path);
  if (text.Completed()) {
    FinishAll(text);
  } else if (!text.Undone()) {
    UndoAll(text);
    Mark(UndoneMark, false);  // spares a start after a cut here a second pass
  }
  os::DiscardFile(TheJournal.File, path);
  TheJournal = Run();
  return Outcome::Done;
}

Outcome Begin(const char* path) {
  TheJournal = Run();
  TheJournal.Path.Assign(path);
  os::OwnedFile file;
  switch (os::OpenJournal(path, true, file.Receive())) {
    case os::JournalOpening::Opened:
      break;
    case os::JournalOpening::Exists:
    case os::JournalOpening::InUse:
      // Another start took the name since this one looked.
      if (os::OpenJournal(path, false, file.Receive()) == os::JournalOpening::InUse) {
        return InProgress(path);
      }
      file.Close();  // not held while the box waits
      ShowError(MsgJournalFailed, path);
      return Outcome::Failed;
    case os::JournalOpening::Missing:
    case os::JournalOpening::Failed:
      ShowError(MsgJournalFailed, path);
      return Outcome::Failed;
  }
  TheJournal.File = std::move(file);
  // A token of this moment, so that no earlier run's leftover bears the
  // names of this run's files.
  os::LocalTime now;
  os::CurrentLocalTime(now);
  uint32_t token = os::Milliseconds() * 2654435761u ^
                   (static_cast<uint32_t>(now.Day) << 27 | static_cast<uint32_t>(now.Hour) << 22 |
                    static_cast<uint32_t>(now.Minute) << 16 | static_cast<uint32_t>(now.Second) << 10 |
                    now.Milliseconds);
  TheJournal.Token = Hex(token);
  const char* header[] = {Header, Version, TheJournal.Token.Text()};
  if (!Record(header, 3)) {
    os::DiscardFile(TheJournal.File, path);
    TheJournal = Run();
    return Outcome::Failed;
  }
  TheJournal.Active = true;
  Observer().JournalNoted(JournalNote::Opened, path, "", 0);
  return Outcome::Done;
}

bool Active() { return TheJournal.Active; }

bool End(bool completed) {
  if (!TheJournal.Active) return completed;
  TheJournal.Active = false;
  // What the run recorded is read back, as a later start would read it.
  JournalText text;
  bool read = text.Read(TheJournal.File.Get());
  if (completed && !(read && Mark(CompletedMark))) completed = false;
  if (!read) {
    // Nothing can be undone from here; the journal stays for the next start.
    ShowError(MsgJournalFailed, TheJournal.Path.Text());
    TheJournal = Run();
    return false;
  }
  if (completed) {
    FinishAll(text);
  } else {
    UndoAll(text);
    Mark(UndoneMark, false);
  }
  os::DiscardFile(TheJournal.File, TheJournal.Path.Text());
  TheJournal = Run();
  return completed;
}

Recorded BeforeReplacing(const TextString& target, bool withTemporary, Replacement& files,
                         bool mustExist) {
  if (target.Length() == 0 || target.Length() > MaxPathLength) return Recorded::Refused;
  files.Target = target;
  // The names bear the run's token, so that no earlier run's leftover has
  // them; a file someone put there on purpose is never replaced (the file
  // is made new, the target moved aside without replacing), and could
  // only come back where its maker could write anyway.
  uint32_t sequence = ++TheJournal.Sequence;
  files.Temporary.Assign("");
  if (!NameBeside(target, TheJournal.Token, sequence, ".old", files.Kept) ||
      (withTemporary && !NameBeside(target, TheJournal.Token, sequence, ".tmp", files.Temporary)))
    return Recorded::Refused;
  files.Attributes = 0;
  files.Existed = os::AttributesOf(target.Text(), files.Attributes) &&
                  !(files.Attributes & os::AttributeDirectory);
  if (mustExist && !files.Existed) return Recorded::Refused;
  const char* fields[] = {Replaced, target.Text(), files.Temporary.Text(), files.Kept.Text(),
                          files.Existed ? "1" : "0"};
  return Record(fields, 5) ? Recorded::Yes : Recorded::Failed;
}

Aside KeepAside(const Replacement& files) {
  if (!files.Existed) return Aside::Absent;
  if (files.Attributes & os::AttributeReadOnly) return Aside::Refused;
  if (os::MoveAside(files.Target.Text(), files.Kept.Text())) {
    Note(FileAction::KeptAside, files.Target, files.Kept);
    return Aside::Moved;
  }
  TextString holders;
  if (os::ProgramsHolding(files.Target.Text(), holders))
    Observer().JournalNoted(JournalNote::HeldBy, files.Target.Text(), holders.Text(), 0);
  return Aside::Refused;
}

Aside SetAside(const TextString& target, bool mustExist, Replacement& files) {
  switch (BeforeReplacing(target, false, files, mustExist)) {
    case Recorded::Yes:
      return KeepAside(files);
    case Recorded::Refused:
      return Aside::Refused;
    case Recorded::Failed:
      break;
  }
  return Aside::Failed;
}

bool PutBack(const Replacement& files) {
  TextString aside;
  NameBeside(files.Target, TheJournal.Token, SequenceOf(files.Kept), ".new", aside);
  if (PutBackFile(files.Kept, files.Target, aside) == Return::Back) return true;
  ShowError(MsgPutBackFailed, files.Target.Text(), files.Kept.Text());
  return false;
}

bool BeforeAttributes(const char* path, uint32_t old) {
  if (!TheJournal.Active) return true;
  TextString value = Hex(old);
  const char* fields[] = {Attributes, path, value.Text()};
  return Record(fields, 3);
}

bool BeforeFolder(const char* path) {
  if (!TheJournal.Active) return true;
  const char* fields[] = {Folder, path};
  return Record(fields, 2);
}

}  // namespace journal
