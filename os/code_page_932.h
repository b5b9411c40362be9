// Code page 932, the program's target, where the system's own answer is not
// at hand: for the test double and the script checker.
#pragma once

#include <cstdint>

namespace codepage {

// The lead bytes of code page 932 as Windows has it: 0x81 to 0x9F and 0xE0
// to 0xFC. The byte after one may be any of 0x40 to 0xFC but 0x7F.
bool IsLeadByte932(uint8_t byte);

}  // namespace codepage
