// The catalogue's texts in the language the run shows: Japanese, from the
// program's string table (os/ui.h), or English, the ASCII texts kept in the
// program itself (both made from res/messages.inc).
#pragma once

#include <cstdint>

enum class TextLanguage : uint8_t { Japanese, English };

// The language of every built-in text from now on: the reports, the
// questions and the progress window's texts. Japanese until the script's
// LANGUAGE says otherwise.
extern TextLanguage ShownLanguage;

// The text of message `id` in ShownLanguage (UTF-8), cut to fit `size`
// bytes and terminated. Gives its length, 0 when the catalogue has none.
int CatalogueText(unsigned id, char* buffer, int size);

// The English text of message `id`, or null when the catalogue has none.
const char* EnglishText(unsigned id);
