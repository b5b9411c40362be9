// The message catalogue as built-in text (res/messages.inc), for the seams
// that have no string table to load it from: the test double and the script
// checker.
#pragma once

namespace catalogue {

// The UTF-8 text of message `id`, or null when the catalogue has none.
const char* MessageText(unsigned id);

}  // namespace catalogue
