#include "os/catalogue_text.h"

namespace catalogue {

const char* MessageText(unsigned id) {
  struct Message {
    unsigned id;
    const char* text;
  };
#define REPORT(id, name, arguments, reason, meaning, text, english) {id, text},
#define TEXT(id, name, text, english) {id, text},
  static const Message messages[] = {
#include "res/messages.inc"
  };
#undef REPORT
#undef TEXT
  for (const Message& message : messages)
    if (message.id == id) return message.text;
  return nullptr;
}

}  // namespace catalogue
