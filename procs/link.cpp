// LINK: saves a shortcut for each target of SRC at the path of DST with
// ".LNK" appended, with the arguments of PARAM and the window state of
// SHOWCMD, starting in the target's own directory. A shortcut that cannot be
// saved is no failure of the run: the procedure stops there, silently, with
// its Result false for a later test to see.
//
// In a run that can be undone (ROLLBACK=1) each shortcut is saved into a
// new file of the run's first, and only then does a shortcut that is there
// step aside for it (procs/journal.h).
#include "procs/proc_list.h"

#include "base/report.h"
#include "base/run_events.h"
#include "os/basics.h"
#include "os/files.h"
#include "os/shell.h"
#include "procs/comma_lists.h"
#include "procs/journal.h"
#include "procs/proc_record.h"

// This kind's description, at the end of the file.
extern const ProcKind LinkKind;

namespace {

struct SHORTCUT_INFO : PROC_INFO {
  TextString Src;      // target paths, separated by ","
  TextString Param;    // argument texts; item i belongs to shortcut i
  TextString ShowCmd;  // window-state numbers 1, 2 or 3
  TextString Dst;      // shortcut paths without the extension
};

const RecordKey<SHORTCUT_INFO> Keys[] = {
    {DescribeKey("SRC", KeyRole::Leading, ValueForm::Paths, PathUse::Reads),
     &SHORTCUT_INFO::Src, nullptr},
    {DescribeKey("PARAM", KeyRole::Companion, ValueForm::Text), &SHORTCUT_INFO::Param, nullptr},
    {DescribeKey("SHOWCMD", KeyRole::Companion, ValueForm::WindowStates),
     &SHORTCUT_INFO::ShowCmd, nullptr},
    {DescribeKey("DST", KeyRole::Companion, ValueForm::Paths, PathUse::Writes),
     &SHORTCUT_INFO::Dst, nullptr},
};

// The show command stored for a SHOWCMD number; 0 stores none, leaving the
// shell's default.
int ShowCommandOf(int32_t number) {
  switch (number) {
    case 1: return 1;  // SW_SHOWNORMAL
    case 2: return 7;  // SW_SHOWMINNOACTIVE
    case 3: return 3;  // SW_SHOWMAXIMIZED
    default: return 0;
  }
}

enum class Shortcut { Saved, NotSaved, Reported };

Shortcut CreateShortcut(const TextString& target, const TextString& linkPath,
                        const TextString& arguments, int32_t number) {
  TextString directory;  // stays empty for a target without a directory part
  DirectoryOfPath(target.Text(), directory);
  if (!os::SaveShellLink(target.Text(), directory.Text(), arguments.Text(),
                         ShowCommandOf(number), linkPath.Text())) {
    ReportFileAction(FileAction::ShortcutFailed, linkPath.Text(), target.Text(),
                     os::LastFailure());
    return Shortcut::NotSaved;
  }
  ReportFileAction(FileAction::ShortcutSaved, linkPath.Text(), target.Text());
  return Shortcut::Saved;
}

// The shortcuts of one procedure in a run that can be undone, as COPY's
// files are: planned and recorded (one flush), each saved into a new file of
// the run's beside its place and recorded with its identity (a second),
// then each old one kept aside and the new one put in its place. A shortcut
// that cannot be saved, or whose old one cannot be kept aside, ends the
// procedure there, the ones before it saved.
class KeptShortcuts {
 public:
  explicit KeptShortcuts(int32_t count) : m_new(count), m_count(count) {}

  Shortcut Run(const SHORTCUT_INFO& link) {
    if (!m_new.Ready("SHORTCUT_INFO")) return Shortcut::Reported;
    int32_t planned = 0;
    for (; planned < m_count; ++planned) {
      switch (journal::Plan(LinkPath(link, planned), true, false, m_new.Files(planned))) {
        case journal::Recorded::Yes:
          continue;
        case journal::Recorded::Refused:
          break;
        case journal::Recorded::Failed:
          return Shortcut::Reported;
      }
      break;
    }
    if (!journal::Commit()) return Shortcut::Reported;
    int32_t saved = 0;
    for (; saved < planned; ++saved) {
      if (!StartingAction(FileAction::ShortcutSaved, LinkPath(link, saved).Text(),
                          ListItem(link.Src, saved).Text()))
        return Shortcut::Reported;
      if (!Save(link, saved)) break;
      if (!journal::NoteNewFile(m_new.Files(saved), m_new.File(saved).Get()))
        return Shortcut::Reported;
    }
    if (!journal::Commit()) return Shortcut::Reported;
    for (int32_t i = 0; i < saved; ++i) {
      TextString leftover;
      if (journal::KeepAside(m_new.Files(i)) == journal::Aside::Refused || !m_new.Place(i, leftover))
        return NotSaved(link, i);
      ReportFileAction(FileAction::ShortcutSaved, LinkPath(link, i).Text(),
                       ListItem(link.Src, i).Text());
    }
    if (saved < planned) return NotSaved(link, saved);
    if (planned == m_count) return Shortcut::Saved;
    if (!StartingAction(FileAction::ShortcutSaved, LinkPath(link, planned).Text(),
                        ListItem(link.Src, planned).Text()))
      return Shortcut::Reported;
    return NotSaved(link, planned);
  }

 private:
  static TextString LinkPath(const SHORTCUT_INFO& link, int32_t i) {
    return ListItem(link.Dst, i).Concat(".LNK");
  }

  // Saves shortcut `i` into a new file of the run's, held open once it is
  // proved to be the one made.
  bool Save(const SHORTCUT_INFO& link, int32_t i) {
    journal::Replacement& files = m_new.Files(i);
    os::OwnedFile& held = m_new.File(i);
    os::OwnedFile made;
    os::FileIdentity first, saved;
    if (os::CreateNewFile(files.Temporary.Text(), made.Receive()) != os::Creation::Created ||
        !os::IdentityOf(made.Get(), first))
      return false;
    made.Close();  // the shell writes it by its name
    TextString target = ListItem(link.Src, i);
    TextString directory;
    DirectoryOfPath(target.Text(), directory);
    bool written = os::SaveShellLink(target.Text(), directory.Text(),
                                     ListItem(link.Param, i).Text(),
                                     ShowCommandOf(link.ShowCmd.Item(i, ",").ToInt()),
                                     files.Temporary.Text());
    uint32_t why = os::LastFailure();
    if (os::OpenToChange(files.Temporary.Text(), held, saved) == os::Opening::Opened &&
        written && (!first.StableIndex || saved.Index == first.Index)) {
      files.NewAttributes = saved.Attributes;
      return true;
    }
    // The run's own file, named with its token: it goes by handle, or by name.
    if (!(held.IsOpen() && os::DiscardFile(held, files.Temporary.Text())))
      os::DeleteOneFile(files.Temporary.Text());
    m_why = why;
    return false;
  }

  // Shortcut `i` was not saved: the procedure ends there, its Result false.
  Shortcut NotSaved(const SHORTCUT_INFO& link, int32_t i) {
    ReportFileAction(FileAction::ShortcutFailed, LinkPath(link, i).Text(),
                     ListItem(link.Src, i).Text(), m_why ? m_why : os::LastFailure());
    return Shortcut::NotSaved;
  }

  journal::NewFiles m_new;
  int32_t m_count;
  uint32_t m_why = 0;  // why a save failed
};

}  // namespace

static PROC_INFO* ParseLink(const char* section) {
  return ParseRecord(section, LinkKind, Keys);
}

static bool ExecuteLink(PROC_INFO* record) {
  SHORTCUT_INFO* link = static_cast<SHORTCUT_INFO*>(record);
  int32_t count = CountPositions(*link, link->Src, "SRC");
  if (count == 0) return false;
  if (journal::Active()) {
    KeptShortcuts shortcuts(count);
    switch (shortcuts.Run(*link)) {
      case Shortcut::Saved:
        link->Result = true;
        return true;
      case Shortcut::NotSaved:
        return true;
      case Shortcut::Reported:
        return false;
    }
  }
  for (int32_t i = 0; i < count; ++i) {
    // The number goes untrimmed: the conversion passes over blanks itself.
    int32_t number = link->ShowCmd.Item(i, ",").ToInt();
    TextString linkPath = ListItem(link->Dst, i).Concat(".LNK");
    if (!StartingAction(FileAction::ShortcutSaved, linkPath.Text(), ListItem(link->Src, i).Text()))
      return false;
    switch (CreateShortcut(ListItem(link->Src, i), linkPath, ListItem(link->Param, i), number)) {
      case Shortcut::Saved:
        break;
      case Shortcut::NotSaved:
        return true;
      case Shortcut::Reported:
        return false;
    }
  }
  link->Result = true;
  return true;
}

extern const ProcKind LinkKind = {"LINK", "SHORTCUT_INFO", Keys, 0, ParseLink, ExecuteLink};
