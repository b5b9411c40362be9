#include "output.h"

#include <cctype>
#include <map>

#include <nlohmann/json.hpp>

#include "os/console_text.h"
#include "res/version.h"

namespace check {
namespace {

// Keys stay in the order written, as SARIF examples show them.
using json = nlohmann::ordered_json;

Totals Count(const std::vector<ScriptFindings>& scripts, bool warningsAreErrors) {
  Totals totals;
  for (const ScriptFindings& script : scripts)
    for (const Diagnostic& problem : script.Problems)
      ++(TellsAsError(problem, warningsAreErrors) ? totals.Errors : totals.Warnings);
  return totals;
}

std::string Plural(int count, const char* word) {
  return std::to_string(count) + " " + word + (count == 1 ? "" : "s");
}

// A file path as a URI reference: separators as "/", an absolute path as a
// file: URI, and every byte but the unreserved ones percent-encoded.
std::string UriOf(const std::string& nativePath) {
  std::string path = console::Utf8FromNative(nativePath);
  for (char& c : path)
    if (c == '\\') c = '/';
  std::string uri;
  bool drive = path.size() >= 2 && path[1] == ':' && isalpha(static_cast<unsigned char>(path[0]));
  if (drive) uri = "file:///" + path.substr(0, 2), path.erase(0, 2);
  else if (!path.empty() && path[0] == '/') uri = "file://";
  static const char digits[] = "0123456789ABCDEF";
  for (unsigned char c : path) {
    if (isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || c == '/') {
      uri += static_cast<char>(c);
    } else {
      uri += '%';
      uri += digits[c >> 4];
      uri += digits[c & 15];
    }
  }
  return uri;
}

// A text on its output line: a control character that came in with the
// script (a lone carriage return in a value) as its picture (U+2400 on),
// which no reader of the lines takes for the end of one.
std::string Printable(const std::string& text) {
  std::string line;
  for (char c : text) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 || c == '\t') {
      line += c;
    } else {
      line += "\xE2\x90";
      line += static_cast<char>(0x80 + byte);
    }
  }
  return line;
}

json LocationOf(const std::string& uri, int line) {
  return {{"physicalLocation",
           {{"artifactLocation", {{"uri", uri}}}, {"region", {{"startLine", line}}}}}};
}

}  // namespace

bool TellsAsError(const Diagnostic& problem, bool warningsAreErrors) {
  return problem.Error || warningsAreErrors;
}

std::string TextOutput(const std::vector<ScriptFindings>& scripts, bool warningsAreErrors) {
  std::string out;
  for (const ScriptFindings& script : scripts) {
    const std::string path = console::Utf8FromNative(script.Path);
    for (const Diagnostic& problem : script.Problems) {
      out += path + ":" + std::to_string(problem.Line) + ": " +
             (TellsAsError(problem, warningsAreErrors) ? "error: " : "warning: ") +
             Printable(problem.Text);
      if (!problem.Error) out += " [-W" + problem.Name + "]";
      out += "\n";
      for (const auto& note : problem.Notes)
        out += path + ":" + std::to_string(note.first) + ": note: " + Printable(note.second) + "\n";
    }
  }
  Totals totals = Count(scripts, warningsAreErrors);
  out += Plural(totals.Errors, "error") + " and " + Plural(totals.Warnings, "warning") + " in " +
         Plural(static_cast<int>(scripts.size()), "script") + "\n";
  return out;
}

std::string SarifOutput(const std::vector<ScriptFindings>& scripts, bool warningsAreErrors) {
  json rules = json::array();
  std::map<std::string, size_t> ruleIndex;
  json results = json::array();
  json notifications = json::array();
  for (const ScriptFindings& script : scripts) {
    const std::string uri = UriOf(script.Path);
    if (!script.Unreadable.empty()) {
      notifications.push_back(
          {{"level", "error"},
           {"message", {{"text", "cannot read the script: " + script.Unreadable}}},
           {"locations", {{{"physicalLocation", {{"artifactLocation", {{"uri", uri}}}}}}}}});
      continue;
    }
    for (const Diagnostic& problem : script.Problems) {
      auto rule = ruleIndex.find(problem.Name);
      if (rule == ruleIndex.end()) {
        rule = ruleIndex.emplace(problem.Name, rules.size()).first;
        rules.push_back({{"id", problem.Name},
                         {"defaultConfiguration",
                          {{"level", problem.Error ? "error" : "warning"}}}});
      }
      json result = {{"ruleId", problem.Name},
                     {"ruleIndex", rule->second},
                     {"level", TellsAsError(problem, warningsAreErrors) ? "error" : "warning"},
                     {"message", {{"text", problem.Text}}},
                     {"locations", {LocationOf(uri, problem.Line)}}};
      for (const auto& note : problem.Notes) {
        json related = LocationOf(uri, note.first);
        related["id"] = result["relatedLocations"].size();
        related["message"] = {{"text", note.second}};
        result["relatedLocations"].push_back(related);
      }
      results.push_back(result);
    }
  }
  json invocation = {{"executionSuccessful", notifications.empty()}};
  if (!notifications.empty()) invocation["toolExecutionNotifications"] = notifications;
  json log = {{"$schema", "https://json.schemastore.org/sarif-2.1.0.json"},
              {"version", "2.1.0"},
              {"runs",
               {{{"tool",
                  {{"driver",
                    {{"name", "updater-check"},
                     {"version", UPDATER_VERSION_TEXT},
                     {"rules", rules}}}}},
                 {"invocations", {invocation}},
                 {"results", results}}}}};
  // Text that is not UTF-8 cannot reach here, but it must never throw.
  return log.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

}  // namespace check
