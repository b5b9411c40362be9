// REGVALUE: a test of one registry value. Its Result becomes true when the
// value is there and, where DATA is written (even empty), holds it: text
// compared without regard to ASCII letter case, numbers by value. A missing
// key or value is an answer, never a failure; a malformed KEY or VIEW is
// reported when the procedure runs, as REGISTRY reports it.
#include "procs/proc_list.h"

#include <cstring>

#include "base/report.h"
#include "os/registry.h"
#include "procs/proc_record.h"
#include "procs/registry_data.h"
#include "script/script_file.h"

// This kind's description, at the end of the file.
extern const ProcKind RegValueKind;

namespace {

struct REGVALUE_INFO : PROC_INFO {
  TextString Key;
  TextString ValueName;  // NAME: the value's name (not the section's)
  TextString View;
  TextString Data;
  bool HasData = false;  // DATA is written, even empty
};

const char* const ViewWords[] = {"64", "32"};

const RecordKey<REGVALUE_INFO> Keys[] = {
    {DescribeKey("KEY", KeyRole::Single, ValueForm::RegistryKey), &REGVALUE_INFO::Key, nullptr},
    {DescribeKey("NAME", KeyRole::Optional, ValueForm::Text), &REGVALUE_INFO::ValueName, nullptr},
    {DescribeKey("VIEW", KeyRole::Optional, ValueForm::Word, PathUse::None, ViewWords),
     &REGVALUE_INFO::View, nullptr},
    {DescribeKey("DATA", KeyRole::Optional, ValueForm::RegistryData), &REGVALUE_INFO::Data,
     nullptr, &REGVALUE_INFO::HasData},
};

// Whether `value` holds what `data` writes.
bool Holds(const registry::Value& value, const TextString& data) {
  uint64_t wanted = 0, held = 0;
  switch (value.Type) {
    case os::registry_type::Sz:
    case os::registry_type::ExpandSz: {
      // Up to its zero; a value stored without one ends with its data.
      const char* bytes = reinterpret_cast<const char*>(value.Data.Data());
      int32_t length = 0;
      while (length < value.Data.Size && bytes[length]) ++length;
      TextString text;
      if (length > 0 && text.Reserve(length + 1)) {
        memcpy(text.Buffer(), bytes, static_cast<size_t>(length));
        text.Buffer()[length] = '\0';
      }
      return text.Length() == length && text.Equals(data);
    }
    case os::registry_type::Dword:
    case os::registry_type::Qword: {
      int bytes = value.Type == os::registry_type::Dword ? 4 : 8;
      if (value.Data.Size != bytes || !registry::ParseNumber(data, bytes, wanted)) return false;
      memcpy(&held, value.Data.Data(), static_cast<size_t>(bytes));
      return held == wanted;
    }
    default:
      return false;
  }
}

}  // namespace

static PROC_INFO* ParseRegValue(const char* section) {
  return ParseRecord(section, RegValueKind, Keys);
}

static bool ExecuteRegValue(PROC_INFO* record) {
  REGVALUE_INFO* test = static_cast<REGVALUE_INFO*>(record);
  registry::Place place;
  const TextString* malformed = nullptr;
  if (!registry::ParseKey(test->Key, place)) malformed = &test->Key;
  else if (!registry::ParseView(test->View, place.View)) malformed = &test->View;
  if (malformed) {
    ShowError(MsgBadSymbol, malformed->Text());
    return false;
  }
  // Written either way: the answer is the registry's, asked afresh. A
  // value that cannot be read is not there for the test.
  registry::Value value;
  test->Result = registry::ReadAt(place, test->ValueName.Text(), value) && value.Present &&
                 (!test->HasData || Holds(value, test->Data));
  return true;
}

extern const ProcKind RegValueKind = {
    "REGVALUE", "REGVALUE_INFO", Keys, kind_effect::Tests, ParseRegValue, ExecuteRegValue};
