// The pictures of a run's boxes as a page for script authors: the PNGs that
// boxhelper saved (WineCase::WithShots) copied out of the prefix, and an
// index.html that shows the boxes in order, each with its picture, caption,
// text, the button pressed and what came next.
#ifndef TESTS_E2E_SHOTS_PAGE_H
#define TESTS_E2E_SHOTS_PAGE_H

#include <string>

#include "wine_case.h"

namespace e2e {

// Copies each box's picture to DIR/box-N.png and writes DIR/index.html
// (UTF-8, with relative links), creating DIR; pictures of an earlier run
// there (box-N.png) are removed first. title heads the page. Throws
// std::runtime_error when a file cannot be copied or written.
void WriteShotsPage(const RunResult& result, const std::string& title, const std::string& dir);

}  // namespace e2e

#endif  // TESTS_E2E_SHOTS_PAGE_H
