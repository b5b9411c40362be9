#include "os/code_page_932.h"

namespace codepage {

bool IsLeadByte932(uint8_t byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

}  // namespace codepage
