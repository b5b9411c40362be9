#include "symbols/expansion.h"

#include "symbols/symbol_table.h"
#include "symbols/system_queries.h"

namespace {

// The App Paths entry that the braced group `group` asks for, or false when
// it asks for none or the registry has none. A PATH value loses its trailing
// backslashes first and its trailing semicolons after them.
bool ResolveAppPath(TextString group, TextString& path) {
  group.Trim("{", "}");
  TextString head = group.Item(0, "\\");
  TextString program = group.Item(1, "\\");
  if (head.Equals("?App")) return LookupAppPath(program.Text(), path, true);
  if (!head.Equals("?AppPath") || !LookupAppPath(program.Text(), path, false)) return false;
  path.Trim("", "\\");
  path.Trim("", ";");
  return true;
}

}  // namespace

bool ExpandValue(TextString& value) {
  // Every stage runs, whatever the ones before it did.
  bool symbols = ExpandSymbols(value);
  bool appPaths = ExpandAppPaths(value);
  bool parents = CollapseParentDirs(value);
  return symbols || appPaths || parents;
}

bool ExpandSymbols(TextString& value) {
  int32_t steps = value.GroupCount("<", ">");
  bool changed = false;
  int32_t index = 0;
  for (int32_t step = 0; step < steps; ++step) {
    // A replacement may leave fewer groups than steps; then there is no
    // group at `index` and nothing to look up.
    TextString name = value.Group(index, "<", ">");
    TextString symbol;
    if (name.Length() > 0 && LookupSymbol(name.Text(), symbol)) {
      // The index stays: what the value brought in is examined next.
      value.ReplaceGroup(index, "<", ">", symbol.Text());
      changed = true;
    } else {
      ++index;
    }
  }
  return changed;
}

bool ExpandAppPaths(TextString& value) {
  int32_t steps = value.GroupCount("{", "}");
  bool changed = false;
  int32_t index = 0;
  for (int32_t step = 0; step < steps; ++step) {
    TextString path;
    if (ResolveAppPath(value.Group(index, "{", "}"), path)) {
      value.ReplaceGroup(index, "{", "}", path.Text());
      changed = true;
    } else {
      ++index;
    }
  }
  return changed;
}

bool CollapseParentDirs(TextString& value) {
  if (value.CountOf("\\..") == 0) return false;
  int32_t steps = value.ItemCount("\\") - 2;
  bool changed = false;
  // `item` is the item examined, `keep` the one two before it, which
  // survives when `item` is "..": the first item is never removed.
  int32_t item = 2;
  int32_t keep = 0;
  for (int32_t step = 0; step < steps; ++step) {
    if (value.Item(item, "\\").Equals("..")) {
      TextString kept = value.Item(keep, "\\");
      value.ReplaceItems(keep, item, "\\", kept.Text());
      changed = true;
      --item;
      // Taking out the second item ends the pass.
      if (--keep < 0) break;
    } else {
      ++item;
      ++keep;
    }
  }
  return changed;
}
