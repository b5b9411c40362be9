#include "base/byte_buffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

// The buffer's bytes as a string, for readable comparisons.
std::string Bytes(const ByteBuffer& buffer) {
  if (buffer.Size == 0) return "";
  return std::string(reinterpret_cast<const char*>(buffer.Data()), buffer.Size);
}

ByteBuffer Filled(const char* text) {
  ByteBuffer buffer;
  buffer.SetBytes(text, static_cast<int32_t>(std::string(text).size()));
  return buffer;
}

TEST(ByteBuffer, EmptyBufferHasNoArea) {
  ByteBuffer buffer;
  EXPECT_EQ(nullptr, buffer.Data());
  EXPECT_EQ(0, buffer.Size);
  buffer.Free();
  EXPECT_EQ(nullptr, buffer.Data());

  EXPECT_TRUE(buffer.Reserve(0));
  EXPECT_EQ(nullptr, buffer.Data());
  EXPECT_TRUE(buffer.SetBytes("x", 0));
  EXPECT_EQ(nullptr, buffer.Data());
}

TEST(ByteBuffer, ReserveGivesZeroedBytes) {
  ByteBuffer buffer = Filled("abc");
  ASSERT_TRUE(buffer.Reserve(8));
  EXPECT_EQ(8, buffer.Size);
  EXPECT_EQ(std::string(8, '\0'), Bytes(buffer));
}

TEST(ByteBuffer, AppendKeepsOldBytesFirst) {
  ByteBuffer buffer = Filled("01234567");
  ASSERT_TRUE(buffer.AppendBytes("89AB", 4));
  EXPECT_EQ("0123456789AB", Bytes(buffer));

  buffer.Append(buffer);  // its own bytes as the argument
  EXPECT_EQ("0123456789AB0123456789AB", Bytes(buffer));
  buffer.SetBytes(buffer.Data() + 20, 4);
  EXPECT_EQ("89AB", Bytes(buffer));

  ByteBuffer copy(buffer);
  copy.Data()[0] = 'x';
  EXPECT_EQ("89AB", Bytes(buffer));
  EXPECT_EQ("89ABx9AB", Bytes(buffer.Concat(copy)));
  EXPECT_EQ("89AB", Bytes(buffer));
}

TEST(ByteBuffer, AGrowthThatCannotBeHadKeepsTheOldBytes) {
  ByteBuffer buffer = Filled("01234567");
  EXPECT_FALSE(buffer.AppendBytes("x", INT32_MAX));  // past any 32-bit size
  EXPECT_EQ("01234567", Bytes(buffer));
}

TEST(ByteBuffer, RemoveCutsAnyPart) {
  const char* all = "0123456789AB";
  ByteBuffer buffer = Filled(all);
  buffer.Remove(0, 4);
  EXPECT_EQ("456789AB", Bytes(buffer));

  buffer = Filled(all);
  buffer.Remove(8, 4);
  EXPECT_EQ("01234567", Bytes(buffer));

  buffer = Filled(all);
  buffer.Remove(4, 4);
  EXPECT_EQ("012389AB", Bytes(buffer));

  buffer = Filled(all);
  buffer.Remove(0, 12);
  EXPECT_EQ(0, buffer.Size);
  EXPECT_EQ(nullptr, buffer.Data());

  buffer = Filled(all);
  buffer.Remove(10, 9);  // past the end just cuts everything from the offset on
  EXPECT_EQ("0123456789", Bytes(buffer));
}

TEST(ByteBuffer, ExtractCopiesARange) {
  ByteBuffer buffer = Filled("abcdef");
  EXPECT_EQ("bcd", Bytes(buffer.Extract(1, 3)));
  EXPECT_EQ("ef", Bytes(buffer.Extract(4, 10)));
  EXPECT_EQ(0, buffer.Extract(6, 1).Size);
}

TEST(ByteBuffer, EqualsComparesTheOtherBuffersBytes) {
  ByteBuffer buffer = Filled("abcd");
  EXPECT_TRUE(buffer.Equals(buffer));
  EXPECT_TRUE(buffer.Equals(ByteBuffer()));
  EXPECT_TRUE(ByteBuffer().Equals(ByteBuffer()));
  EXPECT_TRUE(buffer.Equals(Filled("ab")));
  EXPECT_TRUE(buffer.NotEquals(Filled("abce")));
  EXPECT_TRUE(buffer.NotEquals(Filled("ABCD")));
  // A shorter buffer cannot hold all of a longer other's bytes.
  EXPECT_TRUE(Filled("ab").NotEquals(buffer));
}

}  // namespace
