// REGISTRY: sets or deletes one value of the registry. KEY names the key
// with its root; the keys of its path that are missing are made. A value
// that is not there to delete is no failure. A malformed word or number is
// reported when the procedure runs, as VERSION reports its version; a
// failure of the system ends the run (message 31, its reason in the log).
//
// Without VIEW the value goes to the system's own view of the registry,
// the 64-bit one on 64-bit Windows whatever the program's bits, which is
// where other programs and deployment tools look by default.
//
// In a run that can be undone, the value's old type and data (or its
// absence), what the run writes and each key it makes are recorded before
// the change (procs/journal.h).
#include "procs/proc_list.h"

#include <cstring>

#include "base/report.h"
#include "base/run_events.h"
#include "os/basics.h"
#include "os/registry.h"
#include "procs/journal.h"
#include "procs/proc_record.h"
#include "procs/registry_data.h"
#include "script/script_file.h"

// This kind's description, at the end of the file.
extern const ProcKind RegistryKind;

namespace {

struct REGISTRY_INFO : PROC_INFO {
  TextString Key;     // the key, its root first
  TextString ValueName;  // the value's name; empty: the key's default value
  TextString Action;  // SET (or empty) or DELETE
  TextString Type;    // SZ (or empty), EXPAND_SZ, DWORD or QWORD
  TextString View;    // empty, 64 or 32
  TextString Data;    // one value, commas and all
};

const char* const ActionWords[] = {"SET", "DELETE"};
const WordValue TypeWords[] = {
    {"SZ", os::registry_type::Sz},
    {"EXPAND_SZ", os::registry_type::ExpandSz},
    {"DWORD", os::registry_type::Dword},
    {"QWORD", os::registry_type::Qword},
};
const char* const ViewWords[] = {"64", "32"};

// DATA comes last and is read by the kind itself: it is required for SET only.
const RecordKey<REGISTRY_INFO> Keys[] = {
    {DescribeKey("KEY", KeyRole::Single, ValueForm::RegistryKey), &REGISTRY_INFO::Key, nullptr},
    {DescribeKey("NAME", KeyRole::Optional, ValueForm::Text), &REGISTRY_INFO::ValueName, nullptr},
    {DescribeKey("ACTION", KeyRole::Optional, ValueForm::Word, PathUse::None, ActionWords),
     &REGISTRY_INFO::Action, nullptr},
    {DescribeKey("TYPE", KeyRole::Optional, ValueForm::Word, PathUse::None, TypeWords),
     &REGISTRY_INFO::Type, nullptr},
    {DescribeKey("VIEW", KeyRole::Optional, ValueForm::Word, PathUse::None, ViewWords),
     &REGISTRY_INFO::View, nullptr},
    {DescribeKey("DATA", KeyRole::Single, ValueForm::RegistryData), &REGISTRY_INFO::Data,
     nullptr},
};
constexpr int KeyCount = sizeof Keys / sizeof Keys[0];

constexpr uint32_t NotFound = 2;  // the system's code for a key that is not there

// What a procedure asks, its words read: false after message 6.
struct Request {
  registry::Place Place;
  bool Delete = false;
  registry::Value Written;  // what SET writes
};

bool Malformed(const TextString& word) {
  ShowError(MsgBadSymbol, word.Text());
  return false;
}

bool ReadRequest(const REGISTRY_INFO& info, Request& request) {
  if (!registry::ParseKey(info.Key, request.Place)) return Malformed(info.Key);
  if (info.Action.Length() > 0 && !info.Action.Equals(ActionWords[0])) {
    if (!info.Action.Equals(ActionWords[1])) return Malformed(info.Action);
    request.Delete = true;
  }
  const WordValue* type = &TypeWords[0];
  if (info.Type.Length() > 0) {
    type = nullptr;
    for (const WordValue& each : TypeWords)
      if (info.Type.Equals(each.Word)) type = &each;
    if (!type) return Malformed(info.Type);
  }
  if (!registry::ParseView(info.View, request.Place.View)) return Malformed(info.View);
  if (request.Delete) return true;
  registry::Value& written = request.Written;
  written.Present = true;
  written.Type = type->Value;
  if (written.Type == os::registry_type::Sz || written.Type == os::registry_type::ExpandSz) {
    // The text with its zero, as the system keeps a string.
    if (!written.Data.SetBytes(info.Data.Text(), info.Data.Length() + 1)) {
      ShowError(MsgOutOfMemory, RegistryKind.ObjectName);
      return false;
    }
    return true;
  }
  int bytes = written.Type == os::registry_type::Dword ? 4 : 8;
  uint64_t number = 0;
  if (!registry::ParseNumber(info.Data, bytes, number)) return Malformed(info.Data);
  uint32_t low = static_cast<uint32_t>(number);
  if (!(bytes == 4 ? written.Data.SetBytes(&low, 4) : written.Data.SetBytes(&number, 8))) {
    ShowError(MsgOutOfMemory, RegistryKind.ObjectName);
    return false;
  }
  return true;
}

// A failure of the system: message 31, its reason in the log.
bool Failed(const REGISTRY_INFO& info) {
  ShowError(MsgRegistryFailed, info.Key.Text(), info.ValueName.Text());
  return false;
}

// The keys of the path from the first missing one on, outermost first, as
// paths below the root, "\n" after each.
TextString MissingKeys(const registry::Place& place) {
  TextString missing;
  int32_t levels = place.Path.ItemCount("\\");
  for (int32_t level = levels - 1; level >= 0; --level) {
    TextString path = place.Path.Items(0, level, "\\");
    os::OwnedKey key;
    if (os::RegistryOpen(place.Root, path.Text(), os::KeyRead | place.View, key.Receive()) ||
        os::LastFailure() != NotFound)
      break;
    missing = path.Append("\n").Append(missing);
  }
  return missing;
}

// Makes the keys the plan found missing, and opens the value's key.
bool MakeKeys(const REGISTRY_INFO& info, const registry::Place& place, const TextString& missing,
              os::OwnedKey& key) {
  int32_t count = missing.ItemCount("\n") - 1;
  for (int32_t i = 0; i < count; ++i) {
    registry::Place made = place;
    made.Path = missing.Item(i, "\n");
    switch (os::RegistryCreate(made.Root, made.Path.Text(), os::KeyChange | place.View,
                               key.Receive())) {
      case os::KeyOpening::Made:
        ReportFileAction(FileAction::RegistryKeyMade, made.Text().Text());
        break;
      case os::KeyOpening::Opened:
        break;
      case os::KeyOpening::Failed:
        return Failed(info);
    }
  }
  return key.IsOpen() ||
         os::RegistryCreate(place.Root, place.Path.Text(), os::KeyChange | place.View,
                            key.Receive()) != os::KeyOpening::Failed ||
         Failed(info);
}

// The change, planned, recorded and made; false after its report.
bool Change(const REGISTRY_INFO& info, const Request& request) {
  const registry::Place& place = request.Place;
  os::OwnedKey key;
  registry::Value old;
  TextString missing;
  if (os::RegistryOpen(place.Root, place.Path.Text(), os::KeyChange | place.View,
                       key.Receive())) {
    if (!registry::Read(key.Get(), info.ValueName.Text(), old)) return Failed(info);
  } else if (os::LastFailure() != NotFound) {
    return Failed(info);
  } else if (!request.Delete) {
    missing = MissingKeys(place);
  }
  TextString shown = registry::ValueText(place, info.ValueName);
  TextString was = TextString("(was ").Append(registry::Describe(old)).Append(")");
  if (request.Delete && !old.Present) {
    ReportFileAction(FileAction::RegistryDeleted, shown.Text(), "absent");
    return true;
  }
  int32_t count = missing.ItemCount("\n") - 1;
  for (int32_t i = 0; i < count; ++i) {
    registry::Place made = place;
    made.Path = missing.Item(i, "\n");
    if (!journal::PlanRegistryKey(made)) return false;
  }
  if (!journal::PlanRegistryValue(place, info.ValueName.Text(), old, request.Written) ||
      !journal::Commit())
    return false;
  if (request.Delete) {
    if (!StartingAction(FileAction::RegistryDeleted, shown.Text())) return false;
    if (os::RegistryDeleteValue(key.Get(), info.ValueName.Text()) == os::ValueFound::Failed)
      return Failed(info);
    ReportFileAction(FileAction::RegistryDeleted, shown.Text(), registry::Describe(old).Text());
    return true;
  }
  if (!StartingAction(FileAction::RegistrySet, shown.Text())) return false;
  if (!key.IsOpen() && !MakeKeys(info, place, missing, key)) return false;
  const registry::Value& written = request.Written;
  if (!os::RegistrySet(key.Get(), info.ValueName.Text(), written.Type, written.Data.Data(),
                       static_cast<uint32_t>(written.Data.Size)))
    return Failed(info);
  TextString told = registry::Describe(written).Append(" ").Append(was);
  ReportFileAction(FileAction::RegistrySet, shown.Text(), told.Text());
  return true;
}

}  // namespace

static PROC_INFO* ParseRegistry(const char* section) {
  PROC_INFO* record = ParseRecordKeys<REGISTRY_INFO>(section, RegistryKind, Keys, KeyCount - 1);
  if (!record) return nullptr;
  REGISTRY_INFO* info = static_cast<REGISTRY_INFO*>(record);
  const char* data = Keys[KeyCount - 1].About.Key;
  // A deletion needs no data; anything else does.
  if (info->Action.Equals(ActionWords[1])) {
    ReadOptionalValue(section, data, info->Data);
  } else if (!ReadValue(section, data, info->Data)) {
    delete record;
    return nullptr;
  }
  return record;
}

static bool ExecuteRegistry(PROC_INFO* record) {
  REGISTRY_INFO* info = static_cast<REGISTRY_INFO*>(record);
  Request request;
  if (!ReadRequest(*info, request) || !Change(*info, request)) return false;
  info->Result = true;
  return true;
}

extern const ProcKind RegistryKind = {"REGISTRY", "REGISTRY_INFO", Keys, 0, ParseRegistry,
                                      ExecuteRegistry};
