#include "app/updater.h"

#include <cstring>

#include "app/progress.h"
#include "app/run_record.h"
#include "base/characters.h"
#include "base/files.h"
#include "base/report.h"
#include "os/basics.h"
#include "os/ui.h"
#include "procs/journal.h"
#include "procs/proc_list.h"
#include "script/script_file.h"

const char* const UpdaterSection = "UPDATER";

const RunKey RunKeys[] = {
    {"NAME", RunKeyForm::Caption, true, ""},
    {"PROC", RunKeyForm::ProcList, true, ""},
    {"UNATTENDED", RunKeyForm::OnOff, false, "the run shows its boxes"},
    {"LOG", RunKeyForm::Path, false, ""},
    {"ROLLBACK", RunKeyForm::OnOff, false, "the run's changes are not undone if it fails"},
    {"PROGRESS", RunKeyForm::OnOff, false, "the run shows no progress window"},
    {"LANGUAGE", RunKeyForm::Language, false, ""},
};
const int RunKeyCount = sizeof(RunKeys) / sizeof(RunKeys[0]);

const char* const LanguageWords[] = {"JA", "EN", "AUTO"};
const int LanguageWordCount = sizeof(LanguageWords) / sizeof(LanguageWords[0]);

TextLanguage LanguageOf(const TextString& word) {
  if (word.Equals(LanguageWords[1])) return TextLanguage::English;
  // The primary language is the id's low ten bits; Japanese is 0x11.
  if (word.Equals(LanguageWords[2]) && (os::UserUiLanguage() & 0x3FF) != 0x11)
    return TextLanguage::English;
  return TextLanguage::Japanese;
}

TextString CommandLine;
TextString UpdaterName;
TextString UpdaterProc;
bool UpdaterRollback = false;
bool UpdaterProgress = false;

namespace {
constexpr int ModulePathAreaSize = 260;
}

const char* ArgumentTextOf(const char* commandLine) {
  if (!commandLine) return "";
  const char* at = commandLine;
  if (*at == '"') {
    const char* close = strchr(at + 1, '"');
    at = close ? close + 1 : at + strlen(at);
  } else {
    while (*at && *at != ' ') ++at;
  }
  while (*at == ' ') ++at;
  return at;
}

int UpdaterMain(const char* argumentText) {
  os::InitializeCom();  // shortcuts are written through COM objects
  AddRunListener(&TheRun);
  bool completed = InitUpdater(argumentText) && RunUpdater();
  // After a failure, the failed list and every list holding it are left.
  FreeAllProcLists();
  // A run that can be undone keeps its changes only when it completed.
  completed = journal::End(completed);
  TheProgress.End();
  RemoveRunListener(&TheProgress);
  // 0 on every road, but where the run is unattended.
  int exitCode = TheRun.End(completed);
  RemoveRunListener(&TheRun);
  os::UninitializeCom();
  return exitCode;
}

bool InitUpdater(const char* argumentText) {
  TheRun.Begin();
  // Until the script says otherwise (a missing script's report too).
  ShownLanguage = TextLanguage::Japanese;
  RunSwitches switches;
  CommandLine.Reassign(TakeSwitches(argumentText, switches));
  if (switches.Unattended) {
    TheRun.SetUnattended();
  } else {
    // A box no one can see waits for ever: such a run answers its own.
    switch (os::WhoSeesBoxes()) {
      case os::BoxesSeen::Seen:
        break;
      case os::BoxesSeen::StationHidden:
        TheRun.SetUnseen("its window station is not interactive");
        break;
      case os::BoxesSeen::SessionZero:
        TheRun.SetUnseen("it runs in session 0, where no user's desktop is");
        break;
    }
  }
  if (!CaptionFromCommandLine(CommandLine, Caption)) Caption.Assign(DefaultCaption);

  // A path that fills the area was cut (and older systems leave it without
  // its zero): it names no script, and nothing is read beside a folder it
  // may only begin.
  uint32_t length = 0;
  if (ModulePath.Reserve(ModulePathAreaSize)) {
    length = os::ModuleFileName(ModulePath.Buffer(), ModulePathAreaSize);
    ModulePath.Buffer()[ModulePathAreaSize - 1] = '\0';
  }
  ModulePath.Compact();
  bool whole = length > 0 && length < static_cast<uint32_t>(ModulePathAreaSize);

  // The extension of the program's own name becomes "ini": the script lies
  // beside the program under the same name. A "." in a folder name is no
  // extension; a name without one gets ".ini" added.
  ScriptPath.Assign("");
  if (whole) {
    ScriptPath.Assign(ModulePath);
    const char* name = FindLastCharacter(ModulePath.Text(), '\\');
    if (TextString(name ? name : ModulePath.Text()).CountOf(".") > 0)
      ScriptPath.ReplaceItem(-1, ".", "ini");
    else
      ScriptPath.Append(".ini");
  }
  if (switches.LogGiven) TheRun.StartLog(switches.LogPath.Text());
  if (!whole) {
    ShowError(MsgFileNotFound, ModulePath.Text());
    return false;
  }
  if (!FileExists(ScriptPath.Text())) {
    ShowError(MsgFileNotFound, ScriptPath.Text());
    return false;
  }

  // Symbols first: NAME and PROC are expanded like every other value.
  LoadScriptSymbols();
  ReadRunKeys(switches);
  // A run of this script that was cut short is undone before anything else,
  // whatever the script now says, and so are other scripts' that no run
  // holds; one still running keeps the script.
  if (!JournalAllows(journal::Recover(ScriptPath, UpdaterRollback))) return false;
  if (!ReadUpdaterSection()) return false;
  // Reports about NAME or PROC themselves still carry the earlier caption.
  if (UpdaterName.Length() > 0) Caption.Assign(UpdaterName);
  TheRun.NoteCaption();
  return !UpdaterRollback || JournalAllows(journal::Begin());
}

bool JournalAllows(journal::Outcome outcome) {
  switch (outcome) {
    case journal::Outcome::Done:
      return true;
    case journal::Outcome::InProgress:
      TheRun.SetRunInProgress();
      return false;
    case journal::Outcome::Failed:
      break;
  }
  return false;
}

void ReadRunKeys(const RunSwitches& switches) {
  // Optional keys of a silent package; a switch wins over a key.
  TextString value;
  auto on = [&value](RunKeyIndex key) {
    return ReadOptionalValue(UpdaterSection, RunKeys[key].Key, value) && value.ToInt() != 0;
  };
  if (ReadOptionalValue(UpdaterSection, RunKeys[KeyLanguage].Key, value))
    ShownLanguage = LanguageOf(value);
  UpdaterRollback = on(KeyRollback);
  UpdaterProgress = on(KeyProgress);
  if (!switches.Unattended && on(KeyUnattended)) TheRun.SetUnattended();
  if (!switches.LogGiven && ReadOptionalValue(UpdaterSection, RunKeys[KeyLog].Key, value))
    TheRun.StartLog(value.Text());
}

bool CaptionFromCommandLine(const TextString& commandLine, TextString& caption) {
  if (commandLine.Length() == 0) return false;
  TextString word = commandLine.Word(0);
  word.Trim("\"");
  if (word.Length() == 0) return false;
  caption.Assign(word);
  return true;
}

bool ReadUpdaterSection() {
  if (!ReadValue(UpdaterSection, RunKeys[KeyName].Key, UpdaterName)) return false;
  return ReadValue(UpdaterSection, RunKeys[KeyProc].Key, UpdaterProc);
}

int32_t UpdaterProcCount(const TextString& proc) {
  int32_t count = proc.ItemCount(",");
  if (count == 0) ShowError(MsgBadItemCount, UpdaterSection, RunKeys[KeyProc].Key);
  return count;
}

bool RunUpdater() {
  int32_t count = UpdaterProcCount(UpdaterProc);
  if (count == 0) return false;
  if (!BuildProcList(UpdaterProc, count)) return false;
  // Never a window where no one answers the boxes.
  if (UpdaterProgress && !TheRun.Unattended()) {
    TheProgress.Begin(count, UpdaterRollback);
    AddRunListener(&TheProgress);
  }
  // A failed list stays on the stack; the entry frees it.
  if (!RunProcList(TopProcList())) return false;
  FreeProcList(TopProcList());
  return true;
}
