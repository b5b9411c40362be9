// LAUNCH: starts each program of FILE with the parameter text at the same
// position of PARAM, in the program's own folder, and waits after each start
// until the program has ended (ISWAIT not 0) or is ready for input (ISWAIT
// 0). The first program that cannot be started, or whose wait fails, is
// reported and ends the run; programs started before it are left alone.
// Where SUCCESS names the exit codes that count as success, every program
// is waited for until it ends, and one that ends with another code is
// reported and ends the run as well.
//
// Where SHA256 pins a program's digest or SIGNER names its publisher, its
// file is opened sharing reading only, so that no one can change it, checked
// through that handle, and the program started from that file while it is
// held; a program whose check fails is not started.
#include "procs/proc_list.h"

#include <cstring>
#include <utility>

#include "base/report.h"
#include "base/run_events.h"
#include "os/files.h"
#include "os/processes.h"
#include "os/shell.h"
#include "procs/comma_lists.h"
#include "procs/file_digest.h"
#include "procs/proc_record.h"
#include "procs/signature.h"

// This kind's description, at the end of the file.
extern const ProcKind LaunchKind;

namespace {

struct LAUNCH_INFO : PROC_INFO {
  TextString File;   // program paths, separated by ","
  TextString Param;  // parameter texts; item i belongs to program i
  // An ISWAIT that does not begin with a number leaves this as it is. The
  // default waits for the exit: a later step may rely on the program having
  // finished, and waiting too long is safer than running ahead.
  int32_t IsWait = 1;
  TextString Success;  // exit codes, separated by ","
  bool SuccessWritten = false;  // even empty: the exit codes are judged
  TextString Sha256;  // digests; item i pins program i ("-": none)
  bool Sha256Written = false;
  TextString Signer;  // the publisher every program must be signed by
  bool SignerWritten = false;
};

const RecordKey<LAUNCH_INFO> Keys[] = {
    {DescribeKey("FILE", KeyRole::Leading, ValueForm::Programs, PathUse::Starts),
     &LAUNCH_INFO::File, nullptr},
    {DescribeKey("PARAM", KeyRole::Companion, ValueForm::Text, PathUse::Mentions),
     &LAUNCH_INFO::Param, nullptr},
    {DescribeKey("ISWAIT", KeyRole::Number, ValueForm::Text), nullptr, &LAUNCH_INFO::IsWait},
    {DescribeKey("SUCCESS", KeyRole::Optional, ValueForm::ExitCodes), &LAUNCH_INFO::Success,
     nullptr, &LAUNCH_INFO::SuccessWritten},
    {DescribeKey("SHA256", KeyRole::OptionalCompanion, ValueForm::Digests), &LAUNCH_INFO::Sha256,
     nullptr, &LAUNCH_INFO::Sha256Written},
    {DescribeKey("SIGNER", KeyRole::Optional, ValueForm::Publisher), &LAUNCH_INFO::Signer, nullptr,
     &LAUNCH_INFO::SignerWritten},
};

// Holds the program's file, so that no one can change it until it has
// started, and checks its signature (SIGNER) and digest (SHA256) through
// that handle. False when it cannot be held or read (not reported: `held`
// is closed), or a check fails (reported).
bool HoldChecked(const TextString& file, const LAUNCH_INFO& launch, FileDigest& digest,
                 os::OwnedFile& held) {
  if (!digest.Start(file.Text())) return false;
  os::OwnedFile opened;
  if (!os::OpenSharingRead(file.Text(), opened)) return false;
  held = std::move(opened);
  if (launch.SignerWritten && !SignedBy(held.Get(), file.Text(), launch.Signer)) return false;
  if (!digest.Pins()) return true;
  if (!os::ReadToEnd(held.Get(), FileDigest::Add, &digest)) {
    held.Close();  // not read: reported as a program that cannot be started
    return false;
  }
  return digest.Matches(file.Text());
}

// The exit codes a program asks with for the system to restart: success,
// with a restart to come (ERROR_SUCCESS_REBOOT_REQUIRED,
// ERROR_SUCCESS_REBOOT_INITIATED).
bool AsksForRestart(uint32_t code) { return code == 3010 || code == 1641; }

// One exit code as written: a decimal number (a negative one as the system
// gives it, -1 being 0xFFFFFFFF) or "0x" and hexadecimal digits, within 32
// bits.
bool ParseExitCode(const TextString& item, uint32_t& code) {
  const char* text = item.Text();
  bool negative = text[0] == '-';
  bool hex = !negative && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const char* digits = text + (negative ? 1 : hex ? 2 : 0);
  if (!*digits) return false;
  uint64_t value = 0;
  for (const char* at = digits; *at; ++at) {
    const char* place = strchr("0123456789abcdef", *at | 0x20);
    int digit = *at && place ? static_cast<int>(place - "0123456789abcdef") : -1;
    if (digit < 0 || (!hex && digit > 9)) return false;
    value = value * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
    if (value > (negative ? 0x80000000ull : 0xFFFFFFFFull)) return false;
  }
  code = static_cast<uint32_t>(negative ? 0u - value : value);
  return true;
}

// Whether every item of `list` is an exit code.
bool IsExitCodeList(const TextString& list) {
  int32_t count = list.ItemCount(",");
  for (int32_t i = 0; i < count; ++i) {
    uint32_t code = 0;
    if (!ParseExitCode(ListItem(list, i), code)) return false;
  }
  return true;
}

bool IsInList(const TextString& list, uint32_t code) {
  int32_t count = list.ItemCount(",");
  for (int32_t i = 0; i < count; ++i) {
    uint32_t listed = 0;
    if (ParseExitCode(ListItem(list, i), listed) && listed == code) return true;
  }
  return false;
}

// The file an item names: the item itself, or what it holds between the
// double quotes that its author put around it.
TextString FileOfItem(const TextString& program) {
  int32_t length = program.Length();
  if (length >= 2 && program.Text()[0] == '"' && program.Text()[length - 1] == '"')
    return program.Mid(1, length - 2);
  return program;
}

// True when `file` has the extension of a batch file, which the system runs
// only through its command interpreter.
bool IsBatchFile(const TextString& file) {
  if (file.ItemCount(".") < 2) return false;
  TextString extension = file.Item(-1, ".");
  return extension.Equals("bat") || extension.Equals("cmd");
}

// Appends `pieces` to `text`; false when memory ran out on the way (a failed
// append leaves less text than the pieces hold).
bool AppendAll(TextString& text, const char* const* pieces, int count) {
  int32_t expected = text.Length();
  for (int i = 0; i < count; ++i) {
    expected += TextString(pieces[i]).Length();
    text.Append(pieces[i]);
  }
  return text.Length() == expected;
}

// The command interpreter of the system folder, named outright.
bool CommandInterpreter(TextString& path) {
  char directory[os::FolderPathSize] = {};
  uint32_t length = os::SystemDirectory(directory, sizeof directory);
  if (length == 0 || length >= sizeof directory) return false;
  path.Assign(directory);
  return path.Append("\\cmd.exe").Length() == static_cast<int32_t>(length) + 8;
}

// Starts `program` in its folder with the command line "program parameters"
// (the blank there even without parameters), then waits. False when there
// is no folder part, the start fails or the wait fails.
//
// An item that names an existing file is started as that file: the system
// would otherwise try each blank-cut prefix of an unquoted path first, so a
// planted C:\Program.exe would run in place of C:\Program Files\App\setup.exe.
// Such an item goes into the command line in double quotes when it holds a
// blank, so that the program reads its own name and its parameters as
// written; an item its author quoted is passed as written. A batch file runs
// through the system folder's command interpreter, with AutoRun off and the
// whole line quoted, so that exactly that file runs with its parameters:
// given the line itself, the interpreter would cut it at the first blank and
// search for that prefix. `held`, the program's file held since its check,
// is let go once the program has started from it.
bool LaunchProgram(const TextString& program, const TextString& parameters, bool waitForExit,
                   os::OwnedFile& held, uint32_t& exitCode) {
  TextString file = FileOfItem(program);
  TextString directory;
  if (!DirectoryOfPath(file.Text(), directory) || directory.Length() == 0) return false;
  bool named = os::IsExistingFile(file.Text());
  TextString application;
  TextString commandLine;
  if (named && IsBatchFile(file)) {
    if (!CommandInterpreter(application)) return false;
    const char* pieces[] = {"\"", application.Text(), "\" /d /c \"\"", file.Text(), "\" ",
                            parameters.Text(), "\""};
    if (!AppendAll(commandLine, pieces, 7)) return false;
  } else {
    bool authorQuoted = file.Length() != program.Length();
    bool quote = named && !authorQuoted && file.CountOf(" ") > 0;
    const char* pieces[] = {quote ? "\"" : "", program.Text(), quote ? "\" " : " ",
                            parameters.Text()};
    if (!AppendAll(commandLine, pieces, 4)) return false;
    if (named && application.Assign(file).Length() != file.Length()) return false;
  }
  os::OwnedProcess process;
  if (!os::StartProgram(named ? application.Text() : nullptr, commandLine.Text(),
                        directory.Text(), process.Receive()))
    return false;
  held.Close();  // the program runs from the file it was held as
  ReportFileAction(FileAction::ProgramStarted, commandLine.Text(), directory.Text());
  if (waitForExit) Observer().ActionStarting(FileAction::ProgramEnded, program.Text(), "");
  if (!os::WaitForProgram(process, waitForExit ? os::WaitFor::Exit : os::WaitFor::InputIdle,
                          exitCode))
    return false;
  if (waitForExit) ReportFileAction(FileAction::ProgramEnded, program.Text(), "", exitCode);
  return true;
}

}  // namespace

static PROC_INFO* ParseLaunch(const char* section) {
  return ParseRecord(section, LaunchKind, Keys);
}

static bool ExecuteLaunch(PROC_INFO* record) {
  LAUNCH_INFO* launch = static_cast<LAUNCH_INFO*>(record);
  int32_t count = CountPositions(*launch, launch->File, "FILE");
  if (count == 0) return false;
  // A set of codes that is not one is told before anything starts.
  bool judged = launch->SuccessWritten;
  if (judged && (launch->Success.Length() == 0 || !IsExitCodeList(launch->Success))) {
    ShowError(MsgBadSymbol, launch->Success.Text());
    return false;
  }
  if (launch->Sha256Written && !DigestListIsWhole(launch->Sha256, count)) return false;
  for (int32_t i = 0; i < count; ++i) {
    TextString program = ListItem(launch->File, i);
    TextString parameters = ListItem(launch->Param, i);
    if (!StartingAction(FileAction::ProgramStarted, program.Text(), parameters.Text()))
      return false;
    uint32_t exitCode = 0;
    FileDigest digest(ListItem(launch->Sha256, i));
    os::OwnedFile held;
    if ((launch->SignerWritten || digest.Pins()) &&
        !HoldChecked(FileOfItem(program), *launch, digest, held)) {
      if (!digest.Refused() && !held.IsOpen())
        ShowError(MsgLaunchFailed, program.Text(), parameters.Text());
      return false;
    }
    if (!LaunchProgram(program, parameters, judged || launch->IsWait != 0, held, exitCode)) {
      ShowError(MsgLaunchFailed, program.Text(), parameters.Text());
      return false;
    }
    if (!judged) continue;
    if (!IsInList(launch->Success, exitCode)) {
      ShowError(MsgProgramFailed, program.Text(), exitCode);
      return false;
    }
    if (AsksForRestart(exitCode))
      ReportFileAction(FileAction::RestartAsked, program.Text(), "", exitCode);
  }
  launch->Result = true;
  return true;
}

extern const ProcKind LaunchKind = {"LAUNCH", "LAUNCH_INFO", Keys, 0, ParseLaunch, ExecuteLaunch};
