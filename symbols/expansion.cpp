#include "symbols/expansion.h"

#include "symbols/symbol_table.h"
#include "symbols/system_queries.h"

namespace {

// The App Paths entry that the braced group `group` asks for, or false when
// it asks for none or the registry has none. A PATH value loses its trailing
// backslashes first and its trailing semicolons after them.
bool ResolveAppPath(const TextString& braced, TextString& path) {
  TextString group(braced);
  group.Trim("{", "}");
  TextString head = group.Item(0, "\\");
  TextString program = group.Item(1, "\\");
  if (head.Equals("?App")) return LookupAppPath(program.Text(), path, true);
  if (!head.Equals("?AppPath") || !LookupAppPath(program.Text(), path, false)) return false;
  path.Trim("", "\\");
  path.Trim("", ";");
  return true;
}

// Symbols that hold each other more than once grow a value exponentially
// (twenty such DEFINE lines make megabytes); a group whose replacement would
// take the value past this stays as written. No honest path comes near it.
constexpr int32_t MaxExpandedLength = 32768;

// A bracketed group's replacement, or false to leave it as written.
using GroupResolver = bool (*)(const TextString& group, TextString& text);

bool ResolveSymbol(const TextString& group, TextString& text) {
  // A replacement may leave fewer groups than steps; then there is no group
  // at the index and nothing to look up.
  return group.Length() > 0 && LookupSymbol(group.Text(), text);
}

// Both group stages take as many steps as the value had complete groups at
// the start. A resolved group is replaced and the index stays, so that what
// the replacement brought in is examined next and counts against the steps;
// an unresolved one stays as written and the index moves on.
bool ReplaceGroupsInSteps(TextString& value, const char* open, const char* close,
                          GroupResolver resolve) {
  int32_t steps = value.GroupCount(open, close);
  bool changed = false;
  int32_t index = 0;
  for (int32_t step = 0; step < steps; ++step) {
    TextString group = value.Group(index, open, close);
    TextString text;
    if (resolve(group, text) &&
        value.Length() - group.Length() + text.Length() <= MaxExpandedLength) {
      value.ReplaceGroup(index, open, close, text.Text());
      changed = true;
    } else {
      ++index;
    }
  }
  return changed;
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
  return ReplaceGroupsInSteps(value, "<", ">", ResolveSymbol);
}

bool ExpandAppPaths(TextString& value) {
  return ReplaceGroupsInSteps(value, "{", "}", ResolveAppPath);
}

bool CollapseParentDirs(TextString& value) {
  if (value.CountOf("\\..") == 0) return false;
  int32_t steps = value.ItemCount("\\") - 2;
  bool changed = false;
  // `item` is the item examined, `keep` the one two before it, which
  // survives when `item` is "..": the first item is never removed. Nor is
  // an item that holds a comma: in a comma list it is the end of one path
  // and the start of the next ("a.txt,D:"), and a ".." there stands at the
  // next path's start, which it cannot climb out of.
  int32_t item = 2;
  int32_t keep = 0;
  for (int32_t step = 0; step < steps; ++step) {
    if (value.Item(item, "\\").Equals("..") && value.Item(keep + 1, "\\").CountOf(",") == 0) {
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
