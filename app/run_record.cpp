#include "app/run_record.h"

#include <cstdio>
#include <cstring>

#include "base/report.h"
#include "os/basics.h"
#include "os/log.h"
#include "os/ui.h"
#include "res/version.h"
#include "script/script_file.h"

RunRecord TheRun;

namespace {

bool IsBlank(char c) { return c == ' '; }

// The word at `at` equals `name` (ASCII case ignored) up to a blank or the end.
bool IsSwitch(const char* at, const char* name) {
  size_t length = strlen(name);
  return TextString(at).Mid(0, static_cast<int32_t>(length) - 1).Equals(name) &&
         (at[length] == '\0' || IsBlank(at[length]));
}

// `utf8` on one line: line breaks and tabs written as \n and \t.
TextString OneLine(const char* utf8) {
  TextString line(utf8);
  line.ReplaceAll("\r", "");
  line.ReplaceAll("\n", "\\n");
  line.ReplaceAll("\t", "\\t");
  return line;
}

// "text", ANSI text in UTF-8 between double quotes.
TextString Quoted(const char* ansi) {
  return TextString("\"").Append(ToUtf8(ansi)).Append("\"");
}

// " (system error 32: TEXT)": why the system refused an action, in its own
// words; empty for no reason.
TextString Reason(uint32_t code) {
  if (code == 0) return TextString();
  char number[48];
  snprintf(number, sizeof number, " (system error %u", static_cast<unsigned>(code));
  TextString reason(number);
  os::OwnedText text;
  if (os::FailureText(code, text)) reason.Append(": ").Append(OneLine(text.Get()));
  return reason.Append(")");
}

const char* IconName(uint32_t style) {
  switch (style & os::box::IconMask) {
    case os::box::IconError: return "error";
    case os::box::IconQuestion: return "question";
    case os::box::IconWarning: return "warning";
    case os::box::IconInformation: return "information";
  }
  return "no icon";
}

const char* AnswerName(int answer) {
  switch (answer) {
    case os::box::IdOk: return "OK";
    case os::box::IdCancel: return "Cancel";
    case os::box::IdYes: return "Yes";
    case os::box::IdNo: return "No";
  }
  return "none (no box could be shown)";
}

}  // namespace

const char* TakeSwitches(const char* argumentText, RunSwitches& switches) {
  const char* at = argumentText ? argumentText : "";
  for (;;) {
    while (IsBlank(*at)) ++at;
    if (IsSwitch(at, "/UNATTENDED")) {
      switches.Unattended = true;
      at += strlen("/UNATTENDED");
      continue;
    }
    if (!TextString(at).Mid(0, 4).Equals("/LOG=")) break;
    const char* value = at + 5;
    const char* end;
    TextString path;
    if (*value == '"') {
      const char* close = strchr(value + 1, '"');
      if (!close || !(close[1] == '\0' || IsBlank(close[1]))) break;
      path = TextString(at).Mid(6, static_cast<int32_t>(close - at) - 1);
      end = close + 1;
    } else {
      end = value;
      while (*end && !IsBlank(*end)) ++end;
      path = TextString(at).Mid(5, static_cast<int32_t>(end - at) - 1);
    }
    switches.LogGiven = true;
    switches.LogPath = path;
    at = end;
  }
  return at;
}

RunRecord::RunRecord()
    : m_unattended(false),
      m_unseen(nullptr),
      m_reported(false),
      m_inProgress(false),
      m_cancelled(false),
      m_restartNeeded(false),
      m_restartAsked(false),
      m_startTime(0),
      m_lastBoxStyle(0) {}

RunRecord::~RunRecord() = default;

void RunRecord::Begin() {
  CloseLog();
  m_unattended = false;
  m_unseen = nullptr;
  m_reported = false;
  m_inProgress = false;
  m_cancelled = false;
  m_restartNeeded = false;
  m_restartAsked = false;
  m_lastBoxStyle = 0;
  m_startTime = os::Milliseconds();
  m_procedureStarts.Free();
}

void RunRecord::CloseLog() { m_log.Close(); }

void RunRecord::SetUnattended() {
  if (!m_unattended && Logging())
    Write(TextString("unattended (UNATTENDED): boxes take their answers from here on"));
  m_unattended = true;
}

void RunRecord::StartLog(const char* path) {
  CloseLog();
  if (!path || !*path || !os::OpenLog(path, m_log.Receive())) return;
  const char* elevation = "elevation unknown";
  switch (os::RunElevation()) {
    case os::Elevation::Elevated: elevation = "elevated"; break;
    case os::Elevation::NotElevated: elevation = "not elevated"; break;
    case os::Elevation::Unknown: break;
  }
  char details[64];
  snprintf(details, sizeof details, ", code page %u, ", os::AnsiCodePage());
  m_loggedCaption = CaptionUtf8();
  Write(TextString("start: program ")
            .Append(Quoted(ModulePath.Text()))
            .Append(" " UPDATER_VERSION_TEXT ", script ")
            .Append(Quoted(ScriptPath.Text()))
            .Append(", caption \"")
            .Append(m_loggedCaption)
            .Append("\"")
            .Append(details)
            .Append(m_unattended ? "unattended" : "attended")
            .Append(m_unseen ? " (no one can see its boxes: " : "")
            .Append(m_unseen ? m_unseen : "")
            .Append(m_unseen ? "), " : ", ")
            .Append(elevation));
}

void RunRecord::NoteCaption() {
  TextString caption = CaptionUtf8();
  if (!Logging() || caption.Equals(m_loggedCaption)) return;
  Write(TextString("caption \"")
            .Append(OneLine(caption.Text()))
            .Append("\" (NAME): the title of every box from here on"));
  m_loggedCaption = caption;
}

int RunRecord::End(bool completed) {
  int exitCode = ExitCompleted;
  const char* how = "completed";
  if (m_inProgress) {
    how = "another run of this script is in progress";
    if (m_unattended) exitCode = ExitRunInProgress;
  } else if (completed && (m_restartNeeded || m_restartAsked)) {
    how = m_restartNeeded ? "completed; a file in use is removed at the next restart"
                          : "completed; a program asks for a restart";
    if (m_unattended) exitCode = ExitRestartNeeded;
  } else if (!completed && m_cancelled) {
    how = "the user cancelled the run";
  } else if (!completed && m_reported) {
    how = "an error report ended the run";
    if (m_unattended) exitCode = ExitReportEnded;
  } else if (!completed) {
    // The box's type says what its end means: the script's own failure, a
    // deliberate stop with nothing wrong, or the user's (or the answer
    // key's) choice.
    how = "an answer ended the run";
    int ended = ExitAnswerEnded;
    switch (m_lastBoxStyle & os::box::IconMask) {
      case os::box::IconError:
        how = "an answer to an error box ended the run: the script's own failure";
        ended = ExitReportEnded;
        break;
      case os::box::IconInformation:
        how = "an answer to an information box ended the run: a deliberate stop";
        ended = ExitCompleted;
        break;
    }
    if (m_unattended) exitCode = ended;
  }
  char line[160];
  snprintf(line, sizeof line, "end: %s, exit code %d, %u ms", how, exitCode,
           os::Milliseconds() - m_startTime);
  Write(TextString(line));
  CloseLog();
  return exitCode;
}

void RunRecord::Write(const TextString& utf8Text) {
  if (!Logging()) return;
  os::LocalTime now;
  os::CurrentLocalTime(now);
  char stamp[64];
  snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u.%03u ", now.Year, now.Month,
           now.Day, now.Hour, now.Minute, now.Second, now.Milliseconds);
  TextString line(stamp);
  line.Append(utf8Text).Append("\r\n");
  os::AppendToLog(m_log.Get(), line.Text(), static_cast<uint32_t>(line.Length()));
}

void RunRecord::ProcedureStarted(const char* section, const char* mode) {
  uint32_t now = os::Milliseconds();
  m_procedureStarts.AppendBytes(&now, sizeof now);
  if (!Logging()) return;
  Write(TextString("procedure ").Append(Quoted(section)).Append(" (").Append(ToUtf8(mode))
            .Append(") starts"));
}

void RunRecord::ProcedureEnded(const char* section, bool result, bool succeeded) {
  uint32_t started = os::Milliseconds();
  int32_t depth = m_procedureStarts.Size / static_cast<int32_t>(sizeof(uint32_t));
  if (depth > 0) {
    memcpy(&started, m_procedureStarts.Data() + (depth - 1) * sizeof(uint32_t), sizeof started);
    m_procedureStarts.Remove((depth - 1) * static_cast<int32_t>(sizeof(uint32_t)),
                             sizeof(uint32_t));
  }
  if (!Logging()) return;
  char details[64];
  snprintf(details, sizeof details, ": Result %s, %u ms", result ? "true" : "false",
           os::Milliseconds() - started);
  Write(TextString("procedure ").Append(Quoted(section))
            .Append(succeeded ? " ends" : " ends the run")
            .Append(details));
}

void RunRecord::FileActionDone(FileAction action, const char* first, const char* second,
                               uint32_t number) {
  if (action == FileAction::RemovedAtRestart) m_restartNeeded = true;
  if (action == FileAction::RestartAsked) m_restartAsked = true;
  if (!Logging()) return;
  static const char* const Lines[] = {
#define UPDATER_ACTION_LINE(name, log, progress) log,
      UPDATER_FILE_ACTIONS(UPDATER_ACTION_LINE)
#undef UPDATER_ACTION_LINE
  };
  const char* pattern = Lines[static_cast<int>(action)];
  if (!*pattern) return;  // told only as it starts
  TextString line;
  for (const char* at = pattern; *at; ++at) {
    if (*at != '%' || !at[1]) {
      char one[2] = {*at, '\0'};
      line.Append(one);
      continue;
    }
    char value[32];
    switch (*++at) {
      case '1': line.Append(Quoted(first)); break;
      case '2': line.Append(Quoted(second)); break;
      case 's': line.Append(second); break;
      case 'x':
        snprintf(value, sizeof value, "0x%08X", static_cast<unsigned>(number));
        line.Append(value);
        break;
      case 'u':
        snprintf(value, sizeof value, "%u", static_cast<unsigned>(number));
        line.Append(value);
        break;
      case 'r': line.Append(Reason(number)); break;
    }
  }
  Write(line);
}

void RunRecord::ErrorReported(unsigned id, const char* const*, int, const char* text) {
  m_reported = true;
  if (!Logging()) return;
  char number[32];
  snprintf(number, sizeof number, "error report %u: ", id);
  TextString line = TextString(number).Append(OneLine(text));
  // The reports of a platform action that failed say why, as the system does.
  if (ReportCarriesReason(id)) line.Append(Reason(os::LastFailure()));
  Write(line);
}

void RunRecord::RunCancelled() {
  m_cancelled = true;
  Write(TextString("cancel: the user ended the run with Cancel in the progress window"));
}

void RunRecord::BoxDone(const BoxEvent& box) {
  m_lastBoxStyle = box.Style;
  if (!Logging()) return;
  bool yesNo = (box.Style & os::box::ButtonsMask) == os::box::YesNo;
  Write(TextString("box \"")
            .Append(OneLine(box.Caption))
            .Append("\" (")
            .Append(IconName(box.Style))
            .Append(yesNo ? ", Yes No) " : ", OK) ")
            .Append(box.Shown ? "shown, answered " : "not shown, answered ")
            .Append(AnswerName(box.Answer))
            .Append(": \"")
            .Append(OneLine(box.Text))
            .Append("\""));
}

void RunRecord::JournalNoted(JournalNote note, const char* path, const char* utf8Detail,
                             uint32_t number) {
  if (!Logging()) return;
  char count[32];
  snprintf(count, sizeof count, "%u", static_cast<unsigned>(number));
  TextString line;
  switch (note) {
    case JournalNote::Opened:
      line.Assign("journal ").Append(Quoted(path)).Append(" opened: the run's changes can be undone");
      break;
    case JournalNote::InProgress:
      line.Assign("another run of this script is in progress: it holds the journal ")
          .Append(Quoted(path));
      break;
    case JournalNote::Recovering:
      line.Assign("journal ").Append(Quoted(path))
          .Append(number ? " tells of a run cut short after it completed: finishing it"
                         : " tells of a run cut short: undoing it");
      break;
    case JournalNote::Undoing:
      line.Assign("undo: ").Append(count).Append(" changes recorded");
      break;
    case JournalNote::Undone:
      if (number == 0) line.Assign("undo: complete");
      else line.Assign("undo: ").Append(count).Append(" changes could not be undone");
      break;
    case JournalNote::Completed:
      line.Assign("completed: removing the ").Append(count).Append(" files kept aside");
      break;
    case JournalNote::HeldBy:
      line.Assign(Quoted(path)).Append(" is held by ").Append(utf8Detail);
      break;
    case JournalNote::BesideScript:
      line.Assign("a journal beside the script, ").Append(Quoted(path))
          .Append(", is not read: anyone who can write there could have written it");
      break;
    case JournalNote::FolderNotRead:
      line.Assign("the journals' folder ").Append(Quoted(path))
          .Append(" has another owner or writer: nothing in it is read");
      break;
    case JournalNote::FolderTaken:
      line.Assign("the journals' folder ").Append(Quoted(path))
          .Append(" was taken back: its owner and protection reset, what was in it moved aside unread");
      break;
    case JournalNote::OtherRun:
      line.Assign("journal ").Append(Quoted(path)).Append(" tells of a run of another script, \"")
          .Append(utf8Detail)
          .Append(number ? "\", cut short after it completed: finishing it"
                         : "\", cut short: undoing it");
      break;
    case JournalNote::OtherLeft:
      line.Assign("journal ").Append(Quoted(path)).Append(" of another script is left: ")
          .Append(number == 0   ? "a run of that script holds it"
                  : number == 1 ? "it cannot be read"
                                : "what is left to undo waits for a later start");
      break;
    case JournalNote::Unreadable:
      line.Assign("journal ").Append(Quoted(path))
          .Append(" cannot be read by this version: it is kept as it is, and nothing is changed");
      break;
    case JournalNote::LeftToDo:
      line.Assign("undo: ").Append(count)
          .Append(" changes are left for the next start; the journal ").Append(Quoted(path))
          .Append(" keeps them");
      break;
    case JournalNote::KeptLeft:
      line.Assign("the kept ").Append(Quoted(path))
          .Append(" could not be removed, now or at the next restart: remove it by hand")
          .Append(Reason(number));
      break;
    case JournalNote::NotUndone:
      switch (number) {
        case MsgPutBackFailed:
          line.Assign("undo: could not put back ").Append(Quoted(path))
              .Append("; its old content is in \"").Append(utf8Detail).Append("\"");
          break;
        case MsgAttributesFailed:
          line.Assign("undo: could not set back the attributes of ").Append(Quoted(path));
          break;
        default:
          line.Assign("undo: could not remove ").Append(Quoted(path));
          break;
      }
      line.Append(Reason(os::LastFailure()));
      break;
  }
  Write(line);
}
