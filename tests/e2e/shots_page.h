// The pictures of a run's boxes and progress window as a page for script
// authors: the PNGs that boxhelper saved (WineCase::WithShots) copied out of
// the prefix, and an index.html that shows them in the order seen, each box
// with its picture, caption, text, the button pressed and what came next,
// each view of the progress window with its picture, step text, bars and
// buttons.
#ifndef TESTS_E2E_SHOTS_PAGE_H
#define TESTS_E2E_SHOTS_PAGE_H

#include <string>

#include "wine_case.h"

namespace e2e {

// Copies each box's picture to DIR/box-N.png, each view's to
// DIR/progress-N.png, and writes DIR/index.html (UTF-8, with relative
// links), creating DIR; pictures of an earlier run there are removed first. title heads the page. Throws
// std::runtime_error when a file cannot be copied or written.
void WriteShotsPage(const RunResult& result, const std::string& title, const std::string& dir);

}  // namespace e2e

#endif  // TESTS_E2E_SHOTS_PAGE_H
