#include "procs/journal.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/byte_buffer.h"
#include "base/characters.h"
#include "base/report.h"
#include "base/run_events.h"
#include "os/os.h"
#include "procs/crc.h"

namespace journal {
namespace {

// The longest path the system's ANSI calls take, its zero aside.
constexpr int32_t MaxPathLength = 259;
// Names tried for the files of one replacement: only another program's
// file (or a leftover removed at the next restart) can take one.
constexpr int NameAttempts = 10;
const char* const Header = "UPDATER-JOURNAL";
const char* const Version = "1";

// The record types.
const char* const Replaced = "R";    // target, temporary, kept, existed (0/1)
const char* const Attributes = "A";  // path, the attributes before (hexadecimal)
const char* const Folder = "D";      // path
const char* const CompletedMark = "C";   // the run completed: what it kept may go
const char* const UndoneMark = "U";      // every change has been undone

struct Run {
  os::FileHandle File = nullptr;
  TextString Path;
  TextString Token;  // eight hexadecimal digits in the names of the run's files
  uint32_t Sequence = 0;
  bool Active = false;
};
Run TheJournal;

bool IsBlankFree(const TextString& text) {
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

// Writes one record, flushed; false after message 15.
bool Record(const char* const* fields, int count) {
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
      !os::AppendToJournal(TheJournal.File, line.Text(), static_cast<uint32_t>(line.Length()))) {
    ShowError(MsgJournalFailed, TheJournal.Path.Text());
    return false;
  }
  return true;
}

bool Mark(const char* type) {
  const char* fields[] = {type};
  return Record(fields, 1);
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
      if (!IsBlankFree(entry.Fields[i])) return false;
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

// Removes a file of the run's own; one in use goes when the system next
// starts. False when it stays.
bool RemoveOwnFile(const TextString& path, FileAction done) {
  os::SetAttributes(path.Text(), os::AttributeNormal);  // a read-only file cannot go
  if (os::DeleteOneFile(path.Text())) {
    Note(done, path);
    return true;
  }
  if (!os::RemoveAtRestart(path.Text())) return false;
  Note(FileAction::RemovedAtRestart, path);
  return true;
}

// A file that the run put at `target` steps aside to `aside` where it
// cannot simply go (a program runs from it), to be removed as the run's own.
bool StepAside(const TextString& target, const TextString& aside) {
  return os::MoveAside(target.Text(), aside.Text()) &&
         RemoveOwnFile(aside, FileAction::RemovedMade);
}

// Puts `kept` back at `target`, in place of what the run put there.
bool PutBackFile(const TextString& kept, const TextString& target, const TextString& aside) {
  uint32_t attributes = 0;
  bool targetThere = os::AttributesOf(target.Text(), attributes) &&
                     !(attributes & os::AttributeDirectory);
  // The run's file goes; being read-only must not keep it.
  if (targetThere && (attributes & os::AttributeReadOnly))
    os::SetAttributes(target.Text(), attributes & ~os::AttributeReadOnly);
  bool back = false;
  switch (os::MoveReplacing(kept.Text(), target.Text())) {
    case os::Move::Moved:
      back = true;
      break;
    case os::Move::Unsupported:
      back = (!targetThere || os::DeleteOneFile(target.Text())) &&
             os::MoveOneFile(kept.Text(), target.Text());
      break;
    case os::Move::Failed:
      back = targetThere && StepAside(target, aside) &&
             os::MoveOneFile(kept.Text(), target.Text());
      break;
  }
  if (back) Note(FileAction::PutBack, target, kept);
  return back;
}

// Undoes one record; false when it could not be undone (reported).
bool UndoEntry(const Entry& entry, const TextString& token) {
  const TextString& path = entry.Fields[1];
  bool direct = os::IsDirectFolder(FolderToCheck(path).Text());
  if (entry.Is(Folder)) {
    if (!os::IsExistingDirectory(path.Text())) return true;
    if (direct && os::RemoveEmptyDirectory(path.Text())) Note(FileAction::FolderRemoved, path);
    else Note(FileAction::FolderLeft, path);
    return true;
  }
  if (entry.Is(Attributes)) {
    uint32_t now = 0;
    if (!os::AttributesOf(path.Text(), now)) return true;  // gone with a later change undone
    uint32_t old = HexValue(entry.Fields[2]);
    if (direct && os::SetAttributes(path.Text(), old)) {
      Note(FileAction::AttributesPutBack, path, TextString(), old);
      return true;
    }
    ShowError(MsgAttributesFailed, path.Text(), old);
    return false;
  }
  // A replacement.
  const TextString& temporary = entry.Fields[2];
  const TextString& kept = entry.Fields[3];
  bool existed = entry.Fields[4].Equals("1");
  TextString aside;
  NameBeside(path, token, SequenceOf(kept), ".new", aside);
  bool keptThere = os::IsExistingFile(kept.Text());
  bool madeThere = !existed && !keptThere && os::IsExistingFile(path.Text());
  bool temporaryThere = temporary.Length() > 0 && os::IsExistingFile(temporary.Text());
  bool asideThere = os::IsExistingFile(aside.Text());
  if (!keptThere && !madeThere && !temporaryThere && !asideThere) return true;
  // Nothing is moved or removed through a link or junction that has come
  // to stand on the way.
  if (!direct) {
    if (keptThere) ShowError(MsgPutBackFailed, path.Text(), kept.Text());
    else ShowError(MsgDeleteFailed, (madeThere ? path : temporaryThere ? temporary : aside).Text());
    return false;
  }
  bool undone = true;
  if (temporaryThere) RemoveOwnFile(temporary, FileAction::RemovedMade);
  if (keptThere && !PutBackFile(kept, path, aside)) {
    ShowError(MsgPutBackFailed, path.Text(), kept.Text());
    undone = false;
  }
  if (madeThere && !RemoveOwnFile(path, FileAction::RemovedMade) && !StepAside(path, aside)) {
    ShowError(MsgDeleteFailed, path.Text());
    undone = false;
  }
  if (os::IsExistingFile(aside.Text())) RemoveOwnFile(aside, FileAction::RemovedMade);
  return undone;
}

// Undoes every record, the last first.
void UndoAll(const JournalText& text) {
  int32_t count = text.Count();
  Observer().JournalNoted(JournalNote::Undoing, "", "", static_cast<uint32_t>(count));
  uint32_t failed = 0;
  for (int32_t i = count - 1; i >= 0; --i)
    if (!UndoEntry(text.At(i), text.Token())) ++failed;
  Observer().JournalNoted(JournalNote::Undone, "", "", failed);
}

// Removes what a completed run kept.
void FinishAll(const JournalText& text) {
  uint32_t kept = 0;
  for (int32_t i = 0; i < text.Count(); ++i)
    if (text.At(i).Is(Replaced)) ++kept;
  Observer().JournalNoted(JournalNote::Completed, "", "", kept);
  for (int32_t i = 0; i < text.Count(); ++i) {
    Entry entry = text.At(i);
    if (!entry.Is(Replaced)) continue;
    const TextString& keptFile = entry.Fields[3];
    if (os::IsDirectFolder(FolderToCheck(keptFile).Text()) &&
        os::IsExistingFile(keptFile.Text()))
      RemoveOwnFile(keptFile, FileAction::KeptRemoved);
  }
}

void Close(os::FileHandle file, const TextString& path) {
  os::DiscardFile(file, path.Text());
}

}  // namespace

TextString PathFor(const TextString& scriptPath) {
  TextString path(scriptPath);
  path.ReplaceItem(-1, ".", "journal");
  return path;
}

Outcome RecoverInterruptedRun(const char* path) {
  os::FileHandle file = nullptr;
  switch (os::OpenJournal(path, false, file)) {
    case os::JournalOpening::Missing:
      return Outcome::Done;
    case os::JournalOpening::Opened:
      break;
    case os::JournalOpening::Exists:
    case os::JournalOpening::InUse:
      Observer().JournalNoted(JournalNote::InProgress, path, "", 0);
      return Outcome::InProgress;
    case os::JournalOpening::Failed:
      ShowError(MsgJournalFailed, path);
      return Outcome::Failed;
  }
  JournalText text;
  if (!text.Read(file)) {
    os::CloseFile(file);
    ShowError(MsgJournalFailed, path);
    return Outcome::Failed;
  }
  Observer().JournalNoted(JournalNote::Recovering, path, "", text.Completed() ? 1 : 0);
  TheJournal = Run();
  TheJournal.File = file;
  TheJournal.Path.Assign(path);
  if (text.Completed()) {
    FinishAll(text);
  } else if (!text.Undone()) {
    UndoAll(text);
    Mark(UndoneMark);
  }
  Close(file, TheJournal.Path);
  TheJournal = Run();
  return Outcome::Done;
}

Outcome Begin(const char* path) {
  TheJournal = Run();
  TheJournal.Path.Assign(path);
  os::FileHandle file = nullptr;
  switch (os::OpenJournal(path, true, file)) {
    case os::JournalOpening::Opened:
      break;
    case os::JournalOpening::Exists:
    case os::JournalOpening::InUse:
      // Another start took the name since this one looked.
      if (os::OpenJournal(path, false, file) == os::JournalOpening::InUse) {
        Observer().JournalNoted(JournalNote::InProgress, path, "", 0);
        return Outcome::InProgress;
      }
      if (file) os::CloseFile(file);
      ShowError(MsgJournalFailed, path);
      return Outcome::Failed;
    case os::JournalOpening::Missing:
    case os::JournalOpening::Failed:
      ShowError(MsgJournalFailed, path);
      return Outcome::Failed;
  }
  TheJournal.File = file;
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
    Close(file, TheJournal.Path);
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
  bool read = text.Read(TheJournal.File);
  if (completed && !(read && Mark(CompletedMark))) completed = false;
  if (!read) {
    // Nothing can be undone from here; the journal stays for the next start.
    ShowError(MsgJournalFailed, TheJournal.Path.Text());
    os::CloseFile(TheJournal.File);
    TheJournal = Run();
    return false;
  }
  if (completed) {
    FinishAll(text);
  } else {
    UndoAll(text);
    Mark(UndoneMark);
  }
  Close(TheJournal.File, TheJournal.Path);
  TheJournal = Run();
  return completed;
}

Recorded BeforeReplacing(const TextString& target, bool withTemporary, Replacement& files) {
  if (target.Length() == 0 || target.Length() > MaxPathLength) return Recorded::NoRoom;
  files.Target = target;
  int attempt = 0;
  for (;; ++attempt) {
    if (attempt == NameAttempts) return Recorded::NoRoom;
    uint32_t sequence = ++TheJournal.Sequence;
    files.Temporary.Assign("");
    if (!NameBeside(target, TheJournal.Token, sequence, ".old", files.Kept) ||
        (withTemporary &&
         !NameBeside(target, TheJournal.Token, sequence, ".tmp", files.Temporary)))
      return Recorded::NoRoom;
    if (!os::FindAnyEntry(files.Kept.Text()) &&
        !(withTemporary && os::FindAnyEntry(files.Temporary.Text())))
      break;
  }
  bool existed = os::IsExistingFile(target.Text());
  const char* fields[] = {Replaced, target.Text(), files.Temporary.Text(), files.Kept.Text(),
                          existed ? "1" : "0"};
  return Record(fields, 5) ? Recorded::Yes : Recorded::Failed;
}

Aside KeepAside(const Replacement& files) {
  uint32_t attributes = 0;
  if (!os::AttributesOf(files.Target.Text(), attributes) ||
      (attributes & os::AttributeDirectory))
    return Aside::Absent;
  if (attributes & os::AttributeReadOnly) return Aside::Refused;
  if (os::MoveAside(files.Target.Text(), files.Kept.Text())) {
    Note(FileAction::KeptAside, files.Target, files.Kept);
    return Aside::Moved;
  }
  TextString holders;
  if (os::ProgramsHolding(files.Target.Text(), holders))
    Observer().JournalNoted(JournalNote::HeldBy, files.Target.Text(), holders.Text(), 0);
  return Aside::Refused;
}

bool PutBack(const Replacement& files) {
  TextString aside;
  NameBeside(files.Target, TheJournal.Token, SequenceOf(files.Kept), ".new", aside);
  if (PutBackFile(files.Kept, files.Target, aside)) return true;
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
