#include "procs/journal.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "base/byte_buffer.h"
#include "base/characters.h"
#include "base/report.h"
#include "base/run_events.h"
#include "base/seam_text.h"
#include "os/basics.h"
#include "os/files.h"
#include "os/journal_support.h"
#include "os/processes.h"
#include "procs/crc.h"
#include "procs/held_files.h"
#include "procs/journal_place.h"
#include "procs/kind_description.h"
#include "procs/service.h"
#include "script/script_file.h"

namespace journal {
namespace {

// The longest path the system's ANSI calls take, its zero aside.
constexpr int32_t MaxPathLength = 259;
const char* const Header = "UPDATER-JOURNAL";
const char* const Version = "2";

// The record types, each with its sequence number first.
const char* const Replaced = "R";    // target, temporary, kept, existed (0/1), identity, attributes
const char* const NewFile = "T";     // the identity of the run's new file of replacement <seq>
const char* const Attributes = "A";  // path, the attributes before (hexadecimal)
const char* const Folder = "D";      // path
// A service the run stopped or started: name, STOP or START (what the run
// did), the seconds its undo may wait.
const char* const Service = "S";
const char* const Retired = "X";     // replacement <seq> was reported as lost: never again
const char* const CompletedMark = "C";   // the run completed: what it kept may go
const char* const UndoneMark = "U";      // every change has been undone
constexpr int MostFields = 10;

// --- The run's journal ---------------------------------------------------------

struct Run {
  Place Where;
  bool Placed = false;
  os::OwnedLock Lock;
  os::OwnedFile File;
  TextString Path;   // the journal File holds
  TextString Token;  // eight hexadecimal digits in the names of the run's files
  uint32_t Sequence = 0;
  TextString Staged;  // records written at the next Commit
  bool Active = false;
};
Run TheJournal;

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

TextString Number(uint32_t value) {
  char text[16];
  snprintf(text, sizeof text, "%u", static_cast<unsigned>(value));
  return TextString(text);
}

TextString Hex64(uint64_t value) {
  return Hex(static_cast<uint32_t>(value >> 32)).Append(Hex(static_cast<uint32_t>(value)));
}

// A file's identity as the journal writes it: its volume and index, or
// where the index does not last ("~"), its volume, size and times.
TextString IdentityText(const os::FileIdentity& identity, bool stable) {
  TextString text(stable ? "" : "~");
  text.Append(Hex(identity.Volume)).Append(".");
  if (stable) return text.Append(Hex64(identity.Index));
  return text.Append(Hex64(identity.Size)).Append(".").Append(Hex64(identity.WriteTime))
      .Append(".").Append(Hex64(identity.CreationTime));
}
TextString IdentityText(const os::FileIdentity& identity) {
  return IdentityText(identity, identity.StableIndex);
}
// Whether the file found is the one recorded, told as the record was.
bool IsRecorded(const TextString& recorded, const os::FileIdentity& found) {
  return recorded.Length() > 1 &&
         IdentityText(found, recorded.Text()[0] != '~').Equals(recorded);
}
bool IsIdentity(const TextString& text) {
  return text.Length() == 25 || (text.Length() == 60 && text.Text()[0] == '~');
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

// --- Writing ---------------------------------------------------------------

// One record's line: its fields, tab-separated, and its checksum.
bool Line(const char* const* fields, int count, TextString& line) {
  line.Assign("");
  int32_t expected = 0;
  for (int i = 0; i < count; ++i) {
    line.Append(fields[i]).Append("\t");
    expected += TextString(fields[i]).Length() + 1;
  }
  line.Append(Hex(ComputeCrc32(reinterpret_cast<const uint8_t*>(line.Text()),
                               static_cast<uint32_t>(line.Length()))))
      .Append("\r\n");
  return line.Length() == expected + 10;
}

// Stages one record for the next Commit; false (with nothing staged) where
// memory runs out, which Commit then reports.
bool Stage(const char* const* fields, int count) {
  TextString line;
  int32_t before = TheJournal.Staged.Length();
  if (!Line(fields, count, line)) return false;
  TheJournal.Staged.Append(line);
  return TheJournal.Staged.Length() == before + line.Length();
}

// Writes the staged records and flushes them; false after message 15
// (where `report`).
bool WriteStaged(bool report = true) {
  bool written = TheJournal.Staged.Length() == 0 ||
                 (os::AppendToJournal(TheJournal.File.Get(), TheJournal.Staged.Text(),
                                      static_cast<uint32_t>(TheJournal.Staged.Length())) &&
                  os::FlushJournal(TheJournal.File.Get()));
  TheJournal.Staged.Assign("");
  if (!written && report) ShowError(MsgJournalFailed, TheJournal.Path.Text());
  return written;
}

// Stages one record; false after message 15.
bool StageOrReport(const char* const* fields, int count) {
  if (Stage(fields, count)) return true;
  TheJournal.Staged.Assign("");
  ShowError(MsgJournalFailed, TheJournal.Path.Text());
  return false;
}

bool Mark(const char* type, bool report = true) {
  const char* fields[] = {type};
  return Stage(fields, 1) && WriteStaged(report);
}

// Retires `sequence`, written with the next marks.
void StageRetired(uint32_t sequence) {
  TextString number = Number(sequence);
  const char* fields[] = {Retired, number.Text()};
  Stage(fields, 2);
}

// --- Reading ---------------------------------------------------------------

void AppendBlock(void* context, const uint8_t* data, uint32_t count) {
  static_cast<ByteBuffer*>(context)->AppendBytes(data, static_cast<int32_t>(count));
}

// One record, its fields without the checksum.
struct Entry {
  TextString Fields[MostFields];
  int Count = 0;
  bool Is(const char* type) const { return Count > 0 && Fields[0].Equals(type); }
  uint32_t Sequence() const { return Count > 1 ? static_cast<uint32_t>(Fields[1].ToInt()) : 0; }
};

// --- The registry's records ------------------------------------------------------
//
// A key made:   K, sequence, root, view, path
// A value:      V, sequence, root, view, path, name, old type, old data, new type, new data
// The root is its short word, the view the calls' flag (hexadecimal); the
// path, name and data are hexadecimal bytes, as they may hold anything; a
// type is hexadecimal, or "-" for a value that is not there.
const char* const RegistryKeyRecord = "K";
const char* const RegistryValueRecord = "V";

TextString HexBytes(const void* bytes, int32_t count) {
  static const char Digits[] = "0123456789ABCDEF";
  TextString text;
  if (count <= 0 || !text.Reserve(count * 2 + 1)) return text;
  const uint8_t* from = static_cast<const uint8_t*>(bytes);
  char* to = text.Buffer();
  for (int32_t i = 0; i < count; ++i) {
    *to++ = Digits[from[i] >> 4];
    *to++ = Digits[from[i] & 15];
  }
  *to = '\0';
  return text;
}
TextString HexText(const TextString& text) { return HexBytes(text.Text(), text.Length()); }

bool IsHexBytes(const TextString& text) {
  return text.Length() % 2 == 0 &&
         strspn(text.Text(), "0123456789ABCDEF") == static_cast<size_t>(text.Length());
}
bool FromHex(const TextString& text, ByteBuffer& bytes) {
  bytes.Free();
  int32_t count = text.Length() / 2;
  if (count == 0) return true;
  if (!bytes.Reserve(count)) return false;
  for (int32_t i = 0; i < count; ++i) {
    char two[3] = {text.Text()[2 * i], text.Text()[2 * i + 1], '\0'};
    bytes.Data()[i] = static_cast<uint8_t>(strtoul(two, nullptr, 16));
  }
  return true;
}
// Text from hexadecimal bytes; a zero byte cannot be in it.
bool TextFromHex(const TextString& hex, TextString& text) {
  ByteBuffer bytes;
  if (!FromHex(hex, bytes) ||
      (bytes.Size > 0 && memchr(bytes.Data(), 0, static_cast<size_t>(bytes.Size))))
    return false;
  text.Assign("");
  if (bytes.Size == 0) return true;
  if (!text.Reserve(bytes.Size + 1)) return false;
  memcpy(text.Buffer(), bytes.Data(), static_cast<size_t>(bytes.Size));
  text.Buffer()[bytes.Size] = '\0';
  return true;
}

TextString TypeText(const registry::Value& value) {
  return value.Present ? Hex(value.Type) : TextString("-");
}
bool IsTypeText(const TextString& text) { return text.Equals("-") || IsHex(text, 8); }

// A record of the registry that a run could have written.
bool PlausibleRegistry(const Entry& entry) {
  const TextString* f = entry.Fields;
  os::RegistryRoot root;
  bool place = entry.Count >= 5 && registry::RootOfWord(f[2], root) && IsHex(f[3], 8) &&
               IsHexBytes(f[4]);
  if (entry.Is(RegistryKeyRecord)) return place && entry.Count == 5 && f[4].Length() > 0;
  return place && entry.Count == 10 && IsHexBytes(f[5]) && IsTypeText(f[6]) &&
         IsHexBytes(f[7]) && IsTypeText(f[8]) && IsHexBytes(f[9]);
}

// The place a record names; false where it cannot be read back.
bool PlaceOf(const Entry& entry, registry::Place& place) {
  place.View = HexValue(entry.Fields[3]);
  return registry::RootOfWord(entry.Fields[2], place.Root) &&
         TextFromHex(entry.Fields[4], place.Path);
}
bool ValueOf(const TextString& type, const TextString& data, registry::Value& value) {
  value.Present = type.NotEquals("-");
  value.Type = value.Present ? HexValue(type) : 0;
  return FromHex(data, value.Data);
}

// What a journal tells: its token and script, its valid records (their
// lines' offsets) and whether its run completed or was undone.
class JournalText {
 public:
  enum class Kind {
    None,        // empty, or a first line cut short: it names no change
    Readable,
    Unreadable,  // a whole first line of another version, or damaged
  };
  Kind Read(os::FileHandle file) {
    m_bytes.Free();
    if (!os::ReadJournal(file, AppendBlock, &m_bytes)) return Kind::Unreadable;
    return Scan();
  }
  const TextString& Token() const { return m_token; }
  const TextString& Script() const { return m_script; }
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
  // The identity of the new file of replacement `sequence`, "" when none
  // was recorded.
  TextString NewIdentity(uint32_t sequence) const {
    int32_t index = Find(m_made, sequence);
    return index < 0 ? TextString() : At(index).Fields[2];
  }
  bool IsRetired(uint32_t sequence) const { return Find(m_retired, sequence) >= 0; }
  // Whether `found` at `path` is a state this journal knows there: what a
  // replacement of it found, or what the run made for one.
  bool KnowsAt(const TextString& path, const os::FileIdentity& found) const {
    for (int32_t i = 0; i < Count(); ++i) {
      Entry entry = At(i);
      if (!entry.Is(Replaced) || !entry.Fields[2].Equals(path)) continue;
      if ((entry.Fields[5].Equals("1") && IsRecorded(entry.Fields[6], found)) ||
          IsRecorded(NewIdentity(entry.Sequence()), found))
        return true;
    }
    return false;
  }
  // Whether `identity` is that of a file the run made.
  bool IsMade(const TextString& identity) const {
    for (int32_t i = 0; i < Count(); ++i) {
      Entry entry = At(i);
      if (entry.Is(NewFile) && entry.Fields[2].Equals(identity)) return true;
    }
    return false;
  }

 private:
  // The line at `offset`, checked: false for a cut or damaged one; `whole`
  // tells whether it was at least ended.
  bool Parse(int32_t offset, Entry& entry, int32_t* next = nullptr, bool* whole = nullptr) const {
    const uint8_t* data = m_bytes.Data();
    int32_t end = offset;
    while (end + 1 < m_bytes.Size && !(data[end] == '\r' && data[end + 1] == '\n')) ++end;
    if (whole) *whole = end + 1 < m_bytes.Size;
    if (end + 1 >= m_bytes.Size) return false;  // cut before its end
    for (int32_t i = offset; i < end; ++i)
      if (data[i] == 0) return false;
    TextString line;
    if (!line.Reserve(end - offset + 1)) return false;
    memcpy(line.Buffer(), data + offset, static_cast<size_t>(end - offset));
    line.Buffer()[end - offset] = '\0';
    int32_t items = line.ItemCount("\t");
    if (items < 2 || items > MostFields + 1) return false;
    TextString sum = line.Item(-1, "\t");
    uint32_t signedLength = static_cast<uint32_t>(line.Length() - sum.Length());
    if (!IsHex(sum, 8) ||
        ComputeCrc32(reinterpret_cast<const uint8_t*>(line.Text()), signedLength) != HexValue(sum))
      return false;
    entry.Count = items - 1;
    for (int i = 0; i < entry.Count; ++i) {
      entry.Fields[i] = line.Item(i, "\t");
      for (const char* at = entry.Fields[i].Text(); *at; ++at)
        if (static_cast<unsigned char>(*at) < 0x20) return false;
    }
    if (next) *next = end + 2;
    return true;
  }

  // The index of the record of `sequence` in `pairs` (sequence, index), or -1.
  static int32_t Find(const ByteBuffer& pairs, uint32_t sequence) {
    int32_t count = pairs.Size / static_cast<int32_t>(2 * sizeof(int32_t));
    for (int32_t i = count - 1; i >= 0; --i) {
      int32_t pair[2];
      memcpy(pair, pairs.Data() + i * sizeof pair, sizeof pair);
      if (static_cast<uint32_t>(pair[0]) == sequence) return pair[1];
    }
    return -1;
  }

  static bool IsPath(const TextString& path) {
    return path.Length() > 0 && path.Length() <= MaxPathLength;
  }
  static bool IsNumber(const TextString& text) {
    return text.Length() > 0 && text.Length() <= 9 &&
           strspn(text.Text(), "0123456789") == static_cast<size_t>(text.Length());
  }

  // --- Services ---
  // A service's record: a name the service manager takes (none longer than
  // 256 characters), what the run did, and seconds within their bounds.
  static bool PlausibleService(const Entry& entry) {
    const TextString* f = entry.Fields;
    int32_t seconds = f[4].ToInt();
    return entry.Count == 5 && f[2].Length() > 0 && f[2].Length() <= 256 &&
           (f[3].Equals("STOP") || f[3].Equals("START")) && IsNumber(f[4]) &&
           seconds >= LeastSeconds && seconds <= MostSeconds;
  }

  // A record that a run of this program could have written, and no other.
  bool Plausible(const Entry& entry) const {
    const TextString* f = entry.Fields;
    if (entry.Is(CompletedMark) || entry.Is(UndoneMark)) return entry.Count == 1;
    if (entry.Count < 2 || !IsNumber(f[1])) return false;
    if (entry.Is(Retired)) return entry.Count == 2;
    if (entry.Is(NewFile)) return entry.Count == 3 && IsIdentity(f[2]);
    if (entry.Is(Folder)) return entry.Count == 3 && IsPath(f[2]);
    if (entry.Is(Attributes)) return entry.Count == 4 && IsPath(f[2]) && IsHex(f[3], 8);
    if (entry.Is(Service)) return PlausibleService(entry);
    if (entry.Is(RegistryKeyRecord) || entry.Is(RegistryValueRecord))
      return PlausibleRegistry(entry);
    if (!entry.Is(Replaced) || entry.Count != 8 || !IsPath(f[2]) ||
        !(f[5].Equals("0") || f[5].Equals("1")) || !IsHex(f[7], 8) ||
        (f[5].Equals("1") ? !IsIdentity(f[6]) : f[6].NotEquals("-")))
      return false;
    // The kept and temporary files bear the run's names, beside the target.
    uint32_t sequence = entry.Sequence();
    TextString expected;
    if (!NameBeside(f[2], m_token, sequence, ".old", expected) || expected.NotEquals(f[4]))
      return false;
    return f[3].Length() == 0 ||
           (NameBeside(f[2], m_token, sequence, ".tmp", expected) && expected.Equals(f[3]));
  }

  Kind Scan() {
    m_lines.Free();
    m_made.Free();
    m_retired.Free();
    m_token.Assign("");
    m_script.Assign("");
    m_completed = m_undone = false;
    Entry header;
    int32_t offset = 0;
    bool whole = false;
    if (!Parse(0, header, &offset, &whole)) return whole ? Kind::Unreadable : Kind::None;
    if (header.Count != 4 || !header.Fields[0].Equals(Header) ||
        !header.Fields[1].Equals(Version) || !IsHex(header.Fields[2], 8))
      return Kind::Unreadable;
    m_token = header.Fields[2];
    m_script = header.Fields[3];
    Entry entry;
    int32_t next = 0;
    while (offset < m_bytes.Size && Parse(offset, entry, &next) && Plausible(entry)) {
      if (entry.Is(CompletedMark)) m_completed = true;
      if (entry.Is(UndoneMark)) m_undone = true;
      if (m_completed || m_undone) break;
      int32_t pair[2] = {static_cast<int32_t>(entry.Sequence()), Count()};
      if (entry.Is(NewFile)) m_made.AppendBytes(pair, sizeof pair);
      if (entry.Is(Retired)) m_retired.AppendBytes(pair, sizeof pair);
      m_lines.AppendBytes(&offset, sizeof offset);
      offset = next;
    }
    return Kind::Readable;
  }

  ByteBuffer m_bytes;
  ByteBuffer m_lines;
  ByteBuffer m_made;     // (sequence, record index) of each new file's identity
  ByteBuffer m_retired;  // (sequence, record index) of each retired replacement
  TextString m_token;
  TextString m_script;
  bool m_completed = false;
  bool m_undone = false;
};

// --- Undoing ---------------------------------------------------------------

void Note(FileAction action, const TextString& first, const TextString& second = TextString(),
          uint32_t number = 0) {
  ReportFileAction(action, first.Text(), second.Text(), number);
}

// How one undo pass goes: what it could not do is shown (the script's own
// run) or only logged (another script's, which never shows a box); what is
// left for a later start is counted, and the targets it concerns are kept,
// so that no earlier change of them is undone before it.
class Undo {
 public:
  Undo(const JournalText& text, bool quiet) : m_text(text), m_quiet(quiet) {}

  void Problem(MessageId id, const TextString& first, const TextString& second = TextString()) {
    if (m_quiet) {
      Observer().JournalNoted(JournalNote::NotUndone, first.Text(), ToUtf8(second.Text()).Text(),
                              id);
    } else if (id == MsgAttributesFailed) {
      ShowError(id, first.Text(), HexValue(second));
    } else if (second.Length() > 0 || id == MsgRegistryNotRestored) {
      ShowError(id, first.Text(), second.Text());
    } else {
      ShowError(id, first.Text());
    }
  }
  // Left for the next start.
  void Leave(const TextString& target) {
    ++m_left;
    m_leftTargets.Append("|").Append(target).Append("|");
  }
  bool IsLeft(const TextString& target) const {
    TextString key("|");
    key.Append(target).Append("|");
    return m_left > 0 && strstr(m_leftTargets.Text(), key.Text()) != nullptr;
  }
  uint32_t Left() const { return m_left; }
  const JournalText& Text() const { return m_text; }

 private:
  const JournalText& m_text;
  bool m_quiet;
  uint32_t m_left = 0;
  TextString m_leftTargets;
};

// Opens `path` to prove and change it (os::OpenToChange), waiting for a
// file that another program holds a moment.
os::Opening OpenWaiting(const TextString& path, os::OwnedFile& file, os::FileIdentity& identity,
                        held::Step step) {
  held::Wait wait;
  os::Opening opening;
  do opening = os::OpenToChange(path.Text(), file, identity);
  while (opening == os::Opening::Held && wait.Again(step, path.Text()));
  return opening;
}

// What is at a path, opened to be proved and changed.
struct Found {
  os::Opening State = os::Opening::Missing;
  os::OwnedFile File;
  os::FileIdentity Identity;
  void Open(const TextString& path) { State = OpenWaiting(path, File, Identity, held::Step::Undo); }
  bool Is(const TextString& recorded) const {
    return State == os::Opening::Opened && IsRecorded(recorded, Identity);
  }
};

// Moves the open file at `from` to `to`, replacing nothing: through its
// handle, or by name on systems without that call. The handle is closed.
bool MoveOpen(os::OwnedFile& file, const TextString& from, const TextString& to) {
  bool moved = false;
  switch (os::RenameOpenFile(file.Get(), to.Text())) {
    case os::Placement::Placed:
      moved = true;
      break;
    case os::Placement::Unsupported:
      file.Close();
      moved = os::MoveAside(from.Text(), to.Text());
      break;
    case os::Placement::Refused:
      break;
  }
  file.Close();
  return moved;
}

// Removes a file of the run's own, proved open at `found` to be `made`.
// One that a program runs from steps aside to `aside`, proved again, and
// goes when the system next starts; where the system refuses that, it
// stays there and is reported. False only where it is still at `path`.
bool RemoveProved(Found& found, const TextString& made, const TextString& path,
                  const TextString& aside, Undo& undo) {
  if (os::DiscardFile(found.File, path.Text())) {
    Note(FileAction::RemovedMade, path);
    return true;
  }
  found.Open(path);
  if (!found.Is(made) || !MoveOpen(found.File, path, aside)) return false;
  if (os::RemoveAtRestart(aside.Text())) Note(FileAction::RemovedAtRestart, aside);
  else undo.Problem(MsgDeleteFailed, aside);
  return true;
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

// Whether something held stands in the way: the undo is left for later.
bool IsHeld(const Found& found) { return found.State == os::Opening::Held; }

// Undoes one replacement: the run's new file goes, where it is the one
// recorded, and the kept file comes back, where it is the one recorded.
// Whatever else is found is left as it is.
void UndoReplacement(const Entry& entry, FolderView& folders, Undo& undo) {
  const TextString& path = entry.Fields[2];
  const TextString& temporary = entry.Fields[3];
  const TextString& kept = entry.Fields[4];
  bool existed = entry.Fields[5].Equals("1");
  const TextString& old = entry.Fields[6];
  uint32_t sequence = entry.Sequence();
  if (undo.IsLeft(path)) {
    undo.Leave(path);  // a later change of the file waits: so does this one
    return;
  }
  if (undo.Text().IsRetired(sequence)) return;
  TextString made = undo.Text().NewIdentity(sequence);
  TextString aside;
  NameBeside(path, undo.Text().Token(), sequence, ".new", aside);
  // Nothing is moved or removed through a link or junction that has come
  // to stand on the way; where something is left to undo, that is said.
  if (!folders.Direct(path)) {
    if (existed && os::IsExistingFile(kept.Text())) undo.Problem(MsgPutBackFailed, path, kept);
    return;
  }
  // The run's file that never took the target's place. Before its identity
  // was recorded it cannot have taken anyone's place, and bears the run's
  // own name: a plain file there goes.
  if (temporary.Length() > 0 && folders.Has(temporary)) {
    Found file;
    file.Open(temporary);
    bool ours = file.State == os::Opening::Opened &&
                (made.Length() > 0 ? IsRecorded(made, file.Identity) : file.Identity.Links == 1);
    TextString proof = made.Length() > 0 ? made : IdentityText(file.Identity);
    if (IsHeld(file)) {
      undo.Problem(MsgDeleteFailed, temporary);
      undo.Leave(path);
      return;
    }
    if (ours && !RemoveProved(file, proof, temporary, aside, undo)) {
      undo.Problem(MsgDeleteFailed, temporary);
      undo.Leave(path);
      return;
    }
  }
  Found target;
  target.Open(path);
  if (IsHeld(target)) {
    undo.Problem(existed ? MsgPutBackFailed : MsgDeleteFailed, path, existed ? kept : TextString());
    undo.Leave(path);
    return;
  }
  Found back;
  if (existed && folders.Has(kept)) back.Open(kept);
  if (IsHeld(back)) {
    undo.Problem(MsgPutBackFailed, path, kept);
    undo.Leave(path);
    return;
  }
  bool keptThere = existed && back.Is(old);
  // The run's new file goes; anything else at the target is no file of the
  // run's, and stays.
  bool removedNow = false;
  if (made.Length() > 0 && target.Is(made)) {
    if (!RemoveProved(target, made, path, aside, undo)) {
      undo.Problem(existed ? MsgPutBackFailed : MsgDeleteFailed, path, existed ? kept : TextString());
      undo.Leave(path);
      return;
    }
    target.State = os::Opening::Missing;
    removedNow = true;
  }
  // Where an earlier pass stepped it aside, it goes now if it can.
  if (!removedNow && made.Length() > 0 && folders.Has(aside)) {
    Found stepped;
    stepped.Open(aside);
    if (stepped.Is(made) && !os::DiscardFile(stepped.File, aside.Text()) &&
        !os::RemoveAtRestart(aside.Text()))
      undo.Problem(MsgDeleteFailed, aside);
  }
  if (!existed) return;
  if (keptThere) {
    if (target.State != os::Opening::Missing) {
      // Someone else's file stands where the kept one must come back.
      undo.Problem(MsgPutBackFailed, path, kept);
      StageRetired(sequence);
      return;
    }
    target.File.Close();
    if (MoveOpen(back.File, kept, path)) {
      Note(FileAction::PutBack, path, kept);
    } else {
      undo.Problem(MsgPutBackFailed, path, kept);
      undo.Leave(path);
    }
    return;
  }
  // The kept file is not there as recorded: it was never moved, or it has
  // come back already, or it was the run's own; else it is lost for good,
  // said once.
  if (target.Is(old) ||
      (target.State == os::Opening::Opened && undo.Text().KnowsAt(path, target.Identity)) ||
      undo.Text().IsMade(old))
    return;
  undo.Problem(MsgPutBackFailed, path, kept);
  StageRetired(sequence);
}

// --- Services ---
// Starts again a service that the run stopped, or stops one that it
// started, waiting as the run did. One that is already back, or was never
// changed (the run was cut between the record and the change), is left.
void UndoService(const Entry& entry, Undo& undo) {
  const TextString& name = entry.Fields[2];
  bool stopped = entry.Fields[3].Equals("STOP");
  os::OwnedServiceManager manager;
  uint32_t took = 0;
  services::Brought brought =
      os::OpenServiceManager(manager.Receive())
          ? services::Bring(manager.Get(), name.Text(),
                            stopped ? services::Change::Start : services::Change::Stop,
                            static_cast<uint32_t>(entry.Fields[4].ToInt()) * 1000, took)
          : services::Brought::Failed;
  if (brought == services::Brought::Changed)
    Note(stopped ? FileAction::ServiceRestarted : FileAction::ServiceStoppedAgain, name);
  else if (brought != services::Brought::AlreadyThere)
    undo.Problem(MsgServiceNotRestored, name);
}

// --- Undoing the registry's changes -----------------------------------------

// A key the run made goes where it is empty again.
void UndoRegistryKey(const Entry& entry, Undo& undo) {
  registry::Place place;
  if (!PlaceOf(entry, place)) return;
  switch (os::RegistryRemoveEmptyKey(place.Root, place.Path.Text(), place.View)) {
    case os::KeyRemoval::Removed:
      Note(FileAction::RegistryKeyRemoved, place.Text());
      break;
    case os::KeyRemoval::NotEmpty:
      Note(FileAction::RegistryKeyLeft, place.Text());
      break;
    case os::KeyRemoval::Absent:
      break;
    case os::KeyRemoval::Failed:
      undo.Problem(MsgRegistryNotRestored, place.Text());
      break;
  }
}

// A value gets back what it held, only where it still holds what the run
// wrote; one changed since by someone else is left as it is.
void UndoRegistryValue(const Entry& entry, Undo& undo) {
  registry::Place place;
  TextString name;
  registry::Value old, written, now;
  if (!PlaceOf(entry, place) || !TextFromHex(entry.Fields[5], name) ||
      !ValueOf(entry.Fields[6], entry.Fields[7], old) ||
      !ValueOf(entry.Fields[8], entry.Fields[9], written))
    return;
  if (!registry::ReadAt(place, name.Text(), now)) {
    undo.Problem(MsgRegistryNotRestored, place.Text(), name);
    return;
  }
  if (now.Same(old)) return;  // never changed, or put back already
  if (!now.Same(written)) {
    Note(FileAction::RegistryLeft, registry::ValueText(place, name), registry::Describe(now));
    return;
  }
  if (!registry::WriteAt(place, name.Text(), old)) {
    undo.Problem(MsgRegistryNotRestored, place.Text(), name);
    return;
  }
  Note(FileAction::RegistryPutBack, registry::ValueText(place, name),
       old.Present ? registry::Describe(old) : TextString("removed"));
}

// Undoes one record.
void UndoEntry(const Entry& entry, FolderView& folders, Undo& undo) {
  if (entry.Is(Replaced)) {
    UndoReplacement(entry, folders, undo);
    return;
  }
  if (entry.Is(Service)) {
    UndoService(entry, undo);
    return;
  }
  if (entry.Is(RegistryKeyRecord)) {
    UndoRegistryKey(entry, undo);
    return;
  }
  if (entry.Is(RegistryValueRecord)) {
    UndoRegistryValue(entry, undo);
    return;
  }
  const TextString& path = entry.Fields[2];
  if (entry.Is(Folder)) {
    if (!os::IsExistingDirectory(path.Text())) return;
    if (folders.Direct(path) && os::RemoveEmptyDirectory(path.Text()))
      Note(FileAction::FolderRemoved, path);
    else
      Note(FileAction::FolderLeft, path);
    return;
  }
  if (!entry.Is(Attributes)) return;
  uint32_t now = 0;
  if (!os::AttributesOf(path.Text(), now)) return;  // gone with a later change undone
  uint32_t old = HexValue(entry.Fields[3]);
  held::Wait wait;
  bool set = false;
  if (folders.Direct(path)) {
    do set = os::SetAttributes(path.Text(), old);
    while (!set && wait.Again(held::Step::Undo, path.Text()));
  }
  if (set) {
    Note(FileAction::AttributesPutBack, path, TextString(), old);
    return;
  }
  undo.Problem(MsgAttributesFailed, path, entry.Fields[3]);
}

// Undoes every record, the last first; gives what is left for later.
uint32_t UndoAll(const JournalText& text, bool quiet) {
  int32_t count = 0;
  for (int32_t i = 0; i < text.Count(); ++i) {
    Entry entry = text.At(i);
    if (entry.Is(Replaced) || entry.Is(Attributes) || entry.Is(Folder) ||
        entry.Is(RegistryKeyRecord) || entry.Is(RegistryValueRecord) || entry.Is(Service))
      ++count;
  }
  Observer().JournalNoted(JournalNote::Undoing, "", "", static_cast<uint32_t>(count));
  Undo undo(text, quiet);
  FolderView folders(text.Token());
  for (int32_t i = text.Count() - 1; i >= 0; --i) UndoEntry(text.At(i), folders, undo);
  Observer().JournalNoted(JournalNote::Undone, "", "", undo.Left());
  return undo.Left();
}

// Removes what a completed run kept; one that cannot go at once goes when
// the system next starts, and one the system will not remove is said.
void FinishAll(const JournalText& text) {
  uint32_t kept = 0;
  for (int32_t i = 0; i < text.Count(); ++i) {
    Entry entry = text.At(i);
    if (entry.Is(Replaced) && entry.Fields[5].Equals("1")) ++kept;
  }
  Observer().JournalNoted(JournalNote::Completed, "", "", kept);
  // Only files of the run's own names go, so no folder is asked about.
  for (int32_t i = 0; i < text.Count(); ++i) {
    Entry entry = text.At(i);
    if (!entry.Is(Replaced) || !entry.Fields[5].Equals("1")) continue;
    const TextString& path = entry.Fields[4];
    // A kept file that a scanner looks at a moment goes now, not at a restart.
    held::Wait wait;
    bool deleted;
    do deleted = os::DeleteOneFile(path.Text());
    while (!deleted && wait.Again(held::Step::Delete, path.Text()));
    if (deleted) {
      Note(FileAction::KeptRemoved, path);
      continue;
    }
    uint32_t attributes = 0;
    if (!os::AttributesOf(path.Text(), attributes) || (attributes & os::AttributeDirectory))
      continue;  // gone already
    // A read-only file cannot go as it is.
    if ((attributes & os::AttributeReadOnly) &&
        os::SetAttributes(path.Text(), attributes & ~os::AttributeReadOnly) &&
        os::DeleteOneFile(path.Text())) {
      Note(FileAction::KeptRemoved, path);
    } else if (os::RemoveAtRestart(path.Text())) {
      Note(FileAction::RemovedAtRestart, path);
    } else {
      Observer().JournalNoted(JournalNote::KeptLeft, path.Text(), "", os::LastFailure());
    }
  }
}

// The journal goes: renamed out of its name first, so that a reader that
// holds it open cannot keep its name taken, then deleted.
void Discard(os::OwnedFile& file, const TextString& path, const TextString& token) {
  TextString gone(path);
  gone.Append(".").Append(token).Append(".done");
  os::RenameOpenFile(file.Get(), gone.Text());
  os::DiscardFile(file, path.Text());
}

// Another run of the script holds its lock: message 16.
Outcome InProgress(const char* path) {
  Observer().JournalNoted(JournalNote::InProgress, path, "", 0);
  ShowError(MsgRunInProgress, ScriptPath.Text());
  return Outcome::InProgress;
}

enum class Recovery { Done, Held, Failed };

// Undoes (or finishes) the run that the journal at `path` tells of; the
// journal goes once nothing is left. `quiet` for another script's, which
// only the log tells of.
Recovery RecoverJournal(const TextString& path, bool quiet) {
  os::OwnedFile file;
  switch (os::OpenJournal(path.Text(), false, file.Receive())) {
    case os::JournalOpening::Missing:
      return Recovery::Done;
    case os::JournalOpening::Opened:
      break;
    case os::JournalOpening::Exists:
    case os::JournalOpening::InUse:
      return Recovery::Held;
    case os::JournalOpening::Failed:
      if (quiet) Observer().JournalNoted(JournalNote::OtherLeft, path.Text(), "", 1);
      else ShowError(MsgJournalFailed, path.Text());
      return Recovery::Failed;
  }
  JournalText text;
  JournalText::Kind kind = text.Read(file.Get());
  if (kind == JournalText::Kind::Unreadable) {
    file.Close();  // kept as it is, and not held while the box waits
    Observer().JournalNoted(JournalNote::Unreadable, path.Text(), "", 0);
    if (!quiet) ShowError(MsgJournalUnreadable, path.Text());
    return Recovery::Failed;
  }
  if (kind == JournalText::Kind::None) {
    Discard(file, path, TextString("0"));
    return Recovery::Done;
  }
  if (quiet)
    Observer().JournalNoted(JournalNote::OtherRun, path.Text(), ToUtf8(text.Script().Text()).Text(),
                            text.Completed() ? 1 : 0);
  else
    Observer().JournalNoted(JournalNote::Recovering, path.Text(), "", text.Completed() ? 1 : 0);
  // The marks of this pass go to this journal.
  TheJournal.File = std::move(file);
  TheJournal.Path = path;
  uint32_t left = 0;
  if (text.Completed()) {
    FinishAll(text);
  } else if (!text.Undone()) {
    left = UndoAll(text, quiet);
    // Spares a start after a cut here a second pass, or (with what is
    // left) a second report of what is lost.
    if (left == 0) Mark(UndoneMark, false);
    else WriteStaged(false);
  }
  if (left == 0) Discard(TheJournal.File, path, text.Token());
  TheJournal.File.Close();
  TheJournal.Staged.Assign("");
  if (left == 0) return Recovery::Done;
  Observer().JournalNoted(quiet ? JournalNote::OtherLeft : JournalNote::LeftToDo, path.Text(), "",
                          quiet ? 2 : left);
  return Recovery::Failed;
}

// Every other journal of the folder that no run holds.
struct Sweep {
  TextString Names;  // "|name|..."
};
bool CollectJournal(void* context, const char* name, uint32_t attributes, bool exact) {
  TextString own;
  if (exact && !(attributes & os::AttributeDirectory) && NameOfJournal(name, own))
    static_cast<Sweep*>(context)->Names.Append("|").Append(own);
  return true;
}

void RecoverOthers(const Place& place) {
  Sweep sweep;
  TextString pattern(place.Folder);
  pattern.Append("\\*.journal");
  if (os::ForEachEntry(pattern.Text(), CollectJournal, &sweep) == os::Listing::Failed) return;
  int32_t count = sweep.Names.ItemCount("|");
  for (int32_t i = 1; i < count; ++i) {
    TextString name = sweep.Names.Item(i, "|");
    if (name.Equals(place.Name)) continue;
    TextString path = JournalPath(place.Folder, name);
    os::OwnedLock lock;
    if (TakeRunLock(place, name, lock) != os::Locking::Taken) {
      Observer().JournalNoted(JournalNote::OtherLeft, path.Text(), "", 0);
      continue;
    }
    RecoverJournal(path, true);
  }
}

// Adds a program that holds a file to the names in `context` (a TextString),
// as "name (process id)", after ", " past the first: the wording of the log.
void AddHolder(void* context, const char* utf8Name, uint32_t processId) {
  TextString& names = *static_cast<TextString*>(context);
  TextString number;
  if (names.Length() > 0) names.Append(", ");
  names.Append(utf8Name).Append(number.Format(" (%u)", static_cast<unsigned>(processId)));
}

}  // namespace

Outcome Recover(const TextString& scriptPath, bool rollback) {
  // A journal beside the script could be anyone's: it is never read.
  TextString beside(scriptPath);
  beside.ReplaceItem(-1, ".", "journal");
  if (os::IsExistingFile(beside.Text()))
    Observer().JournalNoted(JournalNote::BesideScript, beside.Text(), "", 0);

  Place& place = TheJournal.Where;
  if (!FindPlace(scriptPath, place)) {
    if (!rollback) return Outcome::Done;
    ShowError(MsgJournalFailed, place.Folder.Length() > 0 ? place.Folder.Text() : scriptPath.Text());
    return Outcome::Failed;
  }
  TheJournal.Placed = true;
  // A token of this run, that no one can foresee, for the names of its files.
  uint32_t token = 0;
  if (!os::RandomBytes(&token, sizeof token)) {
    os::LocalTime now;
    os::CurrentLocalTime(now);
    token = os::Milliseconds() * 2654435761u ^
            (static_cast<uint32_t>(now.Day) << 27 | static_cast<uint32_t>(now.Hour) << 22 |
             static_cast<uint32_t>(now.Minute) << 16 | static_cast<uint32_t>(now.Second) << 10 |
             now.Milliseconds);
  }
  TheJournal.Token = Hex(token);

  os::FolderTrust trust = os::TrustOfFolder(place.Folder.Text());
  if (trust == os::FolderTrust::Foreign || trust == os::FolderTrust::Failed)
    Observer().JournalNoted(JournalNote::FolderNotRead, place.Folder.Text(), "", 0);
  if (trust != os::FolderTrust::Trusted) {
    if (!rollback) return Outcome::Done;
    if (!SecureFolder(place, TheJournal.Token)) {
      ShowError(MsgJournalFailed, place.Journal.Text());
      return Outcome::Failed;
    }
    if (trust != os::FolderTrust::Missing)
      Observer().JournalNoted(JournalNote::FolderTaken, place.Folder.Text(), "", 0);
  }
  // The script's lock: held by a run that can be undone from before its
  // journal exists, and by any start while it undoes that journal.
  bool own = rollback || os::IsExistingFile(place.Journal.Text());
  if (own) {
    switch (TakeRunLock(place, place.Name, TheJournal.Lock)) {
      case os::Locking::Taken:
        break;
      case os::Locking::Held:
        return InProgress(place.Journal.Text());
      case os::Locking::Unsupported:
      case os::Locking::Failed:
        ShowError(MsgJournalFailed, place.Journal.Text());
        return Outcome::Failed;
    }
    switch (RecoverJournal(place.Journal, false)) {
      case Recovery::Done:
        break;
      case Recovery::Held:
        return InProgress(place.Journal.Text());
      case Recovery::Failed:
        return Outcome::Failed;
    }
  }
  RecoverOthers(place);
  if (!rollback) TheJournal.Lock.Close();
  return Outcome::Done;
}

Outcome Begin() {
  if (!TheJournal.Placed || !TheJournal.Lock.IsOpen()) return Outcome::Failed;  // reported
  TheJournal.Path = TheJournal.Where.Journal;
  const char* path = TheJournal.Path.Text();
  switch (os::OpenJournal(path, true, TheJournal.File.Receive())) {
    case os::JournalOpening::Opened:
      break;
    default:
      ShowError(MsgJournalFailed, path);
      return Outcome::Failed;
  }
  TheJournal.Sequence = 0;
  TextString script;
  if (!SeamText(os::FullPathForAll, ScriptPath.Text(), script)) script = ScriptPath;
  const char* header[] = {Header, Version, TheJournal.Token.Text(), script.Text()};
  if (!StageOrReport(header, 4) || !WriteStaged()) {
    Discard(TheJournal.File, TheJournal.Where.Journal, TheJournal.Token);
    return Outcome::Failed;
  }
  TheJournal.Active = true;
  Observer().JournalNoted(JournalNote::Opened, path, "", 0);
  return Outcome::Done;
}

bool Active() { return TheJournal.Active; }

bool End(bool completed) {
  if (!TheJournal.Active) {
    TheJournal = Run();
    return completed;
  }
  TheJournal.Active = false;
  TheJournal.Staged.Assign("");
  // What the run recorded is read back, as a later start would read it.
  JournalText text;
  bool read = text.Read(TheJournal.File.Get()) == JournalText::Kind::Readable;
  if (completed && !(read && Mark(CompletedMark))) completed = false;
  if (!read) {
    // Nothing can be undone from here; the journal stays for the next start.
    ShowError(MsgJournalFailed, TheJournal.Path.Text());
    TheJournal = Run();
    return false;
  }
  uint32_t left = 0;
  if (completed) {
    FinishAll(text);
  } else {
    left = UndoAll(text, false);
    if (left == 0) Mark(UndoneMark, false);
    else WriteStaged(false);
  }
  if (left == 0) Discard(TheJournal.File, TheJournal.Where.Journal, TheJournal.Token);
  else
    Observer().JournalNoted(JournalNote::LeftToDo, TheJournal.Where.Journal.Text(), "", left);
  TheJournal = Run();
  return completed;
}

Recorded Plan(const TextString& target, bool withTemporary, bool mustExist, Replacement& files) {
  files.Old.Close();
  if (target.Length() == 0 || !SeamText(os::FullPathForAll, target.Text(), files.Target) ||
      files.Target.Length() > MaxPathLength)
    return Recorded::Refused;
  // The names bear the run's token, which no one can foresee: no earlier
  // run's leftover has them, and a file someone put there on purpose is
  // never replaced (the file is made new, the target moved aside without
  // replacing).
  files.Sequence = ++TheJournal.Sequence;
  files.Temporary.Assign("");
  if (!NameBeside(files.Target, TheJournal.Token, files.Sequence, ".old", files.Kept) ||
      (withTemporary &&
       !NameBeside(files.Target, TheJournal.Token, files.Sequence, ".tmp", files.Temporary)))
    return Recorded::Refused;
  os::FileIdentity identity;
  files.Attributes = 0;
  // Opened here to be moved aside through this handle later.
  switch (OpenWaiting(files.Target, files.Old, identity, held::Step::MoveAside)) {
    case os::Opening::Opened:
      files.Existed = true;
      files.Attributes = identity.Attributes;
      break;
    case os::Opening::Held: {
      TextString holders;
      uint32_t unlisted = 0;
      if (os::ProgramsHolding(files.Target.Text(), AddHolder, &holders, unlisted) &&
          holders.Length() == 0 && unlisted > 0)
        holders.Format("%u programs", unlisted);
      if (holders.Length() > 0)
        Observer().JournalNoted(JournalNote::HeldBy, files.Target.Text(), holders.Text(), 0);
      return Recorded::Refused;
    }
    case os::Opening::Missing:
    case os::Opening::Folder:
    case os::Opening::Failed:
      files.Existed = false;
      break;
  }
  if (mustExist && !files.Existed) return Recorded::Refused;
  TextString sequence = Number(files.Sequence);
  TextString old = files.Existed ? IdentityText(identity) : TextString("-");
  TextString attributes = Hex(files.Attributes);
  const char* fields[] = {Replaced,           sequence.Text(),     files.Target.Text(),
                          files.Temporary.Text(), files.Kept.Text(), files.Existed ? "1" : "0",
                          old.Text(),         attributes.Text()};
  return StageOrReport(fields, 8) ? Recorded::Yes : Recorded::Failed;
}

bool PlanAttributes(const char* path, uint32_t old) {
  if (!TheJournal.Active) return true;
  TextString full;
  if (!SeamText(os::FullPathForAll, path, full)) full.Assign(path);
  TextString sequence = Number(++TheJournal.Sequence);
  TextString value = Hex(old);
  const char* fields[] = {Attributes, sequence.Text(), full.Text(), value.Text()};
  return StageOrReport(fields, 4);
}

bool PlanFolder(const char* path) {
  if (!TheJournal.Active) return true;
  TextString full;
  if (!SeamText(os::FullPathForAll, path, full)) full.Assign(path);
  TextString sequence = Number(++TheJournal.Sequence);
  const char* fields[] = {Folder, sequence.Text(), full.Text()};
  return StageOrReport(fields, 3);
}

// --- Services ---
bool PlanService(const char* name, bool stopped, uint32_t seconds) {
  if (!TheJournal.Active) return true;
  TextString sequence = Number(++TheJournal.Sequence);
  TextString wait = Number(seconds);
  const char* fields[] = {Service, sequence.Text(), name, stopped ? "STOP" : "START", wait.Text()};
  return StageOrReport(fields, 5);
}

// --- Staging the registry's changes ------------------------------------------

namespace {

// The place as the journal records it: HKCU as the account's own key under
// HKU, where the system names the account.
registry::Place RecordedPlace(const registry::Place& place) {
  registry::Place recorded;
  recorded.Root = place.Root;
  recorded.Path = place.Path;
  recorded.View = place.View;
  os::OwnedText sid;
  if (place.Root != os::RegistryRoot::CurrentUser || !os::CurrentUserSid(sid) || !*sid.Get())
    return recorded;
  recorded.Root = os::RegistryRoot::Users;
  recorded.Path.Assign(sid.Get());
  if (place.Path.Length() > 0) recorded.Path.Append("\\").Append(place.Path);
  return recorded;
}

// The record's first fields: its type, sequence, root, view and path.
struct PlaceFields {
  TextString Sequence, View, Path;
  const char* Root;
  bool Whole;  // false where memory ran out
  explicit PlaceFields(const registry::Place& given) {
    registry::Place place = RecordedPlace(given);
    Sequence = Number(++TheJournal.Sequence);
    Root = registry::RootWord(place.Root);
    View = Hex(place.View);
    Path = HexText(place.Path);
    Whole = Path.Length() == place.Path.Length() * 2;
  }
};

// Staged where every field is whole; false after message 15.
bool StageWhole(const char* const* fields, int count, bool whole) {
  if (whole) return StageOrReport(fields, count);
  ShowError(MsgJournalFailed, TheJournal.Path.Text());
  return false;
}

}  // namespace

bool PlanRegistryKey(const registry::Place& place) {
  if (!TheJournal.Active) return true;
  PlaceFields at(place);
  const char* fields[] = {RegistryKeyRecord, at.Sequence.Text(), at.Root, at.View.Text(),
                          at.Path.Text()};
  return StageWhole(fields, 5, at.Whole);
}

bool PlanRegistryValue(const registry::Place& place, const char* name,
                       const registry::Value& old, const registry::Value& written) {
  if (!TheJournal.Active) return true;
  PlaceFields at(place);
  TextString hexName = HexText(TextString(name));
  TextString oldType = TypeText(old), newType = TypeText(written);
  TextString oldData = HexBytes(old.Data.Data(), old.Data.Size);
  TextString newData = HexBytes(written.Data.Data(), written.Data.Size);
  const char* fields[] = {RegistryValueRecord, at.Sequence.Text(), at.Root,
                          at.View.Text(),      at.Path.Text(),     hexName.Text(),
                          oldType.Text(),      oldData.Text(),     newType.Text(),
                          newData.Text()};
  bool whole = at.Whole && hexName.Length() == TextString(name).Length() * 2 &&
               oldData.Length() == old.Data.Size * 2 && newData.Length() == written.Data.Size * 2;
  return StageWhole(fields, 10, whole);
}

bool NoteNewFile(const Replacement& files, os::FileHandle file) {
  os::FileIdentity identity;
  if (!os::IdentityOf(file, identity)) {
    ShowError(MsgJournalFailed, TheJournal.Path.Text());
    return false;
  }
  TextString sequence = Number(files.Sequence);
  TextString made = IdentityText(identity);
  const char* fields[] = {NewFile, sequence.Text(), made.Text()};
  return StageOrReport(fields, 3);
}

bool Commit() {
  if (!TheJournal.Active) return true;
  return WriteStaged();
}

Aside KeepAside(Replacement& files) {
  if (!files.Existed) return Aside::Absent;
  if (files.Attributes & os::AttributeReadOnly) return Aside::Refused;
  if (!MoveOpen(files.Old, files.Target, files.Kept)) return Aside::Refused;
  Note(FileAction::KeptAside, files.Target, files.Kept);
  return Aside::Moved;
}

NewFiles::NewFiles(int32_t count)
    : m_files(new (std::nothrow) Replacement[count]),
      m_made(new (std::nothrow) os::OwnedFile[count]),
      m_count(count) {}

NewFiles::~NewFiles() {
  TextString leftover;
  if (m_files && m_made) DiscardFrom(0, leftover);
  delete[] m_files;
  delete[] m_made;
}

bool NewFiles::Ready(const char* record) {
  if (m_files && m_made) return true;
  ShowError(MsgOutOfMemory, record);
  return false;
}

bool NewFiles::Place(int32_t i, TextString& leftover) {
  const Replacement& files = m_files[i];
  uint32_t attributes = files.NewAttributes;
  switch (os::PlaceFile(m_made[i], files.Target.Text(), attributes, false)) {
    case os::Placement::Placed:
      return true;
    case os::Placement::Refused:
      return false;
    case os::Placement::Unsupported:
      break;
  }
  m_made[i].Close();  // moved by name, which a file held open cannot be
  if (os::MoveOneFile(files.Temporary.Text(), files.Target.Text()))
    return os::SetAttributes(files.Target.Text(), attributes);
  os::SetAttributes(files.Temporary.Text(), os::AttributeNormal);  // a read-only file cannot go
  if (!os::DeleteOneFile(files.Temporary.Text())) leftover.Assign(files.Temporary);
  return false;
}

bool NewFiles::DiscardFrom(int32_t first, TextString& leftover) {
  bool gone = true;
  for (int32_t i = first; i < m_count; ++i)
    if (m_made[i].IsOpen() && !os::DiscardFile(m_made[i], m_files[i].Temporary.Text()) && gone) {
      leftover.Assign(m_files[i].Temporary);
      gone = false;
    }
  return gone;
}

}  // namespace journal
