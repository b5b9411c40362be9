// MSGBOX: shows a notice, a warning or a yes/no question, optionally only
// when an earlier procedure of the same list left a given result. The answer
// becomes this procedure's Result, and ISABORT decides whether it silently
// ends the run.
#include "procs/proc_list.h"

#include "base/report.h"
#include "os/ui.h"
#include "procs/proc_record.h"

// This kind's description, at the end of the file.
extern const ProcKind MsgBoxKind;

namespace {

struct MSGBOX_INFO : PROC_INFO {
  TextString Flag;     // "name,number": show only when name's Result is number
  TextString Type;     // ERROR, INFORMATION, WARNING or QUESTION
  TextString Text;     // "%n" is a line break, "%t" a tab
  TextString IsAbort;  // "ok/yes,cancel/no": a number other than 0 ends the run
  TextString Answer;   // optional: YES or NO, a yes/no box's answer when unattended
};

// Each type's word, with its style.
const WordValue BoxTypes[] = {
    {"ERROR", os::box::Ok | os::box::IconError},
    {"INFORMATION", os::box::Ok | os::box::IconInformation},
    {"WARNING", os::box::YesNo | os::box::IconWarning | os::box::DefaultButton2},
    {"QUESTION", os::box::YesNo | os::box::IconQuestion},
};

// ANSWER's words, in this order.
const char* const AnswerWords[] = {"YES", "NO"};

const RecordKey<MSGBOX_INFO> Keys[] = {
    {DescribeKey("FLAG", KeyRole::Single, ValueForm::Condition), &MSGBOX_INFO::Flag, nullptr},
    {DescribeKey("TYPE", KeyRole::Single, ValueForm::Word, PathUse::None, BoxTypes),
     &MSGBOX_INFO::Type, nullptr},
    {DescribeKey("TEXT", KeyRole::Single, ValueForm::Text), &MSGBOX_INFO::Text, nullptr},
    {DescribeKey("ISABORT", KeyRole::Single, ValueForm::AbortNumbers),
     &MSGBOX_INFO::IsAbort, nullptr},
    {DescribeKey("ANSWER", KeyRole::Optional, ValueForm::Word, PathUse::None, AnswerWords),
     &MSGBOX_INFO::Answer, nullptr},
};

// A yes/no box's default button.
int DefaultAnswer(uint32_t style) {
  return (style & os::box::DefaultButton2) ? os::box::IdNo : os::box::IdYes;
}

// The answer an unattended run takes: for a yes/no box ANSWER's YES or NO,
// else the button the box has as its default; OK for the others.
int UnattendedAnswer(const MSGBOX_INFO& box, uint32_t style) {
  if ((style & os::box::ButtonsMask) != os::box::YesNo) return os::box::IdOk;
  if (box.Answer.Equals(AnswerWords[0])) return os::box::IdYes;
  if (box.Answer.Equals(AnswerWords[1])) return os::box::IdNo;
  return DefaultAnswer(style);
}

// The box type that `word` names (ASCII case ignored), or null.
const WordValue* BoxTypeOf(const TextString& word) {
  for (const WordValue& candidate : BoxTypes)
    if (word.Equals(candidate.Word)) return &candidate;
  return nullptr;
}

}  // namespace

static PROC_INFO* ParseMsgBox(const char* section) {
  return ParseRecord(section, MsgBoxKind, Keys);
}

static bool ExecuteMsgBox(PROC_INFO* record) {
  MSGBOX_INFO* box = static_cast<MSGBOX_INFO*>(record);

  if (box->Flag.ItemCount(",") >= 2) {
    TextString name = box->Flag.Item(0, ",");
    name.Trim(" ");
    PROC_INFO* condition = FindProc(TopProcList(), name.Text());
    if (!condition) {
      ShowError(MsgBadSymbol, box->Flag.Text());
      return false;
    }
    if (box->Flag.Item(1, ",").ToInt() != (condition->Result ? 1 : 0)) return true;
  }

  const WordValue* type = BoxTypeOf(box->Type);
  if (!type) {
    ShowError(MsgBadSymbol, box->Type.Text());
    return false;
  }

  box->Text.ReplaceAll("%n", "\n");
  box->Text.ReplaceAll("%t", "\t");
  int answer = ShowBox(box->Text.Text(), type->Value, UnattendedAnswer(*box, type->Value));

  int abortItem;
  if (answer == os::box::IdOk || answer == os::box::IdYes) {
    box->Result = true;
    abortItem = 0;
  } else if (answer == os::box::IdCancel || answer == os::box::IdNo) {
    abortItem = 1;
  } else {
    return true;  // no box could be shown
  }
  // A number other than 0 ends the run without a report: the box just
  // shown is the last thing the user sees.
  return box->IsAbort.Item(abortItem, ",").ToInt() == 0;
}

extern const ProcKind MsgBoxKind = {
    "MSGBOX", "MSGBOX_INFO", Keys, kind_effect::ShowsBox, ParseMsgBox, ExecuteMsgBox};

