// The owner of what a seam call hands over: a handle, or text. Shared by
// the seam's callers, its Windows half and its doubles.
#pragma once

#include <cstdlib>

namespace os {

// Owns an `Object*` and gives it to `CloseIt` when it goes, on every road
// out of the code that holds it. A call that closes the object itself takes
// it from its owner (Release). Not copied; moved. Null is "nothing held".
template <typename Object, void (*CloseIt)(Object*)>
class Owned {
 public:
  Owned() = default;
  explicit Owned(Object* object) : m_object(object) {}
  ~Owned() {
    if (m_object) CloseIt(m_object);
  }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  Owned(Owned&& other) : m_object(other.Release()) {}
  Owned& operator=(Owned&& other) {
    if (this != &other) {
      Close();
      m_object = other.Release();
    }
    return *this;
  }

  Object* Get() const { return m_object; }
  bool IsOpen() const { return m_object != nullptr; }
  // Closes what it holds and gives the place for a call that opens one.
  Object*& Receive() {
    Close();
    return m_object;
  }
  // Gives the object up to a call that closes it.
  Object* Release() {
    Object* object = m_object;
    m_object = nullptr;
    return object;
  }
  // Closes it now, where that must come before what follows.
  void Close() {
    if (m_object) CloseIt(m_object);
    m_object = nullptr;
  }

 private:
  Object* m_object = nullptr;
};

// Text that a seam call made for its caller: zero-terminated, allocated with
// malloc, freed when its owner goes. The seam's own, so that the floor
// below the program's strings can give text; the caller takes it into a
// TextString where it needs one. Null where no text was made.
inline void FreeText(char* text) { free(text); }
using OwnedText = Owned<char, FreeText>;

}  // namespace os
