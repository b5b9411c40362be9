#include "os/catalogue_text.h"

namespace catalogue {

const char* MessageText(unsigned id) {
  struct Message {
    unsigned id;
    const char* text;
  };
#define MESSAGE(id, text) {id, text},
  static const Message messages[] = {
#include "res/messages.inc"
  };
#undef MESSAGE
  for (const Message& message : messages)
    if (message.id == id) return message.text;
  return nullptr;
}

}  // namespace catalogue
