// The fuzz targets' cap on the size of a block (linked with --wrap=malloc).
#pragma once

#include <cstddef>

namespace fuzz {

// No single block of the program's own (malloc) may exceed this. A script
// can make values grow without bound (a chain of symbols each holding the
// one before it twice); on a real machine the allocation fails at some
// size, and the program must go on soundly from there. The cap makes that
// happen early instead of exhausting the fuzzer's memory.
constexpr size_t LargestBlock = size_t{16} << 20;

// How many allocations the cap has refused since the last
// ForgetRefusedBlocks. Once one has, a string may have lost its text (as
// after any failed allocation), so only the absence of crashes can be
// checked.
size_t RefusedBlocks();
void ForgetRefusedBlocks();

}  // namespace fuzz
