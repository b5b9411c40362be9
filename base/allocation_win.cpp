// The global allocator of the Windows program, on the C heap.
//
// The library's own operators would bring the whole exception machinery
// into a program that never throws (tens of kilobytes); these have the same
// meaning without it. The program allocates only with the nothrow form and
// checks the result; the plain form, never used, stops the process rather
// than return null to a caller that expects an object.
#include <cstdlib>
#include <new>

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return malloc(size ? size : 1);
}
void* operator new(std::size_t size) {
  void* block = malloc(size ? size : 1);
  if (!block) abort();
  return block;
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* block) noexcept { free(block); }
void operator delete[](void* block) noexcept { free(block); }
void operator delete(void* block, std::size_t) noexcept { free(block); }
void operator delete[](void* block, std::size_t) noexcept { free(block); }
