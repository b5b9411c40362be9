#include "base/byte_buffer.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

int32_t Clamp(int32_t value, int32_t low, int32_t high) {
  if (value < low) return low;
  if (value > high) return high;
  return value;
}

// Gives `data` a new area of exactly the two pieces' size holding them one
// after another, or no area when that size is 0. The pieces may lie in the
// old area, which is released only afterwards. When the new area cannot be
// had, the old contents stay as they were: the list stack keeps its pointers
// in a buffer, and losing them would leave lists that nobody can free.
bool Rebuild(uint8_t*& data, int32_t& size, const void* a, int32_t aSize, const void* b,
             int32_t bSize) {
  aSize = a && aSize > 0 ? aSize : 0;
  bSize = b && bSize > 0 ? bSize : 0;
  if (static_cast<int64_t>(aSize) + bSize > INT32_MAX) return false;
  uint8_t* joined = nullptr;
  if (aSize + bSize > 0) {
    joined = static_cast<uint8_t*>(malloc(static_cast<size_t>(aSize) + bSize));
    if (!joined) return false;
    if (aSize > 0) memcpy(joined, a, aSize);
    if (bSize > 0) memcpy(joined + aSize, b, bSize);
  }
  free(data);
  data = joined;
  size = aSize + bSize;
  return true;
}

}  // namespace

ByteBuffer::ByteBuffer() { ClearPointer(); }

ByteBuffer::ByteBuffer(const ByteBuffer& other) {
  ClearPointer();
  Assign(other);
}

ByteBuffer& ByteBuffer::operator=(const ByteBuffer& other) { return Assign(other); }

ByteBuffer::~ByteBuffer() { free(m_data); }

void ByteBuffer::ClearPointer() {
  m_data = nullptr;
  Size = 0;
}

void ByteBuffer::Free() {
  free(m_data);
  ClearPointer();
}

bool ByteBuffer::Reserve(int32_t count) {
  Free();
  // An empty buffer has no area at all.
  if (count <= 0) return count == 0;
  m_data = static_cast<uint8_t*>(calloc(static_cast<size_t>(count), 1));
  if (!m_data) return false;
  Size = count;
  return true;
}

bool ByteBuffer::SetBytes(const void* bytes, int32_t count) {
  return Rebuild(m_data, Size, bytes, count, nullptr, 0);
}

bool ByteBuffer::AppendBytes(const void* bytes, int32_t count) {
  return Rebuild(m_data, Size, m_data, Size, bytes, count);
}

uint8_t* ByteBuffer::Data() { return m_data; }

const uint8_t* ByteBuffer::Data() const { return m_data; }

ByteBuffer& ByteBuffer::Assign(const ByteBuffer& other) {
  SetBytes(other.m_data, other.Size);
  return *this;
}

ByteBuffer& ByteBuffer::Append(const ByteBuffer& other) {
  AppendBytes(other.m_data, other.Size);
  return *this;
}

ByteBuffer ByteBuffer::Concat(const ByteBuffer& other) const {
  ByteBuffer joined(*this);
  joined.Append(other);
  return joined;
}

bool ByteBuffer::Equals(const ByteBuffer& other) const {
  // Only the other buffer's bytes are compared: a longer buffer that starts
  // with them counts as equal. A shorter one cannot hold them all.
  if (other.Size <= 0) return true;
  if (Size < other.Size) return false;
  return memcmp(m_data, other.m_data, other.Size) == 0;
}

bool ByteBuffer::NotEquals(const ByteBuffer& other) const { return !Equals(other); }

ByteBuffer ByteBuffer::Extract(int32_t offset, int32_t count) const {
  // A range reaching outside the data is cut to what lies inside.
  offset = Clamp(offset, 0, Size);
  count = Clamp(count, 0, Size - offset);
  ByteBuffer part;
  part.SetBytes(m_data + offset, count);
  return part;
}

void ByteBuffer::Remove(int32_t offset, int32_t count) {
  int32_t last = offset + count - 1;  // the last byte removed
  int32_t after = Size - 1 - last;    // how many bytes follow it
  if (offset == 0) {
    if (after > 0)
      Assign(Extract(last + 1, after));
    else
      Free();
  } else if (after > 0) {
    Assign(Extract(0, offset).Concat(Extract(last + 1, after)));
  } else {
    Assign(Extract(0, offset));
  }
}
