// ByteBuffer: owner of a counted block of bytes of exactly its size.
//
// The byte-block sibling of TextString with the same storage policy: every
// change allocates a new area of the new size and releases the old one. An
// empty buffer has no area at all.
#pragma once

#include <cstdint>

class ByteBuffer {
 public:
  ByteBuffer();
  ByteBuffer(const ByteBuffer& other);
  ByteBuffer& operator=(const ByteBuffer& other);  // copies the bytes

  // The virtual operations, in their fixed order.
  virtual ~ByteBuffer();
  virtual void ClearPointer();
  virtual void Free();
  virtual bool Reserve(int32_t count);
  virtual bool SetBytes(const void* bytes, int32_t count);
  virtual bool AppendBytes(const void* bytes, int32_t count);
  virtual uint8_t* Data();
  virtual const uint8_t* Data() const;
  virtual ByteBuffer& Assign(const ByteBuffer& other);
  virtual ByteBuffer& Append(const ByteBuffer& other);
  virtual ByteBuffer Concat(const ByteBuffer& other) const;
  virtual bool Equals(const ByteBuffer& other) const;
  virtual bool NotEquals(const ByteBuffer& other) const;
  virtual ByteBuffer Extract(int32_t offset, int32_t count) const;
  virtual void Remove(int32_t offset, int32_t count);

 private:
  uint8_t* m_data;

 public:
  int32_t Size;  // the number of bytes held; users read it directly
};
