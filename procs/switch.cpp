// SWITCH: the script's branch. Looks up the procedure named by PROC in its
// own list and runs the list of key 1 when that procedure's Result is true,
// the list of key 0 otherwise. The chosen list is built, pushed, run and
// freed only now, so only the chosen branch is ever read. A SWITCH's own
// Result stays false.
#include "procs/switch.h"

#include "base/report.h"
#include "procs/proc_list.h"
#include "procs/proc_record.h"

// This kind's description, at the end of the file.
extern const ProcKind SwitchKind;

namespace {

struct SWITCH_INFO : PROC_INFO {
  TextString Proc;  // the procedure whose Result decides; blanks around it ignored
  TextString Zero;  // list run when that Result is false
  TextString One;   // list run when it is true
};

const RecordKey<SWITCH_INFO> Keys[] = {
    {DescribeKey("PROC", KeyRole::Single, ValueForm::ProcName), &SWITCH_INFO::Proc, nullptr},
    {DescribeKey("0", KeyRole::Single, ValueForm::ProcList), &SWITCH_INFO::Zero, nullptr},
    {DescribeKey("1", KeyRole::Single, ValueForm::ProcList), &SWITCH_INFO::One, nullptr},
};

// The most lists that may be live at once, the top-level list included. A
// branch that leads back to its own SWITCH would otherwise nest until the
// stack overflows; no honest script nests anywhere near this deep. Each
// level costs only a few small frames, well within the thread's stack.
constexpr int32_t MaxLiveLists = 256;

}  // namespace

static PROC_INFO* ParseSwitch(const char* section) {
  return ParseRecord(section, SwitchKind, Keys);
}

PROC_INFO* SwitchDecider(PROC_INFO* record) {
  const SWITCH_INFO* branch = static_cast<const SWITCH_INFO*>(record);
  TextString name = branch->Proc;
  name.Trim(" ");
  PROC_INFO* decider = FindProc(TopProcList(), name.Text());
  if (!decider) ShowError(MsgBadSymbol, branch->Proc.Text());
  return decider;
}

const TextString& SwitchBranch(const PROC_INFO* record, bool result) {
  const SWITCH_INFO* branch = static_cast<const SWITCH_INFO*>(record);
  return result ? branch->One : branch->Zero;
}

bool ExecuteSwitch(PROC_INFO* record) {
  SWITCH_INFO* branch = static_cast<SWITCH_INFO*>(record);
  PROC_INFO* decider = SwitchDecider(record);
  if (!decider) return false;
  const TextString& chosen = SwitchBranch(record, decider->Result);
  int32_t count = chosen.ItemCount(",");
  if (count == 0) return true;
  if (ProcListArray.Count >= MaxLiveLists) {
    // Named by its section: that is where the script leads back into itself.
    ShowError(MsgBadSymbol, branch->Name.Text());
    return false;
  }
  if (!BuildProcList(chosen, count)) return false;
  // On a failure the nested list stays on the stack for the final clean-up.
  if (!RunProcList(TopProcList())) return false;
  FreeProcList(TopProcList());
  return true;
}

extern const ProcKind SwitchKind = {
    "SWITCH", "SWITCH_INFO", Keys, kind_effect::Branches, ParseSwitch, ExecuteSwitch};
