#include "block_cap.h"

#include <cstdlib>

namespace {
size_t Refused = 0;
}

// Linked with --wrap=malloc: every malloc of the statically linked code,
// the program's core included, comes here first.
extern "C" void* __real_malloc(size_t size);
extern "C" void* __wrap_malloc(size_t size) {
  if (size <= fuzz::LargestBlock) return __real_malloc(size);
  ++Refused;
  return nullptr;
}

namespace fuzz {

size_t RefusedBlocks() { return Refused; }
void ForgetRefusedBlocks() { Refused = 0; }

}  // namespace fuzz
