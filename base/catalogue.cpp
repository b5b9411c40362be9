#include "base/catalogue.h"

#include <cstring>

#include "os/ui.h"

TextLanguage ShownLanguage = TextLanguage::Japanese;

namespace {

// The English texts one after another, each ended by its zero, and the id
// of each in the same order: a byte an id rather than a pointer a text.
const char EnglishTexts[] =
#define REPORT(id, name, arguments, reason, meaning, text, english) english "\0"
#define TEXT(id, name, text, english) english "\0"
#include "res/messages.inc"
#undef REPORT
#undef TEXT
    ;
const uint8_t EnglishIds[] = {
#define REPORT(id, name, arguments, reason, meaning, text, english) id,
#define TEXT(id, name, text, english) id,
#include "res/messages.inc"
#undef REPORT
#undef TEXT
};

}  // namespace

const char* EnglishText(unsigned id) {
  const char* text = EnglishTexts;
  for (uint8_t each : EnglishIds) {
    if (each == id) return text;
    text += strlen(text) + 1;
  }
  return nullptr;
}

int CatalogueText(unsigned id, char* buffer, int size) {
  if (ShownLanguage == TextLanguage::Japanese) return os::LoadMessageText(id, buffer, size);
  if (size <= 0) return 0;
  const char* text = EnglishText(id);
  int length = text ? static_cast<int>(strlen(text)) : 0;
  if (length >= size) length = size - 1;  // they fit; cutting is only a bound
  memcpy(buffer, text ? text : "", length);
  buffer[length] = '\0';
  return length;
}
