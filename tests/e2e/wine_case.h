// End-to-end bench: a case folder inside the Wine prefix, and runs of a
// Windows program in it through boxhelper, which reads and answers every
// message box the program shows, and reads its progress window.
//
// Failures of the bench itself (missing build output, a run that gives no
// report, a conversion that fails) are thrown as std::runtime_error, which
// gtest reports as a failure of the test with the message.
#ifndef TESTS_E2E_WINE_CASE_H
#define TESTS_E2E_WINE_CASE_H

#include <future>
#include <ostream>
#include <string>
#include <vector>

#include "wine_env.h"

namespace e2e {

// One message box as the user saw it. Texts are UTF-8. icon is one of
// "error", "information", "warning", "question", "none" ("unknown" when the
// helper could not recognise it); buttons are in screen order, by the names
// "OK", "Cancel", "Yes", "No", "Abort", "Retry", "Ignore". shot is the Unix
// path of the box's picture (a PNG) when the run took pictures, else "".
struct Box {
  std::string caption, text, icon;
  std::vector<std::string> buttons;
  std::string defaultButton, pressed;
  std::string shot;
};

// A view of the Updater's progress window as the user saw it, taken each
// time its step text was new while no box showed. Texts are UTF-8; buttons
// are their texts in screen order; pressed is "Cancel" when the bench
// pressed it at this view (WineCase::CancellingProgressAt), else "". shot
// is as Box::shot. boxesBefore is how many boxes the run had shown before.
struct ProgressSight {
  std::string caption, text;
  int bars = 0;
  std::vector<std::string> buttons;
  std::string pressed;
  std::string shot;
  size_t boxesBefore = 0;
};

struct RunResult {
  std::vector<Box> boxes;
  std::vector<ProgressSight> progress;
  int exitCode = -1;       // -1 after a timeout
  bool timedOut = false;
  // Answers that did not fit their box (the default button was pressed),
  // boxes that would not close and pictures that could not be taken.
  std::vector<std::string> warnings;
  int unanswered = 0;      // the warnings of the first two kinds
  double seconds = 0;      // wall time of the whole run
};

// The texts of the run's boxes, in order.
std::vector<std::string> Texts(const RunResult& run);

// What a run showed, boxes and views of the progress window, in the order
// seen: each an index into RunResult::boxes or RunResult::progress.
struct Shown {
  bool isBox;
  size_t index;
};
std::vector<Shown> InOrder(const RunResult& run);

// Readable forms, so that failed expectations show the whole run.
std::ostream& operator<<(std::ostream& os, const Box& box);
std::ostream& operator<<(std::ostream& os, const ProgressSight& sight);
std::ostream& operator<<(std::ostream& os, const RunResult& result);

// Why answers cannot be given to a run: the first that names no button of
// a message box (by the names of Box::buttons, in any letter case, blanks
// around it dropped; "default", or nothing, stands for the default button),
// with the names known; "" when every answer names one.
std::string UnknownAnswer(const std::vector<std::string>& answers);

// UTF-8 text in the given Windows code page (932 or 1252), through iconv.
// Note that iconv's CP932 maps both U+301C and U+FF5E to 0x8160, which
// Windows reads back as U+FF5E.
std::string ToCodePage(const std::string& utf8, int codePage);
// The script as WriteScript writes it: CRLF line ends, in the code page.
std::string ScriptBytes(const std::string& utf8Text, int codePage);
// Whether bytes are well-formed UTF-8.
bool IsUtf8(const std::string& bytes);
// The offset of the first byte that is no text of the code page (932 or
// 1252) as iconv reads it; std::string::npos when all of them are.
size_t NotCodePageTextAt(const std::string& bytes, int codePage);

class WineCase {
 public:
  // Folder C:\cases\<name> in the prefix, emptied first.
  explicit WineCase(const std::string& name);

  // Paths of rel inside the case folder; rel uses '/' or '\', "" is the
  // folder itself.
  std::string WinPath(const std::string& rel = "") const;
  std::string UnixPath(const std::string& rel = "") const;

  // Copies the build that the Wine road runs (dist/<arch>/updater.exe, or
  // the one of arch when given) to rel, creating folders, and makes it the
  // program that Run starts.
  void InstallUpdater(const std::string& rel = "updater.exe", const std::string& arch = "");
  // Copies the road's helper <tool> (e.g. "boxprobe.exe") to rel ("" keeps
  // its name) and makes it the program that Run starts.
  void InstallTool(const std::string& tool, const std::string& rel = "");

  // Writes the script in the given code page, with CRLF line ends.
  void WriteScript(const std::string& utf8Text, const std::string& rel = "updater.ini",
                   int codePage = 932);
  // Raw bytes; folders on the way are created.
  void WriteFile(const std::string& rel, const std::string& bytes);
  // A copy of the Unix file `from` with its last-write time and permissions
  // (without write permission it is read-only under Wine); folders on the
  // way are created.
  void CopyIn(const std::string& from, const std::string& rel);
  std::string ReadFile(const std::string& rel) const;
  bool Exists(const std::string& rel) const;
  void MakeDir(const std::string& rel);

  // Runs the installed program with the argument text under the code page
  // (932: LC_ALL=ja_JP.UTF-8, 1252: LC_ALL=C.UTF-8). answers are button
  // names for the boxes in order; a box past the list, or one answered
  // "default", gets its default button. An unknown answer (UnknownAnswer)
  // is thrown as std::invalid_argument before anything runs.
  RunResult Run(const std::string& argumentText = "",
                const std::vector<std::string>& answers = {}, int codePage = 932,
                int timeoutSeconds = 20);
  // The same for another program in the case folder.
  RunResult RunProgram(const std::string& rel, const std::string& argumentText = "",
                       const std::vector<std::string>& answers = {}, int codePage = 932,
                       int timeoutSeconds = 20);

  const std::string& Name() const { return name_; }

  // Later runs start with no X display at all, as a system account's.
  void WithoutDisplay() { display_ = false; }
  // Later runs save a picture of each box, as the screen shows it, beside
  // their report (Box::shot).
  void WithShots() { shots_ = true; }
  // In later runs, what the program started and left running (a LAUNCH
  // that does not wait) ends when the program ends.
  void EndingWhatItStarts() { endStarted_ = true; }
  // In later runs, Cancel is pressed in the progress window once, at the
  // first view whose step text holds `text` ("": never).
  void CancellingProgressAt(const std::string& text) { cancelAt_ = text; }
  // In later runs the progress window is not read (nor recorded), or again
  // read: a benchmark times the program as a user's machine runs it, with
  // no reader asking the window for its texts a hundred times a second.
  void ReadingBoxesOnly(bool only = true) { boxesOnly_ = only; }
  // The next run is one that its time limit ends, as a deployment tool's
  // kill does. Any other run that does not end in its time fails its case.
  void ExpectingTimeOut() { timeOutExpected_ = true; }

 private:
  void Install(const std::string& from, const std::string& rel);

  std::string name_;
  std::string dir_;      // Unix path of the case folder
  std::string program_;  // rel of the program Run starts
  int runs_ = 0;
  bool display_ = true;
  bool shots_ = false;
  bool endStarted_ = false;
  bool timeOutExpected_ = false;
  bool boxesOnly_ = false;
  std::string cancelAt_;
};

// Another program of the case, run by Wine in the background (in the case
// folder, or its subfolder `rel`), as one that holds files or runs on while
// the program under test runs; what it gives back comes when it ends.
std::future<CommandResult> StartInBackground(const WineCase& c, std::vector<std::string> argv,
                                             const std::string& rel = "");
// Waits (bounded, 30 s) until `rel` in the case folder exists, or with
// `present` false, no longer does.
bool WaitFor(const WineCase& c, const std::string& rel, bool present = true);

}  // namespace e2e

#endif  // TESTS_E2E_WINE_CASE_H
