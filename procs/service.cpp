// SERVICE: stops (ACTION STOP) or starts (ACTION START) each service of
// NAME, in order, and waits until it is there, TIMEOUT seconds at most for
// each (30 when the key is missing or empty). A stop waits until the
// service has stopped and its own process has ended, so that the files of
// its program can be replaced next. A service already where it is asked to
// go is left as it is, and so is one that a stop finds not installed (a
// first install); the first service that cannot be brought there (not
// installed for a start, refused, stopped again while starting, or not
// there in time) is reported and ends the run. An ACTION or TIMEOUT that
// is none of its words or numbers is reported when the procedure runs,
// like a bad TYPE. In a run that can be undone, each service that the
// procedure will change is recorded first (one flush for the procedure).
#include "procs/service.h"

#include "base/report.h"
#include "base/run_events.h"
#include "os/basics.h"
#include "procs/comma_lists.h"
#include "procs/journal.h"
#include "procs/proc_list.h"
#include "procs/proc_record.h"

// This kind's description, at the end of the file.
extern const ProcKind ServiceKind;

namespace services {
namespace {

// The pause between two looks at a pending service: a tenth of the time
// it says its change may take, within these bounds.
constexpr uint32_t ShortestPause = 50;
constexpr uint32_t LongestPause = 1000;

os::ServiceState Wanted(Change change) {
  return change == Change::Stop ? os::ServiceState::Stopped : os::ServiceState::Running;
}
os::ServiceState OnItsWay(Change change) {
  return change == Change::Stop ? os::ServiceState::StopPending : os::ServiceState::StartPending;
}

// Looks at the service until it is in state `wanted`, at most until
// `limit` milliseconds after `since`.
bool AwaitState(os::ServiceHandle service, os::ServiceState wanted, uint32_t since,
                uint32_t limit) {
  for (;;) {
    os::ServiceStatus status;
    if (!os::QueryService(service, status)) return false;
    if (status.State == wanted) return true;
    if (wanted == os::ServiceState::Running && status.State == os::ServiceState::Stopped) {
      os::KeepFailure(status.ExitCode ? status.ExitCode : os::service_error::NotActive);
      return false;
    }
    uint32_t spent = os::Milliseconds() - since;
    if (spent >= limit) {
      os::KeepFailure(os::service_error::RequestTimeout);
      return false;
    }
    uint32_t pause = status.WaitHint / 10;
    if (pause < ShortestPause) pause = ShortestPause;
    if (pause > LongestPause) pause = LongestPause;
    os::PauseRun(pause < limit - spent ? pause : limit - spent);
  }
}

}  // namespace

bool WouldChange(os::ServiceManagerHandle manager, const char* name, Change change) {
  os::OwnedService service;
  os::ServiceStatus status;
  return os::OpenNamedService(manager, name, service.Receive()) == os::ServiceOpening::Opened &&
         os::QueryService(service.Get(), status) && status.State != Wanted(change) &&
         status.State != OnItsWay(change);
}

Brought Bring(os::ServiceManagerHandle manager, const char* name, Change change, uint32_t limit,
              uint32_t& took) {
  took = 0;
  os::OwnedService service;
  switch (os::OpenNamedService(manager, name, service.Receive())) {
    case os::ServiceOpening::Opened:
      break;
    case os::ServiceOpening::Missing:
      return Brought::NotInstalled;
    case os::ServiceOpening::Failed:
      return Brought::Failed;
  }
  os::ServiceStatus status;
  if (!os::QueryService(service.Get(), status)) return Brought::Failed;
  if (status.State == Wanted(change)) return Brought::AlreadyThere;
  uint32_t since = os::Milliseconds();
  // The process is held before the stop is asked for, so that the wait is
  // for that process even once its id is given to another. One that cannot
  // be held, or hosts other services too, is waited for by the state alone.
  os::OwnedProcess process;
  if (change == Change::Stop && status.ProcessId != 0 && !status.SharesProcess)
    os::OpenServiceProcess(status.ProcessId, process.Receive());
  if (status.State != OnItsWay(change)) {
    os::ServiceAsked asked = change == Change::Stop ? os::AskServiceToStop(service.Get())
                                                    : os::AskServiceToStart(service.Get());
    if (asked == os::ServiceAsked::Failed) return Brought::Failed;
  }
  if (!AwaitState(service.Get(), Wanted(change), since, limit)) return Brought::Failed;
  if (process.IsOpen()) {
    uint32_t spent = os::Milliseconds() - since;
    switch (os::WaitForProcessEnd(process.Get(), spent < limit ? limit - spent : 0)) {
      case os::ProcessWait::Ended:
        break;
      case os::ProcessWait::TimedOut:
        os::KeepFailure(os::service_error::RequestTimeout);
        return Brought::Failed;
      case os::ProcessWait::Failed:
        return Brought::Failed;
    }
  }
  took = os::Milliseconds() - since;
  return Brought::Changed;
}

}  // namespace services

namespace {

struct SERVICE_INFO : PROC_INFO {
  TextString Services;  // NAME: service names (not display names), separated by ","
  TextString Action;   // STOP or START
  TextString Timeout;  // seconds for each service
  bool TimeoutWritten = false;  // left out: the default
};

// ACTION's words, in the order of services::Change.
const char* const Actions[] = {"STOP", "START"};
constexpr uint32_t DefaultSeconds = 30;

const RecordKey<SERVICE_INFO> Keys[] = {
    {DescribeKey("NAME", KeyRole::Leading, ValueForm::Text), &SERVICE_INFO::Services, nullptr},
    {DescribeKey("ACTION", KeyRole::Single, ValueForm::Word, PathUse::None, Actions),
     &SERVICE_INFO::Action, nullptr},
    {DescribeKey("TIMEOUT", KeyRole::Optional, ValueForm::Seconds), &SERVICE_INFO::Timeout,
     nullptr, &SERVICE_INFO::TimeoutWritten},
};

// TIMEOUT's seconds: digits only, within the bounds; the default where the
// key is left out (written empty, it is no number).
bool SecondsOf(const TextString& text, bool written, uint32_t& seconds) {
  seconds = written ? 0 : DefaultSeconds;
  if (!written) return true;
  if (text.Length() > 4) return false;
  for (const char* at = text.Text(); *at; ++at) {
    if (*at < '0' || *at > '9') return false;
    seconds = seconds * 10 + static_cast<uint32_t>(*at - '0');
  }
  return seconds >= static_cast<uint32_t>(LeastSeconds) &&
         seconds <= static_cast<uint32_t>(MostSeconds);
}

}  // namespace

static PROC_INFO* ParseService(const char* section) {
  return ParseRecord(section, ServiceKind, Keys);
}

static bool ExecuteService(PROC_INFO* record) {
  SERVICE_INFO* procedure = static_cast<SERVICE_INFO*>(record);
  int32_t count = CountPositions(*procedure, procedure->Services, "NAME");
  if (count == 0) return false;
  bool stop = procedure->Action.Equals(Actions[0]);
  if (!stop && !procedure->Action.Equals(Actions[1])) {
    ShowError(MsgBadSymbol, procedure->Action.Text());
    return false;
  }
  uint32_t seconds = 0;
  if (!SecondsOf(procedure->Timeout, procedure->TimeoutWritten, seconds)) {
    ShowError(MsgBadSymbol, procedure->Timeout.Text());
    return false;
  }
  services::Change change = stop ? services::Change::Stop : services::Change::Start;
  FileAction done = stop ? FileAction::ServiceStopped : FileAction::ServiceStarted;
  MessageId failed = stop ? MsgServiceStopFailed : MsgServiceStartFailed;
  os::OwnedServiceManager manager;
  if (!os::OpenServiceManager(manager.Receive())) {
    ShowError(failed, ListItem(procedure->Services, 0).Text());
    return false;
  }
  if (journal::Active()) {
    for (int32_t i = 0; i < count; ++i) {
      TextString name = ListItem(procedure->Services, i);
      if (services::WouldChange(manager.Get(), name.Text(), change) &&
          !journal::PlanService(name.Text(), stop, seconds))
        return false;
    }
    if (!journal::Commit()) return false;
  }
  for (int32_t i = 0; i < count; ++i) {
    TextString name = ListItem(procedure->Services, i);
    if (!StartingAction(done, name.Text())) return false;
    uint32_t took = 0;
    switch (services::Bring(manager.Get(), name.Text(), change, seconds * 1000, took)) {
      case services::Brought::Changed:
        ReportFileAction(done, name.Text(), "", took);
        continue;
      case services::Brought::AlreadyThere:
        ReportFileAction(FileAction::ServiceLeft, name.Text(),
                         stop ? "already stopped" : "already running");
        continue;
      case services::Brought::NotInstalled:
        if (!stop) break;  // what is not there cannot be started
        ReportFileAction(FileAction::ServiceLeft, name.Text(), "not installed");
        continue;
      case services::Brought::Failed:
        break;
    }
    ShowError(failed, name.Text());
    return false;
  }
  procedure->Result = true;
  return true;
}

extern const ProcKind ServiceKind = {
    "SERVICE", "SERVICE_INFO", Keys, 0, ParseService, ExecuteService};
