// The machine the script checker runs the updater's own code on.
//
// Its OS seam (os_check.cpp) serves the script from a parsed text, answers
// the system queries with stand-in paths, finds no registry entry and no
// file but the script, lets every file operation succeed without touching
// anything (except on an empty path, which the system always refuses), and
// shows no box. What the updater's code asked of it is kept here for the
// checker to read: every read of the script, every error report with its
// arguments (told by the run's observer, report_keeper.cpp), every App Paths
// lookup, every shortcut path.
#pragma once

#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "os/profile_file.h"

namespace check {

// One read of the script through the profile functions.
struct ScriptRead {
  std::string Section;
  std::string Key;                // empty for a whole-section read
  const profile::Entry* Entry;    // the line read; null when the key is absent
  std::string Served;             // what the reader's buffer received
  bool Cut;                       // the value did not fit that buffer
  size_t LinesTaken;              // section reads: the lines that fitted
};

// An error report as the updater would show it.
struct Report {
  unsigned Id;
  std::vector<std::string> Arguments;  // in the order of the text's placeholders
  std::string Text;                    // UTF-8, as the box would show it
  size_t ReadsBefore;                  // how many reads had been made by then
};

struct AppPathLookup {
  std::string Program;
  size_t ReadsBefore;  // the value being expanded came from the last of these
};

// What a world does with what the updater's code asks of it, chosen when
// the world is made.
enum class WorldKind {
  Recording,     // a script's check: every read, lookup and shortcut path is kept
  Quiet,         // the checker's own expansions: nothing is kept
  ReadingFiles,  // the files a command or the folder that ships gives are read
};

struct World {
  explicit World(WorldKind kind = WorldKind::Recording) : Kind(kind) {}
  WorldKind Kind;

  // What the seam serves.
  profile::ProfileText Script;
  std::string ModuleDirectory;  // the program is ModuleDirectory\updater.exe
  std::string WindowsDirectory;
  std::string TempDirectory;
  std::string SystemDirectory;
  std::map<int, std::string> Folders;  // by CSIDL
  std::set<void*> OpenFiles;  // ReadingFiles: the files it has open, as FILE*
  // While a procedure that reads files runs: each folder it lists holds one
  // stand-in file that its pattern matches, so that a copy of a folder's
  // files goes on as where the folder holds one.
  bool ListsStandIns = false;
  // Keys read as another key written near them: the written key, by the
  // lower-cased section and key asked, joined by a line feed.
  std::map<std::string, std::string> TakenAs;

  // What the seam saw.
  std::vector<ScriptRead> Reads;
  std::vector<Report> Reports;
  std::vector<AppPathLookup> AppPathLookups;
  std::vector<std::string> LinkPaths;
  std::string Journal;  // the run's journal, where it has one

  std::string ModulePath() const;
  std::string ScriptPath() const;  // where the program looks for its script
};

// The world the seam serves now: the script's, made by NewWorld, unless
// one of these puts another in its place while it lives.
World& TheWorld();
class InWorld {
 public:
  explicit InWorld(World& world);
  ~InWorld();
  InWorld(const InWorld&) = delete;
  InWorld& operator=(const InWorld&) = delete;

 private:
  World* outer_;
};
// A fresh world serving `scriptText`, with the stand-in answers (os_check.cpp).
void NewWorld(const std::string& scriptText);
// NewWorld, with the run's error reports kept in it as the run makes them
// (report_keeper.cpp): the world the checker runs a script in.
void ResetWorld(const std::string& scriptText);

}  // namespace check
