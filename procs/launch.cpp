// LAUNCH: starts each program of FILE with the parameter text at the same
// position of PARAM, in the program's own folder, and waits after each start
// until the program has ended (ISWAIT not 0) or is ready for input (ISWAIT
// 0). The first program that cannot be started, or whose wait fails, is
// reported and ends the run; programs started before it are left alone.
#include "procs/kinds.h"

#include "base/report.h"
#include "os/os.h"
#include "procs/comma_lists.h"
#include "procs/proc_record.h"

namespace {

struct LAUNCH_INFO : PROC_INFO {
  TextString File;   // program paths, separated by ","
  TextString Param;  // parameter texts; item i belongs to program i
  // An ISWAIT that does not begin with a number leaves this as it is. The
  // default waits for the exit: a later step may rely on the program having
  // finished, and waiting too long is safer than running ahead.
  int32_t IsWait = 1;
};

const RecordKey<LAUNCH_INFO> Keys[] = {
    {"FILE", &LAUNCH_INFO::File, nullptr},
    {"PARAM", &LAUNCH_INFO::Param, nullptr},
    {"ISWAIT", nullptr, &LAUNCH_INFO::IsWait},
};

// Starts `program` with the command line "program parameters" (no quotes
// added, the blank there even without parameters) in the program's folder,
// then waits. False when there is no folder part, the start fails or the
// wait fails.
bool LaunchProgram(const TextString& program, const TextString& parameters, bool waitForExit) {
  TextString directory;
  if (!DirectoryOfPath(program.Text(), directory) || directory.Length() == 0) return false;
  TextString commandLine = program.Concat(" ");
  commandLine.Append(parameters);
  if (commandLine.Length() != program.Length() + 1 + parameters.Length()) return false;  // no memory
  // Unquoted, a path with blanks lets the platform try each blank-cut prefix
  // first, so a planted C:\Program.exe would run in place of
  // C:\Program Files\App\setup.exe. When the item names an existing file,
  // that file is named outright; the command line stays as it was.
  const char* application = os::IsExistingFile(program.Text()) ? program.Text() : nullptr;
  return os::RunProgram(application, commandLine.Text(), directory.Text(),
                        waitForExit ? os::WaitFor::Exit : os::WaitFor::InputIdle);
}

}  // namespace

PROC_INFO* ParseLaunch(const char* section) {
  return ParseRecord(section, "LAUNCH_INFO", Keys);
}

bool ExecuteLaunch(PROC_INFO* record) {
  LAUNCH_INFO* launch = static_cast<LAUNCH_INFO*>(record);
  int32_t count = CountPositions(*launch, launch->File, "FILE");
  if (count == 0) return false;
  for (int32_t i = 0; i < count; ++i) {
    TextString program = ListItem(launch->File, i);
    TextString parameters = ListItem(launch->Param, i);
    if (!LaunchProgram(program, parameters, launch->IsWait != 0)) {
      ShowError(MsgLaunchFailed, program.Text(), parameters.Text());
      return false;
    }
  }
  launch->Result = true;
  return true;
}
