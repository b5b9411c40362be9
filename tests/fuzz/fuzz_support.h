// What the fuzz targets share: a small machine, and a world for a run.
#pragma once

#include <cstddef>
#include <string>

namespace fuzz {

// No single block of the program's own (malloc) may exceed this. A script
// can make values grow without bound (a chain of symbols each holding the
// one before it twice); on a real machine the allocation fails at some
// size, and the program must go on soundly from there. The cap makes that
// happen early instead of exhausting the fuzzer's memory.
constexpr size_t LargestBlock = size_t{16} << 20;

// How many allocations the cap has refused since the last ResetWorld. Once
// one has, a string may have lost its text (as after any failed
// allocation), so only the absence of crashes can be checked.
size_t RefusedBlocks();

// Resets the double and lays out the files, folders and registry entries
// that fuzzed scripts may name: the program at C:\Program\updater.exe with
// a.txt and b.txt beside it, a folder sub, notepad in C:\Windows, and App
// Paths entries for x.exe (one of them stored without its zero).
void ResetWorld();

}  // namespace fuzz
